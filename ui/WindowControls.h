#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>
#include <string>

class QGroupBox;
class QPushButton;
class QWidget;

namespace miravel {

// Controls the dialogs place by hand, built the same way in each.

// A push button with a drawn glyph beside its text, at a fixed place. It never
// becomes the default button: Return in a field or a cell must not press it.
QPushButton* GlyphButton(QWidget* parent, const QString& text, const QPixmap& glyph,
                         const QString& name, const QRect& area);

// Our UTF-8 text as the windows show it.
inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// A captioned group box at a fixed place.
QGroupBox* Group(QWidget* parent, const QString& caption, const QRect& area);

}  // namespace miravel
