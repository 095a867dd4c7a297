#pragma once

#include <atomic>
#include <exception>

namespace miravel {

// The user's wish (a "Durdur" click, a window closed, Ctrl+C or a service
// stop) that a long command end at its next safe point. Set from any thread
// or a signal handler, read by the command between its steps: a command
// never stops halfway through a write, only where what it has done so far is
// whole on disk.
class StopRequest {
 public:
  void Request() noexcept { requested_.store(true, std::memory_order_relaxed); }
  bool Requested() const noexcept { return requested_.load(std::memory_order_relaxed); }
  void Clear() noexcept { requested_.store(false, std::memory_order_relaxed); }

 private:
  static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
  std::atomic<bool> requested_{false};
};

// Thrown at a safe point that saw the stop request, to leave the command
// there; whoever started the command tells the user it was stopped.
class StoppedOnRequest : public std::exception {
 public:
  const char* what() const noexcept override { return "İşlem durduruldu."; }
};

// Throws StoppedOnRequest when stop (which may be null: never) is requested.
inline void ThrowIfStopRequested(const StopRequest* stop) {
  if (stop != nullptr && stop->Requested()) throw StoppedOnRequest();
}

}  // namespace miravel
