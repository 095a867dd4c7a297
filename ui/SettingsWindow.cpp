#include "ui/SettingsWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include "core/IniFile.h"
#include "core/Utf8.h"
#include "devices/ClockText.h"
#include "devices/DeviceStatus.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"
#include "ui/CommandGuard.h"
#include "ui/ConfirmDialog.h"
#include "ui/PersonnelWindow.h"
#include "ui/Pictures.h"
#include "ui/UiServices.h"
#include "ui/WindowControls.h"
#include "ui/grid/ReportGrid.h"

namespace miravel {
namespace {

constexpr int kClientWidth = 745;
constexpr int kClientHeight = 501;
constexpr int kFieldCount = 9;

const QColor kEvenRow(242, 248, 255);
const QColor kOddRow(232, 240, 255);

// What "Yeni" puts into a new row after its name.
const QStringList kNewDeviceFields = {QStringLiteral("Ethernet"),
                                      QStringLiteral("1"),
                                      QStringLiteral("Com1"),
                                      QStringLiteral("115200"),
                                      QStringLiteral("192.168.1.201"),
                                      QStringLiteral("4370"),
                                      QString(),
                                      QStringLiteral("Standart")};

// A cell's text as one line: a line break must never reach cihazlar.ini or a terminal.
std::string OneLine(QString text) {
  text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  return text.toStdString();
}

// Hands what a command beside the window reports to the window's own sink,
// posted to the window's thread in the order it was reported.
class QueuedDeviceSink : public DeviceCommandSink {
 public:
  QueuedDeviceSink(QObject& receiver, DeviceCommandSink& window)
      : receiver_(receiver), window_(window) {}

  void StatusChanged(int device, const std::string& text) override {
    Post([=, this] { window_.StatusChanged(device, text); });
  }
  void Repaint() override {
    Post([this] { window_.Repaint(); });
  }
  void StripeRows() override {
    Post([this] { window_.StripeRows(); });
  }
  // The reset's question is asked on the window's thread before the work
  // begins (AskReset); work that asked again gets the answer that erases nothing.
  bool ConfirmReset() override { return false; }

 private:
  void Post(std::function<void()> call) {
    QMetaObject::invokeMethod(&receiver_, std::move(call), Qt::QueuedConnection);
  }

  QObject& receiver_;
  DeviceCommandSink& window_;
};

// The clients of one command, made on the window's thread when it starts:
// the program's maker reads cihazlar.ini (which serial device a COM port
// is), and that file must not be read from the command's threads.
class ClientsOfCommand {
 public:
  // links: how many clients the test of all connections takes, one per row.
  ClientsOfCommand(TerminalClient& window, const TerminalClientMaker& make, std::size_t links) {
    if (!make) {
      main_ = &window;
      return;
    }
    own_ = make();
    main_ = own_.get();
    for (std::size_t i = 0; i < links; ++i) links_.push_back(make());
  }

  TerminalClient& Main() { return *main_; }
  // Hands out the clients made for the links in turn; none without a maker
  // (the rows are then tested one after another on Main).
  TerminalClientMaker LinkMaker() {
    if (!own_) return {};
    return [this] { return links_.at(next_++); };
  }

