// Editing in place as a user does it: clicks on check boxes, the drop-down and
// number editors, and which changes are reported as the user's.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "tests/ui/GridSamples.h"
#include "tests/ui/QtPrinters.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

using namespace test;

class GridEditingTest : public testing::Test {
 protected:
  void SetUp() override {
    grid_.SetColumns(SampleColumns());
    grid_.SetRowHeight(24);
    grid_.SetRowCountTo(3);
    grid_.resize(800, 300);
    grid_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid_));
  }

  QRect CellRect(int row, int column) const {
    return grid_.visualItemRect(grid_.item(row, column));
  }
  void Click(QPoint where) { QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, where); }

  // Opens the cell's editor as a double-click or F2 would.
  template <class Editor>
  Editor* OpenEditor(int row, int column) {
    grid_.setCurrentCell(row, column);
    grid_.editItem(grid_.item(row, column));
    return qobject_cast<Editor*>(grid_.indexWidget(grid_.model()->index(row, column)));
  }

  // The view commits a typed value once the key press has been handled.
  static void PressReturn(QWidget* editor) {
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
  }

  ReportGrid grid_;
  QSignalSpy edited_{&grid_, &ReportGrid::CellEdited};
};

TEST_F(GridEditingTest, ClickOnTheCentreOfACentredCheckBoxTogglesItAndReportsTheEdit) {
  Click(CellRect(1, kTick).center());
  EXPECT_TRUE(grid_.IsChecked(1, kTick));
  ASSERT_EQ(edited_.count(), 1);
  EXPECT_EQ(edited_[0][0].toInt(), 1);
  EXPECT_EQ(edited_[0][1].toInt(), kTick);
  Click(CellRect(1, kTick).center());
  EXPECT_FALSE(grid_.IsChecked(1, kTick));

  // Where an uncentred box would be, a centred one is not: nothing toggles.
  Click(CellRect(1, kTick).topLeft() + QPoint(6, 12));
  EXPECT_FALSE(grid_.IsChecked(1, kTick));
  EXPECT_EQ(edited_.count(), 2);
  // An uncentred box sits at the left; the keyboard toggles too.
  Click(CellRect(2, kSelect).topLeft() + QPoint(12, 12));
  EXPECT_TRUE(grid_.IsChecked(2, kSelect));
  grid_.setCurrentCell(0, kTick);
  QTest::keyClick(grid_.viewport(), Qt::Key_Space);
  EXPECT_TRUE(grid_.IsChecked(0, kTick));
  EXPECT_EQ(edited_.count(), 4);
}

TEST_F(GridEditingTest, ChangesMadeInCodeAreNotReportedAsEdits) {
  grid_.SetChecked(0, kTick, true);
  grid_.SetCellText(0, kName, "Cihaz1");
  grid_.SetCellValue(0, kProgress, 100);
  grid_.SetRowBackground(0, Qt::yellow);
  grid_.SortByColumn(kName, Qt::DescendingOrder);
  grid_.DeleteRow(0);
  EXPECT_EQ(edited_.count(), 0);

  // Nor can the user change a check box the column does not let him change.
  grid_.SetColumns({{.caption = "Seç", .kind = ColumnKind::CheckBox, .centred = true}});
  grid_.SetRowCountTo(1);
  Click(CellRect(0, 0).center());
  EXPECT_FALSE(grid_.IsChecked(0, 0));
  EXPECT_EQ(edited_.count(), 0);
}

TEST_F(GridEditingTest, DropDownWritesBackTheChosenItemOrTheTypedText) {
  grid_.SetCellText(1, kPrivilege, "Normal");
  auto* combo = OpenEditor<QComboBox>(1, kPrivilege);
  ASSERT_NE(combo, nullptr);
  EXPECT_FALSE(combo->isEditable());  // offered values only
  EXPECT_EQ(combo->currentText(), "Normal");
  QTest::keyClick(combo, Qt::Key_Down);  // chooses the next value, as from the list
  EXPECT_EQ(grid_.CellText(1, kPrivilege), "Kayıtçı");
  ASSERT_EQ(edited_.count(), 1);
  EXPECT_EQ(edited_[0][0].toInt(), 1);
  EXPECT_EQ(edited_[0][1].toInt(), kPrivilege);

  combo = OpenEditor<QComboBox>(2, kLinkType);
  ASSERT_NE(combo, nullptr);
  ASSERT_TRUE(combo->isEditable());
  // "Com" starts an offered value; it must be kept as typed, not completed.
  QTest::keyClicks(combo->lineEdit(), "Com");
  PressReturn(combo->lineEdit());
  EXPECT_EQ(grid_.CellText(2, kLinkType), "Com");
  EXPECT_EQ(combo->count(), 2);  // and not added to the offered values
  EXPECT_EQ(edited_.count(), 2);
}

TEST_F(GridEditingTest, NumberEditorRefusesLettersAndHalfNumbers) {
  auto* edit = OpenEditor<QLineEdit>(0, kNumber);
  ASSERT_NE(edit, nullptr);
  QTest::keyClicks(edit, "4a2b,0 ");
  EXPECT_EQ(edit->text(), "420");
  PressReturn(edit);
  EXPECT_EQ(grid_.CellText(0, kNumber), "420");
  EXPECT_EQ(edited_.count(), 1);

  // A lone minus is no number: Return keeps the editor open, the cell its value.
  edit = OpenEditor<QLineEdit>(0, kNumber);
  ASSERT_NE(edit, nullptr);
  edit->setText("-");
  PressReturn(edit);
  EXPECT_EQ(grid_.CellText(0, kNumber), "420");
  // Digits that would take the number past 32 bits are refused as typed.
  edit->clear();
  QTest::keyClicks(edit, "99999999999");
  EXPECT_EQ(edit->text(), "999999999");
  edit->setText("420");
  PressReturn(edit);  // committed unchanged: no edit to report
  EXPECT_EQ(edited_.count(), 1);
}

}  // namespace
}  // namespace miravel
