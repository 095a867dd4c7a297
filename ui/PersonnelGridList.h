#pragma once

#include <QColor>

#include "personnel/PersonnelList.h"

namespace miravel {

class ReportGrid;

// One list of the personnel window as the personnel commands see it, over
// the report grid that shows it. Both lists share the columns 0 to 4 (texts),
// 5 ("Parmak izi") and 6 ("Seç"); the terminal's list adds the hidden
// "durum" column 7.
//
// The commands' hints become real paints: a command runs without returning
// to the event loop, so "repaint the list" paints it before the call returns,
// when what the user sees of it has changed (deleting a thousand rows below
// the visible ones repaints nothing but the scroll bar).
class PersonnelGridList : public PersonnelList {
 public:
  enum Column { kFingerprint = 5, kTick = 6, kLoadedMark = 7 };

  // Rows alternate between these two colours by position.
  static const QColor kEvenRow;
  static const QColor kOddRow;

  enum class Side {
    kTerminal,  // "Parmak izi" is a text no command fills; "durum" marks loaded rows
    kStore,     // "Parmak izi" is a picture: the fingerprint or the red cross
  };

  PersonnelGridList(ReportGrid& grid, Side side) : grid_(grid), side_(side) {}

  ReportGrid& Grid() const { return grid_; }

  // While held, the rows are painted only when a command says so
  // (RepaintList): the changes in between (thousands of rows appended and
  // scrolled to) are not painted by every other paint of the window, such as
  // the progress bar's.
  void HoldPaints(bool held);

  int RowCount() const override;
  std::string Text(int row, int column) const override;
  void SetText(int row, int column, const std::string& text) override;
  bool Ticked(int row) const override;
  void SetTicked(int row, bool ticked) override;
  bool FingerprintMark(int row) const override;
  void SetFingerprintMark(int row, bool hasFingerprint) override;
  void MarkLoadedFromTerminal(int row) override;
  int AppendRow() override;
  void RemoveRow(int row) override;
  void RemoveAllRows() override;
  void SortByPerNo() override;

  void StripeRow(int row) override;
  void RepaintList() override;
  void ScrollToRow(int row) override;

 private:
  // Whether the row lies, wholly or in part, where the user sees it.
  bool IsShown(int row) const;
  // Whether the row is shown whole.
  bool IsShownWhole(int row) const;
  // Scrolls to the row last asked for, unless it is in sight.
  void ShowScrolledRow();
  // Notes a change of a row: it needs painting only where it is seen.
  void Changed(int row) { stale_ = stale_ || IsShown(row); }

  ReportGrid& grid_;
  Side side_;
  bool held_ = false;
  // Whether what is seen of the list changed since it was last painted.
  bool stale_ = true;
  // The row last scrolled to, until rows move.
  int scrolledTo_ = -1;
};

// Holds the paints of both lists for the length of a command.
class ListPaintHold {
 public:
  ListPaintHold(PersonnelGridList& first, PersonnelGridList& second);
  ~ListPaintHold();
  ListPaintHold(const ListPaintHold&) = delete;
  ListPaintHold& operator=(const ListPaintHold&) = delete;

 private:
  PersonnelGridList& first_;
  PersonnelGridList& second_;
};

}  // namespace miravel
