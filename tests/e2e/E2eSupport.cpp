#include "tests/e2e/E2eSupport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "core/Cp1254.h"
#include "emulator/TerminalState.h"

extern char** environ;

namespace miravel::e2e {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysIn(int year, int month) {
  return month == 2 && IsLeap(year) ? 29 : kDaysInMonth[month - 1];
}

struct Moment {
  int month, day, hour, minute;
  auto Key() const { return std::tie(month, day, hour, minute); }
};

// Random moments of working hours in the first half of 2026, in time order.
std::vector<Moment> MakeMoments(int count, std::mt19937& random) {
  std::uniform_int_distribution<int> dayOfYear(4, 176);  // 5 January .. 26 June
  std::uniform_int_distribution<int> hour(7, 19);
  std::uniform_int_distribution<int> minute(0, 59);
  std::vector<Moment> moments;
  moments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    int day = dayOfYear(random);
    int month = 1;
    while (day >= DaysIn(2026, month)) day -= DaysIn(2026, month++);
    moments.push_back({month, day + 1, hour(random), minute(random)});
  }
  std::stable_sort(moments.begin(), moments.end(),
                   [](const Moment& a, const Moment& b) { return a.Key() < b.Key(); });
  return moments;
}

bool Digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view text) {
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

// 000,EEEEE,S YYYY/MM/DD HH:MM:00 with a real date and time.
bool WellFormedLine(std::string_view line) {
  if (line.size() != 31 || line.substr(0, 4) != "000," || !Digits(line.substr(4, 5)) ||
      line[9] != ',' || !Digits(line.substr(10, 1)) || line[11] != ' ' ||
      !Digits(line.substr(12, 4)) || line[16] != '/' || !Digits(line.substr(17, 2)) ||
      line[19] != '/' || !Digits(line.substr(20, 2)) || line[22] != ' ' ||
      !Digits(line.substr(23, 2)) || line[25] != ':' || !Digits(line.substr(26, 2)) ||
      line.substr(28) != ":00") {
    return false;
  }
  const int year = Number(line.substr(12, 4));
  const int month = Number(line.substr(17, 2));
  const int day = Number(line.substr(20, 2));
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysIn(year, month) &&
         Number(line.substr(23, 2)) < 24 && Number(line.substr(26, 2)) < 60;
}

// This program's environment, with the sanitizers' leak check at exit turned
// off when they are on; every other check stays.
std::vector<std::string> EnvironmentWithoutExitLeakCheck() {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string variable = *entry;
    if (variable.rfind("ASAN_OPTIONS=", 0) == 0) variable += ":detect_leaks=0";
    environment.push_back(std::move(variable));
  }
  return environment;
}

}  // namespace

std::string AktarPath() {
  return MIRAVEL_AKTAR_PATH;
}

std::string PersonelPath() {
  return MIRAVEL_PERSONEL_PATH;
}

std::string CihazPath() {
  return MIRAVEL_CIHAZ_PATH;
}

DeadPort::DeadPort() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot reserve a port");
  }
  port_ = ntohs(address.sin_port);
}

DeadPort::~DeadPort() {
  ::close(fd_);
}

ProgramRun::ProgramRun(const std::string& path, const std::vector<std::string>& arguments,
                       const std::string& outputFolder, Ending ending)
    : stdoutPath_(outputFolder + "/run.out"), stderrPath_(outputFolder + "/run.err") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  std::vector<char*> envp;
  if (ending == Ending::Killed) {
    environment = EnvironmentWithoutExitLeakCheck();
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
  }
  const int error = ::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(),
                                  envp.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + path);
  }
}

ProgramRun::~ProgramRun() {
  Kill();
}

int ProgramRun::Wait(std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (pid_ > 0 && !Ended()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return Kill();
    // Poll often, but wake exactly at the deadline so that a kill lands when
    // it was meant to.
    std::this_thread::sleep_until(std::min(deadline, now + std::chrono::milliseconds(2)));
  }
  return status_;
}

bool ProgramRun::Ended() {
  if (pid_ <= 0) return true;
  if (::waitpid(pid_, &status_, WNOHANG) != pid_) return false;
  pid_ = -1;
  return true;
}

int ProgramRun::Kill() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
  }
  return status_;
}

std::string ProgramRun::Stdout() const {
  return ReadAll(stdoutPath_);
}
std::string ProgramRun::Stderr() const {
  return ReadAll(stderrPath_);
}

