#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QMouseEvent>
#include <QShowEvent>
#include <QUrl>
#include <chrono>
#include <exception>
#include <map>
#include <vector>

#include "core/OfficeFolder.h"
#include "terminal/TerminalClient.h"
#include "transfer/ParallelTransfer.h"
#include "transfer/RecordLine.h"
#include "ui/CommandGuard.h"
#include "ui/Pictures.h"
#include "ui/UiServices.h"
#include "ui/WindowControls.h"

namespace miravel {
namespace {

constexpr int kClientWidth = 768;
constexpr int kClientHeight = 514;
constexpr int kBannerHeight = 84;
constexpr int kFooterHeight = 44;

// Shows a transfer in the grid: the cells change only when their value does,
// and each refresh point lets the window paint without taking user input.
class GridTransferSink : public TransferSink {
 public:
  GridTransferSink(ReportGrid& grid, QCheckBox& deleteAfter, QLabel& note,
                   const DeviceList& devices)
      : grid_(grid), deleteAfter_(deleteAfter), note_(note), devices_(devices) {}

  void StatusChanged(int row, RowStatus status) override {
    grid_.SetCellValue(row - 1, MainWindow::kStatus, static_cast<int>(status));
  }
  void ProgressChanged(int row, int percent) override {
    grid_.SetCellValue(row - 1, MainWindow::kProgress, percent);
  }
  void Repaint() override { CommandGuard::Pump(); }
  bool ShouldClearLog() override { return deleteAfter_.isChecked(); }
  void LogReadRefused(int row) override {
    problems_ << Q(devices_[row - 1].name) + ": cihaz kayıtları vermedi, aktarılmadı.";
  }
  void UserNumbersCut(int row, int records) override {
    problems_ << Q(devices_[row - 1].name) + ": " + Q(CutUserNumbersNote(records)) + ".";
  }
  void ClockWrong(int row, const ClockWarning& warning) override {
    problems_ << Q(devices_[row - 1].name) + ": " +
                     Q(ClockWarningNote(warning,
                                        "Ayarlar penceresinde cihazı seçip \"Tarihi "
                                        "Kaydet\" düğmesine basın")) +
                     ".";
  }
  void LogClearRefused(int row) override {
    problems_ << Q(devices_[row - 1].name) +
                     ": kayıtlar aktarıldı, ama cihaz onları silmedi; kayıtlar cihazda duruyor.";
  }
  void RecordsSetAside(int row, int records, const std::string& file) override {
    problems_ << Q(devices_[row - 1].name) + ": " + QString::number(records) +
                     " kaydın tarihi ya da saati geçersiz; aktarılmadı, şuraya ayrıldı: " + Q(file);
  }
  void LedgerUnreadable(const std::string& problem, int maybeTwice) override {
    ledgerProblem_ = Q(problem) + " Bu aktarımda alınan " + QString::number(maybeTwice) +
                     " kayıttan bazıları kayıt dosyasında ikinci kez yer alıyor olabilir.";
  }
  void WaitingForOtherTransfer(bool waiting) override {
    note_.setText(waiting ? QStringLiteral("Başka bir aktarım sürüyor, bekleniyor…") : QString());
  }
  void LogClearLeft(int) override { ++clearsLeft_; }
  void TransferStopped(bool replaced) override {
    if (!replaced) {
      note_.setText(QStringLiteral("Aktarım durduruldu; hiçbir kayıt aktarılmadı."));
    } else {
      note_.setText(QStringLiteral("Aktarım durduruldu. Kayıtlar aktarıldı; ") +
                    QString::number(clearsLeft_) +
                    QStringLiteral(" cihazdaki kayıtlar bir sonraki aktarımda silinecek."));
    }
  }

  // What the user must hear about although the run went on.
  const QStringList& Problems() const { return problems_; }
  // The delivery ledger could not be read: an error, although the run went on.
  const QString& LedgerProblem() const { return ledgerProblem_; }

