#include "terminal/BulkReadProgress.h"

#include <algorithm>

#include "terminal/TerminalClient.h"

namespace miravel {

void BulkReadMeter::Arrived(std::size_t received) {
  if (!observer_) return;
  // Without a count there is nothing to measure against until the end, but
  // the observer still hears of each chunk: a stop asked during a long read
  // from a terminal that gives no count is seen then, not after minutes.
  if (expected_ == 0) {
    observer_->BulkReadProgress(received, 0);
    return;
  }
  // Records punched between the count and the load make it longer than said.
  expected_ = std::max(expected_, received);
  const int percent = static_cast<int>(received * 100 / expected_);
  if (percent == toldPercent_) return;
  toldPercent_ = percent;
  toldReceived_ = received;
  observer_->BulkReadProgress(received, expected_);
}

void BulkReadMeter::Finished(std::size_t total) {
  if (!observer_) return;
  // However the count differed, the bar ends full: the load is complete.
  if (toldPercent_ == 100 && toldReceived_ == total && expected_ == total) return;
  expected_ = total;
  toldPercent_ = 100;
  toldReceived_ = total;
  observer_->BulkReadProgress(total, total);
}

BulkReadWatch::BulkReadWatch(TerminalClient& client, BulkReadObserver& observer)
    : client_(client), previous_(client.BulkReadObserverOrNull()) {
  client_.SetBulkReadObserver(&observer);
}

BulkReadWatch::~BulkReadWatch() {
  client_.SetBulkReadObserver(previous_);
}

}  // namespace miravel
