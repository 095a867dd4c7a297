#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "emulator/PunchClock.h"
#include "emulator/RequestHandler.h"
#include "terminal/WireProtocol.h"

namespace miravel::emulator {

struct ServerOptions {
  std::string listen;                  // HOST:PORT, empty for none; port 0 picks a free port
  std::string ptyLink;                 // symbolic link to a new pseudo-terminal, empty for none
  std::chrono::milliseconds delay{0};  // before each reply
  bool refuse = false;                 // accept, then hang up at once
  // At most this many bytes of a reply per second (0: as fast as the link
  // goes), to stand for a slow serial line.
  std::size_t bytesPerSecond = 0;
};

// Serves the wire protocol over TCP (one connection at a time; the next waits
// in the backlog) and over a pseudo-terminal that stands for a serial line.
// With punches, it also keeps the punch clock going, in every wait of its own
// (for a request, before a delayed reply, while a reply is sent).
// It keeps the terminal's state file up to date: when a connection ends
// (before the next one is taken), when the terminal has been quiet for a
// moment, and when it stops.
class EmulatorServer {
 public:
  EmulatorServer(RequestHandler& handler, ServerOptions options, PunchClock* punches = nullptr);
  ~EmulatorServer();
  EmulatorServer(const EmulatorServer&) = delete;
  EmulatorServer& operator=(const EmulatorServer&) = delete;

  // Binds the socket and creates the pseudo-terminal. Returns the lines that
  // announce readiness: "listening on HOST:PORT" (the real port) and/or
  // "serial on LINK". Throws AppError when it cannot.
  std::vector<std::string> Start();
  // Serves until stop becomes true, then saves the state.
  void Run(const std::atomic<bool>& stop);

 private:
  void OpenListener();
  void OpenPty();
  void CloseClient();
  // Saves the terminal's state now, or only when it is due; a failure is
  // reported on stderr and tried again later.
  void SaveState(bool now);
  // Reads what is there and answers every whole request; false when the
  // connection is to be closed.
  bool ServeClient(const std::atomic<bool>& stop);
  void ServeSerial(const std::atomic<bool>& stop);
  void AnswerSerialFrames(const std::atomic<bool>& stop);
  // Waits for the delay, then sends; false when the peer is gone or stuck.
  bool Reply(int fd, const Response& response, const std::atomic<bool>& stop);
  // The longest a wait may last: one slice, less when a record is due sooner.
  int WaitMs() const;
  void PunchWhenDue();

  RequestHandler& handler_;
  ServerOptions options_;
  PunchClock* punches_;
  int listenFd_ = -1;
  int clientFd_ = -1;
  int ptyMaster_ = -1;
  int ptySlave_ = -1;
  bool linkCreated_ = false;
  wire::FrameDecoder clientFrames_;
  wire::FrameDecoder serialFrames_;
  std::chrono::steady_clock::time_point lastSerialByte_;
};

}  // namespace miravel::emulator
