// The one transfer engine and its delivery ledger, each figure a ratio
// measured in one run:
//   miravel_bench_ledger [ofis] [bos] [birlesme] [durgunluk]   (all when none is named)
//   ofis:     the window against miravel-aktar on an office of six terminals
//             that answer after 200 ms and two that take the connection and
//             never greet. Goal: the window at most 1.2 x.
//   bos:      with the delete option off, a run over 50 terminals of 100,000
//             records that brings nothing new against the first run, which
//             reads the same logs and merges them. Goal: at most 1.2 x. Also
//             the ledger's size per terminal for logs of 1,000 and 100,000
//             records (it must not grow with the records).
//   birlesme: 10,000 new records into a record file of 1,000,000 lines end to
//             end (miravel-aktar and the emulator) against a durable copy of
//             that file (cp, then fsync). Goal: at most 1.5 x.
//   durgunluk: the window's event loop during its transfer of the "ofis"
//             office: the longest gap between the ticks of a 10 ms timer of
//             the window's thread. Goal: at most 100 ms.
// MIRAVEL_BENCH_AKTAR=PATH measures another build of miravel-aktar instead.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
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

// MIRAVEL_BENCH_AKTAR names another miravel-aktar to measure (an older build).
double RunAktar(const std::string& folder) {
  const char* other = std::getenv("MIRAVEL_BENCH_AKTAR");
  const auto start = Clock::now();
  e2e::ProgramRun run(other != nullptr ? other : e2e::AktarPath(), {"--folder", folder}, folder);
  const int status = run.Wait(std::chrono::minutes(20));
  const double seconds = Seconds(Clock::now() - start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
    std::fprintf(stderr, "miravel-aktar failed: %s\n", run.Stderr().c_str());
    std::exit(1);
  }
  return seconds;
}

// The transfer's time; longestGap, when given, gets the longest gap between
// the ticks of a 10 ms timer of the window's thread meanwhile.
double RunWindow(const std::string& folder, Clock::duration* longestGap = nullptr) {
  AppState state;
  state.programFolder = folder;
  WireTerminalClient terminal([](int) { return std::string(); });
  test::FakeUiServices ui;
  MainWindow form(state, terminal, ui);
  form.SetTransferClients([](const std::function<std::string(int)>& serialDeviceOf) {
    return std::make_shared<WireTerminalClient>(serialDeviceOf);
  });
  form.show();
  QApplication::processEvents();
  QTimer probe;
  probe.setInterval(10);
  Clock::time_point lastTick = Clock::now();
  Clock::duration longest{};
  QObject::connect(&probe, &QTimer::timeout, [&] {
    longest = std::max(longest, Clock::now() - lastTick);
    lastTick = Clock::now();
  });
  if (longestGap != nullptr) probe.start();
  const auto start = Clock::now();
  lastTick = start;
  QTest::mouseClick(form.findChild<QPushButton*>("transferButton"), Qt::LeftButton);
  const double seconds = Seconds(Clock::now() - start);
  if (longestGap != nullptr) *longestGap = std::max(longest, Clock::now() - lastTick);
  return seconds;
}

// An office folder with its terminals on the emulator.
struct Office {
  Office(int terminals, int records, bool clearLogs,
         const std::vector<std::string>& slowOptions = {}, int silent = 0) {
    std::filesystem::create_directory(folder / "yedekler");
    std::vector<e2e::TerminalRow> rows;
    for (int i = 0; i < terminals + silent; ++i) {
      const std::string state = folder / ("terminal" + std::to_string(i) + ".txt");
      e2e::WriteStateFile(state, e2e::MakeLog(i < terminals ? records : 10, 100 + i));
      std::vector<std::string> arguments = {"--listen", "127.0.0.1:0", "--state", state};
      if (i < terminals) {
        arguments.insert(arguments.end(), slowOptions.begin(), slowOptions.end());
      } else {
        // Takes the connection and does not greet within the hello's time.
        arguments.insert(arguments.end(), {"--delay-ms", "60000"});
      }
      emulators.push_back(std::make_unique<test::EmulatorProcess>(arguments));
      rows.push_back(e2e::EthernetRow("Kapı " + std::to_string(i + 1), emulators.back()->Port()));
    }
    e2e::WriteSettings(folder.Path(), folder / "tr500.txt", clearLogs, rows);
  }

