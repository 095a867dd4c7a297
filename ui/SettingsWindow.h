#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "core/Clock.h"
#include "devices/DeviceCommands.h"
#include "ui/CommandRunner.h"
#include "ui/TerminalDialog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace miravel {

class ConfirmDialog;
class PersonnelWindow;
class ReportGrid;

// The "Ayarlar" window: keeps the device list, chooses the record file and
// runs the per-terminal commands (connection tests, the terminal's clock,
// administrators, reset, the personnel window). Created once at start and
// shown modally by the main window, which rebuilds its rows when it closes.
//
// The grid is a working copy of the device list: the shared list takes the
// rows (cut to their widths) only when the window closes.
//
// Controls carry object names by which tests find them: deviceGrid,
// recordFileEdit, chooseRecordFileButton, newDeviceButton, saveDevicesButton,
// deleteDeviceButton, readClockButton, setClockButton, terminalClockField (the
// terminal's clock as last read), pcClockLabel (the PC's clock, ticking),
// personnelButton, testConnectionButton, testAllConnectionsButton,
// stopButton, clearAdministratorsButton, resetDeviceButton, exitButton and
// clockTimer.
//
// The commands that talk to a terminal run beside the window: it paints, its
// clock ticks and the grid scrolls meanwhile; "Durdur" stops the test of all
// connections, and a close asks whether to stop the command first.
class SettingsWindow : public TerminalDialog, private DeviceCommandSink {
  Q_OBJECT

 public:
  // Columns of the device grid; 0 to 8 are the fields of a device in file order.
  enum Column {
    kName = 0,
    kConnectionType = 1,
    kMachineNumber = 2,
    kComPort = 3,
    kBaudRate = 4,
    kIpAddress = 5,
    kIpPort = 6,
    kPassword = 7,
    kInOutMode = 8,
    kStatus = 9
  };

  // makeClient gives the test of all connections a client per link, so that
  // it tests the links at the same time; without it, one row after another.
  SettingsWindow(AppState& state, TerminalClient& terminal, UiServices& ui, const Clock& clock,
                 QWidget* parent = nullptr, TerminalClientMaker makeClient = {});
  ~SettingsWindow() override;

  // Set once the other windows exist.
  void SetPersonnelWindow(PersonnelWindow* window) { personnelWindow_ = window; }
  void SetConfirmDialog(ConfirmDialog* dialog) { confirmDialog_ = dialog; }

  // Whether the last command left its terminal connected (none does).
  bool DeviceConnected() const { return deviceConnected_; }

  // Closing by any way ("Çıkış", the title bar, Escape) copies the grid into
  // the device list and saves it.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  // During a command: asks whether to stop it, and closes once it has ended.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();

  // When the window is shown: the fields and the grid from the shared state,
  // and the first row selected.
  void FillWindow();
  void SelectFirstRow();
  // A cell of the device grid selected: every per-device command works on its row.
  void SelectDevice(int row);
  void StripeDeviceRows();

  // "Yeni", "Kaydet", "Sil".
  void AddDevice();
  void SaveDevices();
  void DeleteDevice();
  // The record file field changed, and "Değiştir".
  void StoreRecordFilePath(const QString& text);
  void ChooseRecordFile();
  // Each tick of the one-second clock timer.
  void ShowPcClockAndDisconnect();

  // "Bağlantı Test", "Tüm  CihazlarıTest et", "Tarihi Oku", "Tarihi Kaydet",
  // "Yetkilileri Sil", "Cihazı Sıfırla", "Personel İşlemleri".
  void TestSelectedConnection();
  void TestAllConnections();
  void ReadTerminalClock();
  void SetTerminalClock();
  void ClearAdministrators();
  void ResetDevice();
  void OpenPersonnelWindow();

  // What a command beside the window works on, all taken on the window's
  // thread when it starts: the grid's rows, the selected device, commands on
  // a client of the command's own (the window's client when no maker was
  // given), and the stop request.
  struct TerminalWork {
    const DeviceList& rows;
    int device;
    DeviceCommands& commands;
    const StopRequest& stop;
  };
  // Runs work beside the window as one command; everyRow gives its commands a
  // client per row, to test the links at once. askFirst, when given, runs
  // before on the window's thread (a question the command asks) and the work
  // runs only when it returns true.
  void RunOnTerminal(bool everyRow, const std::function<void(TerminalWork&)>& work,
                     const std::function<bool(const DeviceList&, int)>& askFirst = {});

  // The grid's rows as texts (a line break typed into a cell becomes a blank).
  std::vector<DeviceRow> GridRowTexts() const;
  DeviceList GridRows() const;
  int SelectedRow() const { return state_.selectedDeviceIndex - 1; }
  // The device the per-device commands work on, numbered from 1.
  int SelectedDevice() const { return state_.selectedDeviceIndex; }
  void KeepSelectionInList();

  // DeviceCommandSink.
  void StatusChanged(int device, const std::string& text) override;
  void Repaint() override;
  void StripeRows() override { StripeDeviceRows(); }
  bool ConfirmReset() override;

  const Clock& clock_;
  // While a command runs, the clock timer also leaves the terminal alone.
  CommandRunner runner_{ui_, *this};
  TerminalClientMaker makeClient_;
  bool deviceConnected_ = false;
  PersonnelWindow* personnelWindow_ = nullptr;
  ConfirmDialog* confirmDialog_ = nullptr;

  QLabel* recordFileLabel_ = nullptr;
  QLineEdit* recordFileEdit_ = nullptr;
  QPushButton* chooseRecordFileButton_ = nullptr;
  ReportGrid* deviceGrid_ = nullptr;
  QGroupBox* devicesGroup_ = nullptr;
  QPushButton* newDeviceButton_ = nullptr;
  QPushButton* saveDevicesButton_ = nullptr;
  QPushButton* deleteDeviceButton_ = nullptr;
  QGroupBox* clockGroup_ = nullptr;
  QPushButton* readClockButton_ = nullptr;
  QPushButton* setClockButton_ = nullptr;
  QLineEdit* terminalClockField_ = nullptr;
  QLabel* pcClockLabel_ = nullptr;
  QGroupBox* personnelGroup_ = nullptr;
  QPushButton* personnelButton_ = nullptr;
  QGroupBox* connectionTestGroup_ = nullptr;
  QPushButton* testConnectionButton_ = nullptr;
  QPushButton* testAllConnectionsButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QGroupBox* deviceCommandsGroup_ = nullptr;
  QPushButton* clearAdministratorsButton_ = nullptr;
  QPushButton* resetDeviceButton_ = nullptr;
  QPushButton* exitButton_ = nullptr;
  QTimer* clockTimer_ = nullptr;
};

}  // namespace miravel