 private:
  TerminalClient* main_ = nullptr;
  std::shared_ptr<TerminalClient> own_;
  std::vector<std::shared_ptr<TerminalClient>> links_;
  std::atomic<std::size_t> next_{0};
};

}  // namespace

SettingsWindow::SettingsWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                               const Clock& clock, QWidget* parent, TerminalClientMaker makeClient)
    : TerminalDialog(state, terminal, ui, QStringLiteral("Ayarlar"),
                     QSize(kClientWidth, kClientHeight), parent),
      clock_(clock),
      makeClient_(std::move(makeClient)) {
  setObjectName("settingsWindow");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  BuildControls();
  // The user's close reaches closeEvent during a command, to ask there.
  CommandGuard::LetCloseThroughDuringCommands(this);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::BuildControls() {
  recordFileLabel_ = new QLabel(QStringLiteral("Kayıtların Kaydedileceği Dosya:"), this);
  recordFileLabel_->setObjectName("recordFileLabel");
  recordFileLabel_->setGeometry(12, 14, 190, 20);
  // The record file's path, written to cihazlar.ini as it is typed.
  recordFileEdit_ = new QLineEdit(QStringLiteral("tr500.txt"), this);
  recordFileEdit_->setObjectName("recordFileEdit");
  recordFileEdit_->setGeometry(204, 12, 420, 24);
  recordFileLabel_->setBuddy(recordFileEdit_);  // its name for screen readers
  chooseRecordFileButton_ = GlyphButton(this, QStringLiteral("Değiştir"), FileGlyph(),
                                        "chooseRecordFileButton", QRect(632, 9, 101, 30));

  // The devices, one row each, edited in place and saved by "Kaydet".
  deviceGrid_ = new ReportGrid(this);
  deviceGrid_->setObjectName("deviceGrid");
  deviceGrid_->SetColumns({
      {QStringLiteral("Cihaz Adı"), ColumnKind::Text, 72, true},
      {QStringLiteral("Bağ.Tipi"),
       ColumnKind::DropDown,
       66,
       true,
       {QStringLiteral("Ethernet"), QStringLiteral("Comm Port")}},
      {QStringLiteral("Chz.No"), ColumnKind::Number, 51, true},
      {QStringLiteral("Port No"),
       ColumnKind::DropDown,
       53,
       true,
       {QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
        QStringLiteral("Com4")}},
      {QStringLiteral("B.rate"),
       ColumnKind::DropDown,
       54,
       true,
       {QStringLiteral("115200"), QStringLiteral("19200"), QStringLiteral("9600")}},
      {QStringLiteral("IP Adres"), ColumnKind::Text, 92, true},
      {QStringLiteral("IP Port"), ColumnKind::Number, 48, true},
      {QStringLiteral("Parola"), ColumnKind::Text, 47, true},
      {QStringLiteral("G/Ç Durumu"),
       ColumnKind::DropDown,
       90,
       true,
       {QStringLiteral("Standart"), QStringLiteral("Her Zaman Giriş"),
        QStringLiteral("Her Zaman Çıkış")}},
      {QStringLiteral("İşlem Durumu"), ColumnKind::Text, 146},
  });
  deviceGrid_->SetFullRowSelection(true);
  deviceGrid_->SetRowHeight(22);
  deviceGrid_->setGeometry(12, 46, 721, 200);
  connect(deviceGrid_, &ReportGrid::CellSelected, this,
          [this](int row, int) { SelectDevice(row); });
  // A click in the grid: the terminal clock shown belongs to the row it was read from.
  connect(deviceGrid_, &ReportGrid::clicked, this, [this] { terminalClockField_->clear(); });

  devicesGroup_ = Group(this, QStringLiteral("Cihazlar"), QRect(12, 256, 262, 78));
  newDeviceButton_ = GlyphButton(devicesGroup_, QStringLiteral("Yeni"), NewGlyph(),
                                 "newDeviceButton", QRect(10, 28, 76, 36));
  saveDevicesButton_ = GlyphButton(devicesGroup_, QStringLiteral("Kaydet"), SaveGlyph(),
                                   "saveDevicesButton", QRect(93, 28, 76, 36));
  deleteDeviceButton_ = GlyphButton(devicesGroup_, QStringLiteral("Sil"), DeleteGlyph(),
                                    "deleteDeviceButton", QRect(176, 28, 76, 36));

  connectionTestGroup_ = Group(this, QStringLiteral("Bağlantı Test"), QRect(12, 342, 262, 108));
  testConnectionButton_ =
      GlyphButton(connectionTestGroup_, QStringLiteral("Bağlantı Test"), ConnectionTestGlyph(),
                  "testConnectionButton", QRect(10, 26, 242, 34));
  testAllConnectionsButton_ =
      GlyphButton(connectionTestGroup_, QStringLiteral("Tüm  CihazlarıTest et"),
                  ConnectionTestGlyph(), "testAllConnectionsButton", QRect(10, 64, 242, 34));

  clockGroup_ = Group(this, QStringLiteral("Tarih / Saat Düzenleme"), QRect(284, 256, 262, 194));
  readClockButton_ = GlyphButton(clockGroup_, QStringLiteral("Tarihi Oku"), ClockGlyph(),
                                 "readClockButton", QRect(10, 32, 117, 36));
  setClockButton_ = GlyphButton(clockGroup_, QStringLiteral("Tarihi Kaydet"), ClockGlyph(),
                                "setClockButton", QRect(135, 32, 117, 36));
  // The terminal's clock as last read or set.
  terminalClockField_ = new QLineEdit(clockGroup_);
  terminalClockField_->setObjectName("terminalClockField");
  terminalClockField_->setReadOnly(true);
  terminalClockField_->setAlignment(Qt::AlignCenter);
  terminalClockField_->setGeometry(10, 96, 242, 28);
  terminalClockField_->setAccessibleName(QStringLiteral("Cihaz saati"));
  // The PC's clock, renewed by the clock timer.
  pcClockLabel_ = new QLabel(clockGroup_);
  pcClockLabel_->setObjectName("pcClockLabel");
  pcClockLabel_->setAlignment(Qt::AlignCenter);
  pcClockLabel_->setGeometry(10, 134, 242, 24);

  personnelGroup_ = Group(this, QStringLiteral("Personel İşlemleri"), QRect(556, 256, 177, 78));
  personnelButton_ = GlyphButton(personnelGroup_, QStringLiteral("Personel İşlemleri"),
                                 PersonGlyph(), "personnelButton", QRect(10, 28, 157, 36));

  deviceCommandsGroup_ = Group(this, QStringLiteral("Cihaz İşlemleri"), QRect(556, 342, 177, 108));
  clearAdministratorsButton_ =
      GlyphButton(deviceCommandsGroup_, QStringLiteral("Yetkilileri Sil"), DeleteGlyph(),
                  "clearAdministratorsButton", QRect(10, 26, 157, 34));
  resetDeviceButton_ = GlyphButton(deviceCommandsGroup_, QStringLiteral("Cihazı Sıfırla"),
                                   CancelGlyph(), "resetDeviceButton", QRect(10, 64, 157, 34));

  // Below the connection tests, the one command it stops.
  stopButton_ = GlyphButton(this, QStringLiteral("Durdur"), CancelGlyph(), "stopButton",
                            QRect(12, 458, 110, 36));
  runner_.SetStopControl(stopButton_);

  exitButton_ = GlyphButton(this, QStringLiteral("Çıkış"), ExitGlyph(), "exitButton",
                            QRect(623, 458, 110, 36));
  // A click during a command asks whether to stop it, as the title bar's close does.
  CommandGuard::LetThroughDuringCommands(exitButton_);

  // The one-second clock timer: runs while the window exists, shown or not.
  clockTimer_ = new QTimer(this);
  clockTimer_->setObjectName("clockTimer");
  clockTimer_->setInterval(1000);
  connect(clockTimer_, &QTimer::timeout, this, &SettingsWindow::ShowPcClockAndDisconnect);
  clockTimer_->start();

  connect(recordFileEdit_, &QLineEdit::textChanged, this, &SettingsWindow::StoreRecordFilePath);
  connect(chooseRecordFileButton_, &QPushButton::clicked, this, &SettingsWindow::ChooseRecordFile);
  connect(newDeviceButton_, &QPushButton::clicked, this, &SettingsWindow::AddDevice);
  connect(saveDevicesButton_, &QPushButton::clicked, this, &SettingsWindow::SaveDevices);
  connect(deleteDeviceButton_, &QPushButton::clicked, this, &SettingsWindow::DeleteDevice);
  connect(readClockButton_, &QPushButton::clicked, this, &SettingsWindow::ReadTerminalClock);
  connect(setClockButton_, &QPushButton::clicked, this, &SettingsWindow::SetTerminalClock);
  connect(personnelButton_, &QPushButton::clicked, this, &SettingsWindow::OpenPersonnelWindow);
  connect(testConnectionButton_, &QPushButton::clicked, this,
          &SettingsWindow::TestSelectedConnection);
  connect(testAllConnectionsButton_, &QPushButton::clicked, this,
          &SettingsWindow::TestAllConnections);
  connect(clearAdministratorsButton_, &QPushButton::clicked, this,
          &SettingsWindow::ClearAdministrators);
  connect(resetDeviceButton_, &QPushButton::clicked, this, &SettingsWindow::ResetDevice);
  connect(exitButton_, &QPushButton::clicked, this, &SettingsWindow::close);
}

void SettingsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The program's own show, not a restore from the task bar.
  if (event->spontaneous()) return;
  RunCommand(ui_, this, [this] { FillWindow(); });
  SelectFirstRow();
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
  if (runner_.AskToStopBeforeClose([this] { close(); })) {
    event->ignore();
    return;
  }
  TerminalDialog::closeEvent(event);
}

