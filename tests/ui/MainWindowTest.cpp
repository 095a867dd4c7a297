#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/Cp1254.h"
#include "terminal/WireTerminalClient.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/FakeUiServices.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestClock.h"
#include "tests/ui/FindControl.h"
#include "tests/ui/ModalAnswer.h"
#include "ui/MainWindow.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsWindow.h"

namespace miravel {
namespace {

using test::FakeRecord;
using test::FakeTerminal;
using test::FindControl;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::string Ethernet(int n, const std::string& name, int port) {
  return "[cihaz" + std::to_string(n) + "]\r\nadi=" + name +
         "\r\nbaglantitipi=Ethernet\r\nmakineno=1\r\nipadres=127.0.0.1\r\nipport=" +
         std::to_string(port) + "\r\ngcdurum=Standart\r\n";
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder / "yedekler");
    state.programFolder = folder.Path();
    // A relative record file path is taken from the current folder: keep it
    // inside the test's own folder.
    previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
  }
  void TearDown() override { std::filesystem::current_path(previousFolder); }

  // Writes cihazlar.ini (UTF-8 here, Windows-1254 on disk) and opens the window.
  MainWindow& Open(const std::string& settings) {
    WriteFile(folder / "cihazlar.ini", Utf8ToCp1254(settings));
    form = std::make_unique<MainWindow>(state, terminal, ui);
    form->SetClock(clock);
    form->show();
    return *form;
  }

  std::string Settings() { return Cp1254ToUtf8(ReadFile(folder / "cihazlar.ini")); }

  TempFolder folder;
  AppState state;
  FakeTerminal terminal;
  // Where the fake terminal's clock stands.
  test::TestClock clock{{2026, 12, 7, 9, 0, 0}};
  test::FakeUiServices ui;
  std::unique_ptr<MainWindow> form;
  std::filesystem::path previousFolder;
};

ReportGrid& Grid(const MainWindow& window) {
  return FindControl<ReportGrid>(window, "deviceGrid");
}
QCheckBox& DeleteAfterBox(const MainWindow& window) {
  return FindControl<QCheckBox>(window, "deleteAfterTransferBox");
}
QPushButton* Button(const MainWindow& window, const char* name) {
  return &FindControl<QPushButton>(window, name);
}

TEST_F(MainWindowTest, LoadsTheListAndSettingsAsStored) {
  MainWindow& window =
      Open("[ayarlar]\r\ndosya=   \r\nsilkontrol=yes\r\n" +
           Ethernet(1, "Merkez Giriş Kapısı Numara 1", 4370) +
           "[cihaz3]\r\nadi=Depo\r\nbaglantitipi=Comm Port\r\nmakineno=1\r\nportno=Com2\r\n"
           "baudrate=115200\r\n[cihaz5]\r\nbaglantitipi=Modem\r\n" +
           Ethernet(300, "Uzak", 1));
  EXPECT_EQ(window.windowTitle(), "  Miravel Parmak İzi Bilgi Transferi (Ver. 1.02)");
  EXPECT_EQ(window.size(), QSize(768, 514));
  ASSERT_EQ(Grid(window).RowCount(), 3);
  EXPECT_EQ(Grid(window).CellText(0, MainWindow::kName), "Merkez Giriş Kapısı ");
  EXPECT_EQ(Grid(window).CellText(0, MainWindow::kConnection), "IP: 127.0.0.1 /Port: 4370");
  EXPECT_EQ(Grid(window).CellText(1, MainWindow::kConnection),
            "Mak.No: 1 /Port: Com2 /B.rate: 115200");
  EXPECT_EQ(Grid(window).CellText(2, MainWindow::kName), "deneme");
  EXPECT_EQ(Grid(window).CellText(2, MainWindow::kConnection), "");
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(Grid(window).IsChecked(row, MainWindow::kTick));
  EXPECT_EQ(state.settings.recordFilePath, "tr500.txt");
  // Any value but "1" unticks the box, and the box writes "0" back at once.
  EXPECT_FALSE(DeleteAfterBox(window).isChecked());
  EXPECT_NE(Settings().find("silkontrol=0\r\n"), std::string::npos);
  DeleteAfterBox(window).setChecked(true);
  EXPECT_NE(Settings().find("silkontrol=1\r\n"), std::string::npos);
  EXPECT_TRUE(ui.errors.isEmpty());
}

