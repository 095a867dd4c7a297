// The command helper: an error stops the command, is shown through the
// program's error display and leaves the program running.
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/AppError.h"
#include "tests/ui/QtPrinters.h"
#include "ui/UiServices.h"

namespace miravel {
namespace {

class RecordingUiServices : public UiServices {
 public:
  void ShowMessage(QWidget*, const QString& text) override { messages << text; }
  void ShowError(QWidget*, const QString& text) override { errors << text; }
  QString ChooseOpenFile(QWidget*, const QString&) override { return {}; }
  void OpenUrl(const QUrl&) override {}

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

}  // namespace
}  // namespace miravel
