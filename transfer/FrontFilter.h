#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "transfer/DeliveryNote.h"

namespace miravel {

// Walks a terminal's log record by record and passes on the records the
// record file does not hold yet: all of them, or those behind a front an
// earlier run already merged. The front's records are held back until the
// whole front has come and matched its checksum; a log that turns out not to
// start with it (cleared by another program, a terminal that was reset) has
// every record passed on. In doubt, a record is merged, never skipped.
class FrontFilter {
 public:
  using Merge = std::function<void(const TerminalRecord&)>;
  explicit FrontFilter(Merge merge) : merge_(std::move(merge)) {}

  // The front the record file holds; call before the first Take.
  void Expect(const std::optional<DeliveredFront>& front);
  void Take(const TerminalRecord& record);
  // The log has ended.
  void End();

  std::uint64_t Walked() const { return walked_; }
  // Records of the front found in the log and not passed on.
  std::uint64_t Skipped() const { return skipped_; }
  // Over every record walked.
  std::uint64_t Checksum() const { return checksum_.Value(); }

 private:
  void Release();

  Merge merge_;
  std::optional<DeliveredFront> front_;
  std::vector<TerminalRecord> held_;
  RecordChecksum checksum_;
  std::uint64_t walked_ = 0;
  std::uint64_t skipped_ = 0;
};

}  // namespace miravel
