#include "terminal/LinkOpening.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/Utf8.h"
#include "terminal/FdStream.h"

namespace miravel {
namespace {

bool BaudConstant(int baudRate, speed_t& speed) {
  static constexpr std::pair<int, speed_t> kRates[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& [rate, constant] : kRates) {
    if (rate == baudRate) {
      speed = constant;
      return true;
    }
  }
  return false;
}

}  // namespace

int ConnectTcp(const std::string& ipAddress, int port, std::chrono::milliseconds timeout,
               const StopRequest* stop) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // Numeric only: a name lookup could block the window far beyond the time-out.
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string host(TrimBlanks(ipAddress));
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  bool ok = fd >= 0;
  if (ok && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    ok = errno == EINPROGRESS;
    if (ok) {
      const auto deadline = std::chrono::steady_clock::now() + timeout;
      pollfd entry{fd, POLLOUT, 0};
      int ready;
      for (;;) {
        if (stop != nullptr && stop->Requested()) {
          ::freeaddrinfo(found);
          ::close(fd);
          throw StoppedOnRequest();
        }
        ready = ::poll(&entry, 1, NextPollMs(deadline, stop));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0 && std::chrono::steady_clock::now() < deadline) continue;
        break;
      }
      int error = 0;
      socklen_t size = sizeof error;
      ok = ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
  }
  ::freeaddrinfo(found);
  if (!ok) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  // Requests are small and each waits for its reply: do not let Nagle hold them.
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

int OpenSerialLine(const std::string& path, int baudRate) {
  speed_t speed;
  if (path.empty() || !BaudConstant(baudRate, speed)) return -1;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) {  // not a serial device
    ::close(fd);
    return -1;
  }
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~CRTSCTS;
  ::cfsetispeed(&settings, speed);
  ::cfsetospeed(&settings, speed);
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
    ::close(fd);
    return -1;
  }
  // Bytes left on the line from an earlier session would be read as our reply.
  ::tcflush(fd, TCIOFLUSH);
  return fd;
}

}  // namespace miravel
