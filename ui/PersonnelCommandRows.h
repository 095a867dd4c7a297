#pragma once

#include <optional>
#include <string>
#include <vector>

#include "personnel/PersonnelList.h"

namespace miravel {

// One list of the personnel window while a command works on it beside the
// window: a copy of the list's persons, taken when the command starts and
// given back to the list when it ends (PersonnelViewList::TakeRows), so that
// the command never touches what the window's thread shows. It notes what
// the list must do with the rows it gets back: show its top after a load,
// follow the rows a copy added, widen Per.No, show the sort.
class PersonnelCommandRows : public PersonnelRows {
 public:
  // Only the store's list has fingerprint marks; only the terminal's marks
  // the rows it loaded.
  explicit PersonnelCommandRows(bool store) : store_(store) {}

  // The persons of the list, for the next command; forgets what the last one did.
  void Start(std::vector<Row> rows);

  bool Refilled() const { return refilled_; }
  // The row to bring into sight; -1 for none.
  int Followed() const { return followed_; }
  // The column the header is to show sorted (-1: none); none when unchanged.
  std::optional<int> SortShown() const { return sortShown_; }
  // The longest Per.No text longer than five digits set; "" when none.
  const std::string& WidestPerNo() const { return widestPerNo_; }

  void SetText(int row, int column, const std::string& text) override;
  bool FingerprintMark(int row) const override;
  void SetFingerprintMark(int row, bool hasFingerprint) override;
  void MarkLoadedFromTerminal(int row) override;
  int AppendRow() override;
  void RemoveRow(int row) override;
  void RemoveRows(const std::vector<int>& rows) override;
  void RemoveAllRows() override;
  void SortByPerNo() override;

 private:
  const bool store_;
  bool refilled_ = false;
  int followed_ = -1;
  std::optional<int> sortShown_;
  std::string widestPerNo_;
};

}  // namespace miravel
