#pragma once

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>

namespace miravel {

// A progress bar that a long command moves a hundred times in well under a
// second. A bar repaints itself at once for every new value, so each step
// would cost the window's thread a paint of the whole bar, and a screen
// reader an event; this one shows a new value at most every kPace and the
// last one given always, at the latest kPace after it came.
class PacedProgressBar : public QProgressBar {
 public:
  explicit PacedProgressBar(QWidget* parent);

  // The value to show: at once when the bar has shown none for kPace, at
  // its start or at its end; else when the pace allows.
  void SetValuePaced(int value);

  static constexpr int kPaceMs = 40;

 private:
  void ShowWaiting();

  QElapsedTimer sinceShown_;
  QTimer waiting_;
  int waitingValue_ = 0;
};

}  // namespace miravel
