#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "core/Cp1254.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/FakeUiServices.h"
#include "tests/support/TempFolder.h"
#include "ui/MainForm.h"
#include "ui/QtUiServices.h"
#include "ui/SettingsForm.h"

namespace miravel {
namespace {

using test::FakeRecord;
using test::FakeTerminal;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::string Ethernet(int n, const std::string& name, int port) {
  return "[cihaz" + std::to_string(n) + "]\r\nadi=" + name +
         "\r\nbaglantitipi=Ethernet\r\nmakineno=1\r\nipadres=127.0.0.1\r\nipport=" +
         std::to_string(port) + "\r\ngcdurum=Standart\r\n";
}

class MainFormTest : public ::testing::Test {
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
  Tmainform& Open(const std::string& settings) {
    WriteFile(folder / "cihazlar.ini", Utf8ToCp1254(settings));
    form = std::make_unique<Tmainform>(state, terminal, ui);
    form->show();
    return *form;
  }

  std::string Settings() { return Cp1254ToUtf8(ReadFile(folder / "cihazlar.ini")); }

  TempFolder folder;
  AppState state;
  FakeTerminal terminal;
  test::FakeUiServices ui;
  std::unique_ptr<Tmainform> form;
  std::filesystem::path previousFolder;
};

TEST_F(MainFormTest, LoadsTheListAndSettingsAsStored) {
  Tmainform& window =
      Open("[ayarlar]\r\ndosya=   \r\nsilkontrol=yes\r\n" +
           Ethernet(1, "Merkez Giriş Kapısı Numara 1", 4370) +
           "[cihaz3]\r\nadi=Depo\r\nbaglantitipi=Comm Port\r\nmakineno=1\r\nportno=Com2\r\n"
           "baudrate=115200\r\n[cihaz5]\r\nbaglantitipi=Modem\r\n" +
           Ethernet(300, "Uzak", 1));
  EXPECT_EQ(window.windowTitle(), "  Miravel Parmak İzi Bilgi Transferi (Ver. 1.02)");
  EXPECT_EQ(window.size(), QSize(768, 514));
  ASSERT_EQ(window.GridView1->RowCount(), 3);
  EXPECT_EQ(window.GridView1->CellText(0, Tmainform::kName), "Merkez Giriş Kapısı ");
  EXPECT_EQ(window.GridView1->CellText(0, Tmainform::kConnection), "IP: 127.0.0.1 /Port: 4370");
  EXPECT_EQ(window.GridView1->CellText(1, Tmainform::kConnection),
            "Mak.No: 1 /Port: Com2 /B.rate: 115200");
  EXPECT_EQ(window.GridView1->CellText(2, Tmainform::kName), "deneme");
  EXPECT_EQ(window.GridView1->CellText(2, Tmainform::kConnection), "");
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(window.GridView1->IsChecked(row, Tmainform::kTick));
  EXPECT_EQ(state.settings.recordFilePath, "tr500.txt");
  // Any value but "1" unticks the box, and the box writes "0" back at once.
  EXPECT_FALSE(window.silkontrol->isChecked());
  EXPECT_NE(Settings().find("silkontrol=0\r\n"), std::string::npos);
  window.silkontrol->setChecked(true);
  EXPECT_NE(Settings().find("silkontrol=1\r\n"), std::string::npos);
  EXPECT_TRUE(ui.errors.isEmpty());
}

TEST_F(MainFormTest, MissingSettingsFileGivesAnEmptyListAndDefaults) {
  form = std::make_unique<Tmainform>(state, terminal, ui);
  EXPECT_EQ(form->GridView1->RowCount(), 0);
  EXPECT_TRUE(form->silkontrol->isChecked());
  EXPECT_EQ(state.settings.recordFilePath, "tr500.txt");
  EXPECT_FALSE(test::FileExists(folder / "cihazlar.ini"));
}

TEST_F(MainFormTest, TransferShowsStatusAndProgressPerRow) {
  const std::string record = folder / "kayit.txt";
  Tmainform& window = Open("[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1) +
                           Ethernet(2, "İki", 2) + Ethernet(3, "Üç", 3));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}, {6, 1, 2026, 12, 7, 17, 45}};
  terminal.refusedPorts = {3};
  window.GridView1->SetChecked(1, Tmainform::kTick, false);
  QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
  EXPECT_EQ(window.GridView1->CellValue(0, Tmainform::kStatus), 1);
  EXPECT_EQ(window.GridView1->CellValue(0, Tmainform::kProgress), 100);
  EXPECT_EQ(window.GridView1->CellValue(1, Tmainform::kStatus), 0);
  EXPECT_EQ(window.GridView1->CellValue(2, Tmainform::kStatus), 2);
  EXPECT_EQ(ReadFile(record),
            "000,00005,1 2026/12/07 08:30:00\r\n000,00006,0 2026/12/07 17:45:00\r\n");
  EXPECT_EQ(terminal.CallCount("ClearAttendanceLog"), 1);
}

TEST_F(MainFormTest, StoppedTransferShowsOneErrorAndKeepsTheLog) {
  const std::string record = folder / "kayit.txt";
  Tmainform& window =
      Open("[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1) + Ethernet(2, "İki", 2));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}, {6, 1, 2026, 12, 7, 17, 45}};
  terminal.FailOnCall("GetNextAttendanceRecord", 2, "Cihazla iletişim koptu");
  QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  EXPECT_EQ(ui.errors, QStringList{"Cihazla iletişim koptu"});
  EXPECT_EQ(window.GridView1->CellValue(0, Tmainform::kStatus), 1);
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);
  EXPECT_EQ(terminal.log.size(), 2u);
  EXPECT_FALSE(terminal.IsConnected());
  EXPECT_EQ(ReadFile(record), "");
}

