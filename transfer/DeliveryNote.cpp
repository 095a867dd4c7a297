#include "transfer/DeliveryNote.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "core/AppError.h"
#include "core/SafeFile.h"
#include "terminal/DeviceConnection.h"

namespace miravel {
namespace {

constexpr const char* kHeader = "miravel teslim notu 1";

// The note is one line per entry; a control character in a typed address
// must not break it into two.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

std::optional<RecordFileVersion> RecordFileVersion::Of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return RecordFileVersion{
      static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
      static_cast<std::uint64_t>(info.st_size),
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void RecordChecksum::Add(const TerminalRecord& record) {
  for (const int value : {record.enrollNumber, record.inOutState, record.year, record.month,
                          record.day, record.hour, record.minute}) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
      value_ ^= (bits >> shift) & 0xff;
      value_ *= 1099511628211ull;
    }
  }
}

std::string TerminalIdentity(const std::string& link, int machineNumber) {
  return link + " makine " + std::to_string(machineNumber);
}

DeliveryNote::DeliveryNote(const std::string& recordFilePath) : recordPath_(recordFilePath) {}

void DeliveryNote::Load() {
  path_ = FollowLinks(recordPath_) + ".teslim";
  blocks_.clear();
  std::string bytes;
  try {
    if (!ReadWholeFile(path_, bytes)) return;
  } catch (const AppError&) {
    return;
  }
  std::istringstream lines(bytes);
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return;
  while (std::getline(lines, line)) {
    RecordFileVersion version;
    DeliveredFront front;
    int used = 0;
    if (std::sscanf(line.c_str(), "surum %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNd64 "%n",
                    &version.device, &version.inode, &version.size, &version.modifiedNs,
                    &used) == 4 &&
        static_cast<std::size_t>(used) == line.size()) {
      blocks_.push_back({version, {}});
    } else if (!blocks_.empty() &&
               std::sscanf(line.c_str(), "%" SCNu64 " %16" SCNx64 " %n", &front.count,
                           &front.checksum, &used) == 2 &&
               used > 0 && static_cast<std::size_t>(used) < line.size()) {
      front.terminal = line.substr(static_cast<std::size_t>(used));
      blocks_.back().second.push_back(front);
    } else {
      blocks_.clear();  // not ours, or damaged: trust none of it
      return;
    }
  }
}

const DeliveryNote::Block* DeliveryNote::BlockOf(const RecordFileVersion& version) const {
  for (const Block& block : blocks_) {
    if (block.first == version) return &block;
  }
  return nullptr;
}

std::optional<DeliveredFront> DeliveryNote::FrontIn(const std::optional<RecordFileVersion>& version,
                                                    const std::string& terminal) const {
  const Block* block = version ? BlockOf(*version) : nullptr;
  if (block == nullptr) return std::nullopt;
  for (const DeliveredFront& front : block->second) {
    if (front.terminal == terminal) return front;
  }
  return std::nullopt;
}

void DeliveryNote::BeforeReplacement(const std::optional<RecordFileVersion>& current,
                                     const RecordFileVersion& next,
                                     const std::vector<std::string>& mergedTerminals,
                                     const std::vector<DeliveredFront>& delivered) {
  std::vector<Block> blocks;
  std::vector<DeliveredFront> nextFronts;
  if (const Block* held = current ? BlockOf(*current) : nullptr) {
    blocks.push_back(*held);
    for (const DeliveredFront& front : held->second) {
      if (!Contains(mergedTerminals, front.terminal)) nextFronts.push_back(front);
    }
  }
  for (const DeliveredFront& front : delivered) {
    if (front.count > 0) nextFronts.push_back(front);
  }
  blocks.push_back({next, nextFronts});
  blocks_ = std::move(blocks);
  Write();
}

void DeliveryNote::Replaced(const RecordFileVersion& next) {
  std::erase_if(blocks_, [&](const Block& block) { return !(block.first == next); });
}

void DeliveryNote::Forget(const std::vector<std::string>& terminals) {
  bool changed = false;
  for (Block& block : blocks_) {
    changed |= std::erase_if(block.second, [&](const DeliveredFront& front) {
                 return Contains(terminals, front.terminal);
               }) > 0;
  }
  if (changed) Write();
}

void DeliveryNote::Write() const {
  std::size_t entries = 0;
  std::string text = std::string(kHeader) + "\n";
  char buffer[160];
  for (const Block& block : blocks_) {
    const RecordFileVersion& v = block.first;
    std::snprintf(buffer, sizeof buffer, "surum %" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRId64 "\n",
                  v.device, v.inode, v.size, v.modifiedNs);
    text += buffer;
    for (const DeliveredFront& front : block.second) {
      std::snprintf(buffer, sizeof buffer, "%" PRIu64 " %016" PRIx64 " ", front.count,
                    front.checksum);
      text += buffer + OneLine(front.terminal) + "\n";
      ++entries;
    }
  }
  if (entries > 0) {
    WriteFileAtomically(path_, text);
  } else if (::unlink(path_.c_str()) == 0) {
    SyncParentFolder(path_);
  }
}

}  // namespace miravel
