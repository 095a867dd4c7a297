#include "ui/grid/GridColumn.h"

#include <QHeaderView>
#include <QTableView>

namespace miravel {

void SetUpGridView(QTableView& view) {
  view.setSelectionMode(QAbstractItemView::SingleSelection);
  view.setSelectionBehavior(QAbstractItemView::SelectItems);
  view.setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                       QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  view.setShowGrid(true);
  view.setWordWrap(false);
  view.setAlternatingRowColors(false);
  view.verticalHeader()->hide();
  view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view.horizontalHeader()->setHighlightSections(false);
  view.horizontalHeader()->setStretchLastSection(false);
}

}  // namespace miravel
