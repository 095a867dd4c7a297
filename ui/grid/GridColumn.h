#pragma once

#include <QList>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QTableView;

namespace miravel {

enum class ColumnKind { Text, CheckBox, DropDown, Number, Progress, Image };

// One column of a list the program shows, set once when the window is built.
// Members left out of a brace list take the values below.
struct GridColumn {
  QString caption{};
  ColumnKind kind = ColumnKind::Text;
  int width = 64;
  bool editable = false;  // the user may edit in place (check boxes: toggle)
  QStringList items{};    // DropDown: the offered values
  bool freeText = true;   // DropDown: the user may also type another value
  bool centred = false;   // text or check box centred in the cell
  int maximum = 100;      // Progress: the value of a full bar
  bool hidden = false;
  bool numericSort = false;  // sort by the number the text holds, not by the text
};

// Gives a view the look and the editing of every list of the program: one
// cell selected at a time, edited by a double click or by typing, grid lines,
// no row numbers, rows of a fixed height, columns only as wide as set; each
// window colours its rows itself.
void SetUpGridView(QTableView& view);

// Where Progress and Image cells keep their number.
inline constexpr int kGridValueRole = Qt::UserRole + 1;

// What a GridDelegate needs of the list it draws and edits: the kind of each
// column, the pictures of Image columns, and where to tell of a change the
// user made in place (never of changes made in code).
class GridDelegateHost {
 public:
  // A plain text column for a column the list was not told about, so that
  // painting never throws.
  virtual const GridColumn& ColumnAt(int column) const = 0;
  virtual const QList<QPixmap>& ImageList() const = 0;
  virtual void ReportUserEdit(const QPersistentModelIndex& index) = 0;

 protected:
  ~GridDelegateHost() = default;
};

}  // namespace miravel
