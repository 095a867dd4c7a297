#include "ui/SettingsWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
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

}  // namespace

SettingsWindow::SettingsWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                               const Clock& clock, QWidget* parent, TerminalClientMaker makeClient)
    : TerminalDialog(state, terminal, ui, QStringLiteral("Ayarlar"),
                     QSize(kClientWidth, kClientHeight), parent),
      clock_(clock),
      commands_(terminal, *this, std::move(makeClient)) {
  setObjectName("settingsWindow");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  BuildControls();
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

  exitButton_ = GlyphButton(this, QStringLiteral("Çıkış"), ExitGlyph(), "exitButton",
                            QRect(623, 458, 110, 36));

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
  // Never inside a command: its connection would be cut under it.
  if (CommandRunner::IsRunning()) return;
  pcClockLabel_->setText(Q(FormatClockText(clock_.Now())));
  // Closes any connection of this window left open.
  terminalClient_.Disconnect();
}

void SettingsWindow::TestSelectedConnection() {
  runner_.Run([this] { commands_.TestConnection(GridRows(), SelectedDevice()); });
}

void SettingsWindow::TestAllConnections() {
  runner_.Run([this] { commands_.TestAllConnections(GridRows()); });
}

void SettingsWindow::ReadTerminalClock() {
  runner_.Run([this] {
    if (const auto reading = commands_.ReadClock(GridRows(), SelectedDevice(), clock_)) {
      terminalClockField_->setText(Q(reading->Text()));
    }
  });
}

void SettingsWindow::SetTerminalClock() {
  runner_.Run([this] {
    if (const auto setting = commands_.SetClock(GridRows(), SelectedDevice(), clock_)) {
      const QString text = Q(setting->after.Text());
      terminalClockField_->setText(text);
      pcClockLabel_->setText(text);  // until the next tick shows the PC's clock again
    }
  });
}

void SettingsWindow::ClearAdministrators() {
  runner_.Run([this] { commands_.ClearAdministrators(GridRows(), SelectedDevice()); });
}

void SettingsWindow::ResetDevice() {
  runner_.Run([this] { commands_.Reset(GridRows(), SelectedDevice()); });
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
      refused = !ConnectTo(terminalClient_, candidate, kSettingsConnection);
      terminalClient_.Disconnect();
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
  deviceGrid_->RepaintNow();
  CommandGuard::Pump();
}

bool SettingsWindow::ConfirmReset() {
  const bool yes = confirmDialog_ != nullptr &&
                   confirmDialog_->Ask(ConfirmDialog::ResetQuestion()) == ConfirmDialog::kYes;
  // Where the question stood, the window is painted before the terminal is called.
  repaint();
  CommandGuard::Pump();
  return yes;
}

}  // namespace miravel
