#include "ui/ConfirmDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui/Pictures.h"

namespace miravel {
namespace {

// The dialog as it was designed; each question sets its own sizes.
const QSize kDesignSize(455, 105);
const QRect kYesArea(136, 64, 81, 25);
const QRect kNoArea(232, 64, 81, 25);

QPushButton* Button(QWidget* parent, const QString& text, const QPixmap& glyph, const QString& name,
                    const QRect& area) {
  auto* button = new QPushButton(QIcon(glyph), text, parent);
  button->setObjectName(name);
  button->setIconSize(QSize(16, 16));
  button->setGeometry(area);
  return button;
}

QLabel* Line(QWidget* parent, const QString& name) {
  auto* line = new QLabel(parent);
  line->setObjectName(name);
  QFont font = line->font();
  font.setBold(true);
  line->setFont(font);
  return line;
}

}  // namespace

ConfirmDialog::Question ConfirmDialog::ResetQuestion() {
  // 465 x 139 with its frame.
  return {QStringLiteral("Cihaz içinde kayıtlı bulunan tüm personel bilgileri silinecektir."),
          QStringLiteral("Cihazı sıfırlamak istediğinizden emin misiniz ?"),
          kDesignSize,
          QRect(72, 16, 345, 13),
          QRect(72, 32, 345, 13),
          true};
}

ConfirmDialog::ConfirmDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("confirmDialog");
  setWindowTitle(QStringLiteral("Uyarı"));
  warningPicture_ = new QLabel(this);
  warningPicture_->setObjectName("warningPicture");
  warningPicture_->setPixmap(WarningPicture());
  warningPicture_->setGeometry(24, 14, 33, 39);
  firstLine_ = Line(this, "firstLine");
  secondLine_ = Line(this, "secondLine");
  yesButton_ = Button(this, QStringLiteral("Evet"), OkGlyph(), "yesButton", kYesArea);
  noButton_ = Button(this, QStringLiteral("Hayır"), CancelGlyph(), "noButton", kNoArea);
  connect(yesButton_, &QPushButton::clicked, this, [this] { Answered(kYes); });
  connect(noButton_, &QPushButton::clicked, this, [this] { Answered(kNo); });
  Apply({QStringLiteral("Cihaz içinde kayıtlı bulunan tüm personel bilgileri silinecektir."),
         QStringLiteral("Lütfen Bekleyin ..."), kDesignSize, QRect(72, 16, 345, 13),
         QRect(72, 32, 105, 13), true});
}

void ConfirmDialog::Apply(const Question& question) {
  firstLine_->setText(question.firstLine);
  secondLine_->setText(question.secondLine);
  // The sizes were made for a narrower font than this computer may have: a
  // line grows to show its whole text, and the window with it, rather than
  // cut a warning short. Where the font fits, the sizes are used as they are.
  const QFontMetrics metrics(firstLine_->font());
  const auto fitted = [&metrics](QRect area, const QString& text) {
    area.setWidth(std::max(area.width(), metrics.horizontalAdvance(text) + 2));
    area.setHeight(std::max(area.height(), metrics.height()));
    return area;
  };
  const QRect first = fitted(question.firstLineArea, question.firstLine);
  const int firstGrowth = first.height() - question.firstLineArea.height();
  const QRect second =
      fitted(question.secondLineArea, question.secondLine).translated(0, firstGrowth);
  firstLine_->setGeometry(first);
  secondLine_->setGeometry(second);
  const int rightMargin = question.size.width() - question.firstLineArea.right() - 1;
  const int extraWidth = std::max(
      0, std::max(first.right(), second.right()) + 1 + rightMargin - question.size.width());
  const int extraHeight = second.bottom() - question.secondLineArea.bottom();
  setFixedSize(question.size + QSize(extraWidth, std::max(0, extraHeight)));
  // The buttons stay centred under the text.
  yesButton_->setGeometry(kYesArea.translated(extraWidth / 2, std::max(0, extraHeight)));
  noButton_->setGeometry(kNoArea.translated(extraWidth / 2, std::max(0, extraHeight)));
  yesButton_->setVisible(question.buttonsShown);
  noButton_->setVisible(question.buttonsShown);
}

ConfirmDialog::Answer ConfirmDialog::Ask(const Question& question) {
  Apply(question);
  answer_ = kNoAnswer;
  // Return on its own must not erase a terminal: "Hayır" starts with the focus.
  if (question.buttonsShown) noButton_->setFocus();
  exec();
  return answer_;
}

void ConfirmDialog::Answered(Answer answer) {
  answer_ = answer;
  accept();
}

}  // namespace miravel
