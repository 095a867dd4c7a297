// miravel-cihaz over many terminals against one, measured in one run (the
// median of five runs each):
//   miravel_bench_cihaz [sessiz] [saat]   (both when none is named)
//   sessiz: `test --hepsi` with 4 terminals that take the connection and
//           never greet, against 1; and the settings window's test of all
//           connections over the same 4, one row after another on the
//           window's one client (as before) against a client per link.
//           Goal: at most 1.5 x one terminal.
//   saat:   `saat-ayarla --hepsi` over 50 emulated terminals whose clocks
//           are 95 s off, against 1: terminals that answer at once (the
//           program's own start and the machine's load then weigh most),
//           and terminals that answer after 20 ms, as over a busy network.
//           Goal: at most 2 x one terminal.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "devices/DeviceCommands.h"
#include "emulator/TerminalState.h"
#include "terminal/WireTerminalClient.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace miravel;
using Seconds = std::chrono::duration<double>;

// An office folder of `terminals` emulated terminals.
struct Office {
  Office(int terminals, const std::vector<std::string>& emulatorOptions) {
    std::vector<e2e::TerminalRow> rows;
    for (int i = 0; i < terminals; ++i) {
      const std::string state = folder / ("t" + std::to_string(i) + ".txt");
      emulator::TerminalState held;
      held.clockOffset = -95;
      emulator::SaveStateFile(state, held);
      std::vector<std::string> arguments = {"--listen", "127.0.0.1:0", "--state", state};
      arguments.insert(arguments.end(), emulatorOptions.begin(), emulatorOptions.end());
      emulators.push_back(std::make_unique<test::EmulatorProcess>(arguments));
      rows.push_back(e2e::EthernetRow("Kapı " + std::to_string(i + 1), emulators.back()->Port()));
    }
    e2e::WriteSettings(folder.Path(), folder / "tr500.txt", false, rows);
  }

  // One run of miravel-cihaz --hepsi with the arguments; its time.
  double Run(const std::vector<std::string>& arguments, int expectedExit) {
    std::vector<std::string> all = {"--folder", folder.Path(), "--hepsi"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const auto start = std::chrono::steady_clock::now();
    e2e::ProgramRun run(e2e::CihazPath(), all, folder.Path());
    const int status = run.Wait(std::chrono::minutes(5));
    const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expectedExit) {
      std::fprintf(stderr, "miravel-cihaz ended with status %d: %s\n", status,
                   run.Stderr().c_str());
      std::exit(1);
    }
    return seconds;
  }

  test::TempFolder folder;
  std::vector<std::unique_ptr<test::EmulatorProcess>> emulators;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The program on `many` terminals against one, five times each.
void CompareProgram(const char* title, int many, const std::vector<std::string>& emulatorOptions,
                    const std::vector<std::string>& arguments, int expectedExit) {
  Office one(1, emulatorOptions);
  Office all(many, emulatorOptions);
  std::vector<double> small, big;
  for (int i = 0; i < 5; ++i) {
    small.push_back(one.Run(arguments, expectedExit));
    big.push_back(all.Run(arguments, expectedExit));
  }
  std::printf("%s\n   1: %6.2f s  %2d: %6.2f s  ratio %.2f\n", title, Median(small), many,
              Median(big), Median(big) / Median(small));
}

// The settings window's commands without the window: its test of all
// connections with one client (one row after another) and with a client per link.
class NoSink : public DeviceCommandSink {
  void StatusChanged(int, const std::string&) override {}
  void Repaint() override {}
  void StripeRows() override {}
  bool ConfirmReset() override { return false; }
};

void CompareWindowTest(const std::vector<std::string>& emulatorOptions) {
  Office one(1, emulatorOptions);
  Office four(4, emulatorOptions);
  const auto time = [](Office& office, bool perLink) {
    const DeviceList rows = LoadDeviceList(IniFile(office.folder.Path() + "/cihazlar.ini"));
    WireTerminalClient terminal(nullptr);
    NoSink sink;
    DeviceCommands commands(
        terminal, sink,
        perLink ? TerminalClientMaker([] { return std::make_shared<WireTerminalClient>(nullptr); })
                : TerminalClientMaker());
    const auto start = std::chrono::steady_clock::now();
    commands.TestAllConnections(rows);
    return Seconds(std::chrono::steady_clock::now() - start).count();
  };
  std::printf("the window's test of all connections, 4 silent terminals against 1:\n");
  for (const bool perLink : {false, true}) {
    const double small = time(one, perLink);
    const double big = time(four, perLink);
    std::printf("  %-24s 1: %6.2f s   4: %6.2f s  ratio %.2f\n",
                perLink ? "a client per link" : "one row after another", small, big, big / small);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::set<std::string> wanted(argv + 1, argv + argc);
  const auto chosen = [&](const std::string& name) { return wanted.empty() || wanted.count(name); };
  // A reply held back ten minutes: the terminal takes the connection and never greets.
  const std::vector<std::string> silent = {"--delay-ms", "600000"};
  if (chosen("sessiz")) {
    CompareProgram("test --hepsi, 4 terminals that never greet against 1:", 4, silent, {"test"}, 1);
    CompareWindowTest(silent);
  }
  if (chosen("saat")) {
    CompareProgram("saat-ayarla --hepsi, 50 terminals 95 s off against 1:", 50, {}, {"saat-ayarla"},
                   0);
    CompareProgram("the same, terminals answering after 20 ms:", 50, {"--delay-ms", "20"},
                   {"saat-ayarla"}, 0);
  }
  return 0;
}
