#pragma once

#include <QTableWidgetItem>

#include "ui/grid/GridColumn.h"

namespace miravel {

// One cell of a ReportGrid. It knows how its column sorts, so that a header
// click orders numbers as numbers and check boxes by their state.
class GridItem : public QTableWidgetItem {
 public:
  // Where Progress and Image cells keep their number.
  static constexpr int kValueRole = kGridValueRole;

  enum class SortKey { Text, Number, CheckState, Value };

  explicit GridItem(SortKey sortKey);

  QTableWidgetItem* clone() const override;
  bool operator<(const QTableWidgetItem& other) const override;

 private:
  SortKey sortKey_;
};

}  // namespace miravel
