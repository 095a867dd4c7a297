// The grid's cells, rows, sorting and bulk filling, driven through its own API
// and its header as a window and a user would.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

#include "tests/ui/GridSamples.h"
#include "tests/ui/QtPrinters.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

using namespace test;

class ReportGridTest : public testing::Test {
 protected:
  void SetUp() override {
    grid_.SetColumns(SampleColumns());
    grid_.resize(800, 400);
  }

  void ClickHeader(int column) {
    QHeaderView* header = grid_.horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
  }

  QStringList ColumnTexts(int column) const {
    QStringList texts;
    for (int r = 0; r < grid_.RowCount(); ++r) texts << grid_.CellText(r, column);
    return texts;
  }

  ReportGrid grid_;
};

TEST_F(ReportGridTest, NewRowsAreEmptyAndEveryKindKeepsItsValue) {
  EXPECT_EQ(grid_.AddRow(), 0);
  EXPECT_EQ(grid_.AddRow(), 1);
  EXPECT_EQ(grid_.CellText(1, kName), "");
  EXPECT_FALSE(grid_.IsChecked(1, kTick));
  EXPECT_EQ(grid_.CellValue(1, kProgress), 0);
  EXPECT_EQ(grid_.CellValue(1, kStatus), 0);
  EXPECT_FALSE(grid_.CellBackground(1, kName).isValid());

  EXPECT_TRUE(grid_.SetCellText(1, kName, "Giriş Kapısı Çıkış"));
  EXPECT_TRUE(grid_.SetCellText(1, kLinkType, "Comm Port"));
  EXPECT_TRUE(grid_.SetCellText(1, kNumber, "42"));
  EXPECT_TRUE(grid_.SetChecked(1, kTick, true));
  EXPECT_TRUE(grid_.SetCellValue(1, kProgress, 37));
  EXPECT_TRUE(grid_.SetCellValue(1, kStatus, 2));
  grid_.SetCellBackground(1, kStatus, QColor(242, 248, 255));

  EXPECT_EQ(grid_.CellText(1, kName), "Giriş Kapısı Çıkış");
  EXPECT_EQ(grid_.CellText(1, kLinkType), "Comm Port");
  EXPECT_EQ(grid_.CellText(1, kNumber), "42");
  EXPECT_TRUE(grid_.IsChecked(1, kTick));
  EXPECT_EQ(grid_.CellValue(1, kProgress), 37);
  EXPECT_EQ(grid_.CellValue(1, kStatus), 2);
  EXPECT_EQ(grid_.CellBackground(1, kStatus), QColor(242, 248, 255));
  // Row 0 was not touched by any of this.
  EXPECT_EQ(grid_.CellText(0, kName), "");
  EXPECT_FALSE(grid_.IsChecked(0, kTick));

  // Setting what a cell already holds is reported as no change.
  EXPECT_FALSE(grid_.SetCellText(1, kName, "Giriş Kapısı Çıkış"));
  EXPECT_FALSE(grid_.SetChecked(1, kTick, true));
  EXPECT_FALSE(grid_.SetCellValue(1, kProgress, 37));
}

TEST_F(ReportGridTest, RefusesCellsThatDoNotExistOrAreOfAnotherKind) {
  grid_.SetRowCountTo(2);
  EXPECT_THROW(grid_.CellText(2, kName), std::out_of_range);
  EXPECT_THROW(grid_.SetCellText(-1, kName, "x"), std::out_of_range);
  EXPECT_THROW(grid_.SetChecked(0, kSampleColumnCount, true), std::out_of_range);
  EXPECT_THROW(grid_.DeleteRow(2), std::out_of_range);
  EXPECT_THROW(grid_.CellText(0, kTick), std::logic_error);
  EXPECT_THROW(grid_.SetCellValue(0, kName, 3), std::logic_error);
  EXPECT_THROW(grid_.IsChecked(0, kProgress), std::logic_error);
  EXPECT_EQ(grid_.RowCount(), 2);
}