TEST_F(MainWindowTest, MissingSettingsFileGivesAnEmptyListAndDefaults) {
  form = std::make_unique<MainWindow>(state, terminal, ui);
  EXPECT_EQ(Grid(*form).RowCount(), 0);
  EXPECT_TRUE(DeleteAfterBox(*form).isChecked());
  EXPECT_EQ(state.settings.recordFilePath, "tr500.txt");
  EXPECT_FALSE(test::FileExists(folder / "cihazlar.ini"));
}

TEST_F(MainWindowTest, TransferShowsStatusAndProgressPerRow) {
  const std::string record = folder / "kayit.txt";
  MainWindow& window = Open("[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1) +
                            Ethernet(2, "İki", 2) + Ethernet(3, "Üç", 3));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}, {6, 1, 2026, 12, 7, 17, 45}};
  terminal.refusedPorts = {3};
  Grid(window).SetChecked(1, MainWindow::kTick, false);
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
  EXPECT_EQ(Grid(window).CellValue(0, MainWindow::kStatus), 1);
  EXPECT_EQ(Grid(window).CellValue(0, MainWindow::kProgress), 100);
  EXPECT_EQ(Grid(window).CellValue(1, MainWindow::kStatus), 0);
  EXPECT_EQ(Grid(window).CellValue(2, MainWindow::kStatus), 2);
  EXPECT_EQ(ReadFile(record),
            "000,00005,1 2026/12/07 08:30:00\r\n000,00006,0 2026/12/07 17:45:00\r\n");
  EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 1);
}

// The window runs the one transfer engine: every terminal is read, the
// record file is replaced once with all their records, then the logs go.
TEST_F(MainWindowTest, TransferMergesEveryTerminalInOneReplacement) {
  const std::string record = folder / "kayit.txt";
  std::vector<std::unique_ptr<test::EmulatorProcess>> terminals;
  std::string rows;
  for (int i = 1; i <= 3; ++i) {
    const std::string state = folder / ("cihaz" + std::to_string(i) + ".txt");
    terminals.push_back(std::make_unique<test::EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", state, "--generate-users",
                                 "3", "--generate-log", "40", "--seed", std::to_string(i)}));
    rows += Ethernet(i, "Kapı " + std::to_string(i), terminals.back()->Port());
  }
  MainWindow& window = Open("[ayarlar]\r\ndosya=" + record + "\r\n" + rows);
  window.SetTransferClients([](const std::function<std::string(int)>& serialDeviceOf) {
    return std::make_shared<WireTerminalClient>(serialDeviceOf);
  });
  const int watch = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(::inotify_add_watch(watch, folder.Path().c_str(), IN_MOVED_TO), 0);
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
  int replacements = 0;
  alignas(inotify_event) char events[4096];
  for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;) {
    for (char* at = events; at < events + got;) {
      const auto* event = reinterpret_cast<inotify_event*>(at);
      replacements += event->len > 0 && std::string(event->name) == "kayit.txt";
      at += sizeof(inotify_event) + event->len;
    }
  }
  ::close(watch);
  EXPECT_EQ(replacements, 1);
  const std::string merged = ReadFile(record);
  EXPECT_EQ(std::count(merged.begin(), merged.end(), '\n'), 120);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(Grid(window).CellValue(row, MainWindow::kStatus), 1);
    EXPECT_EQ(Grid(window).CellValue(row, MainWindow::kProgress), 100);
  }
}

TEST_F(MainWindowTest, StoppedTransferShowsOneErrorAndKeepsTheLog) {
  const std::string record = folder / "kayit.txt";
  MainWindow& window =
      Open("[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1) + Ethernet(2, "İki", 2));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}, {6, 1, 2026, 12, 7, 17, 45}};
  terminal.FailOnCall("GetNextAttendanceRecord", 2, "Cihazla iletişim koptu");
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_EQ(ui.errors, QStringList{"Cihazla iletişim koptu"});
  EXPECT_EQ(Grid(window).CellValue(0, MainWindow::kStatus), 1);
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);
  EXPECT_EQ(terminal.log.size(), 2u);
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_EQ(ReadFile(record), "");
}

TEST_F(MainWindowTest, TerminalsThatKeepTheirLogAreNamedAfterTheRun) {
  MainWindow& window = Open(Ethernet(1, "Bir", 1) + Ethernet(2, "İki", 2));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};
  terminal.refuseClearLog = true;
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].startsWith("Bir: kayıtlar aktarıldı, ama cihaz onları silmedi"))
      << ui.messages[0].toStdString();
  EXPECT_TRUE(ui.errors.isEmpty());
}

