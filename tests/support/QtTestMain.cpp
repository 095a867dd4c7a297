// The main() of the tests that need widgets: an offscreen QApplication, the
// same results on every machine, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <cstdlib>

int main(int argc, char** argv) {
  // Test discovery runs the program at build time without the test
  // environment; without a display the default platform would abort.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // A scale factor would change every picture's size.
  unsetenv("QT_SCALE_FACTOR");
  QLocale::setDefault(QLocale::c());
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