TEST_F(ReportGridTest, RowsGrowShrinkAndDeleteWithoutMixingValues) {
  grid_.SetRowCountTo(3);
  for (int r = 0; r < 3; ++r) grid_.SetCellText(r, kName, QString("Cihaz%1").arg(r + 1));
  grid_.SetChecked(2, kTick, true);
  grid_.DeleteRow(1);
  EXPECT_EQ(ColumnTexts(kName), QStringList({"Cihaz1", "Cihaz3"}));
  EXPECT_TRUE(grid_.IsChecked(1, kTick));

  grid_.SetRowCountTo(4);  // growing keeps the rows there and appends empty ones
  EXPECT_EQ(ColumnTexts(kName), QStringList({"Cihaz1", "Cihaz3", "", ""}));
  EXPECT_FALSE(grid_.IsChecked(3, kTick));
  grid_.SetRowCountTo(1);
  EXPECT_EQ(ColumnTexts(kName), QStringList({"Cihaz1"}));
  grid_.ClearRows();
  EXPECT_EQ(grid_.RowCount(), 0);
  grid_.SetRowCountTo(-5);
  EXPECT_EQ(grid_.RowCount(), 0);
}

TEST_F(ReportGridTest, LayoutFollowsTheColumnsAndRowHeight) {
  grid_.SetRowCountTo(2);
  grid_.SetRowHeight(24);
  grid_.SetHeaderHeight(18);
  grid_.AddRow();
  for (int r = 0; r < 3; ++r) EXPECT_EQ(grid_.rowHeight(r), 24) << "row " << r;
  EXPECT_EQ(grid_.horizontalHeader()->height(), 18);
  EXPECT_EQ(grid_.columnWidth(kTick), 51);
  EXPECT_EQ(grid_.columnWidth(kProgress), 105);
  EXPECT_TRUE(grid_.isColumnHidden(kFlag));
  EXPECT_FALSE(grid_.isColumnHidden(kName));
  EXPECT_EQ(grid_.horizontalHeaderItem(kName)->text(), "Cihaz Adı");
  // Columns are replaced as a whole, rows with them.
  grid_.SetColumns({{.caption = "Per.No"}});
  EXPECT_EQ(grid_.columnCount(), 1);
  EXPECT_EQ(grid_.RowCount(), 0);
}

TEST_F(ReportGridTest, UnchangedValuesCauseNoModelSignal) {
  grid_.SetRowCountTo(3);
  QSignalSpy changes(grid_.model(), &QAbstractItemModel::dataChanged);
  EXPECT_TRUE(grid_.SetCellValue(1, kProgress, 37));
  EXPECT_EQ(changes.count(), 1);
  // A transfer sets its progress cell once per record; only changes may cost a repaint.
  for (int i = 0; i < 1000; ++i) grid_.SetCellValue(1, kProgress, 37);
  grid_.SetCellText(1, kName, "");
  grid_.SetChecked(1, kTick, false);
  grid_.SetCellValue(1, kStatus, 0);
  grid_.SetCellBackground(1, kName, QColor());
  grid_.SetRowBackground(2, QColor(255, 255, 225));
  const int afterStripe = changes.count();
  grid_.SetRowBackground(2, QColor(255, 255, 225));
  EXPECT_EQ(afterStripe, 1 + kSampleColumnCount);
  EXPECT_EQ(changes.count(), afterStripe);
}

