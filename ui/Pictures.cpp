#include "ui/Pictures.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>
#include <algorithm>

namespace miravel {

namespace {

constexpr int kGlyphSize = 24;

const QColor kBlue(30, 90, 200);
const QColor kGreen(20, 150, 60);
const QColor kRed(210, 35, 35);
const QColor kDark(60, 60, 70);

// Paints on a transparent, antialiased picture of the given size.
template <class Paint>
QPixmap Drawn(QSize size, Paint&& paint) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paint(painter);
  }
  return QPixmap::fromImage(image);
}

template <class Paint>
QPixmap Glyph(Paint&& paint) {
  return Drawn(QSize(kGlyphSize, kGlyphSize), std::forward<Paint>(paint));
}

QPen RoundPen(const QColor& colour, qreal width) {
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawCheckMark(QPainter& painter, qreal scale, const QColor& colour) {
  painter.setPen(RoundPen(colour, 3.2 * scale));
  const QPointF points[] = {
      {4.5 * scale, 12.5 * scale}, {9.5 * scale, 17.5 * scale}, {19.5 * scale, 6.5 * scale}};
  painter.drawPolyline(points, 3);
}

void DrawCross(QPainter& painter, QRectF box, qreal width, const QColor& colour) {
  painter.setPen(RoundPen(colour, width));
  painter.drawLine(box.topLeft(), box.bottomRight());
  painter.drawLine(box.topRight(), box.bottomLeft());
}

// An arrow from 'from' to 'to' with a filled head.
void DrawArrow(QPainter& painter, QPointF from, QPointF to, qreal width, const QColor& colour) {
  QLineF shaft(from, to);
  const qreal head = width * 2.2;
  QLineF back(to, from);
  back.setLength(head);
  QLineF left = back;
  left.setAngle(back.angle() + 35);
  QLineF right = back;
  right.setAngle(back.angle() - 35);
  QLineF shortened(from, back.p2());
  painter.setPen(RoundPen(colour, width));
  painter.drawLine(shortened);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawPolygon(QPolygonF({to, left.p2(), right.p2()}));
}

}  // namespace

QList<QPixmap> StatusImages() {
  const QSize size(50, 50);
  QPixmap empty = Drawn(size, [](QPainter&) {});
  QPixmap done =
      Drawn(size, [](QPainter& painter) { DrawCheckMark(painter, 50.0 / kGlyphSize, kGreen); });
  QPixmap failed = Drawn(size, [](QPainter& painter) {
    painter.setPen(QPen(kRed.darker(130), 1.5));
    painter.setBrush(kRed);
    painter.drawEllipse(QPointF(25, 25), 20, 20);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(12, 21.5, 26, 7), 2, 2);
  });
  return {empty, done, failed};
}

QList<QPixmap> FingerprintImages() {
  const QSize size(16, 16);
  QPixmap none =
      Drawn(size, [](QPainter& painter) { DrawCross(painter, QRectF(3.5, 3.5, 9, 9), 2.2, kRed); });
  QPixmap fingerprint = Drawn(size, [](QPainter& painter) {
    // Ridges as arcs around one core, open towards the bottom like a finger's tip.
    painter.setPen(RoundPen(QColor(105, 105, 110), 1.2));
    painter.setBrush(Qt::NoBrush);
    const QPointF core(8, 9);
    for (qreal radius : {1.5, 4.0, 6.5}) {
      const QRectF box(core.x() - radius, core.y() - radius, 2 * radius, 2 * radius);
      painter.drawArc(box, -40 * 16, 260 * 16);
    }
  });
  QPixmap blank =
      Drawn(size, [](QPainter& painter) { painter.fillRect(QRect(1, 1, 14, 14), Qt::white); });
  return {none, fingerprint, blank};
}

QPixmap TransferGlyph() {
  return Glyph([](QPainter& painter) {
    DrawArrow(painter, QPointF(12, 2.5), QPointF(12, 15.5), 3.0, kBlue);
    painter.setPen(RoundPen(kBlue.darker(120), 2.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({{3, 14}, {3, 21}, {21, 21}, {21, 14}}));
  });
}

QPixmap SettingsGlyph() {
  return Glyph([](QPainter& painter) {
    const QColor steel(95, 100, 115);
    painter.translate(12, 12);
    painter.setPen(Qt::NoPen);
    painter.setBrush(steel);
    for (int tooth = 0; tooth < 8; ++tooth) {
      painter.drawRoundedRect(QRectF(-2.2, -11, 4.4, 6), 1, 1);
      painter.rotate(45);
    }
    painter.drawEllipse(QPointF(0, 0), 7.5, 7.5);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(0, 0), 3, 3);
  });
}

