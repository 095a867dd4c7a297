// miravel-personel's fingerprint copies measured in one run:
//   miravel_bench_personnel [users [rounds]]
// For `users` (default 3,000) and twice as many, each with two templates of
// 1,200 characters:
// - "parmakizi-al" from an emulated terminal into a parmakizi.ini that already
//   holds every person with two older templates;
// - "parmakizi-gonder" of the whole store to an empty emulated terminal (each
//   user is created, then gets its two templates).
// Each round starts from fresh files and a fresh emulator on 127.0.0.1.
// Prints the median time of each and the ratio of the larger size to the
// smaller. Goals: each under 5 s at 3,000 users; the ratio at most 2.3.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/personnel/BenchStore.h"
#include "core/Cp1254.h"
#include "emulator/TerminalState.h"
#include "personnel/Person.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace miravel;
using namespace miravel::bench;
using Clock = std::chrono::steady_clock;

// A terminal holding every user with two templates, as a state file.
std::string TerminalStateBytes(int users) {
  emulator::TerminalState state;
  for (int enroll = 1; enroll <= users; ++enroll) {
    state.users[enroll] = {"Personel " + std::to_string(enroll), "", 0, true};
    for (int finger = 0; finger < 2; ++finger) {
      state.templates[{enroll, finger}] = Template(enroll, finger, 1);
    }
  }
  return emulator::FormatState(state);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// An office folder with the store, the full terminal as row 1 and an empty
// one as row 2.
struct Office {
  Office(int users, const std::string& stateBytes) {
    std::filesystem::create_directory(folder / "personel");
    WriteStore(folder.Path(), users);
    test::WriteFile(folder / "dolu.txt", stateBytes);
    full = std::make_unique<test::EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", folder / "dolu.txt"});
    empty = std::make_unique<test::EmulatorProcess>(
        std::vector<std::string>{"--listen", "127.0.0.1:0", "--state", folder / "bos.txt"});
    e2e::WriteSettings(
        folder.Path(), folder / "tr500.txt", false,
        {e2e::EthernetRow("Dolu", full->Port()), e2e::EthernetRow("Boş", empty->Port())});
  }

  double Time(const std::vector<std::string>& arguments) {
    const auto start = Clock::now();
    const e2e::ProgramResult result =
        e2e::RunInFolder(e2e::PersonelPath(), folder.Path(), arguments);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (result.exitCode != 0) {
      std::fprintf(stderr, "miravel-personel %s failed: %s\n", arguments.back().c_str(),
                   result.err.c_str());
      std::exit(1);
    }
    return seconds;
  }

  test::TempFolder folder;
  std::unique_ptr<test::EmulatorProcess> full;
  std::unique_ptr<test::EmulatorProcess> empty;
};

struct Figures {
  double take = 0;
  double send = 0;
};

Figures Measure(int users, int rounds) {
  const std::string stateBytes = TerminalStateBytes(users);
  std::vector<double> take, send;
  for (int round = 1; round <= rounds; ++round) {
    Office office(users, stateBytes);
    take.push_back(office.Time({"--cihaz", "1", "parmakizi-al"}));
    send.push_back(office.Time({"--cihaz", "2", "parmakizi-gonder"}));
    // The templates taken are the terminal's: a broken copy would show here.
    office.empty->Stop();
    emulator::TerminalState moved;
    emulator::LoadStateFile(office.folder / "bos.txt", moved);
    if (moved.users.size() != static_cast<std::size_t>(users) ||
        moved.templates.at({users, 1}) != Template(users, 1, 1)) {
      std::fprintf(stderr, "the second terminal did not get every template\n");
      std::exit(1);
    }
    std::printf("%5d users, round %d: parmakizi-al %.3f s, parmakizi-gonder %.3f s\n", users, round,
                take.back(), send.back());
    std::fflush(stdout);
  }
  return {Median(take), Median(send)};
}

}  // namespace

int main(int argc, char** argv) {
  const int users = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const Figures small = Measure(users, rounds);
  const Figures large = Measure(2 * users, rounds);
  std::printf("median parmakizi-al:     %5d users %.3f s, %5d users %.3f s, ratio %.2f\n", users,
              small.take, 2 * users, large.take, large.take / small.take);
  std::printf("median parmakizi-gonder: %5d users %.3f s, %5d users %.3f s, ratio %.2f\n", users,
              small.send, 2 * users, large.send, large.send / small.send);
  std::printf("goals: each under 5 s at %d users; ratios at most 2.30\n", users);
  return 0;
}
