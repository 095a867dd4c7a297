#include "ui/PersonnelGridList.h"

#include <QStyle>
#include <algorithm>

#include "personnel/Person.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

// Rows being added are painted after the first one and every tenth after it.
constexpr int kPaintEveryAppended = 10;

// The name column narrows for a long Per.No down to this.
constexpr int kNarrowestName = 60;

// Where the Per.No cell keeps the user's number on the terminal: with the
// cell, it follows the row through every sort.
constexpr int kEnrollNumberRole = Qt::UserRole + 2;

}  // namespace

const QColor PersonnelGridList::kEvenRow(255, 255, 225);
const QColor PersonnelGridList::kOddRow(255, 255, 197);

PersonnelGridList::PersonnelGridList(ReportGrid& grid, Side side) : grid_(grid), side_(side) {
  // A header click moves the rows: the colours follow the positions again.
  sorted_ = QObject::connect(&grid_, &ReportGrid::Sorted, &grid_, [this] {
    GridBulkUpdate bulk(grid_);
    stripeFrom_ = 0;
    StripeMovedRows();
  });
}

PersonnelGridList::~PersonnelGridList() {
  QObject::disconnect(sorted_);
}

int PersonnelGridList::RowCount() const {
  return grid_.RowCount();
}

std::string PersonnelGridList::Text(int row, int column) const {
  return grid_.CellText(row, column).toStdString();
}

void PersonnelGridList::SetText(int row, int column, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (grid_.SetCellText(row, column, shown)) Changed(row);
  if (column == kPerNoColumn && text.size() > kPerNoDigits) FitPerNo(shown);
}