QPixmap ExitGlyph() {
  return Glyph([](QPainter& painter) {
    const QColor wood(140, 90, 50);
    painter.setPen(RoundPen(wood.darker(130), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(3.5, 2.5, 10, 19));
    painter.setBrush(wood);
    painter.drawPolygon(QPolygonF({{3.5, 2.5}, {9.5, 5}, {9.5, 23}, {3.5, 21.5}}));
    DrawArrow(painter, QPointF(11.5, 12), QPointF(22.5, 12), 2.6, kRed);
  });
}

QPixmap StopGlyph() {
  return Glyph([](QPainter& painter) {
    painter.setPen(QPen(kRed.darker(130), 1.5));
    painter.setBrush(kRed);
    painter.drawRoundedRect(QRectF(6, 6, 12, 12), 2, 2);
  });
}

QPixmap OkGlyph() {
  return Glyph([](QPainter& painter) { DrawCheckMark(painter, 1.0, kGreen); });
}

QPixmap CancelGlyph() {
  return Glyph([](QPainter& painter) { DrawCross(painter, QRectF(5, 5, 14, 14), 3.2, kRed); });
}

QPixmap ClockGlyph() {
  return Glyph([](QPainter& painter) {
    painter.setPen(QPen(kDark, 1.8));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(12, 12), 10, 10);
    painter.setPen(RoundPen(kDark, 1.2));
    for (int hour = 0; hour < 12; hour += 3) {
      painter.save();
      painter.translate(12, 12);
      painter.rotate(hour * 30);
      painter.drawLine(QPointF(0, -8.5), QPointF(0, -7));
      painter.restore();
    }
    painter.setPen(RoundPen(kDark, 2.0));
    painter.drawLine(QPointF(12, 12), QPointF(12, 6));
    painter.setPen(RoundPen(kRed, 1.6));
    painter.drawLine(QPointF(12, 12), QPointF(16.5, 14.5));
  });
}

QPixmap PersonGlyph() {
  return Glyph([](QPainter& painter) {
    const QColor cloth(50, 95, 160);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(235, 190, 150));
    painter.drawEllipse(QPointF(12, 7.5), 4.8, 4.8);
    painter.setBrush(cloth);
    QPainterPath shoulders;
    shoulders.moveTo(3, 23);
    shoulders.cubicTo(3, 14, 21, 14, 21, 23);
    shoulders.closeSubpath();
    painter.drawPath(shoulders);
  });
}

QPixmap NewGlyph() {
  return Glyph([](QPainter& painter) {
    painter.setPen(QPen(kDark, 1.2));
    painter.setBrush(Qt::white);
    painter.drawPolygon(
        QPolygonF({{4.5, 2.5}, {13.5, 2.5}, {17.5, 6.5}, {17.5, 21.5}, {4.5, 21.5}}));
    painter.setPen(RoundPen(kGreen, 3.0));
    painter.drawLine(QPointF(17, 12.5), QPointF(17, 21.5));
    painter.drawLine(QPointF(12.5, 17), QPointF(21.5, 17));
  });
}

