#include "tests/support/EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

#include "terminal/WireTerminalClient.h"

namespace miravel::test {

std::string EmulatorProcess::BinaryPath() {
  return MIRAVEL_EMULATOR_PATH;
}

EmulatorProcess::EmulatorProcess(const std::string& binary,
                                 const std::vector<std::string>& arguments,
                                 std::chrono::milliseconds startTimeout) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  const pid_t parent = ::getpid();
  pid_t child = ::fork();
  if (child == 0) {
    // Only async-signal-safe calls here. If the test program dies without
    // running destructors (killed at its time-out), the emulator goes too.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  stdoutFd_ = pipeFds[0];
  if (child < 0) {
    ::close(stdoutFd_);
    throw std::runtime_error("cannot start " + binary);
  }
  pid_ = child;
  firstLine_ = ReadLine(startTimeout);
  if (firstLine_.empty()) {
    const int status = Stop();
    throw std::runtime_error("the emulator did not come up (wait status " + std::to_string(status) +
                             ")");
  }
}

EmulatorProcess::~EmulatorProcess() {
  Stop();
}

std::string EmulatorProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return line;
    }
    if (stdoutFd_ < 0) return "";
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "";
    pollfd entry{stdoutFd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return "";
    char buffer[4096];
    const ssize_t got = ::read(stdoutFd_, buffer, sizeof buffer);
    if (got <= 0) {
      if (got < 0 && errno == EINTR) continue;
      ::close(stdoutFd_);
      stdoutFd_ = -1;
      continue;
    }
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}

void EmulatorProcess::AwaitEarlierConnections() {
  WireTimeouts patient;
  patient.hello = std::chrono::seconds(30);
  WireTerminalClient probe([](int) { return std::string(); }, patient);
  if (!probe.ConnectNetwork("127.0.0.1", Port())) {
    throw std::runtime_error("the emulator did not answer a fresh connection");
  }
  probe.Disconnect();
}

int EmulatorProcess::Port() const {
  const std::string prefix = "listening on ";
  if (firstLine_.rfind(prefix, 0) != 0) return 0;
  return std::stoi(firstLine_.substr(firstLine_.rfind(':') + 1));
}

std::string EmulatorProcess::Link() const {
  const std::string prefix = "serial on ";
  return firstLine_.rfind(prefix, 0) == 0 ? firstLine_.substr(prefix.size()) : "";
}

int EmulatorProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status_, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
    }
    pid_ = -1;
  }
  if (stdoutFd_ >= 0) {
    // Keep what the emulator wrote last (the records it punched) for ReadLine.
    char buffer[4096];
    ssize_t got;
    pollfd entry{stdoutFd_, POLLIN, 0};
    while (::poll(&entry, 1, 0) == 1 && (got = ::read(stdoutFd_, buffer, sizeof buffer)) > 0) {
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(stdoutFd_);
    stdoutFd_ = -1;
  }
  return status_;
}

}  // namespace miravel::test
