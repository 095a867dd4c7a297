#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "personnel/PersonnelList.h"
#include "ui/grid/GridColumn.h"

namespace miravel {

// The persons of one list of the personnel window, as its view shows them:
// the terminal's users (left) or the store on this computer (right). Both
// lists have the columns 0 to 4 (texts), 5 ("Parmak izi") and 6 ("Seç"); the
// terminal's list adds the hidden "durum" column 7. Only the store's texts
// can be edited in place, and only its "Parmak izi" is a picture.
//
// Rows are coloured by their position, so the colours follow the rows
// wherever a removal or a sort puts them.
//
// While notifications are held (a command runs), rows appended and cells
// changed are told to the views only by Flush: a load of thousands of
// persons tells them a hundred times, not once per cell. The persons
// themselves (Count, Row) are always up to date; the views see rowCount().
class PersonnelModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kFingerprint = 5, kTick = 6, kLoadedMark = 7 };

  // Rows alternate between these two colours by position.
  static const QColor kEvenRow;
  static const QColor kOddRow;

  enum class Side {
    kTerminal,  // "Parmak izi" is a text no command fills; "durum" marks loaded rows
    kStore,     // "Parmak izi" is a picture: the fingerprint or the red cross
  };

  // The terminal's own number of the user (terminal's list only) travels
  // with the person through every sort.
  using Person = PersonnelRows::Row;

  explicit PersonnelModel(Side side, QObject* parent = nullptr);

  Side ListSide() const { return side_; }
  const QList<GridColumn>& Columns() const { return columns_; }

  // The persons, also those the views are not told of yet.
  int Count() const { return static_cast<int>(persons_.size()); }
  const Person& At(int row) const;
  const std::vector<Person>& Persons() const { return persons_; }
  // Each returns whether the value changed.
  bool SetText(int row, int column, const std::string& text);
  bool SetTicked(int row, bool ticked);
  bool SetFingerprint(int row, bool hasFingerprint);
  void MarkLoadedFromTerminal(int row);
  void SetEnrollNumber(int row, int enrollNumber) { Mutable(row).enrollNumber = enrollNumber; }
  // A new empty, unticked row at the bottom; returns its number.
  int Append();
  // These rows (ascending, each once) in one pass.
  void Remove(const std::vector<int>& rows);
  // Every row, and the order a sort gave them.
  void Clear();
  // The persons a command worked on away from the views, in place of these.
  // The views keep their scroll position; sortShown, when given, is the
  // column the header shows sorted from now on (-1: none).
  void Replace(std::vector<Person> persons, std::optional<int> sortShown);
  // By Per.No, ascending, as a click on its header would.
  void SortByPerNo() { sort(kPerNoColumn, Qt::AscendingOrder); }

  // The column and direction of the last sort; -1 when the rows stand in the
  // order they came in.
  int SortColumn() const { return sortColumn_; }
  Qt::SortOrder SortOrder() const { return sortOrder_; }

  // Holds or releases the views' notifications; releasing flushes.
  void HoldNotifications(bool held);
  // Tells the views of the rows appended and the cells changed since the last time.
  void Flush();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // A user's edit: a store text, or a tick.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  // Stable: rows that compare equal keep their order, in both directions.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  // The header shows this order (column -1: none).
  void SortShown(int column, Qt::SortOrder order);

 private:
  Person& Mutable(int row);
  // What a text cell shows ("" for the terminal's unfilled "Parmak izi").
  QString TextOf(const Person& person, int column) const;
  // A cell of a row changed: told now, or at the next Flush.
  void Changed(int row, int column);
  // The row order that sorts the rows by this column.
  std::vector<int> SortedOrder(int column, Qt::SortOrder order) const;
  void ShowSort(int column, Qt::SortOrder order);

  Side side_;
  QList<GridColumn> columns_;
  std::vector<Person> persons_;
  // The rows the views know of: persons_ from 0 up to here.
  int shown_ = 0;
  bool held_ = false;
  // Rows whose cells changed while held (first > last: none).
  int changedFirst_ = 0;
  int changedLast_ = -1;
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

// Holds a model's notifications for the length of a scope.
class NotificationHold {
 public:
  explicit NotificationHold(PersonnelModel& model) : model_(model) {
    model_.HoldNotifications(true);
  }
  ~NotificationHold() { model_.HoldNotifications(false); }
  NotificationHold(const NotificationHold&) = delete;
  NotificationHold& operator=(const NotificationHold&) = delete;

 private:
  PersonnelModel& model_;
};

}  // namespace miravel
