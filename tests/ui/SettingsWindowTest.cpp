// The settings window driven as a user would: real buttons and dialogs, the
// fake terminal behind it, a fixed PC clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
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
#include "tests/ui/ModalAnswer.h"
#include "tests/ui/QtPrinters.h"
#include "ui/ConfirmDialog.h"
#include "ui/PersonnelWindow.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsWindow.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

using test::FindControl;
using test::WhenModalOpens;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using W = SettingsWindow;

std::string Device(int n, const std::string& name, const std::string& type, int port,
                   const std::string& machine = "1") {
  return "[cihaz" + std::to_string(n) + "]\r\nadi=" + name + "\r\nbaglantitipi=" + type +
         "\r\nmakineno=" + machine + "\r\nportno=Com3\r\nbaudrate=9600\r\nipadres=127.0.0.1" +
         "\r\nipport=" + std::to_string(port) + "\r\nparola=\r\ngcdurum=Standart\r\n";
}

class SettingsWindowTest : public ::testing::Test {
 protected:
  // Loads cihazlar.ini as the main window does and shows the settings window.
  void Open(const std::string& settings, UiServices* dialogs = nullptr) {
    test::WriteFile(folder / "cihazlar.ini", Utf8ToCp1254(settings));
    state.programFolder = folder.Path();
    state.settingsFile = std::make_unique<IniFile>(state.SettingsFilePath());
    state.settings = LoadAppSettings(*state.settingsFile);
    state.devices = LoadDeviceList(*state.settingsFile);
    window = std::make_unique<W>(state, terminal, dialogs ? *dialogs : ui, clock);
    window->SetConfirmDialog(&confirm);
    window->SetPersonnelWindow(&personnel);
    // Started again where a test is about the clock; its Disconnect would
    // otherwise mix into the calls the tests read.
    Timer().stop();
    window->show();
  }

  ReportGrid& Grid() { return FindControl<ReportGrid>(*window, "deviceGrid"); }
  QTimer& Timer() { return *window->findChild<QTimer*>("clockTimer"); }
  QString Field(const char* name) { return FindControl<QLineEdit>(*window, name).text(); }
  void Click(const char* button) {
    QTest::mouseClick(&FindControl<QPushButton>(*window, button), Qt::LeftButton);
  }
  void Select(int row) { Grid().setCurrentCell(row, 0); }
  QString Status(int row) { return Grid().CellText(row, W::kStatus); }
  std::string File() { return Cp1254ToUtf8(test::ReadFile(folder / "cihazlar.ini")); }

  // The terminal holds its first connect until the window's thread runs
  // during the command (a timer of the test, which a frozen window never
  // fires), at most 3 s; what the timer does runs there, on the window's
  // thread. firedDuring: the timer, not the 3 s, let the connect go on.
  void DuringTheFirstConnect(std::function<void()> during) {
    terminal.onCall = [this](const std::string& operation) {
      if (operation.rfind("Connect", 0) != 0 || heldOnce.exchange(true)) return;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
      while (!released && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      firedDuring = released.load();
    };
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, window.get(), [this, during] {
      if (!heldOnce || released) return;  // not yet, or done
      during();
      released = true;
    });
    probe.start();
  }

  test::TempFolder folder;
  AppState state;
  test::FakeTerminal terminal;
  test::FakeUiServices ui;
  test::TestClock clock{{2026, 3, 5, 9, 7, 3}};
  ConfirmDialog confirm;
  // Its own terminal, as in the program: the calls the tests read are the settings window's.
  test::FakeTerminal personnelTerminal;
  PersonnelWindow personnel{state, personnelTerminal, ui};
  std::unique_ptr<W> window;
  QTimer probe;
  std::atomic<bool> released{false}, heldOnce{false}, firedDuring{false};
};