void SettingsWindow::FillWindow() {
  pcClockLabel_->setText(Q(FormatClockText(clock_.Now())));
  recordFileEdit_->setText(Q(state_.settings.recordFilePath));
  const int selected = state_.selectedDeviceIndex;
  {
    GridBulkUpdate bulk(*deviceGrid_);
    deviceGrid_->ClearRows();
    deviceGrid_->SetRowCountTo(static_cast<int>(state_.devices.size()));
    for (int row = 0; row < deviceGrid_->RowCount(); ++row) {
      const DeviceRow fields = ToRow(state_.devices[row]);
      for (int column = 0; column < kFieldCount; ++column) {
        deviceGrid_->SetCellText(row, column, Q(fields[column]));
      }
      deviceGrid_->SetCellText(row, kStatus, QString());
    }
  }
  state_.selectedDeviceIndex = selected;
  deviceGrid_->RepaintNow();
  StripeDeviceRows();
}

void SettingsWindow::SelectFirstRow() {
  // Once per showing, not at every activation: a message box closing is no new start.
  if (deviceGrid_->RowCount() > 0) deviceGrid_->setCurrentCell(0, 0);
  KeepSelectionInList();
  deviceGrid_->setFocus();
}

void SettingsWindow::SelectDevice(int row) {
  state_.selectedDeviceIndex = row + 1;
}

