#pragma once

#include "core/Clock.h"

namespace miravel::test {

// A clock that shows what the test set.
class TestClock : public Clock {
 public:
  explicit TestClock(LocalDateTime now = {2026, 12, 7, 9, 30, 15}) : now_(now) {}
  LocalDateTime Now() const override { return now_; }
  void Set(const LocalDateTime& now) { now_ = now; }

 private:
  LocalDateTime now_;
};

}  // namespace miravel::test