 private:
  ReportGrid& grid_;
  QCheckBox& deleteAfter_;
  QLabel& note_;
  const DeviceList& devices_;
  QStringList problems_;
  QString ledgerProblem_;
  int clearsLeft_ = 0;
};

// Hands what the transfer reports from its threads to the grid's sink on the
// window's thread, in the order it was reported.
class QueuedSink : public TransferSink {
 public:
  QueuedSink(QObject& receiver, TransferSink& grid, bool clearLog)
      : receiver_(receiver), grid_(grid), clearLog_(clearLog) {}

  void StatusChanged(int row, RowStatus status) override {
    Post([=, this] { grid_.StatusChanged(row, status); });
  }
  void ProgressChanged(int row, int percent) override {
    Post([=, this] { grid_.ProgressChanged(row, percent); });
  }
  bool ShouldClearLog() override { return clearLog_; }
  void TerminalTransferred(int row, int records) override {
    Post([=, this] { grid_.TerminalTransferred(row, records); });
  }
  void AlreadyDelivered(int row, int records) override {
    Post([=, this] { grid_.AlreadyDelivered(row, records); });
  }
  void UserNumbersCut(int row, int records) override {
    Post([=, this] { grid_.UserNumbersCut(row, records); });
  }
  void ClockWrong(int row, const ClockWarning& warning) override {
    Post([=, this] { grid_.ClockWrong(row, warning); });
  }
  void RecordsSetAside(int row, int records, const std::string& file) override {
    Post([=, this] { grid_.RecordsSetAside(row, records, file); });
  }
  void LedgerUnreadable(const std::string& problem, int maybeTwice) override {
    Post([=, this] { grid_.LedgerUnreadable(problem, maybeTwice); });
  }
  void LogReadRefused(int row) override {
    Post([=, this] { grid_.LogReadRefused(row); });
  }
  void LogClearRefused(int row) override {
    Post([=, this] { grid_.LogClearRefused(row); });
  }
  void WaitingForOtherTransfer(bool waiting) override {
    Post([=, this] { grid_.WaitingForOtherTransfer(waiting); });
  }
  void RowFinished(int row) override {
    Post([=, this] { grid_.RowFinished(row); });
  }
  void RowStopped(int row) override {
    Post([=, this] { grid_.RowStopped(row); });
  }
  void LogClearLeft(int row) override {
    Post([=, this] { grid_.LogClearLeft(row); });
  }
  void TransferStopped(bool replaced) override {
    Post([=, this] { grid_.TransferStopped(replaced); });
  }

 private:
  void Post(std::function<void()> call) {
    QMetaObject::invokeMethod(&receiver_, std::move(call), Qt::QueuedConnection);
  }

  QObject& receiver_;
  TransferSink& grid_;
  const bool clearLog_;
};

// The main window's buttons: bold captions in their own colour, laid out by
// the window (the other windows place theirs, WindowControls.h).
QPushButton* ColouredGlyphButton(QWidget* parent, const QString& text, const QPixmap& glyph,
                                 const QColor& colour) {
  auto* button = new QPushButton(QIcon(glyph), text, parent);
  button->setIconSize(glyph.size());
  QFont font = button->font();
  font.setBold(true);
  button->setFont(font);
  QPalette palette = button->palette();
  palette.setColor(QPalette::ButtonText, colour);
  button->setPalette(palette);
  return button;
}

}  // namespace

void BannerLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  emit DoubleClicked();
  event->accept();
}

QString ConnectionDescription(const DeviceEntry& device) {
  if (device.connectionType == kConnectionEthernet) {
    return "IP: " + Q(device.ipAddress) + " /Port: " + Q(device.ipPort);
  }
  if (device.connectionType == kConnectionSerial) {
    return "Mak.No: " + Q(device.machineNumber) + " /Port: " + Q(device.comPort) +
           " /B.rate: " + Q(device.baudRate);
  }
  return {};
}

