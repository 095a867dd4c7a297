#include "ui/PersonnelCommandRows.h"

#include <utility>

#include "personnel/Person.h"

namespace miravel {

void PersonnelCommandRows::Start(std::vector<Row> rows) {
  SetRows(std::move(rows));
  refilled_ = false;
  followed_ = -1;
  sortShown_.reset();
  widestPerNo_.clear();
}

void PersonnelCommandRows::SetText(int row, int column, const std::string& text) {
  PersonnelRows::SetText(row, column, text);
  if (column == kPerNoColumn && text.size() > kPerNoDigits && text.size() > widestPerNo_.size()) {
    widestPerNo_ = text;
  }
}

bool PersonnelCommandRows::FingerprintMark(int row) const {
  return store_ && PersonnelRows::FingerprintMark(row);
}

void PersonnelCommandRows::SetFingerprintMark(int row, bool hasFingerprint) {
  if (store_) PersonnelRows::SetFingerprintMark(row, hasFingerprint);
}

void PersonnelCommandRows::MarkLoadedFromTerminal(int row) {
  if (!store_) PersonnelRows::MarkLoadedFromTerminal(row);
}

int PersonnelCommandRows::AppendRow() {
  followed_ = PersonnelRows::AppendRow();
  return followed_;
}

void PersonnelCommandRows::RemoveRow(int row) {
  PersonnelRows::RemoveRow(row);
  followed_ = -1;
}

void PersonnelCommandRows::RemoveRows(const std::vector<int>& rows) {
  PersonnelRows::RemoveRows(rows);
  followed_ = -1;
}

void PersonnelCommandRows::RemoveAllRows() {
  PersonnelRows::RemoveAllRows();
  refilled_ = true;
  followed_ = -1;
  sortShown_ = -1;
  widestPerNo_.clear();
}

void PersonnelCommandRows::SortByPerNo() {
  PersonnelRows::SortByPerNo();
  followed_ = -1;
  sortShown_ = kPerNoColumn;
}

}  // namespace miravel
