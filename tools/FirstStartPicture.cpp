// Renders the main window's first start, with the message that names the
// office folder it created, for the README:
//   miravel_first_start_picture OUTPUT_PNG
#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "core/AppState.h"
#include "core/OfficeFolder.h"
#include "terminal/WireTerminalClient.h"
#include "ui/MainWindow.h"
#include "ui/QtUiServices.h"

int main(int argc, char** argv) {
  using namespace miravel;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_PNG\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QTemporaryDir home;
  const OfficeFolder office{home.path().toStdString() + "/.local/share/miravel/",
                            OfficeFolderSource::kUserData};
  PrepareOfficeFolder(office);
  AppState state;
  state.programFolder = office.path;
  state.recordFileBase = office.RecordFileBase();
  QtUiServices ui;
  WireTerminalClient terminal(
      [](int comPort) { return "/dev/ttyS" + std::to_string(comPort - 1); });
  MainWindow window(state, terminal, ui);
  window.show();
  QApplication::processEvents();

  // The message as an office sees it, naming a home folder rather than the
  // scratch one this picture is drawn in.
  const OfficeFolder shown{"/home/ofis/.local/share/miravel/", OfficeFolderSource::kUserData};
  QMessageBox box(QMessageBox::Information, QStringLiteral("Miravel"),
                  QString::fromStdString(FirstStartMessage(shown)), QMessageBox::Ok, &window);
  box.show();
  QApplication::processEvents();

  QPixmap picture = window.grab();
  const QPixmap message = box.grab();
  {
    QPainter painter(&picture);
    const QPoint corner((picture.width() - message.width()) / 2,
                        (picture.height() - message.height()) / 2);
    painter.fillRect(QRect(corner + QPoint(4, 4), message.size()), QColor(0, 0, 0, 60));
    painter.drawPixmap(corner, message);
    painter.setPen(QColor(120, 120, 130));
    painter.drawRect(QRect(corner, message.size()).adjusted(0, 0, -1, -1));
  }
  if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s\n", argv[1]);
  return 0;
}
