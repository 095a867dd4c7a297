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

// Rows being added are painted after the first one and every tenth after it.
constexpr int kPaintEveryAppended = 10;

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
  if (persons_.SetText(row, column, text)) Changed(row);
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
  stale_ = true;
}

bool PersonnelViewList::Ticked(int row) const {
  return persons_.At(row).ticked;
}

void PersonnelViewList::SetTicked(int row, bool ticked) {
  if (persons_.SetTicked(row, ticked)) Changed(row);
}

bool PersonnelViewList::FingerprintMark(int row) const {
  return persons_.ListSide() == PersonnelModel::Side::kStore && persons_.At(row).fingerprint;
}

void PersonnelViewList::SetFingerprintMark(int row, bool hasFingerprint) {
  if (persons_.ListSide() == PersonnelModel::Side::kStore &&
      persons_.SetFingerprint(row, hasFingerprint)) {
    Changed(row);
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
  lastAppended_ = row;
  followed_ = row;
  stale_ = stale_ || IsShown(row);
  if (++appended_ % kPaintEveryAppended == 1) due_ = true;
  // While paints are held the list moves when it is next painted: a scroll
  // per row loaded would cost as much as the rest of the row.
  if (!held_) ShowFollowedRow();
  return row;
}

void PersonnelViewList::RemoveRow(int row) {
  RemoveRows({row});
}

void PersonnelViewList::RemoveRows(const std::vector<int>& rows) {
  if (rows.empty()) return;
  RowsMoved();
  // The rows below move up: seen when the first removed one is, or one above it.
  Changed(rows.front());
  stale_ = stale_ || rows.front() < view_.rowAt(0);
  persons_.Remove(rows);
}

void PersonnelViewList::RemoveAllRows() {
  persons_.Clear();
  for (int column : {kPerNoColumn, kNameColumn}) {
    view_.setColumnWidth(column, persons_.Columns()[column].width);
  }
  RowsMoved();
  stale_ = true;
  due_ = true;
  refilled_ = true;
}

void PersonnelViewList::SortByPerNo() {
  // The Per.No column sorts by number and the sort is stable, so rows of the
  // same Per.No keep their order; the header shows the order the list now has.
  persons_.SortByPerNo();
  RowsMoved();
  stale_ = true;
  due_ = true;
}

void PersonnelViewList::Changed(int row) {
  stale_ = stale_ || IsShown(row);
  if (row != lastAppended_) due_ = true;
}

void PersonnelViewList::RowsMoved() {
  appended_ = 0;
  lastAppended_ = -1;
  followed_ = -1;
}

void PersonnelViewList::HoldPaints(bool held) {
  if (held_ == held) return;
  held_ = held;
  stale_ = true;  // painted once at the first paint point, whatever came before
  due_ = true;
  persons_.HoldNotifications(held);
  if (held) {
    refilled_ = false;
  } else {
    if (refilled_) followed_ = RowCount() > 0 ? 0 : -1;
    refilled_ = false;
    view_.LayOutNow();
    ShowFollowedRow();
  }
  // Released, the rows are painted with the next paint of the window.
  view_.viewport()->setUpdatesEnabled(!held);
}

void PersonnelViewList::ShowChanges() {
  if (!due_) return;
  due_ = false;
  // The view learns of the rows that came, and lays them out before it
  // scrolls to the last.
  persons_.Flush();
  view_.LayOutNow();
  ShowFollowedRow();
  if (!stale_) return;
  stale_ = false;
  if (held_) view_.viewport()->setUpdatesEnabled(true);
  view_.repaint();
  if (held_) view_.viewport()->setUpdatesEnabled(false);
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
  stale_ = true;
}

ListPaintHold::ListPaintHold(PersonnelViewList& first, PersonnelViewList& second)
    : first_(first), second_(second) {
  first_.HoldPaints(true);
  second_.HoldPaints(true);
}

ListPaintHold::~ListPaintHold() {
  first_.HoldPaints(false);
  second_.HoldPaints(false);
}

}  // namespace miravel