TEST_F(MainWindowTest, AClockGoneWrongIsToldAfterTheRunWithHowToSetIt) {
  MainWindow& window = Open(Ethernet(1, "Bir", 1));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};
  clock.Set({2026, 12, 7, 9, 3, 20});
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_EQ(ui.messages, QStringList{"Bir: cihazın saati bu bilgisayarınkinden 3 dk 20 sn geri; "
                                     "ayarlamak için: Ayarlar penceresinde cihazı seçip \"Tarihi "
                                     "Kaydet\" düğmesine basın."});
  EXPECT_TRUE(ui.errors.isEmpty());
}

TEST_F(MainWindowTest, RealErrorBoxOfAStoppedTransferClosesByKeyAndByClick) {
  QtUiServices realDialogs;
  const std::string record = folder / "kayit.txt";
  WriteFile(folder / "cihazlar.ini",
            "[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1));
  std::filesystem::remove(folder / "yedekler");
  MainWindow window(state, terminal, realDialogs);
  window.SetClock(clock);
  window.show();
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};

  QString shown;
  test::WhenModalOpens<QMessageBox>([&](QMessageBox& box) {
    shown = box.text();
    QTest::keyClick(&box, Qt::Key_Return);
  });
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_TRUE(shown.startsWith("Yedek dosyası açılamadı")) << shown.toStdString();

  shown.clear();
  test::WhenModalOpens<QMessageBox>([&](QMessageBox& box) {
    shown = box.text();
    QTest::mouseClick(box.button(QMessageBox::Ok), Qt::LeftButton);
  });
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_FALSE(shown.isEmpty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // The window takes its next command as usual.
  std::filesystem::create_directory(folder / "yedekler");
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_EQ(ReadFile(record), "000,00005,1 2026/12/07 08:30:00\r\n");
}

// Holds the terminal in its log read until the window's own timer has
// fired during the transfer and acted; a frozen window never lets it go.
void WhileTheTransferWaits(FakeTerminal& terminal, const std::function<void()>& act) {
  auto acted = std::make_shared<std::atomic<bool>>(false);
  terminal.onCall = [acted](const std::string& operation) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (operation == "ReadAttendanceLog" && !*acted &&
           std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, acted, act] {
    timer->stop();
    act();
    *acted = true;
    timer->deleteLater();
  });
  timer->start();
}

TEST_F(MainWindowTest, LongTransferRepaintsOnlyChangedProgressAndTakesNoClicks) {
  MainWindow& window = Open(Ethernet(1, "Bir", 1));
  for (int i = 0; i < 20000; ++i) terminal.log.push_back({i, 0, 2026, 12, 7, 8, i % 60});
  // The default record file, relative to the current folder.
  int progressChanges = 0;
  QObject::connect(
      Grid(window).model(), &QAbstractItemModel::dataChanged,
      [&](const QModelIndex& from) { progressChanges += from.column() == MainWindow::kProgress; });
  // A click in the middle of the transfer, on the window's thread as a
  // user's, must neither start a second one now nor be left waiting to
  // start one afterwards.
  WhileTheTransferWaits(terminal, [&] {
    QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  });
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);
  EXPECT_LE(progressChanges, 101);
  EXPECT_GE(progressChanges, 100);
  EXPECT_EQ(Grid(window).CellValue(0, MainWindow::kProgress), 100);
  EXPECT_TRUE(test::FileExists(folder / "tr500.txt"));
}

TEST_F(MainWindowTest, TransferRunsWhileTheWindowAnswersAndDurdurStopsIt) {
  const std::string record = folder / "kayit.txt";
  MainWindow& window =
      Open("[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1) + Ethernet(2, "İki", 2));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}, {6, 1, 2026, 12, 7, 17, 45}};
  QPushButton* stop = Button(window, "stopButton");
  EXPECT_FALSE(stop->isEnabled());
  bool enabledDuring = false;
  WhileTheTransferWaits(terminal, [&] {
    enabledDuring = stop->isEnabled();
    QTest::mouseClick(stop, Qt::LeftButton);
  });
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_TRUE(enabledDuring);
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
  EXPECT_FALSE(test::FileExists(record));
  EXPECT_EQ(terminal.log.size(), 2u);
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);  // the second row is not reached
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(Grid(window).CellValue(row, MainWindow::kStatus), 0);
    EXPECT_EQ(Grid(window).CellValue(row, MainWindow::kProgress), 0);
  }
  EXPECT_EQ(FindControl<QLabel>(window, "transferNote").text(),
            "Aktarım durduruldu; hiçbir kayıt aktarılmadı.");
}