void SettingsWindow::KeepSelectionInList() {
  const int count = deviceGrid_->RowCount();
  state_.selectedDeviceIndex = std::clamp(state_.selectedDeviceIndex, 1, std::max(count, 1));
}

void SettingsWindow::StripeDeviceRows() {
  for (int row = 0; row < deviceGrid_->RowCount(); ++row) {
    deviceGrid_->SetRowBackground(row, row % 2 == 0 ? kEvenRow : kOddRow);
  }
}

std::vector<DeviceRow> SettingsWindow::GridRowTexts() const {
  std::vector<DeviceRow> rows(static_cast<std::size_t>(deviceGrid_->RowCount()));
  for (std::size_t row = 0; row < rows.size(); ++row) {
    for (int column = 0; column < kFieldCount; ++column) {
      rows[row][column] = OneLine(deviceGrid_->CellText(static_cast<int>(row), column));
    }
  }
  return rows;
}

DeviceList SettingsWindow::GridRows() const {
  DeviceList rows;
  for (const DeviceRow& texts : GridRowTexts()) rows.push_back(WholeEntryOf(texts));
  return rows;
}

void SettingsWindow::AddDevice() {
  runner_.Run([this] {
    const int count = deviceGrid_->RowCount();
    if (count >= kMaxDevices) {
      // Sections above cihaz256 are never read back.
      ui_.ShowMessage(this, QStringLiteral("En fazla %1 cihaz tanımlanabilir.").arg(kMaxDevices));
      return;
    }
    const int row = deviceGrid_->AddRow();
    deviceGrid_->SetCellText(row, kName, QStringLiteral("Cihaz%1").arg(count + 1));
    for (int column = 1; column < kFieldCount; ++column) {
      deviceGrid_->SetCellText(row, column, kNewDeviceFields[column - 1]);
    }
    deviceGrid_->setCurrentCell(row, kName);
    state_.selectedDeviceIndex = row + 1;
    deviceGrid_->ScrollToRow(row);
    deviceGrid_->setFocus();
    deviceGrid_->RepaintNow();
    StripeDeviceRows();
  });
}

