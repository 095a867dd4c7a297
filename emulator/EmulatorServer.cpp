#include "emulator/EmulatorServer.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/AppError.h"

namespace miravel::emulator {
namespace {

constexpr int kPollSliceMs = 100;
// A peer that takes no byte of a reply for this long is given up.
constexpr auto kStallLimit = std::chrono::seconds(10);
// A half-received request followed by this much silence on the serial line is
// noise (a header whose length promises bytes that never come): step past its
// first byte and look for a frame start in what followed it.
constexpr auto kSerialResync = std::chrono::seconds(1);

void Warn(const std::string& text) {
  std::fprintf(stderr, "emulator: %s\n", text.c_str());
}

void SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size()) {
    throw AppError("--listen HOST:PORT bekler, verilen: " + text);
  }
  host = text.substr(0, colon);
  port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
}

}  // namespace

EmulatorServer::EmulatorServer(RequestHandler& handler, ServerOptions options, PunchClock* punches)
    : handler_(handler), options_(std::move(options)), punches_(punches) {}

int EmulatorServer::WaitMs() const {
  if (!punches_) return kPollSliceMs;
  const auto untilDue = punches_->UntilDue(std::chrono::steady_clock::now()).count();
  return static_cast<int>(std::min<std::int64_t>(kPollSliceMs, untilDue));
}

void EmulatorServer::PunchWhenDue() {
  if (punches_) punches_->Tick(std::chrono::steady_clock::now());
}

EmulatorServer::~EmulatorServer() {
  CloseClient();
  if (listenFd_ >= 0) ::close(listenFd_);
  if (ptyMaster_ >= 0) ::close(ptyMaster_);
  if (ptySlave_ >= 0) ::close(ptySlave_);
  if (linkCreated_) ::unlink(options_.ptyLink.c_str());
}

std::vector<std::string> EmulatorServer::Start() {
  std::vector<std::string> ready;
  if (!options_.listen.empty()) {
    OpenListener();
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &size);
    char host[NI_MAXHOST];
    char port[NI_MAXSERV];
    ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), size, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    const std::string hostText = bound.ss_family == AF_INET6 ? "[" + std::string(host) + "]" : host;
    ready.push_back("listening on " + hostText + ":" + port);
  }
  if (!options_.ptyLink.empty()) {
    OpenPty();
    ready.push_back("serial on " + options_.ptyLink);
  }
  return ready;
}

void EmulatorServer::OpenListener() {
  std::string host;
  std::string port;
  SplitHostPort(options_.listen, host, port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
    throw AppError("Adres anlaşılamadı: " + options_.listen);
  }
  listenFd_ = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  const bool ok =
      listenFd_ >= 0 && ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
      ::bind(listenFd_, found->ai_addr, found->ai_addrlen) == 0 && ::listen(listenFd_, 8) == 0;
  const int error = errno;
  ::freeaddrinfo(found);
  if (!ok) throw FileError("Dinlenemiyor:", options_.listen, error);
}

void EmulatorServer::OpenPty() {
  ptyMaster_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ptyMaster_ < 0 || ::grantpt(ptyMaster_) != 0 || ::unlockpt(ptyMaster_) != 0) {
    throw AppError("Sözde uçbirim açılamadı");
  }
  const char* slaveName = ::ptsname(ptyMaster_);
  if (slaveName == nullptr) throw AppError("Sözde uçbirim açılamadı");
  const std::string slavePath = slaveName;
  // Holding the other end open keeps the line alive between program
  // sessions, and raw mode stops the line from echoing our replies back.
  ptySlave_ = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (ptySlave_ < 0 || ::tcgetattr(ptySlave_, &settings) != 0) {
    throw AppError("Sözde uçbirim açılamadı: " + slavePath);
  }
  ::cfmakeraw(&settings);
  ::tcsetattr(ptySlave_, TCSANOW, &settings);
  ::fcntl(ptyMaster_, F_SETFL, ::fcntl(ptyMaster_, F_GETFL) | O_NONBLOCK);

  // Replace a stale link from an earlier run, but never a real file.
  struct stat existing {};
  if (::lstat(options_.ptyLink.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      throw AppError(options_.ptyLink + " zaten var ve bir bağlantı değil");
    }
    ::unlink(options_.ptyLink.c_str());
  }
  if (::symlink(slavePath.c_str(), options_.ptyLink.c_str()) != 0) {
    throw FileError("Bağlantı oluşturulamadı:", options_.ptyLink, errno);
  }
  linkCreated_ = true;
}

void EmulatorServer::CloseClient() {
  if (clientFd_ < 0) return;
  ::close(clientFd_);
  clientFd_ = -1;
  clientFrames_.Clear();
  SaveState(true);
}

void EmulatorServer::SaveState(bool now) {
  EmulatedTerminal& terminal = handler_.Terminal();
  try {
    if (now) {
      terminal.SaveNow();
    } else {
      terminal.SaveWhenDue(std::chrono::steady_clock::now());
    }
  } catch (const AppError& error) {
    Warn(std::string("durum dosyası yazılamadı: ") + error.what());
  }
}

