#pragma once

#include <QColor>
#include <QTableWidget>
#include <initializer_list>

#include "ui/grid/GridColumn.h"

namespace miravel {

class GridDelegate;
class GridItem;

// The multi-column list every window shows: typed columns (text, check box,
// drop-down, number, progress bar, image), per-cell background colours,
// in-place editing and header-click sorting.
//
// Windows talk to it through the members below, by row and column number.
// A row number is only valid until the next sort: after Sorted() the rows have
// moved, so find a row again by its key rather than keeping its number.
//
// Rows move only when the user clicks a header or SortByColumn() is called:
// adding rows and setting cells never re-sorts, so a row filled cell by cell
// keeps its values together and a window's row r stays row r.
//
// Setters change the model only when the value really differs, and report
// whether it did, so a window can repaint a cell at most once per visible
// change (a progress cell is set for every record but changes at most 101
// times).
class ReportGrid : public QTableWidget, private GridDelegateHost {
  Q_OBJECT

 public:
  explicit ReportGrid(QWidget* parent = nullptr);
  ~ReportGrid() override;

  // Replaces the columns; existing rows are removed.
  void SetColumns(const QList<GridColumn>& columns);
  const GridColumn& Column(int column) const;
  int ColumnCount() const { return static_cast<int>(columns_.size()); }

  // The pictures of Image columns; a cell shows the picture its value indexes.
  void SetImageList(const QList<QPixmap>& images);
  const QList<QPixmap>& ImageList() const override { return images_; }

  void SetHeaderHeight(int pixels);
  void SetRowHeight(int pixels);  // every row, present and future
  // Full-row selection (a click selects the whole row) or single cells.
  void SetFullRowSelection(bool fullRow);

  int RowCount() const { return rowCount(); }
  // Appends a row of empty cells (text "", unchecked, value 0); returns its index.
  int AddRow();
  // Appends empty rows or removes rows from the end until there are count rows.
  void SetRowCountTo(int count);
  void DeleteRow(int row);
  // Removes every row, and the order a header click or SortByColumn gave them.
  void ClearRows();

  // Text, DropDown and Number columns.
  QString CellText(int row, int column) const;
  bool SetCellText(int row, int column, const QString& text);
  // CheckBox columns.
  bool IsChecked(int row, int column) const;
  bool SetChecked(int row, int column, bool checked);
  // Progress columns (bar value) and Image columns (picture index).
  int CellValue(int row, int column) const;
  bool SetCellValue(int row, int column, int value);

  // An invalid colour means the cell has no colour of its own.
  QColor CellBackground(int row, int column) const;
  void SetCellBackground(int row, int column, const QColor& colour);
  void SetRowBackground(int row, const QColor& colour);

  // Header clicks sort: a click on a new column sorts it ascending, a further
  // click on the same column reverses the order. Sorted() follows each one.
  void SetSortable(bool sortable);
  // Sorts now, without Sorted(); the header shows the order.
  void SortByColumn(int column, Qt::SortOrder order);

  // While filling many rows: signals are blocked and nothing is painted.
  // Calls nest; prefer GridBulkUpdate, which also ends on an exception.
  void BeginBulkUpdate();
  void EndBulkUpdate();

  // Ends an edit in progress as if the user had left the cell, so that what
  // was typed is written and reported (CellEdited) before the window closes.
  void FinishEditing();

  // Paints at once, for commands that run without returning to the event loop.
  void RepaintNow();
  void ScrollToRow(int row);

 signals:
  // After a header click has sorted the rows; windows re-colour rows here.
  void Sorted(int column, Qt::SortOrder order);
  // After the user changed a cell in place; never for changes made in code.
  void CellEdited(int row, int column);
  // When the current cell changes.
  void CellSelected(int row, int column);

 private:
  // GridDelegateHost
  const GridColumn& ColumnAt(int column) const override;
  GridItem* NewItem(int column) const;
  GridItem* Item(int row, int column) const;
  GridItem* TypedItem(int row, int column, std::initializer_list<ColumnKind> kinds) const;
  void AppendRows(int count);
  void HeaderClicked(int column);
  // Called by the delegate after it wrote a user's edit into the model.
  void ReportUserEdit(const QPersistentModelIndex& index) override;

  QList<GridColumn> columns_;
  QList<QPixmap> images_;
  GridDelegate* delegate_;
  bool sortable_ = false;
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
  int bulkDepth_ = 0;
  bool signalsWereBlocked_ = false;
};

// Bulk-update guard: ReportGrid::BeginBulkUpdate() for its lifetime.
class GridBulkUpdate {
 public:
  explicit GridBulkUpdate(ReportGrid& grid) : grid_(grid) { grid_.BeginBulkUpdate(); }
  ~GridBulkUpdate() { grid_.EndBulkUpdate(); }
  GridBulkUpdate(const GridBulkUpdate&) = delete;
  GridBulkUpdate& operator=(const GridBulkUpdate&) = delete;

 private:
  ReportGrid& grid_;
};

}  // namespace miravel