TEST_F(SettingsWindowTest, EditingWritesTheFileOnlyOnSaveDeleteAndClose) {
  Open(Device(1, "Bir", "Ethernet", 1) + Device(2, "İki", "Ethernet", 2) +
       Device(3, "Üç", "Ethernet", 3));
  EXPECT_EQ(window->windowTitle(), "Ayarlar");
  EXPECT_EQ(Grid().CellText(2, W::kInOutMode), "Standart");
  EXPECT_EQ(Grid().CellBackground(1, W::kStatus), QColor(232, 240, 255));
  EXPECT_EQ(Grid().CellBackground(2, W::kName), QColor(242, 248, 255));

  Select(1);
  Click("deleteDeviceButton");
  EXPECT_EQ(Grid().RowCount(), 2);
  EXPECT_EQ(Grid().CellText(1, W::kName), "Üç");
  EXPECT_THAT(File(), HasSubstr("[cihaz2]\r\nadi=Üç\r\n"));
  EXPECT_THAT(File(), Not(HasSubstr("cihaz3")));

  // The last row deleted: the selection stays within the list.
  Click("deleteDeviceButton");
  EXPECT_EQ(state.selectedDeviceIndex, 1);
  const std::string oneLeft = File();
  Click("deleteDeviceButton");
  EXPECT_EQ(Grid().RowCount(), 1);
  EXPECT_EQ(File(), oneLeft);

  // A 30-character name is saved whole and cut in the shared list on close; a
  // line break typed into a cell never reaches the file.
  const QString longName = "Merkez Bina Giriş Kapısı No 12";
  Grid().SetCellText(0, W::kName, longName);
  Grid().SetCellText(0, W::kPassword, "12\n34");
  Click("saveDevicesButton");
  EXPECT_THAT(File(), HasSubstr("adi=" + longName.toStdString() + "\r\n"));
  EXPECT_THAT(File(), HasSubstr("parola=12 34\r\n"));
  EXPECT_EQ(state.devices.size(), 3u);  // not before the window closes
  window->close();
  ASSERT_EQ(state.devices.size(), 1u);
  EXPECT_EQ(state.devices[0].name, "Merkez Bina Giriş Ka");
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

TEST_F(SettingsWindowTest, ClosingByTheTitleBarKeepsTheCellBeingTyped) {
  Open(Device(1, "Bir", "Ethernet", 1));
  Grid().setCurrentCell(0, W::kIpAddress);
  Grid().editItem(Grid().item(0, W::kIpAddress));
  auto* editor = Grid().viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "127.0.0.9");
  window->close();  // the title bar's button and Alt+F4 come this way
  ASSERT_EQ(state.devices.size(), 1u);
  EXPECT_EQ(state.devices[0].ipAddress, "127.0.0.9");
  EXPECT_THAT(File(), HasSubstr("ipadres=127.0.0.9\r\n"));
}

TEST_F(SettingsWindowTest, DeletingARowMovesTheStatusesWithTheirDevices) {
  Open(Device(1, "Bir", "Ethernet", 1) + Device(2, "İki", "Ethernet", 2) +
       Device(3, "Üç", "Ethernet", 3));
  terminal.refusedPorts = {3};
  Click("testAllConnectionsButton");
  Select(1);
  Click("deleteDeviceButton");
  EXPECT_EQ(Grid().CellText(1, W::kName), "Üç");
  EXPECT_EQ(Status(1), "Bağlantı Kurulamadı");
  EXPECT_EQ(Status(0), "Bağlantı Kuruldu");
}

