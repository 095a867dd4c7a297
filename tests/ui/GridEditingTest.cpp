// Editing in place as a user does it: clicks on check boxes, the drop-down and
// number editors, and which changes are reported as the user's.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
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

  bool EditorOpen(int row, int column) const {
    return grid_.indexWidget(grid_.model()->index(row, column)) != nullptr;
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
  EXPECT_EQ(edited_.count(), 2);

  // Where an uncentred box would be, a centred one is not: nothing toggles.
  Click(CellRect(1, kTick).topLeft() + QPoint(6, CellRect(1, kTick).height() / 2));
  EXPECT_FALSE(grid_.IsChecked(1, kTick));
  EXPECT_EQ(edited_.count(), 2);
  EXPECT_FALSE(grid_.IsChecked(0, kTick));
  EXPECT_FALSE(grid_.IsChecked(2, kTick));
}

TEST_F(GridEditingTest, LeftCheckBoxAndKeyboardToggleToo) {
  const QRect cell = CellRect(2, kSelect);
  Click(cell.topLeft() + QPoint(cell.height() / 2, cell.height() / 2));
  EXPECT_TRUE(grid_.IsChecked(2, kSelect));
  grid_.setCurrentCell(0, kTick);
  QTest::keyClick(grid_.viewport(), Qt::Key_Space);
  EXPECT_TRUE(grid_.IsChecked(0, kTick));
  EXPECT_EQ(edited_.count(), 2);
}

TEST_F(GridEditingTest, ReadOnlyCheckBoxesIgnoreClicks) {
  grid_.SetColumns(
      {{.caption = "Seç", .kind = ColumnKind::CheckBox, .width = 40, .centred = true}});
  grid_.SetRowCountTo(1);
  grid_.SetChecked(0, 0, true);
  Click(CellRect(0, 0).center());
  EXPECT_TRUE(grid_.IsChecked(0, 0));
  EXPECT_EQ(edited_.count(), 0);
}

TEST_F(GridEditingTest, ChangesMadeInCodeAreNotReportedAsEdits) {
  grid_.SetChecked(0, kTick, true);
  grid_.SetCellText(0, kName, "Cihaz1");
  grid_.SetCellText(0, kPrivilege, "Yetkili");
  grid_.SetCellValue(0, kProgress, 100);
  grid_.SetRowBackground(0, Qt::yellow);
  grid_.SortByColumn(kName, Qt::DescendingOrder);
  grid_.AddRow();
  grid_.DeleteRow(0);
  EXPECT_EQ(edited_.count(), 0);
}

TEST_F(GridEditingTest, DropDownWritesBackTheChosenItem) {
  grid_.SetCellText(1, kPrivilege, "Normal");
  auto* combo = OpenEditor<QComboBox>(1, kPrivilege);
  ASSERT_NE(combo, nullptr);
  EXPECT_FALSE(combo->isEditable());  // offered values only
  EXPECT_EQ(combo->count(), 4);
  EXPECT_EQ(combo->currentText(), "Normal");
  QTest::keyClick(combo, Qt::Key_Down);  // chooses the next value, as from the list
  EXPECT_EQ(grid_.CellText(1, kPrivilege), "Kayıtçı");
  ASSERT_EQ(edited_.count(), 1);
  EXPECT_EQ(edited_[0][0].toInt(), 1);
  EXPECT_EQ(edited_[0][1].toInt(), kPrivilege);
  QTest::qWait(0);  // the chosen value closes the editor
  EXPECT_FALSE(EditorOpen(1, kPrivilege));
}

TEST_F(GridEditingTest, DropDownTakesFreeTextExactlyAsTyped) {
  grid_.SetCellText(2, kLinkType, "Ethernet");
  auto* combo = OpenEditor<QComboBox>(2, kLinkType);
  ASSERT_NE(combo, nullptr);
  ASSERT_TRUE(combo->isEditable());
  EXPECT_EQ(combo->currentText(), "Ethernet");
  combo->lineEdit()->clear();
  // "Com" is the start of an offered value; it must not be completed into it.
  QTest::keyClicks(combo->lineEdit(), "Com");
  PressReturn(combo->lineEdit());
  EXPECT_EQ(grid_.CellText(2, kLinkType), "Com");
  EXPECT_EQ(edited_.count(), 1);
  EXPECT_EQ(combo->count(), 2);  // typed text is not added to the offered values
}

TEST_F(GridEditingTest, TextEditorCommitsAndAnUnchangedCommitIsNoEdit) {
  auto* edit = OpenEditor<QLineEdit>(0, kName);
  ASSERT_NE(edit, nullptr);
  // Typed as a keyboard sends it, Turkish letters included.
  for (QChar letter : QString("Ön Kapı")) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(letter));
    QCoreApplication::sendEvent(edit, &press);
  }
  PressReturn(edit);
  EXPECT_EQ(grid_.CellText(0, kName), "Ön Kapı");
  EXPECT_EQ(edited_.count(), 1);

  edit = OpenEditor<QLineEdit>(0, kName);
  ASSERT_NE(edit, nullptr);
  PressReturn(edit);
  EXPECT_EQ(edited_.count(), 1);
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
  edit->clear();
  QTest::keyClicks(edit, "-");
  PressReturn(edit);
  EXPECT_EQ(grid_.CellText(0, kNumber), "420");
  // Digits that would take the number past 32 bits are refused as typed.
  edit->clear();
  QTest::keyClicks(edit, "99999999999");
  EXPECT_EQ(edit->text(), "999999999");
  edit->setText("-2147483648");
  PressReturn(edit);
  EXPECT_EQ(grid_.CellText(0, kNumber), "-2147483648");
  EXPECT_EQ(edited_.count(), 2);
}

TEST_F(GridEditingTest, ReadOnlyColumnsOpenNoEditor) {
  grid_.SetColumns({{.caption = "İşlem Durumu", .width = 146}});
  grid_.SetRowCountTo(1);
  grid_.setCurrentCell(0, 0);
  grid_.editItem(grid_.item(0, 0));
  EXPECT_FALSE(EditorOpen(0, 0));
  QTest::keyClicks(grid_.viewport(), "x");
  EXPECT_EQ(grid_.CellText(0, 0), "");
}

}  // namespace
}  // namespace miravel
