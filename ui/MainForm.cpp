#include "ui/MainForm.h"

#include <QCloseEvent>
#include <QDialog>
#include <QMouseEvent>
#include <QShowEvent>
#include <QUrl>

#include "core/OfficeFolder.h"
#include "terminal/TerminalClient.h"
#include "transfer/TransferRun.h"
#include "ui/CommandGuard.h"
#include "ui/Pictures.h"
#include "ui/UiServices.h"

namespace miravel {
namespace {

constexpr int kClientWidth = 768;
constexpr int kClientHeight = 514;
constexpr int kBannerHeight = 84;
constexpr int kFooterHeight = 44;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Shows a transfer in the grid: the cells change only when their value does,
// and each refresh point lets the window paint without taking user input.
class GridTransferSink : public TransferSink {
 public:
  GridTransferSink(ReportGrid& grid, QCheckBox& deleteAfter)
      : grid_(grid), deleteAfter_(deleteAfter) {}

  void StatusChanged(int row, RowStatus status) override {
    grid_.SetCellValue(row - 1, Tmainform::kStatus, static_cast<int>(status));
  }
  void ProgressChanged(int row, int percent) override {
    grid_.SetCellValue(row - 1, Tmainform::kProgress, percent);
  }
  void Refresh() override { CommandGuard::Pump(); }
  bool ShouldClearLog() override { return deleteAfter_.isChecked(); }

