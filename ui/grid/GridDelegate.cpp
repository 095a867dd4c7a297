#include "ui/grid/GridDelegate.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>

#include "ui/grid/GridColumn.h"
#include "ui/grid/IntegerTextValidator.h"

namespace miravel {

namespace {

QStyle* StyleOf(const QStyleOptionViewItem& option) {
  return option.widget != nullptr ? option.widget->style() : QApplication::style();
}

bool IsCheckToggleKey(const QEvent* event) {
  const auto key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Space || key == Qt::Key_Select;
}

}  // namespace

GridDelegate::GridDelegate(GridDelegateHost& host, QObject* parent)
    : QStyledItemDelegate(parent), host_(host) {}

void GridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  const GridColumn& column = host_.ColumnAt(index.column());
  option->displayAlignment =
      column.centred ? Qt::AlignCenter : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Check boxes are drawn by PaintCheckBox, where they can be centred.
  option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  switch (host_.ColumnAt(index.column()).kind) {
    case ColumnKind::CheckBox:
      PaintCheckBox(painter, option, index);
      return;
    case ColumnKind::Progress:
      PaintProgress(painter, option, index);
      return;
    case ColumnKind::Image:
      PaintImage(painter, option, index);
      return;
    case ColumnKind::Text:
    case ColumnKind::DropDown:
    case ColumnKind::Number:
      break;
  }
  QStyledItemDelegate::paint(painter, option, index);
}

void GridDelegate::PaintEmptyCell(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  cell.text.clear();
  cell.icon = QIcon();
  cell.features &= ~(QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration);
  StyleOf(option)->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);
}

QRect GridDelegate::CheckBoxRect(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  QStyleOptionViewItem cell = option;
  QStyledItemDelegate::initStyleOption(&cell, index);
  cell.features |= QStyleOptionViewItem::HasCheckIndicator;
  const QRect styleRect =
      StyleOf(option)->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &cell, option.widget);
  if (!host_.ColumnAt(index.column()).centred) return styleRect;
  QRect centred(QPoint(0, 0), styleRect.size());
  centred.moveCenter(option.rect.center());
  return centred;
}

void GridDelegate::PaintCheckBox(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  PaintEmptyCell(painter, option, index);
  QStyleOptionViewItem box = option;
  initStyleOption(&box, index);
  box.rect = CheckBoxRect(option, index);
  box.state &=
      ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange | QStyle::State_HasFocus);
  box.state |=
      index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
  StyleOf(option)->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter,
                                 option.widget);
}

void GridDelegate::PaintProgress(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  PaintEmptyCell(painter, option, index);
  const int maximum = std::max(1, host_.ColumnAt(index.column()).maximum);
  QStyleOptionProgressBar bar;
  bar.rect = option.rect.adjusted(2, 3, -2, -3);
  bar.direction = option.direction;
  bar.palette = option.palette;
  bar.fontMetrics = option.fontMetrics;
  // The style reads the orientation from this flag; without it the bar fills upwards.
  bar.state = (option.state & ~(QStyle::State_Selected | QStyle::State_HasFocus)) |
              QStyle::State_Horizontal;
  bar.minimum = 0;
  bar.maximum = maximum;
  bar.progress = std::clamp(index.data(kGridValueRole).toInt(), 0, maximum);
  bar.textVisible = false;
  QStyle* style = StyleOf(option);
  style->drawControl(QStyle::CE_ProgressBarGroove, &bar, painter, option.widget);
  // Fusion draws a sliver of fill even at 0; an empty bar must look empty.
  if (bar.progress > 0) {
    style->drawControl(QStyle::CE_ProgressBarContents, &bar, painter, option.widget);
  }
}

