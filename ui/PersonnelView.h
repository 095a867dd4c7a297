#pragma once

#include <QTableView>

#include "ui/grid/GridColumn.h"

namespace miravel {

class GridDelegate;
class PersonnelModel;

// One list of the personnel window on the screen, over its model of persons:
// drawn and edited by the report grid's delegate, so that it looks and
// behaves as every other list of the program (centred check boxes, the
// fingerprint pictures, the drop-down of privileges), and sorted by a click
// on a column's header (a further click on the same header reverses the
// order). Cells keep their texts and check states on the accessibility
// interface, as every item view's do.
class PersonnelView : public QTableView, private GridDelegateHost {
  Q_OBJECT

 public:
  PersonnelView(PersonnelModel& persons, QWidget* parent = nullptr);
  ~PersonnelView() override;

  PersonnelModel& Persons() const { return persons_; }

  // The pictures of the "Parmak izi" column.
  void SetImageList(const QList<QPixmap>& images);
  const QList<QPixmap>& ImageList() const override { return images_; }

  // Ends an edit in progress as if the user had left the cell, so that what
  // was typed is written and reported (CellEdited) before the window closes.
  void FinishEditing();
  // Lays out the rows the model told of just now, so that a scroll to the
  // last of them gets all the way there.
  void LayOutNow();
  void ScrollToRow(int row);

 signals:
  // After the user changed a cell in place; never for changes made in code.
  void CellEdited(int row, int column);

 private:
  // GridDelegateHost
  const GridColumn& ColumnAt(int column) const override;
  void ReportUserEdit(const QPersistentModelIndex& index) override;

  void HeaderClicked(int column);

  PersonnelModel& persons_;
  QList<QPixmap> images_;
  GridDelegate* delegate_;
};

}  // namespace miravel
