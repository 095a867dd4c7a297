// The settings window's "Tüm  CihazlarıTest et" over terminals that take the
// connection and never greet, measured in one run:
//   miravel_bench_settings_window [rounds]
// Four such terminals against one, each as the window tests them (a client
// per link, the program's time-outs). A 10 ms timer of the window's thread
// measures the longest gap between its ticks while the command runs: the
// longest time the window could not paint or answer. Each figure is the
// median of `rounds` runs (default 3).
// Goals: the longest gap at most 100 ms, four terminals at most 1.5 x one.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/AppState.h"
#include "core/Clock.h"
#include "core/IniFile.h"
#include "terminal/WireTerminalClient.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FakeUiServices.h"
#include "tests/support/TempFolder.h"
#include "ui/SettingsWindow.h"

namespace {

using namespace miravel;
using Steady = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

struct Run {
  double seconds = 0;
  double longestGap = 0;  // seconds
};

// The longest time between two ticks of a 10 ms timer, from Start to Stop.
class LoopProbe {
 public:
  LoopProbe() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  }
  void Start() {
    longest_ = 0;
    last_ = Steady::now();
    timer_.start();
  }
  double Stop() {
    Tick();
    timer_.stop();
    return longest_;
  }

 private:
  void Tick() {
    const auto now = Steady::now();
    longest_ = std::max(longest_, Seconds(now - last_).count());
    last_ = now;
  }

  QTimer timer_;
  Steady::time_point last_;
  double longest_ = 0;
};

// An office of `terminals` rows, each an emulator that never greets.
class SilentOffice {
 public:
  explicit SilentOffice(int terminals) {
    for (int i = 0; i < terminals; ++i) {
      // A reply held back ten minutes: the terminal takes the connection and stays silent.
      emulators_.push_back(std::make_unique<test::EmulatorProcess>(
          std::vector<std::string>{"--listen", "127.0.0.1:0", "--delay-ms", "600000"}));
      state_.devices.push_back(
          WholeEntryOf({"Kapı " + std::to_string(i + 1), "Ethernet", "1", "Com1", "115200",
                        "127.0.0.1", std::to_string(emulators_.back()->Port()), "", "Standart"}));
    }
    state_.programFolder = folder_.Path();
    state_.settingsFile = std::make_unique<IniFile>(state_.SettingsFilePath());
    window_ = std::make_unique<SettingsWindow>(state_, terminal_, ui_, SystemClock(), nullptr, [] {
      return std::make_shared<WireTerminalClient>(nullptr);
    });
    window_->show();
  }

  Run TestAll() {
    auto* button = window_->findChild<QPushButton*>("testAllConnectionsButton");
    LoopProbe probe;
    probe.Start();
    const auto start = Steady::now();
    QTest::mouseClick(button, Qt::LeftButton);
    Run run;
    run.seconds = Seconds(Steady::now() - start).count();
    run.longestGap = probe.Stop();
    return run;
  }

 private:
  test::TempFolder folder_;
  std::vector<std::unique_ptr<test::EmulatorProcess>> emulators_;
  AppState state_;
  WireTerminalClient terminal_{nullptr};
  test::FakeUiServices ui_;
  std::unique_ptr<SettingsWindow> window_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  unsetenv("QT_SCALE_FACTOR");
  QApplication application(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

  SilentOffice one(1);
  SilentOffice four(4);
  std::vector<double> oneTime, fourTime, oneGap, fourGap;
  for (int i = 0; i < rounds; ++i) {
    const Run small = one.TestAll();
    const Run big = four.TestAll();
    oneTime.push_back(small.seconds);
    fourTime.push_back(big.seconds);
    oneGap.push_back(small.longestGap);
    fourGap.push_back(big.longestGap);
  }
  const double t1 = Median(oneTime), t4 = Median(fourTime);
  const double g1 = Median(oneGap), g4 = Median(fourGap);
  std::printf("\"Tüm  CihazlarıTest et\" over terminals that never greet (median of %d):\n",
              rounds);
  std::printf("  1 terminal:  %6.2f s, longest stall of the window %7.1f ms (%.3f of the run)\n",
              t1, g1 * 1000, g1 / t1);
  std::printf("  4 terminals: %6.2f s, longest stall of the window %7.1f ms (%.3f of the run)\n",
              t4, g4 * 1000, g4 / t4);
  std::printf("  4 against 1: %.2f x   (goal: at most 1.5 x; stall at most 100 ms)\n", t4 / t1);
  return 0;
}