void GridDelegate::PaintImage(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  PaintEmptyCell(painter, option, index);
  const QList<QPixmap>& images = host_.ImageList();
  const int number = index.data(kGridValueRole).toInt();
  if (number < 0 || number >= images.size() || images[number].isNull()) return;
  const QPixmap& picture = images[number];
  QSize size = picture.deviceIndependentSize().toSize();
  const QSize room = option.rect.adjusted(1, 1, -1, -1).size();
  if (size.width() > room.width() || size.height() > room.height()) {
    size.scale(room, Qt::KeepAspectRatio);
  }
  QRect target(QPoint(0, 0), size);
  target.moveCenter(option.rect.center());
  painter->save();
  painter->setRenderHint(QPainter::SmoothPixmapTransform);
  painter->drawPixmap(target, picture);
  painter->restore();
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                                    const QModelIndex& index) const {
  const GridColumn& column = host_.ColumnAt(index.column());
  if (!column.editable) return nullptr;
  switch (column.kind) {
    case ColumnKind::Text:
    case ColumnKind::Number: {
      auto* edit = new QLineEdit(parent);
      edit->setFrame(false);
      if (column.kind == ColumnKind::Number) edit->setValidator(new IntegerTextValidator(edit));
      return edit;
    }
    case ColumnKind::DropDown: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(column.freeText);
      combo->addItems(column.items);
      if (column.freeText) {
        // Typed text is kept exactly as typed: no completion to an offered value
        // and no adding it to the offered values.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
      }
      // Choosing an offered value ends the edit at once, as the user expects.
      auto* self = const_cast<GridDelegate*>(this);
      connect(combo, &QComboBox::activated, self, [self, combo] {
        emit self->commitData(combo);
        emit self->closeEditor(combo, QAbstractItemDelegate::NoHint);
      });
      return combo;
    }
    case ColumnKind::CheckBox:
    case ColumnKind::Progress:
    case ColumnKind::Image:
      break;
  }
  return nullptr;
}

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  const QString text = index.data(Qt::EditRole).toString();
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly));
    if (combo->isEditable()) combo->setEditText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
    edit->setText(text);
  }
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    if (!combo->isEditable() && combo->currentIndex() < 0) return;
    WriteIfChanged(model, index, combo->currentText(), Qt::EditRole);
  } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
    QString text = edit->text();
    if (const QValidator* validator = edit->validator()) {
      int position = 0;
      validator->fixup(text);
      // A half-typed number ("", "-") is not stored: the cell keeps its number.
      if (validator->validate(text, position) != QValidator::Acceptable) return;
    }
    WriteIfChanged(model, index, text, Qt::EditRole);
  }
}

bool GridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                               const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (host_.ColumnAt(index.column()).kind != ColumnKind::CheckBox) return false;
  const Qt::ItemFlags flags = model->flags(index);
  if (!flags.testFlag(Qt::ItemIsUserCheckable) || !flags.testFlag(Qt::ItemIsEnabled)) {
    return false;
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton ||
          !CheckBoxRect(option, index).contains(mouse->position().toPoint())) {
        return false;
      }
      // Press and double-click on the box are swallowed; the release toggles.
      if (event->type() != QEvent::MouseButtonRelease) return true;
      break;
    }
    case QEvent::KeyPress:
      if (!IsCheckToggleKey(event)) return false;
      break;
    default:
      return false;
  }
  const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  WriteIfChanged(model, index, static_cast<int>(checked ? Qt::Unchecked : Qt::Checked),
                 Qt::CheckStateRole);
  return true;
}

void GridDelegate::WriteIfChanged(QAbstractItemModel* model, const QModelIndex& index,
                                  const QVariant& value, int role) const {
  // An empty cell holds no text at all; committing "" into it changes nothing.
  const bool same = role == Qt::EditRole ? index.data(role).toString() == value.toString()
                                         : index.data(role) == value;
  if (same) return;
  // Followed by a persistent index, so the row reported is the row the cell
  // is in after the write, whatever the model does with it.
  const QPersistentModelIndex edited(index);
  if (!model->setData(index, value, role)) return;
  host_.ReportUserEdit(edited);
}

}  // namespace miravel