MainWindow::MainWindow(AppState& state, TerminalClient& terminal, UiServices& ui, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      state_(state),
      terminalClient_(terminal),
      ui_(ui) {
  setObjectName("mainWindow");
  setWindowTitle(QStringLiteral("  Miravel Parmak İzi Bilgi Transferi (Ver. 1.02)"));
  setFixedSize(kClientWidth, kClientHeight);
  BuildControls();
  RunCommand(ui_, this, [this] { LoadSettings(); });
  CommandGuard::LetCloseThroughDuringCommands(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
  topBanner_ = new BannerLabel(this);
  topBanner_->setObjectName("topBanner");
  topBanner_->setGeometry(0, 0, kClientWidth, kBannerHeight);
  topBanner_->setPixmap(BannerPicture(topBanner_->size(), true));
  bottomBanner_ = new BannerLabel(this);
  bottomBanner_->setObjectName("bottomBanner");
  bottomBanner_->setGeometry(0, kClientHeight - kFooterHeight, kClientWidth, kFooterHeight);
  bottomBanner_->setPixmap(BannerPicture(bottomBanner_->size(), false));
  connect(topBanner_, &BannerLabel::DoubleClicked, this, &MainWindow::OpenHelpPage);
  connect(bottomBanner_, &BannerLabel::DoubleClicked, this, &MainWindow::OpenHelpPage);

  // One row per configured terminal, with its transfer's progress and status.
  deviceGrid_ = new ReportGrid(this);
  deviceGrid_->setObjectName("deviceGrid");
  deviceGrid_->SetColumns({
      {QStringLiteral("Bağlan"), ColumnKind::CheckBox, 51, true, {}, false, true},
      {QStringLiteral("Cihaz Adı"), ColumnKind::Text, 122},
      {QStringLiteral("Bağlantı Şekli"), ColumnKind::Text, 238},
      {QStringLiteral("Transfer Durumu"), ColumnKind::Progress, 105},
      {QStringLiteral("Durum"), ColumnKind::Image, 72},
  });
  statusImages_ = StatusImages();
  deviceGrid_->SetImageList(statusImages_);
  deviceGrid_->SetHeaderHeight(18);
  deviceGrid_->SetRowHeight(24);
  deviceGrid_->setGeometry(12, kBannerHeight + 12, 596,
                           kClientHeight - kBannerHeight - kFooterHeight - 24);

  const int buttonsLeft = 620;
  const int buttonWidth = 136;
  transferButton_ = ColouredGlyphButton(this, QStringLiteral("Bilgileri Aktar"), TransferGlyph(),
                                        QColor(0, 0, 255));
  transferButton_->setObjectName("transferButton");
  transferButton_->setGeometry(buttonsLeft, kBannerHeight + 12, buttonWidth, 44);
  settingsButton_ =
      ColouredGlyphButton(this, QStringLiteral("Ayarlar"), SettingsGlyph(), QColor(128, 0, 0));
  settingsButton_->setObjectName("settingsButton");
  // Stops a running transfer at its next safe point; enabled only then.
  stopButton_ = ColouredGlyphButton(this, QStringLiteral("Durdur"), StopGlyph(), QColor(128, 0, 0));
  stopButton_->setObjectName("stopButton");
  // Greyed while no transfer runs, so that it does not look pressable.
  QPalette stopPalette = stopButton_->palette();
  stopPalette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(150, 150, 150));
  stopButton_->setPalette(stopPalette);
  stopButton_->setGeometry(buttonsLeft, kBannerHeight + 60, buttonWidth, 32);
  runner_.SetStopControl(stopButton_);
  const int below = 40;  // what the stop control takes under "Bilgileri Aktar"
  settingsButton_->setGeometry(buttonsLeft, kBannerHeight + 64 + below, buttonWidth, 44);
  exitButton_ =
      ColouredGlyphButton(this, QStringLiteral("Çıkış   "), ExitGlyph(), QColor(255, 0, 0));
  exitButton_->setObjectName("exitButton");
  exitButton_->setGeometry(buttonsLeft, kBannerHeight + 116 + below, buttonWidth, 44);

  // Whether a transfer clears the terminals' logs; kept in cihazlar.ini.
  deleteAfterTransferBox_ = new QCheckBox(this);
  deleteAfterTransferBox_->setObjectName("deleteAfterTransferBox");
  deleteAfterTransferBox_->setChecked(true);
  deleteAfterTransferBox_->setGeometry(buttonsLeft, kBannerHeight + 180 + below, 20, 20);
  deleteAfterFirstLine_ = new QLabel(QStringLiteral("Kayıtları aktardıktan"), this);
  deleteAfterFirstLine_->setObjectName("deleteAfterFirstLine");
  deleteAfterFirstLine_->setGeometry(buttonsLeft + 22, kBannerHeight + 176 + below, 126, 16);
  deleteAfterSecondLine_ = new QLabel(QStringLiteral("Sonra sil"), this);
  deleteAfterSecondLine_->setObjectName("deleteAfterSecondLine");
  deleteAfterSecondLine_->setGeometry(buttonsLeft + 22, kBannerHeight + 192 + below, 126, 16);

  // Says why a transfer has not started yet (it waits for another one), or
  // what a stopped one left.
  transferNote_ = new QLabel(this);
  transferNote_->setObjectName("transferNote");
  transferNote_->setWordWrap(true);
  transferNote_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  transferNote_->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0);"));
  transferNote_->setGeometry(buttonsLeft, kBannerHeight + 220 + below, buttonWidth, 96);

  connect(transferButton_, &QPushButton::clicked, this, &MainWindow::TransferRecords);
  connect(settingsButton_, &QPushButton::clicked, this, &MainWindow::OpenSettingsWindow);
  connect(exitButton_, &QPushButton::clicked, this, &MainWindow::close);
  // During a transfer it asks whether to stop it, as the title bar's close does.
  CommandGuard::LetThroughDuringCommands(exitButton_);
  connect(deleteAfterTransferBox_, &QCheckBox::toggled, this,
          &MainWindow::StoreDeleteAfterTransfer);
}