void PersonnelGridList::FitPerNo(const QString& perNo) {
  // The text margins of the grid's cells, on both sides, and a little air.
  const int margins = 2 * (grid_.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
  const int wanted = grid_.fontMetrics().horizontalAdvance(perNo) + margins;
  const int widening = wanted - grid_.columnWidth(kPerNoColumn);
  if (widening <= 0) return;
  // The name gives up what it can, so that the tick stays in sight.
  grid_.setColumnWidth(kPerNoColumn, wanted);
  grid_.setColumnWidth(kNameColumn,
                       std::max(grid_.columnWidth(kNameColumn) - widening, kNarrowestName));
  stale_ = true;
}

bool PersonnelGridList::Ticked(int row) const {
  return grid_.IsChecked(row, kTick);
}

void PersonnelGridList::SetTicked(int row, bool ticked) {
  if (grid_.SetChecked(row, kTick, ticked)) Changed(row);
}

bool PersonnelGridList::FingerprintMark(int row) const {
  return side_ == Side::kStore && grid_.CellValue(row, kFingerprint) == 1;
}

void PersonnelGridList::SetFingerprintMark(int row, bool hasFingerprint) {
  // Pictures 0 (red cross) and 1 (fingerprint); the white square is never chosen.
  if (side_ == Side::kStore && grid_.SetCellValue(row, kFingerprint, hasFingerprint ? 1 : 0)) {
    Changed(row);
  }
}

void PersonnelGridList::MarkLoadedFromTerminal(int row) {
  if (side_ == Side::kTerminal) grid_.SetCellText(row, kLoadedMark, QStringLiteral("1"));
}

QTableWidgetItem& PersonnelGridList::PerNoCell(int row) const {
  grid_.CellText(row, kPerNoColumn);  // refuses a row that does not exist, makes its cell
  return *grid_.item(row, kPerNoColumn);
}

std::optional<int> PersonnelGridList::EnrollNumber(int row) const {
  const QVariant number = PerNoCell(row).data(kEnrollNumberRole);
  if (!number.isValid()) return std::nullopt;
  return number.toInt();
}

void PersonnelGridList::SetEnrollNumber(int row, int enrollNumber) {
  PerNoCell(row).setData(kEnrollNumberRole, enrollNumber);
}

int PersonnelGridList::AppendRow() {
  const int row = grid_.AddRow();
  Stripe(row);
  lastAppended_ = row;
  followed_ = row;
  stale_ = stale_ || IsShown(row);
  if (++appended_ % kPaintEveryAppended == 1) due_ = true;
  // While paints are held the list moves when it is next painted: a scroll
  // per row loaded would cost as much as the rest of the row.
  if (!held_) ShowFollowedRow();
  return row;
}

void PersonnelGridList::RemoveRow(int row) {
  RowsMoved();
  // The rows below move up: seen when the removed one is, or one above it.
  Changed(row);
  stale_ = stale_ || row < grid_.rowAt(0);
  grid_.DeleteRow(row);
  stripeFrom_ = stripeFrom_ < 0 ? row : std::min(stripeFrom_, row);
  if (!held_) StripeMovedRows();
}

void PersonnelGridList::RemoveAllRows() {
  grid_.ClearRows();
  for (int column : {kPerNoColumn, kNameColumn}) {
    grid_.setColumnWidth(column, grid_.Column(column).width);
  }
  RowsMoved();
  stale_ = true;
  due_ = true;
  stripeFrom_ = -1;
  refilled_ = true;
}

void PersonnelGridList::SortByPerNo() {
  // The Per.No column sorts by number and the grid's sort is stable, so rows
  // of the same Per.No keep their order; the header shows the order the list
  // now has.
  grid_.SortByColumn(kPerNoColumn, Qt::AscendingOrder);
  RowsMoved();
  stale_ = true;
  due_ = true;
  stripeFrom_ = 0;
  StripeMovedRows();
}

void PersonnelGridList::Changed(int row) {
  stale_ = stale_ || IsShown(row);
  if (row != lastAppended_) due_ = true;
}

void PersonnelGridList::RowsMoved() {
  appended_ = 0;
  lastAppended_ = -1;
  followed_ = -1;
}

void PersonnelGridList::Stripe(int row) {
  const QColor& colour = row % 2 == 0 ? kEvenRow : kOddRow;
  if (grid_.CellBackground(row, 0) == colour && grid_.CellBackground(row, kTick) == colour) return;
  for (int column = 0; column <= kTick; ++column) grid_.SetCellBackground(row, column, colour);
  stale_ = stale_ || IsShown(row);
}

void PersonnelGridList::StripeRange(int first, int last) {
  for (int row = std::max(first, 0); row <= last && row < RowCount(); ++row) Stripe(row);
}

void PersonnelGridList::StripeMovedRows() {
  if (stripeFrom_ < 0) return;
  StripeRange(stripeFrom_, RowCount() - 1);
  stripeFrom_ = -1;
}

void PersonnelGridList::HoldPaints(bool held) {
  if (held_ == held) return;
  held_ = held;
  stale_ = true;  // painted once at the first paint point, whatever came before
  due_ = true;
  if (held) {
    refilled_ = false;
  } else {
    StripeMovedRows();
    if (refilled_) followed_ = RowCount() > 0 ? 0 : -1;
    refilled_ = false;
    ShowFollowedRow();
  }
  // Released, the rows are painted with the next paint of the window.
  grid_.viewport()->setUpdatesEnabled(!held);
}

void PersonnelGridList::ShowChanges() {
  if (!due_) return;
  due_ = false;
  ShowFollowedRow();
  // Only the rows in sight get their colours now; the rest when the command ends.
  if (stripeFrom_ >= 0) {
    const int last = grid_.rowAt(grid_.viewport()->height() - 1);
    StripeRange(std::max(stripeFrom_, grid_.rowAt(0)), last < 0 ? RowCount() - 1 : last);
  }
  if (!stale_) return;
  stale_ = false;
  if (held_) grid_.viewport()->setUpdatesEnabled(true);
  grid_.RepaintNow();
  if (held_) grid_.viewport()->setUpdatesEnabled(false);
}

bool PersonnelGridList::IsShown(int row) const {
  const int first = grid_.rowAt(0);
  if (first < 0) return true;  // nothing shown yet: a row that comes is seen
  const int last = grid_.rowAt(grid_.viewport()->height() - 1);
  return row >= first && (last < 0 || row <= last);
}

bool PersonnelGridList::IsShownWhole(int row) const {
  if (!IsShown(row)) return false;
  return grid_.rowViewportPosition(row) >= 0 &&
         grid_.rowViewportPosition(row) + grid_.rowHeight(row) <= grid_.viewport()->height();
}

void PersonnelGridList::ShowFollowedRow() {
  // Scrolled once the grid knows of all its rows (a scroll asked for before
  // the grid laid out its new rows falls short).
  if (followed_ < 0 || followed_ >= grid_.RowCount() || IsShownWhole(followed_)) return;
  grid_.ScrollToRow(followed_);
  stale_ = true;
}

ListPaintHold::ListPaintHold(PersonnelGridList& first, PersonnelGridList& second)
    : first_(first), second_(second) {
  first_.HoldPaints(true);
  second_.HoldPaints(true);
}

ListPaintHold::~ListPaintHold() {
  first_.HoldPaints(false);
  second_.HoldPaints(false);
}

}  // namespace miravel
