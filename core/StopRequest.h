#pragma once

#include <atomic>

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

}  // namespace miravel
