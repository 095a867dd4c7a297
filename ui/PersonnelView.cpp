#include "ui/PersonnelView.h"

#include <QHeaderView>
#include <algorithm>

#include "ui/PersonnelModel.h"
#include "ui/grid/GridDelegate.h"

namespace miravel {
namespace {

constexpr int kRowHeight = 20;

}  // namespace

PersonnelView::PersonnelView(PersonnelModel& persons, QWidget* parent)
    : QTableView(parent), persons_(persons), delegate_(new GridDelegate(*this, this)) {
  setModel(&persons_);
  setItemDelegate(delegate_);
  SetUpGridView(*this);  // the model colours the rows by position
  QHeaderView* rows = verticalHeader();
  rows->setMinimumSectionSize(std::min(kRowHeight, rows->minimumSectionSize()));
  rows->setDefaultSectionSize(kRowHeight);
  QHeaderView* header = horizontalHeader();
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  const QList<GridColumn>& columns = persons_.Columns();
  for (int column = 0; column < columns.size(); ++column) {
    setColumnWidth(column, columns[column].width);
    setColumnHidden(column, columns[column].hidden);
  }
  connect(header, &QHeaderView::sectionClicked, this, &PersonnelView::HeaderClicked);
  connect(&persons_, &PersonnelModel::SortShown, this,
          [header](int column, Qt::SortOrder order) { header->setSortIndicator(column, order); });
}

PersonnelView::~PersonnelView() = default;

void PersonnelView::SetImageList(const QList<QPixmap>& images) {
  images_ = images;
  viewport()->update();
}

const GridColumn& PersonnelView::ColumnAt(int column) const {
  static const GridColumn kPlainText;
  const QList<GridColumn>& columns = persons_.Columns();
  return column >= 0 && column < columns.size() ? columns[column] : kPlainText;
}

void PersonnelView::ReportUserEdit(const QPersistentModelIndex& index) {
  if (index.isValid()) emit CellEdited(index.row(), index.column());
}

void PersonnelView::HeaderClicked(int column) {
  if (column < 0 || column >= persons_.columnCount() || isColumnHidden(column)) return;
  const Qt::SortOrder order =
      column == persons_.SortColumn() && persons_.SortOrder() == Qt::AscendingOrder
          ? Qt::DescendingOrder
          : Qt::AscendingOrder;
  persons_.sort(column, order);
}

void PersonnelView::FinishEditing() {
  if (state() != QAbstractItemView::EditingState) return;
  QWidget* editor = indexWidget(currentIndex());
  if (editor == nullptr) return;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void PersonnelView::LayOutNow() {
  executeDelayedItemsLayout();
}

void PersonnelView::ScrollToRow(int row) {
  scrollTo(persons_.index(row, 0));
}

}  // namespace miravel