TEST_F(ReportGridTest, HeaderClicksSortNumbersAsNumbersAndReverse) {
  grid_.SetSortable(true);
  const QStringList numbers = {"100", "9", "10", "-3"};
  const QStringList names = {"yüz", "dokuz", "on", "eksi üç"};
  for (int i = 0; i < numbers.size(); ++i) {
    const int r = grid_.AddRow();
    grid_.SetCellText(r, kNumber, numbers[i]);
    grid_.SetCellText(r, kName, names[i]);
    grid_.SetCellValue(r, kProgress, i);
  }
  QSignalSpy sorted(&grid_, &ReportGrid::Sorted);

  ClickHeader(kNumber);
  ASSERT_EQ(sorted.count(), 1);
  EXPECT_EQ(sorted[0][0].toInt(), kNumber);
  EXPECT_EQ(sorted[0][1].value<Qt::SortOrder>(), Qt::AscendingOrder);
  EXPECT_EQ(ColumnTexts(kNumber), QStringList({"-3", "9", "10", "100"}));
  // Whole rows move, not one column.
  EXPECT_EQ(ColumnTexts(kName), QStringList({"eksi üç", "dokuz", "on", "yüz"}));
  EXPECT_EQ(grid_.CellValue(0, kProgress), 3);

  ClickHeader(kNumber);
  ASSERT_EQ(sorted.count(), 2);
  EXPECT_EQ(sorted[1][1].value<Qt::SortOrder>(), Qt::DescendingOrder);
  EXPECT_EQ(ColumnTexts(kNumber), QStringList({"100", "10", "9", "-3"}));

  // Another column starts ascending again; text sorts as text.
  ClickHeader(kName);
  EXPECT_EQ(ColumnTexts(kName), QStringList({"dokuz", "eksi üç", "on", "yüz"}));
  EXPECT_EQ(sorted[2][1].value<Qt::SortOrder>(), Qt::AscendingOrder);
  ClickHeader(kNumber);
  EXPECT_EQ(sorted[3][1].value<Qt::SortOrder>(), Qt::AscendingOrder);

  // Sorting by a check box or progress column orders by state and value.
  grid_.SetChecked(2, kSelect, true);
  const QString ticked = grid_.CellText(2, kName);
  ClickHeader(kSelect);
  ClickHeader(kSelect);
  EXPECT_EQ(grid_.CellText(0, kName), ticked);
  ClickHeader(kProgress);
  EXPECT_EQ(ColumnTexts(kName), QStringList({"yüz", "dokuz", "on", "eksi üç"}));
}

TEST_F(ReportGridTest, HeaderClicksDoNothingUnlessSortable) {
  grid_.SetRowCountTo(2);
  grid_.SetCellText(0, kNumber, "5");
  grid_.SetCellText(1, kNumber, "1");
  QSignalSpy sorted(&grid_, &ReportGrid::Sorted);
  ClickHeader(kNumber);
  EXPECT_EQ(sorted.count(), 0);
  EXPECT_EQ(ColumnTexts(kNumber), QStringList({"5", "1"}));
}

TEST_F(ReportGridTest, NumbersThatAreNotNumbersSortFirstAndStayTogether) {
  for (const char* text : {"12", "", "abc", "3"}) {
    const int r = grid_.AddRow();
    grid_.SetCellText(r, kNumber, text);
    grid_.SetCellText(r, kFlag, text);  // a text column that sorts as numbers
  }
  grid_.SortByColumn(kNumber, Qt::AscendingOrder);
  EXPECT_EQ(ColumnTexts(kNumber), QStringList({"", "abc", "3", "12"}));
  grid_.SortByColumn(kFlag, Qt::DescendingOrder);
  EXPECT_EQ(ColumnTexts(kFlag), QStringList({"12", "3", "abc", ""}));
}

TEST_F(ReportGridTest, SettingCellsNeverMovesRowsOfASortedGrid) {
  grid_.SetSortable(true);
  grid_.SetRowCountTo(3);
  grid_.SortByColumn(kName, Qt::AscendingOrder);
  // Written in an order that a re-sort after every cell would scramble.
  const QStringList names = {"c", "b", "a"};
  for (int r = 0; r < 3; ++r) {
    grid_.SetCellText(r, kName, names[r]);
    grid_.SetCellText(r, kNumber, QString::number(r));
  }
  EXPECT_EQ(ColumnTexts(kName), names);
  EXPECT_EQ(ColumnTexts(kNumber), QStringList({"0", "1", "2"}));
}

