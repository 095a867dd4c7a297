#include "terminal/FdStream.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/AppError.h"
#include "terminal/WireProtocol.h"

namespace miravel {

int NextPollMs(std::chrono::steady_clock::time_point deadline, const StopRequest* stop) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  const long long ms = std::max<long long>(left.count(), 0);
  return static_cast<int>(stop == nullptr ? ms : std::min<long long>(ms, 50));
}

FdStream::FdStream(int fd, Kind kind, std::chrono::milliseconds quietTimeout)
    : fd_(fd), kind_(kind), quietTimeout_(quietTimeout) {}

FdStream::~FdStream() {
  if (fd_ >= 0) ::close(fd_);
}

bool FdStream::WaitFor(short events) {
  const auto deadline = std::chrono::steady_clock::now() + quietTimeout_;
  for (;;) {
    ThrowIfStopRequested(stop_);
    pollfd entry{fd_, events, 0};
    const int ready = ::poll(&entry, 1, NextPollMs(deadline, stop_));
    if (ready > 0) return true;  // errors and hang-ups show up in the read or write
    if (ready == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      continue;
    }
    if (errno != EINTR) throw AppError(wire::kLinkLostMessage);
  }
}

std::size_t FdStream::ReadSome(char* buffer, std::size_t size) {
  for (;;) {
    if (!WaitFor(POLLIN)) throw AppError(wire::kNoAnswerMessage);
    const ssize_t got = ::read(fd_, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    throw AppError(wire::kLinkLostMessage);
  }
}

void FdStream::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!WaitFor(POLLOUT)) throw AppError(wire::kNoAnswerMessage);
    // A socket write must not raise SIGPIPE when the terminal has gone.
    const ssize_t sent = kind_ == Kind::kSocket
                             ? ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                             : ::write(fd_, bytes.data(), bytes.size());
    if (sent < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      throw AppError(wire::kLinkLostMessage);
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

}  // namespace miravel