void SettingsWindow::SaveDevices() {
  runner_.Run([this] { SaveDeviceList(state_.SettingsFileToWrite(), GridRowTexts()); });
}

void SettingsWindow::DeleteDevice() {
  runner_.Run([this] {
    // The last device cannot be deleted.
    const int count = deviceGrid_->RowCount();
    if (count <= 1) return;
    const int selected = std::clamp(SelectedRow(), 0, count - 1);
    // The rows below move up, each with its status: a status stays beside
    // the device it describes.
    for (int row = selected; row < count - 1; ++row) {
      for (int column = 0; column <= kStatus; ++column) {
        deviceGrid_->SetCellText(row, column, deviceGrid_->CellText(row + 1, column));
      }
    }
    deviceGrid_->DeleteRow(count - 1);
    KeepSelectionInList();
    SaveDeviceList(state_.SettingsFileToWrite(), GridRowTexts());
  });
}

void SettingsWindow::done(int result) {
  // However the window is closed (the title bar, Alt+F4, Escape), the text
  // still being typed into a cell counts, as it does for "Çıkış", whose
  // click ends the edit first.
  deviceGrid_->FinishEditing();
  // When the window closes: the only point at which the shared list changes.
  RunCommand(ui_, this, [this] {
    const std::vector<DeviceRow> rows = GridRowTexts();
    state_.devices.clear();
    for (const DeviceRow& row : rows) state_.devices.push_back(FromRow(row));
    SaveDeviceList(state_.SettingsFileToWrite(), rows);
  });
  QDialog::done(result);
}

void SettingsWindow::StoreRecordFilePath(const QString& text) {
  RunCommand(ui_, this, [this, &text] {
    const std::string path = text.toStdString();
    // A blank field names no file: the transfer uses the default, as the next start would.
    state_.settings.recordFilePath = TrimSpaceAndControls(path).empty() ? kDefaultRecordFile : path;
    WriteRecordFilePath(state_.SettingsFileToWrite(), path);
  });
}

void SettingsWindow::ChooseRecordFile() {
  runner_.Run([this] {
    const QString chosen = ui_.ChooseOpenFile(this, recordFileEdit_->text());
    // A cancelled dialog keeps the record file as it was.
    if (chosen.isEmpty()) return;
    recordFileEdit_->setText(chosen);
  });
}

void SettingsWindow::ShowPcClockAndDisconnect() {
  // The clock goes on during a long command too.
  pcClockLabel_->setText(Q(FormatClockText(clock_.Now())));
  // Never inside a command: the client may be the one its work is talking through.
  if (CommandRunner::IsRunning()) return;
  // Closes any connection of this window left open.
  terminalClient_.Disconnect();
}

void SettingsWindow::RunOnTerminal(bool everyRow, const std::function<void(TerminalWork&)>& work,
                                   const std::function<bool(const DeviceList&, int)>& askFirst) {
  runner_.Run([&] {
    // Copies: the grid may be scrolled meanwhile, and the work must read
    // neither it nor cihazlar.ini from its thread.
    const DeviceList rows = GridRows();
    const int device = SelectedDevice();
    if (askFirst && !askFirst(rows, device)) return;
    ClientsOfCommand clients(terminalClient_, makeClient_, everyRow ? rows.size() : 0);
    QueuedDeviceSink sink(*this, *this);
    deviceConnected_ = false;
    bool connected = false;
    runner_.RunBeside([&](const StopRequest& stop) {
      DeviceCommands commands(clients.Main(), sink, clients.LinkMaker());
      TerminalWork given{rows, device, commands, stop};
      work(given);
      connected = commands.DeviceConnected();
    });
    deviceConnected_ = connected;
  });
}

