#include "ui/PersonnelGridList.h"

#include "ui/CommandGuard.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {

const QColor PersonnelGridList::kEvenRow(255, 255, 225);
const QColor PersonnelGridList::kOddRow(255, 255, 197);

int PersonnelGridList::RowCount() const {
  return grid_.RowCount();
}

std::string PersonnelGridList::Text(int row, int column) const {
  return grid_.CellText(row, column).toStdString();
}

void PersonnelGridList::SetText(int row, int column, const std::string& text) {
  if (grid_.SetCellText(row, column, QString::fromStdString(text))) Changed(row);
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

int PersonnelGridList::AppendRow() {
  const int row = grid_.AddRow();
  Changed(row);
  return row;
}

void PersonnelGridList::RemoveRow(int row) {
  // The rows below move up: seen when the removed one is, or one above it.
  Changed(row);
  stale_ = stale_ || row < grid_.rowAt(0);
  scrolledTo_ = -1;
  grid_.DeleteRow(row);
}

void PersonnelGridList::RemoveAllRows() {
  grid_.ClearRows();
  stale_ = true;
  scrolledTo_ = -1;
}

void PersonnelGridList::SortByPerNo() {
  // The grid's sort is stable, so rows of the same Per.No keep their order;
  // the header shows the order the list now has.
  grid_.SortByColumn(kPerNoColumn, Qt::AscendingOrder);
  stale_ = true;
  scrolledTo_ = -1;
}

void PersonnelGridList::StripeRow(int row) {
  const QColor& colour = row % 2 == 0 ? kEvenRow : kOddRow;
  if (grid_.CellBackground(row, 0) == colour && grid_.CellBackground(row, kTick) == colour) return;
  for (int column = 0; column <= kTick; ++column) grid_.SetCellBackground(row, column, colour);
  Changed(row);
}

void PersonnelGridList::HoldPaints(bool held) {
  if (held_ == held) return;
  held_ = held;
  stale_ = true;  // painted once at the first repaint point, whatever came before
  if (!held) ShowScrolledRow();
  // Released, the rows are painted with the next paint of the window.
  grid_.viewport()->setUpdatesEnabled(!held);
}

void PersonnelGridList::RepaintList() {
  // Pending work of the grid first (the layout after rows came or went, the
  // scroll bar), so that the rows are painted once, where they now stand.
  CommandGuard::Pump();
  ShowScrolledRow();
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

ListPaintHold::ListPaintHold(PersonnelGridList& first, PersonnelGridList& second)
    : first_(first), second_(second) {
  first_.HoldPaints(true);
  second_.HoldPaints(true);
}

ListPaintHold::~ListPaintHold() {
  first_.HoldPaints(false);
  second_.HoldPaints(false);
}

void PersonnelGridList::ScrollToRow(int row) {
  if (row < 0 || row >= grid_.RowCount()) return;
  scrolledTo_ = row;
  // While paints are held the list moves when it is next painted: a scroll
  // per row loaded would cost as much as the rest of the row.
  if (!held_) ShowScrolledRow();
}

void PersonnelGridList::ShowScrolledRow() {
  // Scrolled once the grid knows of all its rows (a scroll asked for before
  // the grid laid out its new rows falls short).
  if (scrolledTo_ < 0 || scrolledTo_ >= grid_.RowCount() || IsShownWhole(scrolledTo_)) return;
  grid_.ScrollToRow(scrolledTo_);
  stale_ = true;
}

}  // namespace miravel