void MainWindow::LoadSettings() {
  state_.settingsFile = std::make_unique<IniFile>(state_.SettingsFilePath());
  state_.settings = LoadAppSettings(*state_.settingsFile);
  // Any stored value but "1" unticks the box, and the change writes "0" back.
  deleteAfterTransferBox_->setChecked(state_.settings.deleteAfterTransfer);
  state_.selectedDeviceIndex = 1;
  state_.devices = LoadDeviceList(*state_.settingsFile);
  deviceGrid_->SetRowCountTo(static_cast<int>(state_.devices.size()));
}

void MainWindow::FillDeviceRows() {
  const auto count = static_cast<int>(state_.devices.size());
  for (int row = 0; row < count && row < deviceGrid_->RowCount(); ++row) {
    const DeviceEntry& device = state_.devices[row];
    deviceGrid_->SetChecked(row, kTick, true);
    deviceGrid_->SetCellText(row, kName, Q(device.name));
    const QString description = ConnectionDescription(device);
    if (!description.isEmpty()) deviceGrid_->SetCellText(row, kConnection, description);
    deviceGrid_->SetCellValue(row, kStatus, 0);
  }
}

void MainWindow::TransferRecords() {
  runner_.Run([this] {
    transferNote_->clear();
    TransferJob job;
    job.devices = state_.devices;
    for (int row = 0; row < static_cast<int>(job.devices.size()); ++row) {
      job.ticked.push_back(row < deviceGrid_->RowCount() && deviceGrid_->IsChecked(row, kTick));
    }
    job.recordFilePath = RecordFileLocation(state_.recordFileBase, state_.settings.recordFilePath);
    job.programFolder = state_.programFolder;
    job.clock = clock_;
    // The serial devices are looked up here: the reading threads must not
    // touch the settings file.
    std::map<int, std::string> serialDevices;
    for (const DeviceEntry& device : job.devices) {
      const int comPort = std::atoi(device.comPort.c_str());
      if (state_.settingsFile && comPort > 0) {
        serialDevices[comPort] = SerialDevicePath(*state_.settingsFile, comPort);
      }
    }
    job.serialDeviceOf = [serialDevices](int comPort) {
      const auto found = serialDevices.find(comPort);
      return found != serialDevices.end() ? found->second : std::string();
    };
    TerminalClientMaker makeClient;
    int parallel = 1;
    if (makeTransferClient_) {
      makeClient = [this, serialDeviceOf = job.serialDeviceOf] {
        return makeTransferClient_(serialDeviceOf);
      };
      parallel = kDefaultParallelReads;
    } else {
      // The window's one client serves every row in turn.
      const std::shared_ptr<TerminalClient> client(std::shared_ptr<TerminalClient>(),
                                                   &terminalClient_);
      makeClient = [client] { return client; };
    }
    GridTransferSink grid(*deviceGrid_, *deleteAfterTransferBox_, *transferNote_, job.devices);
    QueuedSink sink(*this, grid, deleteAfterTransferBox_->isChecked());
    // The transfer runs beside the window, which keeps painting its grid
    // while the command guard holds its input.
    // Greyed for the run: what would start another command or change this one.
    // The guard holds the rest of the input (the ticks among it); the stop
    // control, the exit button (which asks first) and the scroll bars answer.
    const std::vector<QWidget*> held{transferButton_, settingsButton_, deleteAfterTransferBox_};
    for (QWidget* control : held) control->setEnabled(false);
    std::exception_ptr error;
    try {
      runner_.RunBeside([&](const StopRequest& stop) {
        job.stop = &stop;
        RunParallelTransfer(job, makeClient, sink, parallel);
      });
    } catch (...) {
      error = std::current_exception();
    }
    for (QWidget* control : held) control->setEnabled(true);
    // A run that went on past an unreadable ledger says so even when it
    // ended on an error afterwards.
    if (!grid.LedgerProblem().isEmpty()) ui_.ShowError(this, grid.LedgerProblem());
    if (error) std::rethrow_exception(error);
    if (!grid.Problems().isEmpty()) ui_.ShowMessage(this, grid.Problems().join("\n"));
  });
}

