// The personnel window driven as a user would, with the fake terminal behind
// it: what the commands do to the files is the personnel commands' tests' to
// check; here, what the window adds (when it connects and loads, its grids,
// saving an edit, leaving) and that its boxes can be closed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "core/Cp1254.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/FakeUiServices.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/FindControl.h"
#include "tests/ui/ModalAnswer.h"
#include "tests/ui/QtPrinters.h"
#include "ui/PersonnelWindow.h"
#include "ui/QtUiServices.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

using test::FindControl;
using ::testing::ElementsAre;

const QColor kEven(255, 255, 225);
const QColor kOdd(255, 255, 197);

QStringList Column(const ReportGrid& grid, int column) {
  QStringList texts;
  for (int row = 0; row < grid.RowCount(); ++row) texts << grid.CellText(row, column);
  return texts;
}

// Whether the rows alternate from the top, as far as the colours go.
bool StripedFromTheTop(const ReportGrid& grid) {
  for (int row = 0; row < grid.RowCount(); ++row) {
    for (int column = 0; column <= 6; ++column) {
      if (grid.CellBackground(row, column) != (row % 2 == 0 ? kEven : kOdd)) return false;
    }
  }
  return true;
}

class PersonnelWindowTest : public ::testing::Test {
 protected:
  PersonnelWindowTest() {
    std::filesystem::create_directory(folder / "personel");
    state.programFolder = folder.Path();
  }

  void WriteStore(const std::string& list, const std::string& details) {
    test::WriteFile(folder / "personel/personel.ini", list);
    test::WriteFile(folder / "personel/parmakizi.ini", Utf8ToCp1254(details));
  }

  // Shows the window as the settings window does (without its loop) and
  // lets it connect and load.
  void Open(PersonnelWindow& shown, int machine = 3) {
    shown.SetTarget({ConnectionKind::kNetwork, "127.0.0.1", 4370, 0, 0, machine});
    shown.show();
    QTest::qWait(50);
  }

  ReportGrid& TerminalGrid() { return FindControl<ReportGrid>(window, "terminalGrid"); }
  ReportGrid& PcGrid() { return FindControl<ReportGrid>(window, "pcGrid"); }
  void Click(const char* button) {
    QTest::mouseClick(&FindControl<QPushButton>(window, button), Qt::LeftButton);
  }

  test::TempFolder folder;
  AppState state;
  test::FakeTerminal terminal;
  test::FakeUiServices ui;
  PersonnelWindow window{state, terminal, ui};
};

TEST_F(PersonnelWindowTest, LoadsOnceWhenShownSortsTheTerminalAndStripesAfterEachSort) {
  terminal.users[100001] = {"Ali", "", 0};  // shown as 00001, after 00005 in the terminal's order
  terminal.users[5] = {"Ayşe", "12", 2};
  terminal.users[42] = {"Can", "", 7};
  WriteStore("00034\r\n00012\r\n00050\r\n",
             "[00012]\r\nisim=Öykü\r\nparmakizi9=" + std::string(11, 'x') +
                 "\r\n[00034]\r\nisim=Şule\r\nparmakizi0=0123456789\r\n");
  Open(window);

  EXPECT_EQ(window.windowTitle(), "Personel");
  EXPECT_TRUE(window.IsConnected());
  EXPECT_EQ(state.activeMachineNumber, 3);
  EXPECT_EQ(terminal.calls[1], "RegisterEvents(3,1)");
  EXPECT_EQ(Column(TerminalGrid(), 0), QStringList({"00001", "00005", "00042"}));
  EXPECT_EQ(Column(TerminalGrid(), 2), QStringList({"Normal", "Yetkili", ""}));
  EXPECT_EQ(Column(TerminalGrid(), 7), QStringList({"1", "1", "1"}));
  EXPECT_TRUE(TerminalGrid().isColumnHidden(7));
  EXPECT_EQ(Column(PcGrid(), 0), QStringList({"00034", "00012", "00050"}));
  EXPECT_EQ(Column(PcGrid(), 1), QStringList({"Şule", "Öykü", ""}));
  // The red cross, the fingerprint (from parmakizi9 alone), the red cross.
  EXPECT_EQ(PcGrid().CellValue(0, 5), 0);
  EXPECT_EQ(PcGrid().CellValue(1, 5), 1);
  EXPECT_EQ(PcGrid().CellValue(2, 5), 0);
  EXPECT_TRUE(StripedFromTheTop(TerminalGrid()));
  EXPECT_TRUE(StripedFromTheTop(PcGrid()));
  EXPECT_FALSE(FindControl<QWidget>(window, "progressGroup").isVisible());

  // A header click sorts; the colours follow the positions again.
  QHeaderView* header = PcGrid().horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
  EXPECT_EQ(Column(PcGrid(), 0), QStringList({"00012", "00034", "00050"}));
  EXPECT_TRUE(StripedFromTheTop(PcGrid()));

  // Activated again (a box of a command closing): nothing is loaded twice.
  const std::size_t callsAfterLoading = terminal.calls.size();
  QApplication::setActiveWindow(nullptr);
  QApplication::setActiveWindow(&window);
  QTest::qWait(20);
  EXPECT_EQ(terminal.calls.size(), callsAfterLoading);
  EXPECT_EQ(PcGrid().RowCount(), 3);

  Click("exitButton");
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_EQ(TerminalGrid().RowCount(), 0);
  EXPECT_EQ(PcGrid().RowCount(), 0);
  EXPECT_TRUE(ui.messages.isEmpty() && ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

}  // namespace
}  // namespace miravel
