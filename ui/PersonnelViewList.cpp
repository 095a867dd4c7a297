#include "ui/PersonnelViewList.h"

#include <QHeaderView>
#include <QStyle>
#include <algorithm>

#include "personnel/Person.h"
#include "ui/PersonnelCommandRows.h"
#include "ui/PersonnelModel.h"
#include "ui/PersonnelView.h"

namespace miravel {
namespace {

// The name column narrows for a long Per.No down to this.
constexpr int kNarrowestName = 60;

}  // namespace

PersonnelViewList::PersonnelViewList(PersonnelView& view) : view_(view), persons_(view.Persons()) {}

int PersonnelViewList::RowCount() const {
  return persons_.Count();
}

std::string PersonnelViewList::Text(int row, int column) const {
  return persons_.At(row).texts.at(static_cast<std::size_t>(column));
}

void PersonnelViewList::SetText(int row, int column, const std::string& text) {
  persons_.SetText(row, column, text);
  if (column == kPerNoColumn && text.size() > kPerNoDigits) FitPerNo(QString::fromStdString(text));
}

void PersonnelViewList::CopyTo(PersonnelCommandRows& rows) const {
  rows.Start(persons_.Persons());
}

void PersonnelViewList::TakeRows(PersonnelCommandRows& rows) {
  if (rows.Refilled()) {
    for (int column : {kPerNoColumn, kNameColumn}) {
      view_.setColumnWidth(column, persons_.Columns()[column].width);
    }
  }
  if (!rows.WidestPerNo().empty()) FitPerNo(QString::fromStdString(rows.WidestPerNo()));
  persons_.Replace(rows.TakeRows(), rows.SortShown());
  RowsMoved();
  // A list filled anew shows its top; one a copy added to, the last row added.
  followed_ = rows.Refilled() ? (RowCount() > 0 ? 0 : -1) : rows.Followed();
  view_.LayOutNow();
  ShowFollowedRow();
}

void PersonnelViewList::FitPerNo(const QString& perNo) {
  // The text margins of the list's cells, on both sides, and a little air.
  const int margins = 2 * (view_.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
  const int wanted = view_.fontMetrics().horizontalAdvance(perNo) + margins;
  const int widening = wanted - view_.columnWidth(kPerNoColumn);
  if (widening <= 0) return;
  // The name gives up what it can, so that the tick stays in sight.
  view_.setColumnWidth(kPerNoColumn, wanted);
  view_.setColumnWidth(kNameColumn,
                       std::max(view_.columnWidth(kNameColumn) - widening, kNarrowestName));
}

bool PersonnelViewList::Ticked(int row) const {
  return persons_.At(row).ticked;
}

void PersonnelViewList::SetTicked(int row, bool ticked) {
  persons_.SetTicked(row, ticked);
}

bool PersonnelViewList::FingerprintMark(int row) const {
  return persons_.ListSide() == PersonnelModel::Side::kStore && persons_.At(row).fingerprint;
}

void PersonnelViewList::SetFingerprintMark(int row, bool hasFingerprint) {
  if (persons_.ListSide() == PersonnelModel::Side::kStore) {
    persons_.SetFingerprint(row, hasFingerprint);
  }
}

void PersonnelViewList::MarkLoadedFromTerminal(int row) {
  if (persons_.ListSide() == PersonnelModel::Side::kTerminal) persons_.MarkLoadedFromTerminal(row);
}

std::optional<int> PersonnelViewList::EnrollNumber(int row) const {
  return persons_.At(row).enrollNumber;
}

void PersonnelViewList::SetEnrollNumber(int row, int enrollNumber) {
  persons_.SetEnrollNumber(row, enrollNumber);
}

int PersonnelViewList::AppendRow() {
  const int row = persons_.Append();
  followed_ = row;
  ShowFollowedRow();
  return row;
}

void PersonnelViewList::RemoveRow(int row) {
  RemoveRows({row});
}

void PersonnelViewList::RemoveRows(const std::vector<int>& rows) {
  if (rows.empty()) return;
  RowsMoved();
  persons_.Remove(rows);
}

void PersonnelViewList::RemoveAllRows() {
  persons_.Clear();
  for (int column : {kPerNoColumn, kNameColumn}) {
    view_.setColumnWidth(column, persons_.Columns()[column].width);
  }
  RowsMoved();
}

void PersonnelViewList::SortByPerNo() {
  // The Per.No column sorts by number and the sort is stable, so rows of the
  // same Per.No keep their order; the header shows the order the list now has.
  persons_.SortByPerNo();
  RowsMoved();
}

void PersonnelViewList::RowsMoved() {
  followed_ = -1;
}

bool PersonnelViewList::IsShown(int row) const {
  const int first = view_.rowAt(0);
  if (first < 0) return true;  // nothing shown yet: a row that comes is seen
  const int last = view_.rowAt(view_.viewport()->height() - 1);
  return row >= first && (last < 0 || row <= last);
}

bool PersonnelViewList::IsShownWhole(int row) const {
  if (!IsShown(row) || row >= persons_.rowCount()) return false;
  return view_.rowViewportPosition(row) >= 0 &&
         view_.rowViewportPosition(row) + view_.rowHeight(row) <= view_.viewport()->height();
}

void PersonnelViewList::ShowFollowedRow() {
  // Only a row the view knows of can be scrolled to.
  if (followed_ < 0 || followed_ >= persons_.rowCount() || IsShownWhole(followed_)) return;
  view_.ScrollToRow(followed_);
}

}  // namespace miravel