TEST_F(ReportGridTest, BulkFillOfTenThousandRowsIsFastAndKeepsRowsTogether) {
  constexpr int kRows = 10000;
  grid_.SetSortable(true);
  grid_.SortByColumn(kName, Qt::DescendingOrder);
  QSignalSpy selected(&grid_, &ReportGrid::CellSelected);
  QElapsedTimer clock;
  clock.start();
  {
    GridBulkUpdate bulk(grid_);
    grid_.SetRowCountTo(kRows);
    for (int r = 0; r < kRows; ++r) {
      grid_.SetCellText(r, kName, QString("Personel %1").arg(kRows - r, 5, 10, QChar('0')));
      grid_.SetCellText(r, kNumber, QString::number(r));
      grid_.SetCellText(r, kLinkType, r % 2 == 0 ? "Ethernet" : "Comm Port");
      grid_.SetChecked(r, kTick, r % 3 == 0);
      grid_.SetCellValue(r, kProgress, r % 101);
      grid_.SetCellValue(r, kStatus, r % 3);
      grid_.SetRowBackground(r, r % 2 == 0 ? QColor(255, 255, 225) : QColor(255, 255, 197));
    }
    grid_.setCurrentCell(5, kName);  // signals stay quiet while filling
  }
  const qint64 fillMs = clock.restart();
  grid_.SortByColumn(kNumber, Qt::DescendingOrder);
  const qint64 sortMs = clock.elapsed();
  RecordProperty("fill_ms", static_cast<int>(fillMs));
  RecordProperty("sort_ms", static_cast<int>(sortMs));
  std::printf("10000 x 7 cells: fill %lld ms, numeric sort %lld ms\n",
              static_cast<long long>(fillMs), static_cast<long long>(sortMs));
  // Under a second with room for a busy shared machine.
  EXPECT_LT(fillMs, 2000);
  EXPECT_LT(sortMs, 2000);
  EXPECT_EQ(selected.count(), 0);
  EXPECT_FALSE(grid_.signalsBlocked());
  EXPECT_TRUE(grid_.updatesEnabled());

  ASSERT_EQ(grid_.RowCount(), kRows);
  for (int r = 0; r < kRows; ++r) {
    const int n = grid_.CellText(r, kNumber).toInt();
    ASSERT_EQ(n, kRows - 1 - r);
    ASSERT_EQ(grid_.CellText(r, kName), QString("Personel %1").arg(kRows - n, 5, 10, QChar('0')));
    ASSERT_EQ(grid_.IsChecked(r, kTick), n % 3 == 0);
    ASSERT_EQ(grid_.CellValue(r, kProgress), n % 101);
    ASSERT_EQ(grid_.CellBackground(r, kFlag),
              n % 2 == 0 ? QColor(255, 255, 225) : QColor(255, 255, 197));
  }
}

TEST_F(ReportGridTest, BulkUpdatesNestAndEndOnAnException) {
  grid_.SetRowCountTo(1);
  try {
    GridBulkUpdate outer(grid_);
    { GridBulkUpdate inner(grid_); }
    EXPECT_TRUE(grid_.signalsBlocked());  // the inner guard must not end the outer one
    grid_.CellText(7, kName);
  } catch (const std::out_of_range&) {
  }
  EXPECT_FALSE(grid_.signalsBlocked());
  EXPECT_TRUE(grid_.updatesEnabled());
  QSignalSpy selected(&grid_, &ReportGrid::CellSelected);
  grid_.setCurrentCell(0, kNumber);
  ASSERT_EQ(selected.count(), 1);
  EXPECT_EQ(selected[0][0].toInt(), 0);
  EXPECT_EQ(selected[0][1].toInt(), kNumber);
}

}  // namespace
}  // namespace miravel
