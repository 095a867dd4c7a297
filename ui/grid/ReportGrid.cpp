#include "ui/grid/ReportGrid.h"

#include <QHeaderView>
#include <algorithm>
#include <stdexcept>
#include <string>

#include "ui/grid/GridDelegate.h"
#include "ui/grid/GridItem.h"

namespace miravel {

namespace {

GridItem::SortKey SortKeyOf(const GridColumn& column) {
  switch (column.kind) {
    case ColumnKind::CheckBox:
      return GridItem::SortKey::CheckState;
    case ColumnKind::Progress:
    case ColumnKind::Image:
      return GridItem::SortKey::Value;
    case ColumnKind::Number:
      return GridItem::SortKey::Number;
    case ColumnKind::Text:
    case ColumnKind::DropDown:
      break;
  }
  return column.numericSort ? GridItem::SortKey::Number : GridItem::SortKey::Text;
}

std::string CellName(int row, int column) {
  return "grid cell (" + std::to_string(row) + ", " + std::to_string(column) + ")";
}

}  // namespace

ReportGrid::ReportGrid(QWidget* parent)
    : QTableWidget(parent), delegate_(new GridDelegate(*this, this)) {
  setItemDelegate(delegate_);
  SetUpGridView(*this);
  horizontalHeader()->setSectionsClickable(false);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ReportGrid::HeaderClicked);
  connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
    if (row >= 0 && column >= 0) emit CellSelected(row, column);
  });
}

ReportGrid::~ReportGrid() = default;

