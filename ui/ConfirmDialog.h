#pragma once

#include <QDialog>
#include <QRect>
#include <QSize>
#include <QString>

class QLabel;
class QPushButton;

namespace miravel {

// The small "Uyarı" window that asks a yes/no question before a command that
// erases data on a terminal. Created once at start and shown modally when
// needed; it keeps whatever was set last, so each question sets everything.
//
// Controls: warningPicture, firstLine, secondLine, yesButton ("Evet"),
// noButton ("Hayır").
class ConfirmDialog : public QDialog {
  Q_OBJECT

 public:
  // ConfirmAnswer: 0 when the dialog was closed without an answer.
  enum Answer { kNoAnswer = 0, kYes = 1, kNo = 2 };

  struct Question {
    QString firstLine;
    QString secondLine;
    QSize size;  // the client area
    QRect firstLineArea;
    QRect secondLineArea;
    bool buttonsShown = true;
  };
  // Asked by "Cihazı Sıfırla".
  static Question ResetQuestion();

  explicit ConfirmDialog(QWidget* parent = nullptr);

  // Sets what the question says, shows the dialog modally and returns the answer.
  Answer Ask(const Question& question);
  Answer LastAnswer() const { return answer_; }

 private:
  void Apply(const Question& question);
  // "Evet" or "Hayır" clicked.
  void Answered(Answer answer);

  QLabel* warningPicture_;
  QLabel* firstLine_;
  QLabel* secondLine_;
  QPushButton* yesButton_;
  QPushButton* noButton_;
  Answer answer_ = kNoAnswer;
};

}  // namespace miravel