ProgramResult RunInFolder(const std::string& path, const std::string& folder,
                          const std::vector<std::string>& extra) {
  std::vector<std::string> arguments = {"--folder", folder};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  ProgramRun run(path, arguments, folder);
  const int status = run.Wait();
  ProgramResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = run.Stdout();
  result.err = run.Stderr();
  return result;
}

AktarResult RunAktar(const std::string& folder, const std::vector<std::string>& extra) {
  return RunInFolder(AktarPath(), folder, extra);
}

std::vector<wire::LogRecord> MakeLog(int count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> enroll(1, 99999);
  std::uniform_int_distribution<int> state(0, 5);
  std::vector<wire::LogRecord> log;
  for (const Moment& moment : MakeMoments(count, random)) {
    wire::LogRecord record;
    record.enrollNumber = enroll(random);
    record.inOutState = state(random);
    record.year = 2026;
    record.month = moment.month;
    record.day = moment.day;
    record.hour = moment.hour;
    record.minute = moment.minute;
    log.push_back(record);
  }
  return log;
}

std::vector<std::string> MakeRecordLines(int count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> enroll(1, 99999);
  std::uniform_int_distribution<int> inOut(0, 1);
  std::vector<std::string> lines;
  for (const Moment& moment : MakeMoments(count, random)) {
    char line[64];
    std::snprintf(line, sizeof line, "000,%05d,%d 2026/%02d/%02d %02d:%02d:00", enroll(random),
                  inOut(random), moment.month, moment.day, moment.hour, moment.minute);
    lines.emplace_back(line);
  }
  return lines;
}

std::string ExpectedLine(const wire::LogRecord& record, int fixedInOut) {
  char line[96];
  std::snprintf(line, sizeof line, "000,%05d,%d %04d/%02d/%02d %02d:%02d:00",
                record.enrollNumber % 100000, fixedInOut, record.year, record.month, record.day,
                record.hour, record.minute);
  return line;
}

std::string ExpectedLine(const wire::LogRecord& record) {
  // Even states are entries (1), odd states exits (0).
  return ExpectedLine(record, record.inOutState % 2 == 0 ? 1 : 0);
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string bytes;
  bytes.reserve(lines.size() * 33);
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

std::vector<std::string> SplitRecordFile(std::string_view bytes, bool& wellFormed) {
  wellFormed = bytes.empty() || bytes.ends_with("\r\n");
  std::vector<std::string> lines;
  lines.reserve(bytes.size() / 33 + 1);
  while (!bytes.empty()) {
    const std::size_t end = bytes.find("\r\n");
    const std::string_view line = bytes.substr(0, end);
    if (!WellFormedLine(line)) wellFormed = false;
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 2);
  }
  return lines;
}

bool InTimeOrder(const std::vector<std::string>& lines) {
  // Year to minute sit in columns 13 to 28 with fixed widths, so text order is
  // time order.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].substr(12, 16) < lines[i - 1].substr(12, 16)) return false;
  }
  return true;
}

void WriteStateFile(const std::string& path, const std::vector<wire::LogRecord>& log) {
  // The terminal stays the one it was: its identity and capacity are kept.
  emulator::TerminalState held;
  emulator::LoadStateFile(path, held);
  emulator::TerminalState state;
  state.identity = held.identity;
  state.capacity = held.capacity;
  state.log = log;
  WriteAll(path, emulator::FormatState(state));
}

std::vector<wire::LogRecord> ReadStateLog(const std::string& path) {
  emulator::TerminalState state;
  if (!emulator::LoadStateFile(path, state)) throw std::runtime_error("no state file " + path);
  return state.log;
}

TerminalRow EthernetRow(const std::string& name, int port) {
  TerminalRow row;
  row.name = name;
  row.port = port;
  return row;
}

TerminalRow SerialRow(const std::string& name, const std::string& comPort,
                      const std::string& inOut) {
  TerminalRow row;
  row.name = name;
  row.connection = "Comm Port";
  row.comPort = comPort;
  row.inOut = inOut;
  return row;
}

void WriteSettings(const std::string& folder, const std::string& recordFile, bool clearLog,
                   const std::vector<TerminalRow>& rows,
                   const std::vector<std::string>& serialLinks) {
  std::string text =
      "[ayarlar]\r\ndosya=" + recordFile + "\r\nsilkontrol=" + (clearLog ? "1" : "0") + "\r\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TerminalRow& row = rows[i];
    text += "[cihaz" + std::to_string(i + 1) + "]\r\nadi=" + row.name +
            "\r\nbaglantitipi=" + row.connection + "\r\nmakineno=1\r\nportno=" + row.comPort +
            "\r\nbaudrate=115200\r\nipadres=" + row.address +
            "\r\nipport=" + std::to_string(row.port) + "\r\nparola=\r\ngcdurum=" + row.inOut +
            "\r\n";
  }
  if (!serialLinks.empty()) {
    text += "[seriportlar]\r\n";
    for (std::size_t i = 0; i < serialLinks.size(); ++i) {
      text += "com" + std::to_string(i + 1) + "=" + serialLinks[i] + "\r\n";
    }
  }
  WriteAll(folder + "/cihazlar.ini", Utf8ToCp1254(text));
}

