#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace miravel::test {

// Runs miravel-terminal-emulator as a child process for one test: starts it
// with the given arguments, waits for its first line ("listening on
// HOST:PORT" or "serial on LINK") and stops it in the destructor, by its pid:
// SIGTERM, then SIGKILL when it does not end within the grace period.
// Throws std::runtime_error when the program does not come up. The emulator
// also gets SIGTERM when the thread that started it ends, so a test program
// killed at its time-out leaves no emulator behind: start it from the thread
// that lives as long as the object.
//
//   EmulatorProcess emulator({"--listen", "127.0.0.1:0", "--state", folder / "t.txt"});
//   client.ConnectNetwork("127.0.0.1", emulator.Port());
class EmulatorProcess {
 public:
  explicit EmulatorProcess(const std::vector<std::string>& arguments,
                           std::chrono::milliseconds startTimeout = std::chrono::seconds(20))
      : EmulatorProcess(BinaryPath(), arguments, startTimeout) {}
  // Another program that announces itself the same way on its first line (a
  // bridge standing for a terminal).
  EmulatorProcess(const std::string& binary, const std::vector<std::string>& arguments,
                  std::chrono::milliseconds startTimeout = std::chrono::seconds(20));
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  // The emulator binary this build made.
  static std::string BinaryPath();

  pid_t Pid() const { return pid_; }
  const std::string& FirstLine() const { return firstLine_; }
  // The port of a "listening on HOST:PORT" first line, else 0.
  int Port() const;
  // The link of a "serial on LINK" first line, else "".
  std::string Link() const;
  // The next line on the emulator's stdout ("" at its end or after timeout),
  // e.g. the second ready line when both --listen and --pty are given.
  std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // Returns once the emulator is done with every earlier TCP connection, and
  // so has written their changes to its state file: it answers a hello on a
  // fresh connection only after it closed the ones before. Throws
  // std::runtime_error when it does not answer.
  void AwaitEarlierConnections();

  // Stops the emulator (idempotent) and returns its wait status. The lines it
  // wrote until then stay readable through ReadLine. An emulator that prints
  // a line per punched record blocks once its pipe (64 KiB) is full: a test
  // running it long must read the lines as they come.
  int Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  int status_ = 0;
  std::string pending_;
  std::string firstLine_;
};

}  // namespace miravel::test