TEST_F(SettingsWindowTest, NewDevicesGetDefaultsAndStopAt256) {
  Open("");
  Click("testConnectionButton");
  Click("readClockButton");
  Click("deleteDeviceButton");
  EXPECT_TRUE(terminal.calls.empty());  // no row, no command

  Click("newDeviceButton");
  Click("newDeviceButton");
  EXPECT_EQ(Grid().CellText(1, W::kName), "Cihaz2");
  EXPECT_EQ(state.selectedDeviceIndex, 2);
  EXPECT_EQ(File(), "");  // nothing written yet
  window->close();
  EXPECT_THAT(File(), HasSubstr("[cihaz1]\r\nadi=Cihaz1\r\nbaglantitipi=Ethernet\r\nmakineno=1\r\n"
                                "portno=Com1\r\nbaudrate=115200\r\nipadres=192.168.1.201\r\n"
                                "ipport=4370\r\nparola=\r\ngcdurum=Standart\r\n[cihaz2]\r\n"));

  std::string full;
  for (int n = 1; n <= 256; ++n) full += Device(n, "C", "Ethernet", n);
  Open(full);
  Click("newDeviceButton");
  EXPECT_EQ(Grid().RowCount(), 256);
  EXPECT_THAT(ui.messages, ElementsAre("En fazla 256 cihaz tanımlanabilir."));
}

TEST_F(SettingsWindowTest, RecordFileIsWrittenPerKeystrokeAndKeptWhenTheChoiceIsCancelled) {
  Open("[ayarlar]\r\ndosya=eski.txt\r\n");
  auto& field = FindControl<QLineEdit>(*window, "recordFileEdit");
  EXPECT_EQ(field.text(), "eski.txt");
  field.clear();
  int writes = 0;
  for (const QChar c : QString("/veri/ka.txt")) {
    QTest::keyClick(&field, c.toLatin1());
    writes += File().find("dosya=" + field.text().toStdString() + "\r\n") != std::string::npos;
  }
  EXPECT_EQ(writes, 12);
  EXPECT_EQ(state.settings.recordFilePath, "/veri/ka.txt");

  Click("chooseRecordFileButton");  // cancelled
  EXPECT_EQ(field.text(), "/veri/ka.txt");
  ui.nextChosenFile = "/veri/kayit.txt";
  Click("chooseRecordFileButton");
  EXPECT_EQ(state.settings.recordFilePath, "/veri/kayit.txt");
  EXPECT_THAT(File(), HasSubstr("dosya=/veri/kayit.txt\r\n"));
}

TEST_F(SettingsWindowTest, ConnectionTestsReportEachRowAndConnectNothingForAnUnknownType) {
  Open(Device(1, "Bir", "Ethernet", 1) + Device(2, "İki", "Ethernet", 2) +
       Device(3, "Üç", "Comm Port", 3) + Device(4, "Dört", "Ethernet", 4));
  Grid().SetCellText(3, W::kConnectionType, "Ethernet ");  // unsaved edits are tested as they stand
  terminal.refusedPorts = {2};
  Select(2);
  Click("testAllConnectionsButton");
  EXPECT_EQ(Status(0), "Bağlantı Kuruldu");
  EXPECT_EQ(Status(1), "Bağlantı Kurulamadı");
  EXPECT_EQ(Status(2), "Bağlantı Kuruldu");
  EXPECT_EQ(Status(3), "Kontrol Ediliyor");
  EXPECT_EQ(terminal.CallCount("ConnectSerial"), 1);
  EXPECT_EQ(Grid().currentRow(), 2);

  Select(3);
  Click("testConnectionButton");
  EXPECT_EQ(Status(0), "");
  EXPECT_EQ(Status(3), "Kontrol Ediliyor");
  EXPECT_EQ(terminal.calls.size(), 5u);  // three connects, a disconnect after each success
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_FALSE(window->DeviceConnected());
}

