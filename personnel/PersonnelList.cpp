#include "personnel/PersonnelList.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace miravel {

int FindRow(const PersonnelList& list, const std::string& perNo) {
  for (int row = 0; row < list.RowCount(); ++row) {
    if (list.Text(row, kPerNoColumn) == perNo) return row;
  }
  return -1;
}

void TickAll(PersonnelList& list) {
  for (int row = 0; row < list.RowCount(); ++row) list.SetTicked(row, true);
}

void ClearTicks(PersonnelList& list) {
  for (int row = 0; row < list.RowCount(); ++row) list.SetTicked(row, false);
}

void InvertTicks(PersonnelList& list) {
  for (int row = 0; row < list.RowCount(); ++row) list.SetTicked(row, !list.Ticked(row));
}

int TickedCount(const PersonnelList& list) {
  int count = 0;
  for (int row = 0; row < list.RowCount(); ++row) count += list.Ticked(row) ? 1 : 0;
  return count;
}

void PersonnelList::RemoveRows(const std::vector<int>& rows) {
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) RemoveRow(*row);
}

RowRemoval::~RowRemoval() {
  try {
    Finish();
  } catch (...) {  // the command's own error is the one to show
  }
}

void RowRemoval::Finish() {
  if (rows_.empty()) return;
  std::vector<int> rows;
  rows.swap(rows_);
  list_.RemoveRows(rows);
}

PerNoIndex::PerNoIndex(const PersonnelList& list) {
  first_.reserve(static_cast<std::size_t>(list.RowCount()));
  for (int row = 0; row < list.RowCount(); ++row) Add(list.Text(row, kPerNoColumn), row);
}

int PerNoIndex::Find(const std::string& perNo) const {
  const auto found = first_.find(perNo);
  return found == first_.end() ? -1 : found->second;
}

void PerNoIndex::Add(const std::string& perNo, int row) {
  first_.emplace(perNo, row);
}

PersonnelRows::Row& PersonnelRows::At(int row) {
  return rows_.at(static_cast<std::size_t>(row));
}

const PersonnelRows::Row& PersonnelRows::At(int row) const {
  return rows_.at(static_cast<std::size_t>(row));
}

std::string PersonnelRows::Text(int row, int column) const {
  return At(row).texts.at(static_cast<std::size_t>(column));
}

void PersonnelRows::SetText(int row, int column, const std::string& text) {
  At(row).texts.at(static_cast<std::size_t>(column)) = text;
}

bool PersonnelRows::Ticked(int row) const {
  return At(row).ticked;
}

void PersonnelRows::SetTicked(int row, bool ticked) {
  At(row).ticked = ticked;
}

bool PersonnelRows::FingerprintMark(int row) const {
  return At(row).fingerprint;
}

void PersonnelRows::SetFingerprintMark(int row, bool hasFingerprint) {
  At(row).fingerprint = hasFingerprint;
}

void PersonnelRows::MarkLoadedFromTerminal(int row) {
  At(row).loadedFromTerminal = true;
}

int PersonnelRows::AppendRow() {
  rows_.emplace_back();
  return RowCount() - 1;
}

void PersonnelRows::RemoveRow(int row) {
  At(row);  // range check
  rows_.erase(rows_.begin() + row);
}

void PersonnelRows::RemoveRows(const std::vector<int>& rows) {
  for (int row : rows) At(row);  // range check, before anything moves
  EraseInOnePass(rows_, rows);
}

void PersonnelRows::SortByPerNo() {
  const auto number = [](const Row& row) {
    const std::string& text = row.texts[kPerNoColumn];
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional(value)
                                                                    : std::nullopt;
  };
  std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
    const auto first = number(a);
    const auto second = number(b);
    if (first && second) return *first < *second;
    if (first.has_value() != second.has_value()) return !first.has_value();
    return a.texts[kPerNoColumn] < b.texts[kPerNoColumn];
  });
}

}  // namespace miravel
