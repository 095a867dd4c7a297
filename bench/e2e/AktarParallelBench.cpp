// miravel-aktar over many terminals, one after another (--paralel 1, the
// window's order: one record-file replacement per terminal) against the
// default parallel run, measured in one run:
//   miravel_bench_aktar_parallel [yavas] [seri] [olcek] [bellek]
// (all four when none is named)
//   yavas:  8 terminals that answer after 200 ms, 2,000 records each, against
//           one of them. Goal: at most 1.5 x one terminal's run.
//   seri:   4 serial lines (pseudo terminals held to 11,520 bytes a second, a
//           115,200 baud line) of 2,000 records each, against one.
//   olcek:  50 against 25 fast terminals of 20,000 records each, into an
//           empty record file. Goal: at most 2.2 x (linear).
//   bellek: peak memory of miravel-aktar over 50 terminals of 100,000 records
//           each. Goal: under 300 MB.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

extern char** environ;

namespace {

using namespace miravel;

struct Measure {
  double seconds = 0;
  long peakKb = 0;
};

// An office folder with `terminals` emulated terminals of `records` each.
struct Office {
  Office(int terminals, int records, const std::vector<std::string>& emulatorOptions, bool serial,
         std::uint32_t seed) {
    std::filesystem::create_directory(folder / "yedekler");
    std::vector<e2e::TerminalRow> rows;
    std::vector<std::string> links;
    for (int i = 0; i < terminals; ++i) {
      const std::string state = folder / ("t" + std::to_string(i) + ".txt");
      e2e::WriteStateFile(state, e2e::MakeLog(records, seed + i));
      std::vector<std::string> arguments = {"--state", state};
      if (serial) {
        arguments.insert(arguments.end(), {"--pty", folder / ("com" + std::to_string(i + 1))});
      } else {
        arguments.insert(arguments.end(), {"--listen", "127.0.0.1:0"});
      }
      arguments.insert(arguments.end(), emulatorOptions.begin(), emulatorOptions.end());
      emulators.push_back(std::make_unique<test::EmulatorProcess>(arguments));
      const std::string name = "Kapı " + std::to_string(i + 1);
      if (serial) {
        rows.push_back(e2e::SerialRow(name, "Com" + std::to_string(i + 1), "Standart"));
        links.push_back(emulators.back()->Link());
      } else {
        rows.push_back(e2e::EthernetRow(name, emulators.back()->Port()));
      }
    }
    e2e::WriteSettings(folder.Path(), folder / "tr500.txt", true, rows, links);
  }

  // One run of miravel-aktar with the extra arguments; its time and peak.
  Measure Run(const std::vector<std::string>& extra) {
    std::vector<std::string> arguments = {e2e::AktarPath(), "--folder", folder.Path()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      std::perror("posix_spawn");
      std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Measure measure{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                    usage.ru_maxrss};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "miravel-aktar ended with status %d\n", status);
      std::exit(1);
    }
    return measure;
  }

  test::TempFolder folder;
  std::vector<std::unique_ptr<test::EmulatorProcess>> emulators;
};

const std::vector<std::string> kBefore = {"--paralel", "1"};
const std::vector<std::string> kAfter = {};

// The time of a fresh office of `many` terminals against one of `few`.
void Compare(const char* title, int few, int many, int records,
             const std::vector<std::string>& emulatorOptions, bool serial) {
  std::printf("%s\n", title);
  for (const auto* mode : {&kBefore, &kAfter}) {
    const double small = Office(few, records, emulatorOptions, serial, 10).Run(*mode).seconds;
    const double big = Office(many, records, emulatorOptions, serial, 10).Run(*mode).seconds;
    std::printf("  %-12s %2d: %6.2f s  %2d: %6.2f s  ratio %.2f\n",
                mode == &kBefore ? "--paralel 1" : "default", few, small, many, big, big / small);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::set<std::string> wanted(argv + 1, argv + argc);
  const auto chosen = [&](const std::string& name) { return wanted.empty() || wanted.count(name); };
  if (chosen("yavas")) {
    Compare("8 terminals answering after 200 ms, 2,000 records each, against 1:", 1, 8, 2000,
            {"--delay-ms", "200"}, false);
  }
  if (chosen("seri")) {
    Compare("4 serial lines of 11,520 bytes/s, 2,000 records each, against 1:", 1, 4, 2000,
            {"--bytes-per-second", "11520"}, true);
  }
  if (chosen("olcek")) {
    Compare("50 against 25 fast terminals of 20,000 records, empty record file:", 25, 50, 20000, {},
            false);
  }
  if (chosen("bellek")) {
    std::printf("50 terminals of 100,000 records, peak memory of miravel-aktar:\n");
    for (const auto* mode : {&kBefore, &kAfter}) {
      const Measure run = Office(50, 100000, {}, false, 20).Run(*mode);
      std::printf("  %-12s %.1f s, peak %ld kB\n", mode == &kBefore ? "--paralel 1" : "default",
                  run.seconds, run.peakKb);
    }
  }
  return 0;
}