void SettingsWindow::TestSelectedConnection() {
  RunOnTerminal(false, [](TerminalWork& w) { w.commands.TestConnection(w.rows, w.device); });
}

void SettingsWindow::TestAllConnections() {
  RunOnTerminal(true, [](TerminalWork& w) { w.commands.TestAllConnections(w.rows, &w.stop); });
}

void SettingsWindow::ReadTerminalClock() {
  std::optional<ClockReading> reading;
  RunOnTerminal(false,
                [&](TerminalWork& w) { reading = w.commands.ReadClock(w.rows, w.device, clock_); });
  if (reading) terminalClockField_->setText(Q(reading->Text()));
}

void SettingsWindow::SetTerminalClock() {
  std::optional<ClockSetting> setting;
  RunOnTerminal(false,
                [&](TerminalWork& w) { setting = w.commands.SetClock(w.rows, w.device, clock_); });
  if (!setting) return;
  const QString text = Q(setting->after.Text());
  terminalClockField_->setText(text);
  pcClockLabel_->setText(text);  // until the next tick shows the PC's clock again
}

void SettingsWindow::ClearAdministrators() {
  RunOnTerminal(false, [](TerminalWork& w) { w.commands.ClearAdministrators(w.rows, w.device); });
}

void SettingsWindow::ResetDevice() {
  // The question belongs to the window's thread; only "Evet" starts the work.
  RunOnTerminal(
      false, [](TerminalWork& w) { w.commands.EraseAfterYes(w.rows, w.device); },
      [this](const DeviceList& rows, int device) {
        return DeviceCommands(terminalClient_, *this).AskReset(rows, device);
      });
}

void SettingsWindow::OpenPersonnelWindow() {
  std::optional<ConnectionTarget> target;
  bool refused = false;
  runner_.Run([&] {
    const DeviceList rows = GridRows();
    const int row = SelectedRow();
    if (row < 0 || row >= static_cast<int>(rows.size())) return;
    ConnectionTarget candidate = PersonnelTargetOf(rows[row]);
    if (candidate.kind == ConnectionKind::kNetwork) {
      // A probe: does the terminal answer at all? It is closed at once, for a
      // terminal takes one connection at a time and the personnel window is
      // about to open its own.
      ClientsOfCommand clients(terminalClient_, makeClient_, 0);
      runner_.RunBeside([&](const StopRequest&) {
        TerminalClient& probe = clients.Main();
        refused = !ConnectTo(probe, candidate, kSettingsConnection);
        probe.Disconnect();
      });
      if (refused) return;
    }
    target = candidate;
  });
  // The personnel window is not part of the command: it takes the user's
  // input, and this window's timer goes on ticking while it is open.
  if (refused) {
    ui_.ShowMessage(this, QString::fromUtf8(device_status::kRefused));
    close();
    return;
  }
  if (!target || personnelWindow_ == nullptr) return;
  personnelWindow_->SetTarget(*target);
  personnelWindow_->exec();
}

void SettingsWindow::StatusChanged(int device, const std::string& text) {
  const int row = device - 1;
  if (row >= 0 && row < deviceGrid_->RowCount()) deviceGrid_->SetCellText(row, kStatus, Q(text));
}

void SettingsWindow::Repaint() {
  // The commands run beside the window, whose event loop paints: a paint
  // asked for is enough, and many in a row cost one.
  deviceGrid_->viewport()->update();
}

bool SettingsWindow::ConfirmReset() {
  return confirmDialog_ != nullptr &&
         confirmDialog_->Ask(ConfirmDialog::ResetQuestion()) == ConfirmDialog::kYes;
}

}  // namespace miravel
