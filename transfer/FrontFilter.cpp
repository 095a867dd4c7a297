#include "transfer/FrontFilter.h"

namespace miravel {

void FrontFilter::Expect(const std::optional<DeliveredFront>& front) {
  if (front && front->count > 0) front_ = front;
}

void FrontFilter::Take(const TerminalRecord& record) {
  ++walked_;
  checksum_.Add(record);
  if (!front_) {
    merge_(record);
    return;
  }
  held_.push_back(record);
  if (walked_ < front_->count) return;
  if (checksum_.Value() == front_->checksum) {
    skipped_ = walked_;
    held_.clear();
    front_.reset();
  } else {
    Release();
  }
}

void FrontFilter::End() {
  if (front_) Release();
}

void FrontFilter::Release() {
  front_.reset();
  for (const TerminalRecord& record : held_) merge_(record);
  held_.clear();
}

}  // namespace miravel