TEST_F(SettingsWindowTest, ClockAndAdministratorCommandsWorkOnTheSelectedRowsLine) {
  Open(Device(1, "Bir", "Ethernet", 1, "4") + Device(2, "Seri", "", 0, "6"));
  terminal.clockYear = 2025, terminal.clockMonth = 2, terminal.clockDay = 1;
  terminal.clockHour = 9, terminal.clockMinute = 5, terminal.clockSecond = 7;
  EXPECT_EQ(FindControl<QLabel>(*window, "pcClockLabel").text(), "05/03/2026  09:07:03");
  Click("readClockButton");
  EXPECT_EQ(Field("terminalClockField"), "01/02/2025  09:05:07");
  EXPECT_EQ(Status(0), "Tarih/Saat okundu");
  QTest::mouseClick(Grid().viewport(), Qt::LeftButton, {},
                    Grid().visualRect(Grid().model()->index(0, 1)).center());
  EXPECT_EQ(Field("terminalClockField"), "");

  // An empty type goes over the serial line: COM 3, machine 6, 9600 baud.
  Select(1);
  Click("setClockButton");
  EXPECT_EQ(Status(1), "Tarih/Saat Kaydedildi");
  EXPECT_EQ(Field("terminalClockField"), "05/03/2026  09:07:03");
  Click("clearAdministratorsButton");
  EXPECT_EQ(Status(1), "Yetkililer silindi");
  EXPECT_THAT(terminal.calls,
              ElementsAre("ConnectNetwork(127.0.0.1,1)", "GetDeviceTime(4)", "Disconnect()",
                          "ConnectSerial(3,6,9600)", "SetDeviceTime(6,2026,3,5,9,7,3)",
                          "GetDeviceTime(6)", "Disconnect()", "ConnectSerial(3,6,9600)",
                          "ClearAdministrators(6)", "Disconnect()"));
}