std::vector<DurabilityCall> ReadDurabilityCalls(const std::string& logPath) {
  std::vector<DurabilityCall> calls;
  std::istringstream in(ReadAll(logPath));
  for (std::string line; std::getline(in, line);) {
    DurabilityCall call;
    std::istringstream fields(line);
    fields >> call.what >> call.first >> call.second;
    calls.push_back(call);
  }
  return calls;
}

int FindCall(const std::vector<DurabilityCall>& calls, int after, const std::string& what,
             const std::function<bool(const DurabilityCall&)>& matches) {
  for (int i = after + 1; i < static_cast<int>(calls.size()); ++i) {
    if (calls[i].what == what && matches(calls[i])) return i;
  }
  return -1;
}

testing::AssertionResult ReplacedSafely(const std::vector<DurabilityCall>& calls,
                                        const std::string& target) {
  int renamed = -1;
  for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
    if (calls[i].what == "rename" && calls[i].second == target) renamed = i;
  }
  if (renamed < 0) return testing::AssertionFailure() << target << " is not replaced by a rename";
  const std::string scratch = calls[renamed].first;
  const std::string folder = std::filesystem::path(target).parent_path().string();
  if (std::filesystem::path(scratch).parent_path().string() != folder) {
    return testing::AssertionFailure() << "the scratch " << scratch << " is not beside " << target;
  }
  const auto isScratch = [&](const DurabilityCall& call) { return call.first == scratch; };
  int lastWrite = -1;
  for (int i = 0; i < renamed; ++i) {
    if (calls[i].what == "write" && isScratch(calls[i])) lastWrite = i;
  }
  if (lastWrite < 0) return testing::AssertionFailure() << "nothing written to " << scratch;
  const int forced = FindCall(calls, lastWrite, "fsync", isScratch);
  if (forced < 0 || forced > renamed) {
    return testing::AssertionFailure() << scratch << " is not forced between its last write and "
                                       << "the rename over " << target;
  }
  if (FindCall(calls, renamed, "fsync",
               [&](const DurabilityCall& c) { return c.first == folder; }) < 0) {
    return testing::AssertionFailure()
           << "the folder is not forced after the rename over " << target;
  }
  return testing::AssertionSuccess();
}

int CountFiles(const std::string& folder, const std::string& prefix) {
  int count = 0;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    if (entry.path().filename().string().starts_with(prefix)) ++count;
  }
  return count;
}

namespace {

// Whether the child has ended, without reaping it (ProgramRun does that).
bool HasEnded(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// Waits until a file starting with prefix is created in the watched folder;
// false when the program ends first or the wait runs out.
bool AwaitCreated(int watch, const std::string& prefix, pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  alignas(inotify_event) char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline && !HasEnded(pid)) {
    pollfd ready{watch, POLLIN, 0};
    if (::poll(&ready, 1, 2) <= 0) continue;
    const ssize_t size = ::read(watch, buffer, sizeof buffer);
    for (ssize_t at = 0; at < size;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0 && std::string_view(event->name).starts_with(prefix)) return true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return false;
}

}  // namespace

int RunUntilKilled(const std::string& path, const std::vector<std::string>& arguments,
                   const std::string& outputFolder, const KillMoment& moment,
                   std::string* stderrText) {
  int watch = -1;
  if (!moment.createdPrefix.empty()) {
    watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0 || ::inotify_add_watch(watch, moment.watchedFolder.c_str(), IN_CREATE) < 0) {
      throw std::runtime_error("cannot watch " + moment.watchedFolder);
    }
  }
  ProgramRun run(path, arguments, outputFolder, ProgramRun::Ending::Killed);
  int status = 0;
  if (watch < 0 || AwaitCreated(watch, moment.createdPrefix, run.Pid())) {
    status = run.Wait(moment.delay);
  } else {
    status = run.Wait();
  }
  if (watch >= 0) ::close(watch);
  if (stderrText != nullptr) *stderrText = run.Stderr();
  return status;
}

}  // namespace miravel::e2e
