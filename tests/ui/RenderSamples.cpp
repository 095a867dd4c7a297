// Renders a grid with every column kind, and every drawn picture, into PNG
// files, to check them by eye: miravel_ui_samples <folder>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

#include "tests/ui/GridSamples.h"
#include "ui/Pictures.h"
#include "ui/grid/ReportGrid.h"

namespace {

using namespace miravel;

bool Save(const QPixmap& picture, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  const bool saved = picture.save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

// Pictures side by side at four times their size, as a magnifier would show them.
QPixmap Sheet(const QList<QPixmap>& pictures, int cell) {
  constexpr int kZoom = 4;
  QPixmap sheet(cell * kZoom * pictures.size() + 8 * (pictures.size() + 1), cell * kZoom + 16);
  sheet.fill(QColor(255, 255, 225));
  QPainter painter(&sheet);
  for (int i = 0; i < pictures.size(); ++i) {
    const QRect box(8 + i * (cell * kZoom + 8), 8, cell * kZoom, cell * kZoom);
    painter.drawRect(box.adjusted(-1, -1, 0, 0));
    painter.drawPixmap(box, pictures[i]);
  }
  return sheet;
}

ReportGrid* SampleGrid() {
  auto* grid = new ReportGrid;
  grid->SetColumns(test::SampleColumns());
  grid->SetImageList(StatusImages());
  grid->SetHeaderHeight(18);
  grid->SetRowHeight(24);
  grid->SetSortable(true);
  const QStringList names = {"Giriş Kapısı", "Üretim Çıkış", "Şube İğdır", "Ofis"};
  const int progress[] = {0, 37, 100, 64};
  for (int r = 0; r < names.size(); ++r) {
    grid->AddRow();
    grid->SetChecked(r, test::kTick, r != 3);
    grid->SetCellText(r, test::kName, names[r]);
    grid->SetCellText(r, test::kLinkType, r % 2 == 0 ? "Ethernet" : "Comm Port");
    grid->SetCellText(r, test::kNumber, QString::number(r + 1));
    grid->SetCellValue(r, test::kProgress, progress[r]);
    grid->SetCellValue(r, test::kStatus, r % 3);
    grid->SetCellText(r, test::kPrivilege, "Kayıtçı");
    grid->SetChecked(r, test::kSelect, r == 1);
    grid->SetRowBackground(r, r % 2 == 0 ? QColor(242, 248, 255) : QColor(232, 240, 255));
  }
  grid->SortByColumn(test::kNumber, Qt::AscendingOrder);
  grid->resize(720, 18 + 4 * 24 + 30);
  return grid;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  unsetenv("QT_SCALE_FACTOR");
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: miravel_ui_samples <folder>\n");
    return 2;
  }
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(".")) return 1;

  std::unique_ptr<ReportGrid> grid(SampleGrid());
  bool ok = Save(grid->grab(), folder, "grid.png");
  grid->show();
  grid->setCurrentCell(1, test::kName);
  ok &= Save(grid->grab(), folder, "grid-shown.png");
  grid->SetFullRowSelection(true);
  grid->setCurrentCell(2, test::kLinkType);
  grid->editItem(grid->item(2, test::kLinkType));
  ok &= Save(grid->grab(), folder, "grid-editing.png");
  ok &= Save(Sheet(StatusImages(), 50), folder, "status-images.png");
  ok &= Save(Sheet(FingerprintImages(), 16), folder, "fingerprint-images.png");
  ok &= Save(Sheet({TransferGlyph(), SettingsGlyph(), ExitGlyph(), OkGlyph(), CancelGlyph(),
                    ClockGlyph(), PersonGlyph(), NewGlyph(), SaveGlyph(), DeleteGlyph(),
                    ConnectionTestGlyph(), FileGlyph()},
                   24),
             folder, "glyphs.png");
  ok &= Save(BannerPicture(QSize(768, 80), true), folder, "banner-top.png");
  ok &= Save(BannerPicture(QSize(768, 24), false), folder, "banner-bottom.png");
  return ok ? 0 : 1;
}
