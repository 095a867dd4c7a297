#include "terminal/LinkGroups.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "terminal/DeviceConnection.h"

namespace miravel {

std::string LinkOf(const ConnectionTarget& target) {
  if (target.kind == ConnectionKind::kSerial) return "seri com" + std::to_string(target.comPort);
  // The link also names a terminal in files of one line per entry: a control
  // character typed into an address must not split that line.
  std::string link = "ag " + target.ipAddress + ":" + std::to_string(target.ipPort);
  for (char& c : link) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return link;
}

void ForEachByLink(const std::vector<std::string>& links, int atOnce,
                   const std::function<void(std::size_t)>& work) {
  std::vector<std::vector<std::size_t>> tasks;
  std::map<std::string, std::size_t> taskOfLink;
  for (std::size_t i = 0; i < links.size(); ++i) {
    const auto [it, added] = taskOfLink.emplace(links[i], tasks.size());
    if (added) tasks.emplace_back();
    tasks[it->second].push_back(i);
  }
  std::atomic<std::size_t> next{0};
  const auto worker = [&] {
    for (std::size_t task = next++; task < tasks.size(); task = next++) {
      for (const std::size_t item : tasks[task]) work(item);
    }
  };
  std::vector<std::thread> threads;
  const std::size_t count = std::min(static_cast<std::size_t>(std::max(1, atOnce)), tasks.size());
  for (std::size_t i = 1; i < count; ++i) threads.emplace_back(worker);
  worker();
  for (std::thread& thread : threads) thread.join();
}

}  // namespace miravel