void EmulatorServer::Run(const std::atomic<bool>& stop) {
  lastSerialByte_ = std::chrono::steady_clock::now();
  if (punches_) punches_->Start(lastSerialByte_);
  while (!stop) {
    PunchWhenDue();
    SaveState(false);
    pollfd fds[2];
    int count = 0;
    int clientSlot = -1;
    int listenSlot = -1;
    int serialSlot = -1;
    if (clientFd_ >= 0) {
      clientSlot = count;
      fds[count++] = {clientFd_, POLLIN, 0};
    } else if (listenFd_ >= 0) {
      listenSlot = count;
      fds[count++] = {listenFd_, POLLIN, 0};
    }
    if (ptyMaster_ >= 0) {
      serialSlot = count;
      fds[count++] = {ptyMaster_, POLLIN, 0};
    }
    const int ready = ::poll(fds, static_cast<nfds_t>(count), WaitMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw AppError("poll başarısız");
    }
    if (listenSlot >= 0 && fds[listenSlot].revents != 0) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0 && options_.refuse) {
        ::close(fd);
      } else if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        clientFd_ = fd;
      }
    }
    if (clientSlot >= 0 && fds[clientSlot].revents != 0 && !ServeClient(stop)) CloseClient();
    if (serialSlot >= 0 && fds[serialSlot].revents != 0) ServeSerial(stop);
    if (serialFrames_.Buffered() > 0 &&
        std::chrono::steady_clock::now() - lastSerialByte_ > kSerialResync) {
      serialFrames_.SkipByte();
      AnswerSerialFrames(stop);
    }
  }
  SaveState(true);
}

bool EmulatorServer::ServeClient(const std::atomic<bool>& stop) {
  char buffer[65536];
  const ssize_t got = ::read(clientFd_, buffer, sizeof buffer);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0) return false;
  clientFrames_.Feed(buffer, static_cast<std::size_t>(got));
  try {
    wire::Frame frame;
    while (clientFrames_.Next(frame)) {
      if (frame.kind != wire::FrameKind::kRequest) return false;
      const Response response = handler_.Handle(frame.payload, false);
      if (!Reply(clientFd_, response, stop) || response.closeAfter) return false;
    }
  } catch (const AppError& error) {
    Warn(std::string("bağlantı kapatıldı: ") + error.what());
    return false;
  }
  return true;
}

void EmulatorServer::ServeSerial(const std::atomic<bool>& stop) {
  char buffer[65536];
  const ssize_t got = ::read(ptyMaster_, buffer, sizeof buffer);
  if (got <= 0) {
    // Nothing to read after all, or the line failed: wait instead of spinning.
    std::this_thread::sleep_for(std::chrono::milliseconds(WaitMs()));
    return;
  }
  lastSerialByte_ = std::chrono::steady_clock::now();
  serialFrames_.Feed(buffer, static_cast<std::size_t>(got));
  AnswerSerialFrames(stop);
}

void EmulatorServer::AnswerSerialFrames(const std::atomic<bool>& stop) {
  for (;;) {
    wire::Frame frame;
    try {
      if (!serialFrames_.Next(frame)) return;
    } catch (const AppError&) {
      serialFrames_.SkipByte();  // noise on the line: look for the next frame start
      continue;
    }
    if (frame.kind != wire::FrameKind::kRequest || options_.refuse) continue;
    try {
      const Response response = handler_.Handle(frame.payload, true);
      if (!response.bytes.empty()) Reply(ptyMaster_, response, stop);
    } catch (const AppError& error) {
      Warn(std::string("istek yanıtsız kaldı: ") + error.what());
    }
  }
}

bool EmulatorServer::Reply(int fd, const Response& response, const std::atomic<bool>& stop) {
  const auto delayEnd = std::chrono::steady_clock::now() + options_.delay;
  while (!stop) {
    PunchWhenDue();
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(delayEnd - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(WaitMs())));
  }
  const bool socket = fd == clientFd_;
  const auto began = std::chrono::steady_clock::now();
  std::size_t sentSoFar = 0;
  // How many more bytes the throughput limit lets through now.
  const auto allowance = [&](std::size_t wanted) -> std::size_t {
    if (options_.bytesPerSecond == 0) return wanted;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const auto allowed = static_cast<std::size_t>(elapsed * options_.bytesPerSecond);
    return allowed > sentSoFar ? std::min(wanted, allowed - sentSoFar) : 0;
  };
  const auto sendAll = [&](std::string_view rest) {
    auto lastProgress = std::chrono::steady_clock::now();
    while (!rest.empty()) {
      if (stop || std::chrono::steady_clock::now() - lastProgress > kStallLimit) return false;
      PunchWhenDue();
      const std::size_t now = allowance(rest.size());
      if (now == 0) {
        // Held back by the line's speed, not by the peer.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(WaitMs(), 10)));
        lastProgress = std::chrono::steady_clock::now();
        continue;
      }
      pollfd entry{fd, POLLOUT, 0};
      if (::poll(&entry, 1, WaitMs()) <= 0) continue;
      const ssize_t sent =
          socket ? ::send(fd, rest.data(), now, MSG_NOSIGNAL) : ::write(fd, rest.data(), now);
      if (sent < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return false;
      }
      rest.remove_prefix(static_cast<std::size_t>(sent));
      sentSoFar += static_cast<std::size_t>(sent);
      lastProgress = std::chrono::steady_clock::now();
    }
    return true;
  };
  if (!sendAll(response.bytes)) return false;
  // A reply that never ends keeps the line busy, a little at a time, until
  // the program gives up and leaves.
  while (!response.repeat.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!sendAll(response.repeat)) return false;
  }
  return true;
}

}  // namespace miravel::emulator
