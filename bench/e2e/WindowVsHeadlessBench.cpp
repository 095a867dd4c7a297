// The main window's "Bilgileri Aktar" against miravel-aktar on the same work,
// measured in one run:
//   miravel_bench_e2e [records [lines [rounds]]]
// One emulated terminal holds `records` records (default 100,000); the record
// file has `lines` lines (default 1,000,000). Each round runs miravel-aktar and
// then the window (offscreen, a real WireTerminalClient, a click on
// "Bilgileri Aktar"), each on a fresh copy of the record file and a fresh emulator
// with the same log (default 5 rounds). Prints the median time of each and their ratio.
// Goal: the window at most 1.2 x the headless time.

#include <sys/wait.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/AppState.h"
#include "terminal/WireTerminalClient.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FakeUiServices.h"
#include "tests/support/TempFolder.h"
#include "ui/MainWindow.h"

namespace {

using namespace miravel;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A program folder with yedekler/, a fresh copy of the record file, a fresh
// state file and an emulator serving it.
struct Setup {
  Setup(const std::string& baseRecordFile, const std::string& stateBytes) {
    std::filesystem::create_directory(folder / "yedekler");
    std::filesystem::copy_file(baseRecordFile, folder / "tr500.txt");
    test::WriteFile(folder / "terminal.txt", stateBytes);
    emulator = std::make_unique<test::EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", folder / "terminal.txt"});
    e2e::WriteSettings(folder.Path(), folder / "tr500.txt", true,
                       {e2e::EthernetRow("Ana Kapı", emulator->Port())});
  }

  std::uintmax_t RecordFileSize() const { return std::filesystem::file_size(folder / "tr500.txt"); }

  test::TempFolder folder;
  std::unique_ptr<test::EmulatorProcess> emulator;
};

double RunHeadless(const Setup& setup) {
  const auto start = Clock::now();
  e2e::ProgramRun run(e2e::AktarPath(), {"--folder", setup.folder.Path()}, setup.folder.Path());
  const int status = run.Wait(std::chrono::minutes(10));
  const double seconds = Seconds(Clock::now() - start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "miravel-aktar failed: %s\n", run.Stderr().c_str());
    std::exit(1);
  }
  return seconds;
}

double RunWindow(const Setup& setup) {
  AppState state;
  state.programFolder = setup.folder.Path();
  const std::string settingsPath = state.SettingsFilePath();
  WireTerminalClient terminal(
      [settingsPath](int comPort) { return SerialDevicePath(IniFile(settingsPath), comPort); });
  test::FakeUiServices ui;
  MainWindow form(state, terminal, ui);
  form.SetTransferClients([](const std::function<std::string(int)>& serialDeviceOf) {
    return std::make_shared<WireTerminalClient>(serialDeviceOf);
  });
  form.show();
  QApplication::processEvents();
  const auto start = Clock::now();
  QTest::mouseClick(form.findChild<QPushButton*>("transferButton"), Qt::LeftButton);
  const double seconds = Seconds(Clock::now() - start);
  if (!ui.errors.isEmpty()) {
    std::fprintf(stderr, "the window stopped: %s\n", ui.errors.first().toStdString().c_str());
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  unsetenv("QT_SCALE_FACTOR");
  QApplication app(argc, argv);
  const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int lines = argc > 2 ? std::atoi(argv[2]) : 1000000;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

  test::TempFolder work;
  const std::string baseRecordFile = work / "base.txt";
  test::WriteFile(baseRecordFile, e2e::JoinLines(e2e::MakeRecordLines(lines, 5)));
  e2e::WriteStateFile(work / "state.txt", e2e::MakeLog(records, 6));
  const std::string stateBytes = test::ReadFile(work / "state.txt");

  std::printf("%d records into a %d-line record file, %d rounds\n", records, lines, rounds);
  std::vector<double> headless, window;
  for (int round = 1; round <= rounds; ++round) {
    std::uintmax_t headlessSize = 0, windowSize = 0;
    {
      Setup setup(baseRecordFile, stateBytes);
      headless.push_back(RunHeadless(setup));
      headlessSize = setup.RecordFileSize();
    }
    {
      Setup setup(baseRecordFile, stateBytes);
      window.push_back(RunWindow(setup));
      windowSize = setup.RecordFileSize();
    }
    // Every line is 31 characters and CR LF.
    const auto expectedSize = static_cast<std::uintmax_t>(lines + records) * 33;
    if (headlessSize != expectedSize || windowSize != expectedSize) {
      std::fprintf(stderr, "a record file has the wrong size: %ju and %ju bytes for %ju\n",
                   headlessSize, windowSize, expectedSize);
      return 1;
    }
    std::printf("round %d: miravel-aktar %.3f s, window %.3f s\n", round, headless.back(),
                window.back());
  }
  const double headlessTime = Median(headless);
  const double windowTime = Median(window);
  std::printf("median: miravel-aktar %.3f s, window %.3f s, ratio %.2f (goal <= 1.20)\n",
              headlessTime, windowTime, windowTime / headlessTime);
  return 0;
}
