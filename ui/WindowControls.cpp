#include "ui/WindowControls.h"

#include <QGroupBox>
#include <QIcon>
#include <QPushButton>

namespace miravel {

QPushButton* GlyphButton(QWidget* parent, const QString& text, const QPixmap& glyph,
                         const QString& name, const QRect& area) {
  auto* button = new QPushButton(QIcon(glyph), text, parent);
  button->setObjectName(name);
  button->setIconSize(QSize(20, 20));
  button->setGeometry(area);
  button->setAutoDefault(false);
  return button;
}

QGroupBox* Group(QWidget* parent, const QString& caption, const QRect& area) {
  auto* group = new QGroupBox(caption, parent);
  group->setGeometry(area);
  return group;
}

}  // namespace miravel