void MainWindow::OpenSettingsWindow() {
  if (auto* dialog = qobject_cast<QDialog*>(settingsWindow_)) dialog->exec();
  deviceGrid_->ClearRows();
  deviceGrid_->SetRowCountTo(static_cast<int>(state_.devices.size()));
  FillDeviceRows();
}

void MainWindow::StoreDeleteAfterTransfer() {
  RunCommand(ui_, this, [this] {
    state_.settings.deleteAfterTransfer = deleteAfterTransferBox_->isChecked();
    WriteDeleteAfterTransfer(state_.SettingsFileToWrite(), deleteAfterTransferBox_->isChecked());
  });
}

QUrl MainWindow::HelpAddress() const {
  return QUrl::fromLocalFile(QString::fromStdString(state_.HelpPagePath()));
}

void MainWindow::OpenHelpPage() {
  ui_.OpenUrl(HelpAddress());
}

void MainWindow::ReleaseSettingsFile() {
  state_.settingsFile.reset();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Only the program's own show fills the rows, not a restore from the task bar.
  if (!event->spontaneous() && !shownOnce_) {
    shownOnce_ = true;
    FillDeviceRows();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // During a transfer: stopped first (if the user wants), closed once it ended.
  if (runner_.AskToStopBeforeClose([this] { close(); })) {
    event->ignore();
    return;
  }
  ReleaseSettingsFile();
  event->accept();
}

}  // namespace miravel