// Answers the next message box once it is up, as a user would: the box comes
// only after the command has pumped its own events, so it is waited for.
template <class Answer>
void AnswerNextMessageBox(Answer answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, answer] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      poll->deleteLater();
      poll->stop();
      answer(*box);
    }
  });
  poll->start(10);
}

TEST_F(MainFormTest, RealErrorBoxOfAStoppedTransferClosesByKeyAndByClick) {
  QtUiServices realDialogs;
  const std::string record = folder / "kayit.txt";
  WriteFile(folder / "cihazlar.ini", "[ayarlar]\r\ndosya=" + record + "\r\n" + Ethernet(1, "Bir", 1));
  std::filesystem::remove(folder / "yedekler");
  Tmainform window(state, terminal, realDialogs);
  window.show();
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};

  QString shown;
  AnswerNextMessageBox([&](QMessageBox& box) {
    shown = box.text();
    QTest::keyClick(&box, Qt::Key_Return);
  });
  QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  EXPECT_TRUE(shown.startsWith("Yedek dosyası açılamadı")) << shown.toStdString();

  shown.clear();
  AnswerNextMessageBox([&](QMessageBox& box) {
    shown = box.text();
    QTest::mouseClick(box.button(QMessageBox::Ok), Qt::LeftButton);
  });
  QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  EXPECT_FALSE(shown.isEmpty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // The window takes its next command as usual.
  std::filesystem::create_directory(folder / "yedekler");
  QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  EXPECT_EQ(ReadFile(record), "000,00005,1 2026/12/07 08:30:00\r\n");
}

TEST_F(MainFormTest, LongTransferRepaintsOnlyChangedProgressAndTakesNoClicks) {
  Tmainform& window = Open(Ethernet(1, "Bir", 1));
  for (int i = 0; i < 20000; ++i) terminal.log.push_back({i, 0, 2026, 12, 7, 8, i % 60});
  // The default record file, relative to the current folder.
  int progressChanges = 0;
  QObject::connect(
      window.GridView1->model(), &QAbstractItemModel::dataChanged,
      [&](const QModelIndex& from) { progressChanges += from.column() == Tmainform::kProgress; });
  // A click in the middle of the transfer must neither start a second one now
  // nor be left waiting to start one afterwards.
  terminal.onCall = [&](const std::string& operation) {
    if (operation == "ReadAttendanceLog") QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  };
  QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(terminal.CallCount("ConnectNetwork"), 1);
  EXPECT_LE(progressChanges, 101);
  EXPECT_GE(progressChanges, 100);
  EXPECT_EQ(window.GridView1->CellValue(0, Tmainform::kProgress), 100);
  EXPECT_TRUE(test::FileExists(folder / "tr500.txt"));
}

TEST_F(MainFormTest, ClosingTheSettingsWindowRebuildsTheRows) {
  Tmainform& window = Open(Ethernet(1, "Bir", 1) + Ethernet(2, "İki", 2));
  Tayarlarform settings(state, terminal, ui, &window);
  window.SetSettingsWindow(&settings);
  window.GridView1->SetChecked(0, Tmainform::kTick, false);
  window.GridView1->SetCellValue(1, Tmainform::kStatus, 2);
  state.devices.pop_back();
  QTimer::singleShot(0, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  QTest::mouseClick(window.ayarlarbuton, Qt::LeftButton);
  ASSERT_EQ(window.GridView1->RowCount(), 1);
  EXPECT_TRUE(window.GridView1->IsChecked(0, Tmainform::kTick));
  EXPECT_EQ(window.GridView1->CellValue(0, Tmainform::kStatus), 0);
}

TEST_F(MainFormTest, BannerDoubleClickOpensTheShippedHelpPage) {
  Tmainform& window = Open("");
  QTest::mouseDClick(window.Image1, Qt::LeftButton);
  QTest::mouseDClick(window.Image2, Qt::LeftButton);
  ASSERT_EQ(ui.openedUrls.size(), 2);
  EXPECT_EQ(ui.openedUrls[0].toLocalFile().toStdString(), folder.Path() + "yardim/index.html");
}

// Installed from the package: started from the home folder, with the office
// in the user's data folder and the help page under /usr/share.
TEST_F(MainFormTest, InstalledWindowWritesARelativeRecordFileInTheOffice) {
  std::filesystem::create_directory(folder / "ev");
  std::filesystem::current_path(folder / "ev");
  state.recordFileBase = state.programFolder;
  state.helpPage = "/usr/share/miravel/yardim/index.html";
  Tmainform& window = Open("[ayarlar]\r\ndosya=kayit.txt\r\n" + Ethernet(1, "Bir", 1));
  terminal.log = {{5, 0, 2026, 12, 7, 8, 30}};
  QTest::mouseClick(window.baglanbuton, Qt::LeftButton);
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
  EXPECT_EQ(ReadFile(folder / "kayit.txt"), "000,00005,1 2026/12/07 08:30:00\r\n");
  EXPECT_FALSE(test::FileExists(folder / "ev/kayit.txt"));
  QTest::mouseDClick(window.Image1, Qt::LeftButton);
  ASSERT_EQ(ui.openedUrls.size(), 1);
  EXPECT_EQ(ui.openedUrls[0].toLocalFile(), "/usr/share/miravel/yardim/index.html");
}

}  // namespace
}  // namespace miravel
