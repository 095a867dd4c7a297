#pragma once

#include <QString>

#include "personnel/PersonnelList.h"

namespace miravel {

class PersonnelCommandRows;
class PersonnelModel;
class PersonnelView;

// One list of the personnel window as the personnel commands see it: the
// persons of its model, shown by its view.
//
// The commands only change the persons; the list decides what the user sees
// of it:
// - a Per.No too long for its column widens the column (the name's narrows),
//   until the list is emptied;
// - rows alternate between two colours by position (the model's doing), also
//   after rows are added, removed or sorted;
// - the list follows the rows a command adds, and shows its top once a
//   command filled it anew;
// - while a command runs (paints held), the list is painted when the
//   command's progress moves, and only when what the user sees of it changed;
//   rows being added count at the first one and every tenth after it, so that
//   loading thousands of rows does not cost thousands of paints. Until then
//   the view is not even told of them.
class PersonnelViewList : public PersonnelList {
 public:
  explicit PersonnelViewList(PersonnelView& view);
  PersonnelViewList(const PersonnelViewList&) = delete;
  PersonnelViewList& operator=(const PersonnelViewList&) = delete;

  PersonnelView& View() const { return view_; }
  PersonnelModel& Persons() const { return persons_; }

  // A command beside the window works on a copy of the persons and gives
  // them back when it ends (see PersonnelCommandRows): the list then shows
  // them as it would have shown the command's changes.
  void CopyTo(PersonnelCommandRows& rows) const;
  void TakeRows(PersonnelCommandRows& rows);

  int RowCount() const override;
  std::string Text(int row, int column) const override;
  void SetText(int row, int column, const std::string& text) override;
  bool Ticked(int row) const override;
  void SetTicked(int row, bool ticked) override;
  bool FingerprintMark(int row) const override;
  void SetFingerprintMark(int row, bool hasFingerprint) override;
  void MarkLoadedFromTerminal(int row) override;
  std::optional<int> EnrollNumber(int row) const override;
  void SetEnrollNumber(int row, int enrollNumber) override;
  int AppendRow() override;
  void RemoveRow(int row) override;
  void RemoveRows(const std::vector<int>& rows) override;
  void RemoveAllRows() override;
  void SortByPerNo() override;

 private:
  // Widens the Per.No column for a number longer than five digits, so that it
  // is shown whole, narrowing the name column for it.
  void FitPerNo(const QString& perNo);
  // Whether the row lies, wholly or in part, where the user sees it.
  bool IsShown(int row) const;
  // Whether the row is shown whole.
  bool IsShownWhole(int row) const;
  // Scrolls to the row the list follows, unless it is in sight.
  void ShowFollowedRow();
  // The rows moved: nothing is being filled or followed any more.
  void RowsMoved();

  PersonnelView& view_;
  PersonnelModel& persons_;
  // The row the list follows, until rows move.
  int followed_ = -1;
};

}  // namespace miravel
