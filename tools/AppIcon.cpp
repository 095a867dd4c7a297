// Draws Miravel's icon at the given sizes, for the menu entry:
//   miravel_icon OUTPUT_FOLDER SIZE...   writes OUTPUT_FOLDER/SIZExSIZE/miravel.png
// The shapes are those of packaging/icons/miravel.svg, in its 128-unit frame;
// change both together.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <cstdio>
#include <cstdlib>

namespace {

QPen RoundPen(const QColor& colour, qreal width) {
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawIcon(QPainter& painter) {
  QLinearGradient tile(0, 8, 0, 120);
  tile.setColorAt(0, QColor(0x3d, 0x7b, 0xe0));
  tile.setColorAt(1, QColor(0x1c, 0x4e, 0xa6));
  painter.setPen(Qt::NoPen);
  painter.setBrush(tile);
  painter.drawRoundedRect(QRectF(8, 8, 112, 112), 24, 24);

  // The record file, its lines running out under the clock.
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(54, 22, 56, 72), 6, 6);
  painter.setPen(RoundPen(QColor(0x8f, 0xa3, 0xc4), 5));
  painter.drawLine(QPointF(64, 38), QPointF(100, 38));
  painter.drawLine(QPointF(64, 50), QPointF(100, 50));
  painter.drawLine(QPointF(80, 62), QPointF(100, 62));
  painter.drawLine(QPointF(84, 74), QPointF(100, 74));

  const QPointF centre(48, 76);
  painter.setPen(QPen(QColor(0x1c, 0x4e, 0xa6), 5));
  painter.setBrush(Qt::white);
  painter.drawEllipse(centre, 32, 32);
  const QColor hands(0x28, 0x30, 0x41);
  painter.setPen(RoundPen(hands, 4));
  painter.drawLine(QPointF(48, 50), QPointF(48, 55));
  painter.drawLine(QPointF(74, 76), QPointF(69, 76));
  painter.drawLine(QPointF(48, 102), QPointF(48, 97));
  painter.drawLine(QPointF(22, 76), QPointF(27, 76));
  painter.setPen(RoundPen(hands, 5));
  painter.drawLine(centre, QPointF(48, 57));
  painter.drawLine(centre, QPointF(61, 83));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xd2, 0x23, 0x23));
  painter.drawEllipse(centre, 4.5, 4.5);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER SIZE...\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.scale(size / 128.0, size / 128.0);
      DrawIcon(painter);
    }
    const QString folder =
        QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/miravel.png"))) {
      std::fprintf(stderr, "cannot write %s/miravel.png\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
