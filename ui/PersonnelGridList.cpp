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
  grid_.SetCellText(row, column, QString::fromStdString(text));
}

bool PersonnelGridList::Ticked(int row) const {
  return grid_.IsChecked(row, kTick);
}

void PersonnelGridList::SetTicked(int row, bool ticked) {
  grid_.SetChecked(row, kTick, ticked);
}

bool PersonnelGridList::FingerprintMark(int row) const {
  return side_ == Side::kStore && grid_.CellValue(row, kFingerprint) == 1;
}

void PersonnelGridList::SetFingerprintMark(int row, bool hasFingerprint) {
  // Pictures 0 (red cross) and 1 (fingerprint); the white square is never chosen.
  if (side_ == Side::kStore) grid_.SetCellValue(row, kFingerprint, hasFingerprint ? 1 : 0);
}

void PersonnelGridList::MarkLoadedFromTerminal(int row) {
  if (side_ == Side::kTerminal) grid_.SetCellText(row, kLoadedMark, QStringLiteral("1"));
}

int PersonnelGridList::AppendRow() {
  return grid_.AddRow();
}

void PersonnelGridList::RemoveRow(int row) {
  grid_.DeleteRow(row);
}

void PersonnelGridList::RemoveAllRows() {
  grid_.ClearRows();
}

void PersonnelGridList::SortByPerNo() {
  // The grid's sort is stable, so rows of the same Per.No keep their order;
  // the header shows the order the list now has.
  grid_.SortByColumn(kPerNoColumn, Qt::AscendingOrder);
}

void PersonnelGridList::StripeRow(int row) {
  const QColor& colour = row % 2 == 0 ? kEvenRow : kOddRow;
  for (int column = 0; column <= kTick; ++column) grid_.SetCellBackground(row, column, colour);
}

void PersonnelGridList::RepaintList() {
  grid_.RepaintNow();
  CommandGuard::Pump();
}

void PersonnelGridList::ScrollToRow(int row) {
  if (row >= 0 && row < grid_.RowCount()) grid_.ScrollToRow(row);
}

}  // namespace miravel
