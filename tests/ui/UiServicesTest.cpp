// The command helper, and the real dialogs answered as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "core/AppError.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/QtPrinters.h"
#include "ui/PacedProgressBar.h"
#include "ui/QtUiServices.h"
#include "ui/UiServices.h"

namespace miravel {
namespace {

class RecordingUiServices : public UiServices {
 public:
  void ShowMessage(QWidget*, const QString& text) override { messages << text; }
  void ShowError(QWidget*, const QString& text) override { errors << text; }
  QString ChooseOpenFile(QWidget*, const QString&) override { return {}; }
  void OpenUrl(const QUrl&) override {}
  bool AskYesNo(QWidget*, const QString&) override { return false; }

  QStringList messages;
  QStringList errors;
};

TEST(RunCommandTest, ShowsTheErrorThatStoppedTheCommandAndGoesOn) {
  RecordingUiServices ui;
  const bool finished =
      RunCommand(ui, nullptr, [] { throw AppError("'12x' is not a valid integer value"); });
  EXPECT_FALSE(finished);
  EXPECT_EQ(ui.errors, QStringList({"'12x' is not a valid integer value"}));
  EXPECT_TRUE(ui.messages.isEmpty());

  // Turkish text arrives intact, other exceptions are shown as well, and a
  // command that runs to its end shows nothing.
  EXPECT_FALSE(RunCommand(ui, nullptr, [] { throw AppError("Dosya açılamadı: kayıt.txt"); }));
  EXPECT_FALSE(RunCommand(ui, nullptr, [] { throw std::out_of_range("grid row 5"); }));
  EXPECT_FALSE(RunCommand(ui, nullptr, [] { throw 42; }));
  EXPECT_TRUE(RunCommand(ui, nullptr, [] {}));
  ASSERT_EQ(ui.errors.size(), 4);
  EXPECT_EQ(ui.errors[1], "Dosya açılamadı: kayıt.txt");
  EXPECT_EQ(ui.errors[2], "grid row 5");
  EXPECT_FALSE(ui.errors[3].isEmpty());
}

// Runs answer on the dialog the next call opens, once it is up.
template <class Dialog, class Answer>
void WhenDialogOpens(Answer answer) {
  QTimer::singleShot(0, [answer] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    answer(*dialog);
  });
}

TEST(QtUiServicesTest, ErrorsShowAsHataAndTheFileDialogTakesANewName) {
  QtUiServices ui;
  QString caption, text;
  WhenDialogOpens<QMessageBox>([&](QMessageBox& box) {
    caption = box.windowTitle();
    text = box.text();
    box.accept();
  });
  ui.ShowError(nullptr, "Unable to write to tr500.txt");
  EXPECT_EQ(caption, "Hata");
  EXPECT_EQ(text, "Unable to write to tr500.txt");

  // The record file may not exist yet: a new name in the folder is taken.
  test::TempFolder folder;
  const QString wanted = QString::fromStdString(folder / "yeni kayıt.txt");
  WhenDialogOpens<QFileDialog>([&](QFileDialog& dialog) {
    dialog.selectFile(wanted);
    static_cast<QDialog&>(dialog).accept();  // as the "Open" button does
  });
  EXPECT_EQ(ui.ChooseOpenFile(nullptr, QString::fromStdString(folder / "tr500.txt")), wanted);
  WhenDialogOpens<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(ui.ChooseOpenFile(nullptr, wanted), "");
}

// A bar moved a hundred times at once shows its end at once, and a value
// held back by the pace is shown once the pace allows, not lost.
TEST(PacedProgressBarTest, ShowsTheEndAtOnceAndTheLastValueHeldBackSoonAfter) {
  PacedProgressBar bar(nullptr);
  bar.setRange(0, 100);
  for (int percent = 1; percent <= 100; ++percent) bar.SetValuePaced(percent);
  EXPECT_EQ(bar.value(), 100);
  bar.SetValuePaced(0);
  bar.SetValuePaced(30);
  bar.SetValuePaced(57);
  EXPECT_EQ(bar.value(), 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return bar.value() == 57; }, 10 * PacedProgressBar::kPaceMs));
}

}  // namespace
}  // namespace miravel
