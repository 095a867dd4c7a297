#pragma once

#include <chrono>

#include "core/StopRequest.h"
#include "terminal/ByteStream.h"

namespace miravel {

// How long the next poll of a wait that ends at deadline may last: what is
// left of it, or while a stop (null: none) is watched at most 50 ms, so that a
// "Durdur" is seen within that rather than after the whole time-out.
int NextPollMs(std::chrono::steady_clock::time_point deadline, const StopRequest* stop);

// A ByteStream over an open socket or serial device. Every wait is bounded by
// the quiet time-out: a read gives up when no byte arrived for that long (not
// after a total, so a slow line still brings a long log), a write when the
// peer took no byte for that long. Owns the descriptor.
class FdStream : public ByteStream {
 public:
  enum class Kind { kSocket, kSerial };

  FdStream(int fd, Kind kind, std::chrono::milliseconds quietTimeout);
  ~FdStream() override;
  FdStream(const FdStream&) = delete;
  FdStream& operator=(const FdStream&) = delete;

  std::size_t ReadSome(char* buffer, std::size_t size) override;
  void WriteAll(std::string_view bytes) override;

  void SetQuietTimeout(std::chrono::milliseconds timeout) { quietTimeout_ = timeout; }
  // Every later wait ends with StoppedOnRequest once stop (null: none) is asked.
  void SetStopRequest(const StopRequest* stop) { stop_ = stop; }
  int Descriptor() const { return fd_; }

 private:
  // Waits until fd_ is ready for events; false on time-out.
  bool WaitFor(short events);

  int fd_;
  Kind kind_;
  std::chrono::milliseconds quietTimeout_;
  const StopRequest* stop_ = nullptr;
};

}  // namespace miravel
