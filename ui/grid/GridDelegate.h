#pragma once

#include <QStyledItemDelegate>

namespace miravel {

class GridDelegateHost;

// Draws and edits the cells of a list (a ReportGrid or another view of the
// program) by their column's kind. Every change a user makes in place passes
// through here, which is how the list tells user edits from changes made in
// code.
class GridDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  GridDelegate(GridDelegateHost& host, QObject* parent);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

  // Where a check box is drawn and where a click toggles it: the same
  // rectangle for both, centred when the column asks for it.
  QRect CheckBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

 private:
  void PaintCheckBox(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const;
  void PaintProgress(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const;
  void PaintImage(QPainter* painter, const QStyleOptionViewItem& option,
                  const QModelIndex& index) const;
  // Background, selection and focus of a cell whose content is drawn by hand.
  void PaintEmptyCell(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) const;
  void WriteIfChanged(QAbstractItemModel* model, const QModelIndex& index, const QVariant& value,
                      int role) const;

  GridDelegateHost& host_;
};

}  // namespace miravel