  test::TempFolder folder;
  std::vector<std::unique_ptr<test::EmulatorProcess>> emulators;
};

void OfficeOfSlowTerminals() {
  Office forAktar(6, 2000, true, {"--delay-ms", "200"}, 2);
  const double aktar = RunAktar(forAktar.folder.Path());
  Office forWindow(6, 2000, true, {"--delay-ms", "200"}, 2);
  const double window = RunWindow(forWindow.folder.Path());
  std::printf("ofis: miravel-aktar %.2f s, window %.2f s, ratio %.2f (goal <= 1.20)\n", aktar,
              window, window / aktar);
}

void WindowStall() {
  Office office(6, 2000, true, {"--delay-ms", "200"}, 2);
  Clock::duration longest{};
  const double seconds = RunWindow(office.folder.Path(), &longest);
  std::printf(
      "durgunluk: the window's transfer %.2f s, longest stall of its event loop %.0f ms "
      "(goal <= 100 ms)\n",
      seconds, Seconds(longest) * 1000);
}

void NothingNew() {
  const int terminals = 50;
  const int records = std::getenv("MIRAVEL_BENCH_RECORDS")
                          ? std::atoi(std::getenv("MIRAVEL_BENCH_RECORDS"))
                          : 100000;
  Office office(terminals, records, false);
  const double first = RunAktar(office.folder.Path());
  const double again = RunAktar(office.folder.Path());
  const auto ledgerSize = std::filesystem::file_size(office.folder / "tr500.txt.teslim");
  std::printf(
      "bos: %d terminals x %d records: reading and merging %.2f s, nothing new %.2f s, "
      "ratio %.2f (goal <= 1.20)\n",
      terminals, records, first, again, again / first);
  Office small(terminals, 1000, false);
  RunAktar(small.folder.Path());
  const auto smallSize = std::filesystem::file_size(small.folder / "tr500.txt.teslim");
  std::printf(
      "bos: ledger %ju bytes for logs of %d records, %ju bytes for logs of 1000 "
      "(%.0f and %.0f bytes a terminal)\n",
      ledgerSize, records, smallSize, double(ledgerSize) / terminals,
      double(smallSize) / terminals);
}

void MergeIntoBigFile() {
  Office office(1, 10000, true);
  const std::string record = office.folder / "tr500.txt";
  test::WriteFile(record, e2e::JoinLines(e2e::MakeRecordLines(1000000, 5)));
  const auto copyStart = Clock::now();
  const std::string copy = office.folder / "kopya.txt";
  if (std::system(("cp " + record + " " + copy).c_str()) != 0) std::exit(1);
  const int fd = ::open(copy.c_str(), O_RDONLY);
  ::fsync(fd);
  ::close(fd);
  const double copied = Seconds(Clock::now() - copyStart);
  std::filesystem::remove(copy);
  const double merged = RunAktar(office.folder.Path());
  std::printf(
      "birlesme: 10000 records into 1000000 lines %.3f s, cp + fsync %.3f s, ratio %.2f "
      "(goal <= 1.50)\n",
      merged, copied, merged / copied);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  std::set<std::string> chosen(argv + 1, argv + argc);
  const auto wanted = [&](const char* name) { return chosen.empty() || chosen.count(name) > 0; };
  if (wanted("ofis")) OfficeOfSlowTerminals();
  if (wanted("birlesme")) MergeIntoBigFile();
  if (wanted("bos")) NothingNew();
  if (wanted("durgunluk")) WindowStall();
  return 0;
}