TEST_F(MainWindowTest, ClosingDuringATransferAsksStopsAndThenCloses) {
  const std::string record = folder / "kayit.txt";
  MainWindow& window = Open("[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};
  bool openDuring = false;
  WhileTheTransferWaits(terminal, [&] {
    window.close();
    openDuring = window.isVisible();
  });
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_EQ(ui.questions, QStringList{"Süren işlem durdurulsun ve pencere kapatılsın mı?"});
  EXPECT_TRUE(openDuring);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(state.settingsFile, nullptr);
  EXPECT_FALSE(test::FileExists(record));
  EXPECT_EQ(terminal.log.size(), 1u);
}

TEST_F(MainWindowTest, ClosingTheSettingsWindowRebuildsTheRows) {
  MainWindow& window = Open(Ethernet(1, "Bir", 1) + Ethernet(2, "İki", 2));
  SettingsWindow settings(state, terminal, ui, SystemClock(), &window);
  window.SetSettingsWindow(&settings);
  Grid(window).SetChecked(0, MainWindow::kTick, false);
  Grid(window).SetCellValue(1, MainWindow::kStatus, 2);
  state.devices.pop_back();
  QTimer::singleShot(0, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  QTest::mouseClick(Button(window, "settingsButton"), Qt::LeftButton);
  ASSERT_EQ(Grid(window).RowCount(), 1);
  EXPECT_TRUE(Grid(window).IsChecked(0, MainWindow::kTick));
  EXPECT_EQ(Grid(window).CellValue(0, MainWindow::kStatus), 0);
}

TEST_F(MainWindowTest, ASettingsFileThatCouldNotBeOpenedFailsEverySaveAloud) {
  ASSERT_EQ(::mkfifo(state.SettingsFilePath().c_str(), 0644), 0);
  form = std::make_unique<MainWindow>(state, terminal, ui);
  ASSERT_EQ(ui.errors.size(), 1);  // the FIFO, named once at start
  DeleteAfterBox(*form).setChecked(!DeleteAfterBox(*form).isChecked());
  SettingsWindow settings(state, terminal, ui, SystemClock(), form.get());
  form->SetSettingsWindow(&settings);
  QTimer::singleShot(0, [] {
    QWidget* modal = QApplication::activeModalWidget();
    FindControl<QPushButton>(*modal, "saveDevicesButton").click();
    modal->close();
  });
  QTest::mouseClick(Button(*form, "settingsButton"), Qt::LeftButton);
  // The box, "Kaydet" and the closing settings window: each says so.
  const QString failed = QString::fromStdString("Unable to write to " + state.SettingsFilePath());
  EXPECT_EQ(ui.errors.mid(1), QStringList({failed, failed, failed}));
}

TEST_F(MainWindowTest, BannerDoubleClickOpensTheShippedHelpPage) {
  MainWindow& window = Open("");
  QTest::mouseDClick(&FindControl<BannerLabel>(window, "topBanner"), Qt::LeftButton);
  QTest::mouseDClick(&FindControl<BannerLabel>(window, "bottomBanner"), Qt::LeftButton);
  ASSERT_EQ(ui.openedUrls.size(), 2);
  EXPECT_EQ(ui.openedUrls[0].toLocalFile().toStdString(), folder.Path() + "yardim/index.html");
}

// Installed from the package: started from the home folder, with the office
// in the user's data folder and the help page under /usr/share.
TEST_F(MainWindowTest, InstalledWindowWritesARelativeRecordFileInTheOffice) {
  std::filesystem::create_directory(folder / "ev");
  std::filesystem::current_path(folder / "ev");
  state.recordFileBase = state.programFolder;
  state.helpPage = "/usr/share/miravel/yardim/index.html";
  MainWindow& window = Open("[ayarlar]\r\ndosya=kayit.txt\r\n" + Ethernet(1, "Bir", 1));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};
  QTest::mouseClick(Button(window, "transferButton"), Qt::LeftButton);
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
  EXPECT_EQ(ReadFile(folder / "kayit.txt"), "000,00005,1 2026/12/07 08:30:00\r\n");
  EXPECT_FALSE(test::FileExists(folder / "ev/kayit.txt"));
  QTest::mouseDClick(&FindControl<BannerLabel>(window, "topBanner"), Qt::LeftButton);
  ASSERT_EQ(ui.openedUrls.size(), 1);
  EXPECT_EQ(ui.openedUrls[0].toLocalFile(), "/usr/share/miravel/yardim/index.html");
}

}  // namespace
}  // namespace miravel