TEST_F(SettingsWindowTest, ResetAsksWithTheRealDialogAndOnlyEvetErases) {
  Open(Device(1, "Bir", "Ethernet", 1));
  // Answers the question by a click on a button, by a key, or by closing it.
  const auto answer = [this](std::function<void(ConfirmDialog&)> how) {
    WhenModalOpens<ConfirmDialog>([how](ConfirmDialog& dialog) {
      EXPECT_TRUE(FindControl<QPushButton>(dialog, "yesButton").isVisible());
      EXPECT_TRUE(FindControl<QPushButton>(dialog, "noButton").isVisible());
      how(dialog);
    });
    Click("resetDeviceButton");
  };
  const auto click = [](const char* button) {
    return [button](ConfirmDialog& dialog) {
      QTest::mouseClick(&FindControl<QPushButton>(dialog, button), Qt::LeftButton);
    };
  };
  answer(click("noButton"));
  EXPECT_EQ(confirm.LastAnswer(), ConfirmDialog::kNo);
  EXPECT_EQ(Status(0), "");
  answer([](ConfirmDialog& dialog) { dialog.close(); });  // the title bar's close button
  EXPECT_EQ(confirm.LastAnswer(), ConfirmDialog::kNoAnswer);
  answer([](ConfirmDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
  EXPECT_EQ(confirm.LastAnswer(), ConfirmDialog::kNo);  // Return alone never erases
  EXPECT_TRUE(terminal.calls.empty());

  terminal.refuseNetwork = true;
  answer(click("yesButton"));
  EXPECT_EQ(Status(0), "Bağlantı Kurulamadı");
  terminal.refuseNetwork = false;
  terminal.users[1] = {"Ali", "", 0, true};
  answer(click("yesButton"));
  EXPECT_EQ(Status(0), "Cihaz Sıfırlandı");
  EXPECT_TRUE(terminal.users.empty());
  EXPECT_FALSE(terminal.IsConnected());
}

TEST_F(SettingsWindowTest, BadNumberStopsTheCommandInABoxThatCloses) {
  QtUiServices realDialogs;
  Open(Device(1, "Bir", "Ethernet", 1, "bir"), &realDialogs);
  QString shown;
  WhenModalOpens<QMessageBox>([&shown](QMessageBox& box) {
    shown = box.text();
    QTest::keyClick(&box, Qt::Key_Return);
  });
  Click("clearAdministratorsButton");
  EXPECT_EQ(shown, "'bir' is not a valid integer value");
  EXPECT_TRUE(terminal.calls.empty());
  EXPECT_FALSE(window->DeviceConnected());
  EXPECT_EQ(Status(0), "Yetkililer siliniyor");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(SettingsWindowTest, TimerShowsThePcClockButNeverCutsACommandsConnection) {
  Open(Device(1, "Bir", "Ethernet", 1));
  clock.Set({2026, 12, 31, 23, 59, 59});
  // Due at every pass of the event loop, the commands' repaints included.
  Timer().start(0);
  Click("readClockButton");
  EXPECT_THAT(terminal.calls,
              ElementsAre("ConnectNetwork(127.0.0.1,1)", "GetDeviceTime(1)", "Disconnect()"));
  QApplication::processEvents();
  EXPECT_EQ(FindControl<QLabel>(*window, "pcClockLabel").text(), "31/12/2026  23:59:59");
  EXPECT_EQ(terminal.calls.back(), "Disconnect()");
}

TEST_F(SettingsWindowTest, TheWindowAnswersDuringACommandAndHoldsASecondOne) {
  Open(Device(1, "Bir", "Ethernet", 1));
  QString shownDuring;
  DuringTheFirstConnect([&] {
    shownDuring = Status(0);
    Click("testConnectionButton");  // held: the clock read goes on alone
  });
  Click("readClockButton");
  EXPECT_TRUE(firedDuring);
  EXPECT_EQ(shownDuring, "Tarih/saat Okunuyor");
  EXPECT_EQ(Status(0), "Tarih/Saat okundu");
  EXPECT_THAT(terminal.calls,
              ElementsAre("ConnectNetwork(127.0.0.1,1)", "GetDeviceTime(1)", "Disconnect()"));
}

TEST_F(SettingsWindowTest, DurdurLeavesTheRowsNotYetTestedMarkedSo) {
  Open(Device(1, "Bir", "Ethernet", 1) + Device(2, "İki", "Ethernet", 2) +
       Device(3, "Üç", "Ethernet", 3));
  auto& stop = FindControl<QPushButton>(*window, "stopButton");
  EXPECT_EQ(stop.text(), "Durdur");
  EXPECT_FALSE(stop.isEnabled());
  bool enabledDuring = false;
  DuringTheFirstConnect([&] {
    enabledDuring = stop.isEnabled();
    QTest::mouseClick(&stop, Qt::LeftButton);
  });
  Click("testAllConnectionsButton");
  EXPECT_TRUE(firedDuring);
  EXPECT_TRUE(enabledDuring);
  EXPECT_FALSE(stop.isEnabled());
  // The test under way ends as it would have; the rows after it are not tried.
  EXPECT_EQ(Status(0), "Bağlantı Kuruldu");
  EXPECT_EQ(Status(1), "Test Edilmedi");
  EXPECT_EQ(Status(2), "Test Edilmedi");
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

TEST_F(SettingsWindowTest, ClosingDuringACommandAsksAndClosesOnceItHasStopped) {
  Open(Device(1, "Bir", "Ethernet", 1) + Device(2, "İki", "Ethernet", 2));
  Grid().SetCellText(1, W::kName, "Yeni Ad");
  bool visibleWhileRunning = false;
  DuringTheFirstConnect([&] {
    ui.answerYes = false;
    Click("exitButton");
    ui.answerYes = true;
    Click("exitButton");
    visibleWhileRunning = window->isVisible();
  });
  Click("testAllConnectionsButton");
  EXPECT_TRUE(firedDuring);
  EXPECT_EQ(ui.questions.size(), 2);
  EXPECT_EQ(ui.questions.value(0), "Süren işlem durdurulsun ve pencere kapatılsın mı?");
  EXPECT_TRUE(visibleWhileRunning);  // not before the command has let go of its terminal
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(Status(1), "Test Edilmedi");
  EXPECT_FALSE(terminal.IsConnected());
  // Closed as by "Çıkış" at any other time: the grid is kept.
  ASSERT_EQ(state.devices.size(), 2u);
  EXPECT_EQ(state.devices[1].name, "Yeni Ad");
}

TEST_F(SettingsWindowTest, PersonnelHandOverProbesANetworkTerminalFirst) {
  Open(Device(1, "Bir", "Ethernet", 1, "7") + Device(2, "Seri", "Comm Port", 0, "8"));
  ConnectionTarget opened;
  WhenModalOpens<PersonnelWindow>([&opened](PersonnelWindow& shown) {
    opened = shown.Target();
    // As "Çıkış" does; it may come while the window is loading its lists.
    shown.reject();
  });
  Click("personnelButton");
  EXPECT_EQ(opened, (ConnectionTarget{ConnectionKind::kNetwork, "127.0.0.1", 1, 0, 0, 7}));
  EXPECT_THAT(terminal.calls, ElementsAre("ConnectNetwork(127.0.0.1,1)", "Disconnect()"));

  Grid().SetCellText(1, W::kComPort, "COM3");
  Select(1);
  WhenModalOpens<PersonnelWindow>([&opened](PersonnelWindow& shown) {
    opened = shown.Target();
    // As "Çıkış" does; it may come while the window is loading its lists.
    shown.reject();
  });
  Click("personnelButton");
  EXPECT_EQ(opened, (ConnectionTarget{ConnectionKind::kSerial, "", 0, 0, 9600, 8}));
  EXPECT_EQ(terminal.calls.size(), 2u);  // no probe on a serial line

  // No answer: a message, the settings window closes, no personnel window.
  terminal.refuseNetwork = true;
  Select(0);
  Click("personnelButton");
  EXPECT_THAT(ui.messages, ElementsAre("Bağlantı Kurulamadı"));
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(personnel.isVisible());
}

// The whole way: the window, the production client and the emulator program.
TEST(SettingsWindowEmulatorTest, SetsAndReadsTheEmulatorsClockAndTestsADeadTerminal) {
  test::TempFolder folder;
  test::EmulatorProcess emulator(
      {"--listen", "127.0.0.1:0", "--state", folder / "terminal.txt", "--machine", "3"});
  // A port that was free a moment ago: nobody answers there.
  test::EmulatorProcess gone({"--listen", "127.0.0.1:0"});
  const int deadPort = gone.Port();
  gone.Stop();

  AppState state;
  state.programFolder = folder.Path();
  state.settingsFile = std::make_unique<IniFile>(state.SettingsFilePath());
  state.devices = {WholeEntryOf({"Merkez", "Ethernet", "3", "Com1", "115200", "127.0.0.1",
                                 std::to_string(emulator.Port()), "", "Standart"}),
                   WholeEntryOf({"Kapalı", "Ethernet", "3", "Com1", "115200", "127.0.0.1",
                                 std::to_string(deadPort), "", "Standart"})};
  WireTerminalClient terminal(nullptr);
  test::FakeUiServices ui;
  test::TestClock clock({2030, 6, 15, 10, 20, 30});
  // As the program makes it: the test of all connections on a client per link.
  SettingsWindow window(state, terminal, ui, clock, nullptr,
                        [] { return std::make_shared<WireTerminalClient>(nullptr); });
  window.show();
  const auto click = [&window](const char* button) {
    QTest::mouseClick(&FindControl<QPushButton>(window, button), Qt::LeftButton);
  };

  // The terminal has no other way to show a day in 2030 than to have been set to it.
  click("setClockButton");
  const QString afterSet = FindControl<QLineEdit>(window, "terminalClockField").text();
  click("readClockButton");
  const QString afterRead = FindControl<QLineEdit>(window, "terminalClockField").text();
  EXPECT_TRUE(afterSet.startsWith("15/06/2030  10:2")) << afterSet.toStdString();
  EXPECT_TRUE(afterRead.startsWith("15/06/2030  10:2")) << afterRead.toStdString();

  click("testAllConnectionsButton");
  auto& grid = FindControl<ReportGrid>(window, "deviceGrid");
  EXPECT_EQ(grid.CellText(0, W::kStatus), "Bağlantı Kuruldu");
  EXPECT_EQ(grid.CellText(1, W::kStatus), "Bağlantı Kurulamadı");
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
  EXPECT_FALSE(terminal.IsConnected());
}

}  // namespace
}  // namespace miravel
