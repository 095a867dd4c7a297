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
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <thread>

#include "core/Cp1254.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/FakeUiServices.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestClock.h"
#include "tests/ui/FindControl.h"
#include "tests/ui/QtPrinters.h"
#include "ui/CommandGuard.h"
#include "ui/PersonnelModel.h"
#include "ui/PersonnelView.h"
#include "ui/PersonnelWindow.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsWindow.h"

namespace miravel {
namespace {

using test::FindControl;
using ::testing::ElementsAre;

const QColor kEven(255, 255, 225);
const QColor kOdd(255, 255, 197);

// What a list shows in one column, from the top.
QStringList Column(const QAbstractItemModel& rows, int column, int role = Qt::DisplayRole) {
  QStringList texts;
  for (int row = 0; row < rows.rowCount(); ++row) {
    texts << rows.index(row, column).data(role).toString();
  }
  return texts;
}

QList<bool> Ticks(const QAbstractItemModel& rows) {
  QList<bool> ticked;
  for (int row = 0; row < rows.rowCount(); ++row) {
    ticked << (rows.index(row, 6).data(Qt::CheckStateRole).toInt() == Qt::Checked);
  }
  return ticked;
}

void SetTick(QAbstractItemModel& rows, int row, bool ticked) {
  rows.setData(rows.index(row, 6), static_cast<int>(ticked ? Qt::Checked : Qt::Unchecked),
               Qt::CheckStateRole);
}

// Whether the rows alternate from the top, as far as the colours go.
bool StripedFromTheTop(const QAbstractItemModel& rows) {
  for (int row = 0; row < rows.rowCount(); ++row) {
    for (int column = 0; column <= 6; ++column) {
      if (rows.index(row, column).data(Qt::BackgroundRole).value<QColor>() !=
          (row % 2 == 0 ? kEven : kOdd)) {
        return false;
      }
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
  void Open(PersonnelWindow& shown) {
    shown.SetTarget({ConnectionKind::kNetwork, "127.0.0.1", 4370, 0, 0, 3});
    shown.show();
    QTest::qWait(50);
  }

  // A key of parmakizi.ini as it stands on disk now.
  std::string Stored(const std::string& section, const std::string& key) {
    return IniFile(folder / "personel/parmakizi.ini").ReadString(section, key, "<yok>");
  }
  PersonnelView& TerminalGrid() { return FindControl<PersonnelView>(window, "terminalGrid"); }
  PersonnelView& StoreGrid() { return FindControl<PersonnelView>(window, "storeGrid"); }
  PersonnelModel& TerminalRows() { return TerminalGrid().Persons(); }
  PersonnelModel& StoreRows() { return StoreGrid().Persons(); }
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
  terminal.users[100001] = {"Ali", "", 0};
  terminal.users[20000] = {"Berk", "", 0};
  terminal.users[5] = {"Ayşe", "12", 2};
  terminal.users[42] = {"Can", "", 7};
  terminal.listedOrder = {100001, 20000, 5, 42};
  WriteStore("00034\r\n00012\r\n00050\r\n",
             "[00012]\r\nisim=Öykü\r\nparmakizi9=" + std::string(11, 'x') +
                 "\r\n[00034]\r\nisim=Şule\r\nparmakizi0=0123456789\r\n");
  Open(window);

  EXPECT_EQ(window.windowTitle(), "Personel");
  EXPECT_TRUE(window.IsConnected());
  EXPECT_EQ(terminal.calls[1], "RegisterEvents(3,1)");
  // By number: 100001 is shown whole, after 20000.
  EXPECT_EQ(Column(TerminalRows(), 0), QStringList({"00005", "00042", "20000", "100001"}));
  EXPECT_EQ(Column(TerminalRows(), 2), QStringList({"Yetkili", "", "Normal", "Normal"}));
  EXPECT_EQ(Column(TerminalRows(), 7), QStringList({"1", "1", "1", "1"}));
  EXPECT_TRUE(TerminalGrid().isColumnHidden(7));
  EXPECT_EQ(Column(StoreRows(), 0), QStringList({"00034", "00012", "00050"}));
  // The red cross, the fingerprint (from parmakizi9 alone), the red cross.
  EXPECT_EQ(Column(StoreRows(), 5, kGridValueRole), QStringList({"0", "1", "0"}));
  EXPECT_TRUE(StripedFromTheTop(TerminalRows()));
  EXPECT_TRUE(StripedFromTheTop(StoreRows()));
  EXPECT_FALSE(FindControl<QWidget>(window, "progressGroup").isVisible());

  // A header click sorts; the colours follow the positions again.
  QHeaderView* header = StoreGrid().horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
  EXPECT_EQ(Column(StoreRows(), 0), QStringList({"00012", "00034", "00050"}));
  EXPECT_TRUE(StripedFromTheTop(StoreRows()));

  // Activated again (a box of a command closing): nothing is loaded twice.
  const std::size_t callsAfterLoading = terminal.calls.size();
  QApplication::setActiveWindow(nullptr);
  QApplication::setActiveWindow(&window);
  QTest::qWait(20);
  EXPECT_EQ(terminal.calls.size(), callsAfterLoading);
  EXPECT_EQ(StoreRows().rowCount(), 3);

  Click("exitButton");
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_EQ(TerminalRows().rowCount(), 0);
  EXPECT_EQ(StoreRows().rowCount(), 0);
  // The next showing loads the file's order: the header shows no sort.
  EXPECT_EQ(header->sortIndicatorSection(), -1);
  EXPECT_TRUE(ui.messages.isEmpty() && ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

TEST_F(PersonnelWindowTest, EachButtonRunsItsOwnCommandOnItsOwnList) {
  terminal.users[7] = {"Can", "", 0};
  terminal.templates[{7, 2}] = std::string(30, 'p');
  WriteStore("00012\r\n00013\r\n", "[00012]\r\nisim=Öykü\r\nparmakizi0=" + std::string(30, 'q') +
                                       "\r\n[00013]\r\nisim=Ümit\r\n");
  Open(window);
  Click("storeTickAllButton");
  EXPECT_EQ(Ticks(StoreRows()), QList<bool>({true, true}));
  SetTick(StoreRows(), 1, false);
  Click("storeInvertTicksButton");
  EXPECT_EQ(Ticks(StoreRows()), QList<bool>({false, true}));
  EXPECT_EQ(Ticks(TerminalRows()), QList<bool>({false}));
  Click("storeClearTicksButton");
  EXPECT_EQ(Ticks(StoreRows()), QList<bool>({false, false}));

  // "Al" takes from the terminal on the left, "Gönder" sends to it.
  Click("terminalTickAllButton");
  Click("takePersonalButton");
  EXPECT_EQ(Column(StoreRows(), 0), QStringList({"00012", "00013", "00007"}));
  Click("terminalInvertTicksButton");
  Click("takeFingerprintsButton");
  EXPECT_EQ(Stored("00007", "parmakizi0"), std::string(30, 'p'));
  Click("terminalClearTicksButton");
  SetTick(StoreRows(), 0, true);
  Click("sendPersonalButton");
  EXPECT_EQ(terminal.users.at(12).name, "Öykü");
  SetTick(StoreRows(), 0, true);
  Click("sendFingerprintsButton");
  EXPECT_EQ(terminal.templates.at({12, 0}), std::string(30, 'q'));
  EXPECT_TRUE(StripedFromTheTop(StoreRows()));  // 00007 came below 00013

  // A deleted row's place is taken by the next one, in the next one's colour.
  SetTick(StoreRows(), 0, true);
  Click("deleteButton");
  EXPECT_EQ(Column(StoreRows(), 0), QStringList({"00013", "00007"}));
  EXPECT_TRUE(StripedFromTheTop(StoreRows()));
  EXPECT_FALSE(FindControl<QWidget>(window, "progressGroup").isVisible());
  EXPECT_TRUE(ui.messages.isEmpty() && ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

// Users 7 and 100007 share their last five digits: each command must still
// reach the right one, in the store and on the terminal, in any row order.
TEST_F(PersonnelWindowTest, AUserOfSixDigitsIsNeverTakenForTheUserOfItsLastFive) {
  const std::string seven(30, 's');
  const std::string other(30, 'y');
  terminal.users = {{7, {"Yedi Asıl", "", 0}}, {100007, {"Yüzbin Yedi", "", 0}}};
  terminal.templates = {{{7, 0}, seven}, {{100007, 0}, other}};
  Open(window);
  for (const char* button : {"takePersonalButton", "takeFingerprintsButton"}) {
    Click("terminalTickAllButton");
    Click(button);
  }
  EXPECT_EQ(test::ReadFile(folder / "personel/personel.ini"), "00007\r\n100007\r\n");
  EXPECT_EQ(Stored("100007", "isim"), "Yüzbin Yedi");
  EXPECT_EQ(Stored("100007", "parmakizi0"), other);

  // Into a terminal that lost both, each goes back to its own number.
  terminal.users.clear();
  terminal.templates.clear();
  for (const char* button : {"sendPersonalButton", "sendFingerprintsButton"}) {
    Click("storeTickAllButton");
    Click(button);
  }
  EXPECT_EQ(terminal.users.at(100007).name, "Yüzbin Y");  // the first 8 characters
  EXPECT_EQ(terminal.templates,
            (std::map<std::pair<int, int>, std::string>{{{7, 0}, seven}, {{100007, 0}, other}}));

  // "Sil" on "Yüzbin Yedi", moved to the top by a click on "Per.No" (the
  // list was loaded in ascending order).
  QHeaderView* header = TerminalGrid().horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
  ASSERT_EQ(Column(TerminalRows(), 0), QStringList({"100007", "00007"}));
  TerminalRows().SetTicked(0, true);
  Click("deleteButton");
  EXPECT_EQ(terminal.templates, (std::map<std::pair<int, int>, std::string>{{{7, 0}, seven}}));
  EXPECT_EQ(Column(TerminalRows(), 0), QStringList({"00007"}));
}

TEST_F(PersonnelWindowTest, ATenDigitUserWidensPerNoUntilTheListIsEmptied) {
  terminal.users[2147483647] = {"Uzun", "", 0};
  Open(window);
  PersonnelView& grid = TerminalGrid();
  const int wanted = grid.fontMetrics().horizontalAdvance(QStringLiteral("2147483647"));
  EXPECT_GE(grid.columnWidth(0), wanted);
  EXPECT_EQ(grid.columnWidth(0) + grid.columnWidth(1), 58 + 98);
  Click("exitButton");
  EXPECT_EQ(grid.columnWidth(0), 58);
  EXPECT_EQ(grid.columnWidth(1), 98);
}

// Holds the command's thread at its first call of operation until the test,
// on the window's thread, has done what it does there (`act`, from a timer of
// the test): a window whose thread the command held would never fire it.
struct HeldCommand {
  HeldCommand(test::FakeTerminal& terminal, const std::string& operation,
              std::function<void()> act) {
    terminal.onCall = [this, operation](const std::string& called) {
      if (called != operation || reached.exchange(true)) return;
      for (int waited = 0; waited < 300 && !acted; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      actedInTime = acted.load();
    };
    QObject::connect(&timer, &QTimer::timeout, [this, act] {
      if (!reached || acted) return;
      act();
      acted = true;
    });
    timer.start(10);
  }
  std::atomic<bool> reached{false};
  std::atomic<bool> acted{false};
  // Whether act ran while the command was held (not after a freeze).
  std::atomic<bool> actedInTime{false};
  QTimer timer;
};

TEST_F(PersonnelWindowTest, TheWindowAnswersWhileItLoadsAndTheListsShowTheLoadAtItsEnd) {
  for (int enroll = 1; enroll <= 45; ++enroll) terminal.users[enroll] = {"Kişi", "", 0};
  WriteStore("00012\r\n", "");
  bool barShown = false;
  HeldCommand held(terminal, "GetUserInfo", [&] {
    barShown = FindControl<QWidget>(window, "progressGroup").isVisible() &&
               FindControl<QPushButton>(window, "stopButton").isEnabled();
  });
  Open(window);
  EXPECT_TRUE(held.actedInTime);
  EXPECT_TRUE(barShown);
  EXPECT_EQ(TerminalRows().rowCount(), 45);
  EXPECT_EQ(StoreRows().rowCount(), 1);
  EXPECT_FALSE(FindControl<QWidget>(window, "progressGroup").isVisible());
  EXPECT_FALSE(FindControl<QPushButton>(window, "stopButton").isEnabled());
}

TEST_F(PersonnelWindowTest, AStoppedCopyKeepsWhatItWroteAndTheListsShowIt) {
  for (int enroll = 1; enroll <= 4; ++enroll) {
    terminal.users[enroll] = {"Kişi", "", 0};
    terminal.templates[{enroll, 0}] = std::string(30, static_cast<char>('a' + enroll));
  }
  WriteStore("00009\r\n", "[00009]\r\nisim=Dokuz\r\n");
  Open(window);
  Click("terminalTickAllButton");
  // Stopped while the first user's templates are asked: that user is the last.
  HeldCommand held(terminal, "GetFingerTemplate", [&] { Click("stopButton"); });
  Click("takeFingerprintsButton");
  ASSERT_TRUE(held.actedInTime);
  EXPECT_EQ(test::ReadFile(folder / "personel/personel.ini"), "00009\r\n00001\r\n");
  EXPECT_EQ(Stored("00001", "parmakizi0"), std::string(30, 'b'));
  EXPECT_EQ(Stored("00002", "parmakizi0"), "<yok>");
  EXPECT_EQ(Column(StoreRows(), 0), QStringList({"00009", "00001"}));
  EXPECT_EQ(Column(StoreRows(), 5, kGridValueRole), QStringList({"0", "1"}));
  EXPECT_EQ(Ticks(TerminalRows()), QList<bool>({false, true, true, true}));
  EXPECT_TRUE(ui.messages.isEmpty() && ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

TEST_F(PersonnelWindowTest, ClosingDuringALoadAsksStopsItAndThenCloses) {
  for (int enroll = 1; enroll <= 45; ++enroll) terminal.users[enroll] = {"Kişi", "", 0};
  HeldCommand held(terminal, "GetUserInfo", [&] {
    window.close();
    EXPECT_TRUE(window.isVisible());  // not before the load has stopped
  });
  Open(window);
  ASSERT_TRUE(held.actedInTime);
  QTest::qWait(20);
  EXPECT_EQ(ui.questions, QStringList({"Süren işlem durdurulsun ve pencere kapatılsın mı?"}));
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_LT(terminal.CallCount("GetUserInfo"), 45);
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

TEST_F(PersonnelWindowTest, ATerminalThatDoesNotAnswerIsToldOnceAndTheWindowCloses) {
  terminal.refuseNetwork = true;
  WriteStore("00012\r\n", "");
  window.SetTarget({ConnectionKind::kNetwork, "127.0.0.1", 4370, 0, 0, 3});
  // Modal, as the settings window opens it: the window must end its own loop.
  EXPECT_EQ(window.exec(), QDialog::Rejected);
  EXPECT_THAT(ui.messages, ElementsAre("Bağlantı Kurulamadı"));
  EXPECT_TRUE(ui.errors.isEmpty());
  EXPECT_THAT(terminal.calls, ElementsAre("ConnectNetwork(127.0.0.1,4370)"));
  EXPECT_EQ(StoreRows().rowCount(), 0);

  // The next showing connects again and loads.
  terminal.refuseNetwork = false;
  Open(window);
  EXPECT_EQ(StoreRows().rowCount(), 1);
  EXPECT_EQ(ui.messages.size(), 1);
}

TEST_F(PersonnelWindowTest, AnEditedStoreCellIsWrittenAtOnceEvenWhenTheWindowClosesMidEdit) {
  WriteStore("00034\r\n00035\r\n", "[00034]\r\nisim=Ali\r\n[00035]\r\nisim=Zeki\r\n");
  Open(window);
  PersonnelView& grid = StoreGrid();
  grid.Persons().sort(1, Qt::DescendingOrder);  // rows moved: Zeki (00035) first
  const auto typeInto = [&grid](int row, int column, const QString& text) {
    const QModelIndex cell = grid.model()->index(row, column);
    grid.setCurrentIndex(cell);
    grid.edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(cell));
    if (editor == nullptr) throw std::logic_error("no editor opened");
    editor->setText(text);
    return editor;
  };
  QTest::keyClick(typeInto(0, 3, "778899"), Qt::Key_Return);
  QApplication::processEvents();  // the editor commits after its own key handling
  EXPECT_EQ(Stored("00035", "kartno"), "778899");
  EXPECT_EQ(Stored("00034", "kartno"), "<yok>");

  // Still in the editor when the title bar closes the window.
  typeInto(1, 1, "Ali Rıza");
  window.close();
  EXPECT_EQ(Stored("00034", "isim"), "Ali Rıza");
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(terminal.IsConnected());
}

TEST_F(PersonnelWindowTest, ATerminalLostWhileLoadingIsShownInARealBoxOnceAndTheWindowStillLeaves) {
  QtUiServices realDialogs;
  PersonnelWindow shown(state, terminal, realDialogs);
  for (int enroll = 1; enroll <= 5; ++enroll) terminal.users[enroll] = {"Kişi", "", 0};
  terminal.FailOnCall("GetUserInfo", 3);
  // Every box that comes up is closed by Return, as the user would.
  QStringList boxes;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&boxes] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes << box->text();
      QTest::keyClick(box, Qt::Key_Return);
    }
  });
  answer.start(10);
  Open(shown);
  QTest::qWait(200);  // the box closing activates the window again
  EXPECT_THAT(boxes, ElementsAre("Cihazla iletişim koptu"));
  EXPECT_EQ(FindControl<PersonnelView>(shown, "terminalGrid").model()->rowCount(), 2);
  EXPECT_FALSE(FindControl<QWidget>(shown, "progressGroup").isVisible());

  QTest::mouseClick(&FindControl<QPushButton>(shown, "exitButton"), Qt::LeftButton);
  EXPECT_FALSE(shown.isVisible());
  EXPECT_EQ(terminal.calls.back(), "Disconnect()");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The whole way: the settings window hands an emulated terminal over, the
// personnel window connects with the production client and loads both lists.
TEST(PersonnelWindowEmulatorTest, OpensFromTheSettingsWindowAndLoadsBothLists) {
  test::TempFolder folder;
  std::filesystem::create_directory(folder / "personel");
  test::WriteFile(folder / "personel/personel.ini", "00002\r\n00077\r\n");
  test::WriteFile(
      folder / "personel/parmakizi.ini",
      Utf8ToCp1254("[00077]\r\nisim=Gökçe Ünlü\r\nparmakizi0=" + std::string(600, 'T') + "\r\n"));
  test::EmulatorProcess emulator({"--listen", "127.0.0.1:0", "--state", folder / "terminal.txt",
                                  "--machine", "2", "--generate-users", "30", "--seed", "5"});
  AppState state;
  state.programFolder = folder.Path();
  state.devices = {WholeEntryOf({"Merkez", "Ethernet", "2", "Com1", "115200", "127.0.0.1",
                                 std::to_string(emulator.Port()), "", "Standart"})};
  WireTerminalClient settingsTerminal(nullptr);
  WireTerminalClient personnelTerminal(nullptr);
  test::FakeUiServices ui;
  test::TestClock clock({2030, 6, 15, 10, 20, 30});
  SettingsWindow settings(state, settingsTerminal, ui, clock);
  PersonnelWindow personnel(state, personnelTerminal, ui);
  settings.SetPersonnelWindow(&personnel);
  settings.show();

  QStringList terminalPerNos;
  QStringList storeNames;
  QTimer whenLoaded;
  QObject::connect(&whenLoaded, &QTimer::timeout, [&] {
    auto& terminalRows = FindControl<PersonnelView>(personnel, "terminalGrid").Persons();
    if (QApplication::activeModalWidget() != &personnel || CommandGuard::IsRunning() ||
        terminalRows.rowCount() == 0) {
      return;
    }
    whenLoaded.stop();
    terminalPerNos = Column(terminalRows, 0);
    storeNames = Column(FindControl<PersonnelView>(personnel, "storeGrid").Persons(), 1);
    EXPECT_TRUE(personnelTerminal.IsConnected());
    QTest::mouseClick(&FindControl<QPushButton>(personnel, "exitButton"), Qt::LeftButton);
  });
  whenLoaded.start(10);
  QTest::mouseClick(&FindControl<QPushButton>(settings, "personnelButton"), Qt::LeftButton);

  ASSERT_EQ(terminalPerNos.size(), 30);
  EXPECT_EQ(terminalPerNos.front(), "00001");
  EXPECT_EQ(terminalPerNos.back(), "00030");
  EXPECT_EQ(storeNames, QStringList({"", "Gökçe Ünlü"}));
  EXPECT_FALSE(personnelTerminal.IsConnected());
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

}  // namespace
}  // namespace miravel