 private:
  ReportGrid& grid_;
  QCheckBox& deleteAfter_;
};

QPushButton* GlyphButton(QWidget* parent, const QString& text, const QPixmap& glyph,
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

Tmainform::Tmainform(AppState& state, TerminalClient& terminal, UiServices& ui, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      state_(state),
      terminalClient_(terminal),
      ui_(ui) {
  setObjectName("mainform");
  setWindowTitle(QStringLiteral("  Miravel Parmak İzi Bilgi Transferi (Ver. 1.02)"));
  setFixedSize(kClientWidth, kClientHeight);
  BuildControls();
  RunCommand(ui_, this, [this] { FormCreate(); });
}

Tmainform::~Tmainform() = default;

void Tmainform::BuildControls() {
  Image1 = new BannerLabel(this);
  Image1->setGeometry(0, 0, kClientWidth, kBannerHeight);
  Image1->setPixmap(BannerPicture(Image1->size(), true));
  Image2 = new BannerLabel(this);
  Image2->setGeometry(0, kClientHeight - kFooterHeight, kClientWidth, kFooterHeight);
  Image2->setPixmap(BannerPicture(Image2->size(), false));
  connect(Image1, &BannerLabel::DoubleClicked, this, &Tmainform::Image1DblClick);
  connect(Image2, &BannerLabel::DoubleClicked, this, &Tmainform::Image2DblClick);

  GridView1 = new ReportGrid(this);
  GridView1->setObjectName("GridView1");
  GridView1->SetColumns({
      {QStringLiteral("Bağlan"), ColumnKind::CheckBox, 51, true, {}, false, true},
      {QStringLiteral("Cihaz Adı"), ColumnKind::Text, 122},
      {QStringLiteral("Bağlantı Şekli"), ColumnKind::Text, 238},
      {QStringLiteral("Transfer Durumu"), ColumnKind::Progress, 105},
      {QStringLiteral("Durum"), ColumnKind::Image, 72},
  });
  ImageList2 = StatusImages();
  GridView1->SetImageList(ImageList2);
  GridView1->SetHeaderHeight(18);
  GridView1->SetRowHeight(24);
  GridView1->setGeometry(12, kBannerHeight + 12, 596,
                         kClientHeight - kBannerHeight - kFooterHeight - 24);

  const int buttonsLeft = 620;
  const int buttonWidth = 136;
  baglanbuton =
      GlyphButton(this, QStringLiteral("Bilgileri Aktar"), TransferGlyph(), QColor(0, 0, 255));
  baglanbuton->setGeometry(buttonsLeft, kBannerHeight + 12, buttonWidth, 44);
  ayarlarbuton = GlyphButton(this, QStringLiteral("Ayarlar"), SettingsGlyph(), QColor(128, 0, 0));
  ayarlarbuton->setGeometry(buttonsLeft, kBannerHeight + 64, buttonWidth, 44);
  cikisbuton = GlyphButton(this, QStringLiteral("Çıkış   "), ExitGlyph(), QColor(255, 0, 0));
  cikisbuton->setGeometry(buttonsLeft, kBannerHeight + 116, buttonWidth, 44);

  silkontrol = new QCheckBox(this);
  silkontrol->setChecked(true);
  silkontrol->setGeometry(buttonsLeft, kBannerHeight + 180, 20, 20);
  Label1 = new QLabel(QStringLiteral("Kayıtları aktardıktan"), this);
  Label1->setGeometry(buttonsLeft + 22, kBannerHeight + 176, 126, 16);
  Label2 = new QLabel(QStringLiteral("Sonra sil"), this);
  Label2->setGeometry(buttonsLeft + 22, kBannerHeight + 192, 126, 16);

  connect(baglanbuton, &QPushButton::clicked, this, &Tmainform::baglanbutonClick);
  connect(ayarlarbuton, &QPushButton::clicked, this, &Tmainform::ayarlarbutonClick);
  connect(cikisbuton, &QPushButton::clicked, this, &Tmainform::cikisbutonClick);
  connect(silkontrol, &QCheckBox::toggled, this, &Tmainform::silkontrolClick);
}

void Tmainform::FormCreate() {
  state_.settingsFile = std::make_unique<IniFile>(state_.SettingsFilePath());
  state_.settings = LoadAppSettings(*state_.settingsFile);
  // Any stored value but "1" unticks the box, and the change writes "0" back.
  silkontrol->setChecked(state_.settings.deleteAfterTransfer);
  state_.selectedDeviceIndex = 1;
  state_.devices = LoadDeviceList(*state_.settingsFile);
  GridView1->SetRowCountTo(static_cast<int>(state_.devices.size()));
}

void Tmainform::FormShow() {
  FillDeviceRows();
}

void Tmainform::FillDeviceRows() {
  const auto count = static_cast<int>(state_.devices.size());
  for (int row = 0; row < count && row < GridView1->RowCount(); ++row) {
    const DeviceEntry& device = state_.devices[row];
    GridView1->SetChecked(row, kTick, true);
    GridView1->SetCellText(row, kName, Q(device.name));
    const QString description = ConnectionDescription(device);
    if (!description.isEmpty()) GridView1->SetCellText(row, kConnection, description);
    GridView1->SetCellValue(row, kStatus, 0);
  }
}

void Tmainform::baglanbutonClick() {
  if (CommandGuard::IsRunning()) return;
  CommandGuard guard;
  RunCommand(ui_, this, [this] {
    TransferJob job;
    job.devices = state_.devices;
    for (int row = 0; row < static_cast<int>(job.devices.size()); ++row) {
      job.ticked.push_back(row < GridView1->RowCount() && GridView1->IsChecked(row, kTick));
    }
    job.recordFilePath = RecordFileLocation(state_.recordFileBase, state_.settings.recordFilePath);
    job.programFolder = state_.programFolder;
    GridTransferSink sink(*GridView1, *silkontrol);
    RunTransfer(job, terminalClient_, sink);
  });
}

void Tmainform::ayarlarbutonClick() {
  if (auto* dialog = qobject_cast<QDialog*>(settingsWindow_)) dialog->exec();
  GridView1->ClearRows();
  GridView1->SetRowCountTo(static_cast<int>(state_.devices.size()));
  FillDeviceRows();
}

void Tmainform::cikisbutonClick() {
  close();
}

void Tmainform::silkontrolClick() {
  if (!state_.settingsFile) return;
  RunCommand(ui_, this, [this] {
    state_.settings.deleteAfterTransfer = silkontrol->isChecked();
    WriteDeleteAfterTransfer(*state_.settingsFile, silkontrol->isChecked());
  });
}

QUrl Tmainform::HelpAddress() const {
  return QUrl::fromLocalFile(QString::fromStdString(state_.HelpPagePath()));
}

void Tmainform::Image1DblClick() {
  ui_.OpenUrl(HelpAddress());
}

void Tmainform::Image2DblClick() {
  ui_.OpenUrl(HelpAddress());
}

void Tmainform::FormClose() {
  state_.settingsFile.reset();
}

void Tmainform::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Only the program's own show fills the rows, not a restore from the task bar.
  if (!event->spontaneous() && !shownOnce_) {
    shownOnce_ = true;
    FormShow();
  }
}

void Tmainform::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

}  // namespace miravel