void ReportGrid::SetColumns(const QList<GridColumn>& columns) {
  setRowCount(0);
  columns_ = columns;
  setColumnCount(static_cast<int>(columns_.size()));
  QStringList captions;
  for (const GridColumn& column : columns_) captions << column.caption;
  setHorizontalHeaderLabels(captions);
  for (int c = 0; c < columnCount(); ++c) {
    setColumnWidth(c, columns_[c].width);
    setColumnHidden(c, columns_[c].hidden);
  }
  sortColumn_ = -1;
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

const GridColumn& ReportGrid::Column(int column) const {
  if (column < 0 || column >= columns_.size()) {
    throw std::out_of_range("grid column " + std::to_string(column) + " does not exist");
  }
  return columns_[column];
}

const GridColumn& ReportGrid::ColumnAt(int column) const {
  static const GridColumn kPlainText;
  return column >= 0 && column < columns_.size() ? columns_[column] : kPlainText;
}

void ReportGrid::SetImageList(const QList<QPixmap>& images) {
  images_ = images;
  viewport()->update();
}

void ReportGrid::SetHeaderHeight(int pixels) {
  horizontalHeader()->setFixedHeight(pixels);
}

void ReportGrid::SetRowHeight(int pixels) {
  QHeaderView* rows = verticalHeader();
  rows->setMinimumSectionSize(std::min(pixels, rows->minimumSectionSize()));
  rows->setDefaultSectionSize(pixels);
  for (int r = 0; r < rowCount(); ++r) setRowHeight(r, pixels);
}

void ReportGrid::SetFullRowSelection(bool fullRow) {
  setSelectionBehavior(fullRow ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

GridItem* ReportGrid::NewItem(int column) const {
  const GridColumn& definition = columns_[column];
  auto* cell = new GridItem(SortKeyOf(definition));
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  switch (definition.kind) {
    case ColumnKind::Text:
    case ColumnKind::DropDown:
    case ColumnKind::Number:
      if (definition.editable) flags |= Qt::ItemIsEditable;
      break;
    case ColumnKind::CheckBox:
      if (definition.editable) flags |= Qt::ItemIsUserCheckable;
      cell->setData(Qt::CheckStateRole, static_cast<int>(Qt::Unchecked));
      break;
    case ColumnKind::Progress:
    case ColumnKind::Image:
      break;
  }
  cell->setFlags(flags);
  return cell;
}

void ReportGrid::AppendRows(int count) {
  const int first = rowCount();
  setRowCount(first + count);
  for (int r = first; r < first + count; ++r) {
    for (int c = 0; c < columnCount(); ++c) setItem(r, c, NewItem(c));
  }
}

int ReportGrid::AddRow() {
  AppendRows(1);
  return rowCount() - 1;
}

void ReportGrid::SetRowCountTo(int count) {
  count = std::max(count, 0);
  if (count > rowCount()) {
    AppendRows(count - rowCount());
  } else {
    setRowCount(count);
  }
}

void ReportGrid::DeleteRow(int row) {
  if (row < 0 || row >= rowCount()) {
    throw std::out_of_range("grid row " + std::to_string(row) + " does not exist");
  }
  removeRow(row);
}

void ReportGrid::ClearRows() {
  setRowCount(0);
  // Rows that come next come in their own order: the header no longer shows one.
  sortColumn_ = -1;
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

GridItem* ReportGrid::Item(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columns_.size()) {
    throw std::out_of_range(CellName(row, column) + " does not exist");
  }
  auto* cell = static_cast<GridItem*>(item(row, column));
  if (cell == nullptr) {
    // A row inserted past this class (QTableWidget::insertRow) has no cells yet.
    cell = NewItem(column);
    const_cast<ReportGrid*>(this)->setItem(row, column, cell);
  }
  return cell;
}

GridItem* ReportGrid::TypedItem(int row, int column,
                                std::initializer_list<ColumnKind> kinds) const {
  GridItem* cell = Item(row, column);
  if (std::find(kinds.begin(), kinds.end(), columns_[column].kind) == kinds.end()) {
    throw std::logic_error(CellName(row, column) + " is of another kind");
  }
  return cell;
}

QString ReportGrid::CellText(int row, int column) const {
  return TypedItem(row, column, {ColumnKind::Text, ColumnKind::DropDown, ColumnKind::Number})
      ->text();
}

bool ReportGrid::SetCellText(int row, int column, const QString& text) {
  GridItem* cell =
      TypedItem(row, column, {ColumnKind::Text, ColumnKind::DropDown, ColumnKind::Number});
  if (cell->text() == text) return false;
  cell->setText(text);
  return true;
}

bool ReportGrid::IsChecked(int row, int column) const {
  return TypedItem(row, column, {ColumnKind::CheckBox})->checkState() == Qt::Checked;
}

bool ReportGrid::SetChecked(int row, int column, bool checked) {
  GridItem* cell = TypedItem(row, column, {ColumnKind::CheckBox});
  if ((cell->checkState() == Qt::Checked) == checked) return false;
  cell->setData(Qt::CheckStateRole, static_cast<int>(checked ? Qt::Checked : Qt::Unchecked));
  return true;
}

int ReportGrid::CellValue(int row, int column) const {
  return TypedItem(row, column, {ColumnKind::Progress, ColumnKind::Image})
      ->data(GridItem::kValueRole)
      .toInt();
}

bool ReportGrid::SetCellValue(int row, int column, int value) {
  GridItem* cell = TypedItem(row, column, {ColumnKind::Progress, ColumnKind::Image});
  if (cell->data(GridItem::kValueRole).toInt() == value) return false;
  cell->setData(GridItem::kValueRole, value);
  return true;
}

QColor ReportGrid::CellBackground(int row, int column) const {
  const QBrush brush = Item(row, column)->background();
  return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}

void ReportGrid::SetCellBackground(int row, int column, const QColor& colour) {
  if (CellBackground(row, column) == colour) return;
  Item(row, column)->setBackground(colour.isValid() ? QBrush(colour) : QBrush());
}

void ReportGrid::SetRowBackground(int row, const QColor& colour) {
  for (int c = 0; c < columnCount(); ++c) SetCellBackground(row, c, colour);
}

void ReportGrid::SetSortable(bool sortable) {
  sortable_ = sortable;
  horizontalHeader()->setSectionsClickable(sortable);
  horizontalHeader()->setSortIndicatorShown(sortable);
}

void ReportGrid::SortByColumn(int column, Qt::SortOrder order) {
  Column(column);  // refuses a column that does not exist
  // Our own sort, never QTableView's sorting mode: with that mode on, every
  // cell written re-sorts the rows at once and a row filled cell by cell ends
  // up with values from other rows.
  sortItems(column, order);
  sortColumn_ = column;
  sortOrder_ = order;
  horizontalHeader()->setSortIndicator(column, order);
}

void ReportGrid::HeaderClicked(int column) {
  if (!sortable_ || column < 0 || column >= columns_.size()) return;
  const Qt::SortOrder order = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder
                                  ? Qt::DescendingOrder
                                  : Qt::AscendingOrder;
  SortByColumn(column, order);
  emit Sorted(column, order);
}

void ReportGrid::BeginBulkUpdate() {
  if (bulkDepth_++ > 0) return;
  signalsWereBlocked_ = blockSignals(true);
  setUpdatesEnabled(false);
}

void ReportGrid::EndBulkUpdate() {
  if (bulkDepth_ == 0 || --bulkDepth_ > 0) return;
  setUpdatesEnabled(true);
  blockSignals(signalsWereBlocked_);
}

void ReportGrid::FinishEditing() {
  if (state() != QAbstractItemView::EditingState) return;
  QWidget* editor = indexWidget(currentIndex());
  if (editor == nullptr) return;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void ReportGrid::RepaintNow() {
  repaint();
}

void ReportGrid::ScrollToRow(int row) {
  scrollToItem(Item(row, 0));
}

void ReportGrid::ReportUserEdit(const QPersistentModelIndex& index) {
  if (index.isValid()) emit CellEdited(index.row(), index.column());
}

}  // namespace miravel
