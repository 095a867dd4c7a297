#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/AppState.h"
#include "core/Clock.h"
#include "ui/CommandRunner.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {

class TerminalClient;
class UiServices;

// A banner picture that reports a double-click.
class BannerLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void DoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The window the program opens with: one row per configured terminal, the
// transfer of their attendance records into the record file, the settings
// window and the delete-after-transfer option. Closing it ends the program.
//
// Controls carry object names (transferButton, stopButton, settingsButton, exitButton,
// deleteAfterTransferBox, deviceGrid, topBanner, bottomBanner) by which tests
// and tools find them.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // Columns of the device grid.
  enum Column { kTick = 0, kName = 1, kConnection = 2, kProgress = 3, kStatus = 4 };

  // Opens cihazlar.ini and loads the settings and the list.
  MainWindow(AppState& state, TerminalClient& terminal, UiServices& ui, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Makes a client of its own for each terminal a transfer reads, so that
  // terminals on different links are read at the same time. serialDeviceOf
  // maps a COM port to its device. Without one, the window's one client
  // reads the terminals one after another.
  using TransferClientMaker = std::function<std::shared_ptr<TerminalClient>(
      const std::function<std::string(int comPort)>& serialDeviceOf)>;
  void SetTransferClients(TransferClientMaker maker) { makeTransferClient_ = std::move(maker); }

  // What a transfer compares each terminal's clock with: this computer's
  // clock unless set.
  void SetClock(const Clock& clock) { clock_ = &clock; }

  // Shown modally by "Ayarlar"; the main window rebuilds its rows when it
  // closes. Set once the settings window exists.
  void SetSettingsWindow(QWidget* settingsWindow) { settingsWindow_ = settingsWindow; }

  // The address the banners open: the help page shipped beside the program.
  QUrl HelpAddress() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();

  // When the window is created: the settings file is opened and read once.
  void LoadSettings();
  void FillDeviceRows();
  // "Bilgileri Aktar".
  void TransferRecords();
  // "Ayarlar".
  void OpenSettingsWindow();
  // The "Kayıtları aktardıktan / Sonra sil" box.
  void StoreDeleteAfterTransfer();
  // A double-click on either banner.
  void OpenHelpPage();
  // When the window closes.
  void ReleaseSettingsFile();

  AppState& state_;
  TerminalClient& terminalClient_;
  TransferClientMaker makeTransferClient_;
  const Clock* clock_ = &SystemClock();
  UiServices& ui_;
  CommandRunner runner_{ui_, *this};
  QWidget* settingsWindow_ = nullptr;
  bool shownOnce_ = false;

  BannerLabel* topBanner_ = nullptr;
  BannerLabel* bottomBanner_ = nullptr;
  QPushButton* transferButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QPushButton* settingsButton_ = nullptr;
  QPushButton* exitButton_ = nullptr;
  QCheckBox* deleteAfterTransferBox_ = nullptr;
  QLabel* deleteAfterFirstLine_ = nullptr;
  QLabel* deleteAfterSecondLine_ = nullptr;
  QLabel* transferNote_ = nullptr;
  ReportGrid* deviceGrid_ = nullptr;
  QList<QPixmap> statusImages_;
};

// "IP: ..." or "Mak.No: ..." for the connection column; empty for any other
// connection type (the cell then keeps what it showed).
QString ConnectionDescription(const DeviceEntry& device);

}  // namespace miravel
