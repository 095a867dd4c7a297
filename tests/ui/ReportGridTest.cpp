// The grid's cells, rows, sorting and bulk filling, driven through its own API
// and its header as a window and a user would.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

#include "tests/support/TimeLimits.h"
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

TEST_F(ReportGridTest, CellsStartEmptyAndKeepWhatIsSetInTheirOwnRow) {
  grid_.SetRowCountTo(2);
  grid_.SetRowHeight(24);
  EXPECT_EQ(grid_.AddRow(), 2);
  EXPECT_EQ(grid_.rowHeight(2), 24);
  EXPECT_TRUE(grid_.SetCellText(1, kName, "Giriş Kapısı Çıkış"));
  EXPECT_TRUE(grid_.SetCellText(1, kNumber, "42"));
  EXPECT_TRUE(grid_.SetChecked(1, kTick, true));
  EXPECT_TRUE(grid_.SetCellValue(1, kProgress, 37));
  grid_.SetCellBackground(1, kStatus, QColor(242, 248, 255));
  EXPECT_EQ(grid_.CellText(1, kName), "Giriş Kapısı Çıkış");
  EXPECT_EQ(grid_.CellText(1, kNumber), "42");
  EXPECT_TRUE(grid_.IsChecked(1, kTick));
  EXPECT_EQ(grid_.CellValue(1, kProgress), 37);
  EXPECT_EQ(grid_.CellBackground(1, kStatus), QColor(242, 248, 255));
  for (int r : {0, 2}) {
    EXPECT_EQ(grid_.CellText(r, kName), "");
    EXPECT_FALSE(grid_.IsChecked(r, kTick));
    EXPECT_EQ(grid_.CellValue(r, kProgress), 0);
    EXPECT_FALSE(grid_.CellBackground(r, kStatus).isValid());
  }
  EXPECT_FALSE(grid_.SetCellValue(1, kProgress, 37));  // no change, reported as such

  grid_.DeleteRow(0);
  grid_.SetRowCountTo(3);
  EXPECT_EQ(ColumnTexts(kName), QStringList({"Giriş Kapısı Çıkış", "", ""}));
  grid_.SetRowCountTo(1);
  EXPECT_TRUE(grid_.IsChecked(0, kTick));
}

TEST_F(ReportGridTest, RefusesCellsThatDoNotExistOrAreOfAnotherKind) {
  grid_.SetRowCountTo(2);
  EXPECT_THROW(grid_.CellText(2, kName), std::out_of_range);
  EXPECT_THROW(grid_.SetChecked(0, kSampleColumnCount, true), std::out_of_range);
  EXPECT_THROW(grid_.DeleteRow(-1), std::out_of_range);
  EXPECT_THROW(grid_.CellText(0, kTick), std::logic_error);
  EXPECT_THROW(grid_.SetCellValue(0, kName, 3), std::logic_error);
  EXPECT_EQ(grid_.RowCount(), 2);
}

TEST_F(ReportGridTest, UnchangedValuesCauseNoModelSignal) {
  grid_.SetRowCountTo(3);
  QSignalSpy changes(grid_.model(), &QAbstractItemModel::dataChanged);
  EXPECT_TRUE(grid_.SetCellValue(1, kProgress, 37));
  grid_.SetRowBackground(2, QColor(255, 255, 225));
  const int changed = changes.count();
  EXPECT_EQ(changed, 1 + kSampleColumnCount);
  // A transfer sets its progress cell once per record; only changes may cost a repaint.
  for (int i = 0; i < 1000; ++i) grid_.SetCellValue(1, kProgress, 37);
  grid_.SetCellText(1, kName, "");
  grid_.SetChecked(1, kTick, false);
  grid_.SetRowBackground(2, QColor(255, 255, 225));
  EXPECT_EQ(changes.count(), changed);
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
  EXPECT_EQ(ColumnTexts(kName), QStringList({"eksi üç", "dokuz", "on", "yüz"}));  // whole rows

  ClickHeader(kNumber);
  EXPECT_EQ(sorted[1][1].value<Qt::SortOrder>(), Qt::DescendingOrder);
  EXPECT_EQ(ColumnTexts(kNumber), QStringList({"100", "10", "9", "-3"}));

  // Another column starts ascending again; progress cells sort by value.
  ClickHeader(kProgress);
  EXPECT_EQ(sorted[2][1].value<Qt::SortOrder>(), Qt::AscendingOrder);
  EXPECT_EQ(ColumnTexts(kName), QStringList({"yüz", "dokuz", "on", "eksi üç"}));

  grid_.SetSortable(false);
  ClickHeader(kNumber);
  EXPECT_EQ(sorted.count(), 3);
  EXPECT_EQ(ColumnTexts(kName), QStringList({"yüz", "dokuz", "on", "eksi üç"}));
}

TEST_F(ReportGridTest, TextsThatAreNotNumbersSortBeforeNumbers) {
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

TEST_F(ReportGridTest, BulkFillOfTenThousandRowsIsFastAndKeepsRowsTogether) {
  constexpr int kRows = 10000;
  grid_.SetSortable(true);
  grid_.SortByColumn(kName, Qt::DescendingOrder);  // a fill must not re-sort
  QSignalSpy selected(&grid_, &ReportGrid::CellSelected);
  QElapsedTimer clock;
  clock.start();
  {
    GridBulkUpdate bulk(grid_);
    GridBulkUpdate nested(grid_);
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
  std::printf("10000 rows: fill %lld ms, numeric sort %lld ms\n", static_cast<long long>(fillMs),
              static_cast<long long>(sortMs));
  // About 0.2 s here; room for a busy shared machine.
  EXPECT_LT(fillMs, 2000 * test::kTimeLimitScale);
  EXPECT_LT(sortMs, 2000 * test::kTimeLimitScale);
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
  grid_.setCurrentCell(1, kNumber);
  EXPECT_EQ(selected.count(), 1);
}

}  // namespace
}  // namespace miravel
