// Fetches a 100,000-record log from an emulated terminal over loopback and
// walks it with GetNextAttendanceRecord, and in the same run writes the same
// 100,000 record lines to a file with plain buffered I/O. The fetch should
// cost at most three times the write. Prints the ratio and records per second.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "emulator/EmulatedTerminal.h"
#include "emulator/EmulatorServer.h"
#include "emulator/RequestHandler.h"
#include "emulator/StateGenerator.h"
#include "terminal/WireTerminalClient.h"

namespace {

using namespace miravel;
using Seconds = std::chrono::duration<double>;

constexpr int kRecords = 100000;
constexpr int kRounds = 7;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double TimeFetchAndWalk(int port, std::size_t& walked) {
  WireTerminalClient client([](int) { return std::string(); });
  if (!client.ConnectNetwork("127.0.0.1", port)) {
    std::fprintf(stderr, "cannot connect to the emulated terminal\n");
    std::exit(1);
  }
  const auto start = std::chrono::steady_clock::now();
  client.ReadAttendanceLog(1);
  int terminal, enroll, enrollMachine, verify, state, year, month, day, hour, minute;
  walked = 0;
  while (client.GetNextAttendanceRecord(1, terminal, enroll, enrollMachine, verify, state, year,
                                        month, day, hour, minute)) {
    ++walked;
  }
  const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  client.Disconnect();
  return seconds;
}

double TimePlainWrite(const std::vector<wire::LogRecord>& log, const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  char line[64];
  for (const wire::LogRecord& r : log) {
    const int size =
        std::snprintf(line, sizeof line, "000,%05d,%d %04d/%02d/%02d %02d:%02d:00\r\n",
                      r.enrollNumber, r.inOutState, r.year, r.month, r.day, r.hour, r.minute);
    std::fwrite(line, 1, static_cast<std::size_t>(size), file);
  }
  std::fclose(file);
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  emulator::TerminalState state;
  emulator::Generate(state, emulator::GenerateOptions{200, 0, kRecords, 1}, std::time(nullptr));
  const std::vector<wire::LogRecord> log = state.log;
  emulator::EmulatedTerminal terminal(std::move(state), "");
  emulator::RequestHandler handler(terminal, std::nullopt);
  emulator::ServerOptions options;
  options.listen = "127.0.0.1:0";
  emulator::EmulatorServer server(handler, options);
  const std::string ready = server.Start().front();
  const int port = std::stoi(ready.substr(ready.rfind(':') + 1));
  std::atomic<bool> stop{false};
  std::thread serving([&] { server.Run(stop); });

  char folder[] = "/tmp/miravel-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string path = std::string(folder) + "/tr500.txt";

  std::vector<double> fetches;
  std::vector<double> writes;
  std::size_t walked = 0;
  for (int round = 0; round < kRounds; ++round) {
    fetches.push_back(TimeFetchAndWalk(port, walked));
    writes.push_back(TimePlainWrite(log, path));
  }
  stop = true;
  serving.join();
  ::unlink(path.c_str());
  ::rmdir(folder);

  const double fetch = Median(fetches);
  const double write = Median(writes);
  const double ratio = fetch / write;
  std::printf("records fetched and walked: %zu\n", walked);
  std::printf("fetch+walk: %.2f ms (%.0f records/s); plain write: %.2f ms (%.0f records/s)\n",
              fetch * 1e3, walked / fetch, write * 1e3, log.size() / write);
  std::printf("ratio fetch/write: %.2f (goal <= 3.00): %s\n", ratio,
              ratio <= 3.0 ? "MET" : "MISSED");
  return walked == log.size() ? 0 : 1;
}