QPixmap SaveGlyph() {
  return Glyph([](QPainter& painter) {
    painter.setPen(QPen(kBlue.darker(140), 1.2));
    painter.setBrush(kBlue);
    painter.drawPolygon(QPolygonF({{3, 3}, {18, 3}, {21, 6}, {21, 21}, {3, 21}}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(6, 13, 12, 8));
    painter.setBrush(QColor(210, 215, 225));
    painter.drawRect(QRectF(7, 3, 9, 6));
  });
}

QPixmap DeleteGlyph() {
  return Glyph([](QPainter& painter) {
    painter.setPen(QPen(kDark, 1.3));
    painter.setBrush(QColor(200, 205, 215));
    painter.drawPolygon(QPolygonF({{6, 7}, {18, 7}, {17, 22}, {7, 22}}));
    painter.setPen(RoundPen(kDark, 1.8));
    painter.drawLine(QPointF(4, 5), QPointF(20, 5));
    painter.drawLine(QPointF(10, 3), QPointF(14, 3));
    painter.setPen(RoundPen(kRed, 1.4));
    for (qreal x : {9.5, 12.0, 14.5}) painter.drawLine(QPointF(x, 10), QPointF(x, 19));
  });
}

QPixmap ConnectionTestGlyph() {
  return Glyph([](QPainter& painter) {
    painter.setPen(RoundPen(kDark, 2.0));
    painter.drawLine(QPointF(9, 2), QPointF(9, 7));
    painter.drawLine(QPointF(15, 2), QPointF(15, 7));
    painter.setPen(QPen(kDark, 1.2));
    painter.setBrush(QColor(245, 190, 40));
    QPainterPath body;
    body.moveTo(5, 7);
    body.lineTo(19, 7);
    body.lineTo(19, 12);
    body.cubicTo(19, 16, 15, 18, 12, 18);
    body.cubicTo(9, 18, 5, 16, 5, 12);
    body.closeSubpath();
    painter.drawPath(body);
    painter.setPen(RoundPen(kDark, 2.2));
    painter.drawLine(QPointF(12, 18), QPointF(12, 22.5));
  });
}

QPixmap FileGlyph() {
  return Glyph([](QPainter& painter) {
    const QColor folder(235, 180, 60);
    painter.setPen(QPen(folder.darker(150), 1.2));
    painter.setBrush(folder.darker(110));
    painter.drawPolygon(
        QPolygonF({{2.5, 5.5}, {9, 5.5}, {11, 8}, {21.5, 8}, {21.5, 20.5}, {2.5, 20.5}}));
    painter.setBrush(folder);
    painter.drawPolygon(QPolygonF({{2.5, 20.5}, {5, 11}, {23, 11}, {21.5, 20.5}}));
  });
}

QPixmap LeftArrowGlyph() {
  return Glyph(
      [](QPainter& painter) { DrawArrow(painter, QPointF(21, 12), QPointF(3, 12), 3.4, kGreen); });
}

QPixmap RightArrowGlyph() {
  return Glyph(
      [](QPainter& painter) { DrawArrow(painter, QPointF(3, 12), QPointF(21, 12), 3.4, kGreen); });
}

QPixmap WarningPicture() {
  return Drawn(QSize(33, 39), [](QPainter& painter) {
    const QColor amber(250, 190, 30);
    painter.setPen(RoundPen(amber.darker(150), 2.0));
    painter.setBrush(amber);
    painter.drawPolygon(QPolygonF({{16.5, 5}, {31, 32}, {2, 32}}));
    painter.setPen(RoundPen(kDark, 3.2));
    painter.drawLine(QPointF(16.5, 14), QPointF(16.5, 23));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDark);
    painter.drawEllipse(QPointF(16.5, 28), 1.8, 1.8);
  });
}

QPixmap BannerPicture(QSize size, bool top) {
  return Drawn(size, [size, top](QPainter& painter) {
    const QRectF area(QPointF(0, 0), size);
    const int height = size.height();
    QLinearGradient calm(area.topLeft(), area.topRight());
    if (top) {
      calm.setColorAt(0.0, QColor(22, 58, 110));
      calm.setColorAt(1.0, QColor(48, 132, 168));
    } else {
      calm.setColorAt(0.0, QColor(214, 226, 240));
      calm.setColorAt(1.0, QColor(236, 242, 248));
    }
    painter.fillRect(area, calm);
    QFont font = painter.font();
    if (!top) {
      painter.setPen(QColor(22, 58, 110));
      font.setPixelSize(std::max(9, height * 11 / 20));
      painter.setFont(font);
      painter.drawText(area.adjusted(12, 0, -12, 0), Qt::AlignRight | Qt::AlignVCenter,
                       QStringLiteral("Yardım için çift tıklayın"));
      painter.setPen(QPen(QColor(22, 58, 110, 90), 1));
      painter.drawLine(area.topLeft(), area.topRight());
      return;
    }
    // Ridges of a fingertip at the right end, faint, for what the program moves.
    painter.setPen(QPen(QColor(255, 255, 255, 40), std::max(1.5, height / 40.0)));
    painter.setBrush(Qt::NoBrush);
    const QPointF core(size.width() - height * 0.9, height * 0.6);
    for (int ridge = 1; ridge <= 7; ++ridge) {
      const qreal radius = ridge * height / 11.0;
      painter.drawArc(QRectF(core.x() - radius, core.y() - radius, 2 * radius, 2 * radius),
                      -40 * 16, 260 * 16);
    }
    const qreal margin = height * 0.3;
    font.setBold(true);
    font.setPixelSize(std::max(12, height * 9 / 20));
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QRectF nameBox(margin, 0, size.width() - 2 * margin, height * 0.62);
    painter.drawText(nameBox, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Miravel"));
    font.setBold(false);
    font.setPixelSize(std::max(9, height / 5));
    painter.setFont(font);
    painter.setPen(QColor(210, 230, 245));
    const QRectF subtitleBox(margin, height * 0.64, size.width() - 2 * margin, height * 0.36);
    painter.drawText(subtitleBox, Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Parmak İzi Bilgi Transferi"));
  });
}

}  // namespace miravel
