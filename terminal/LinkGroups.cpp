#include "terminal/LinkGroups.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "core/SafeFile.h"
#include "core/Utf8.h"
#include "terminal/DeviceConnection.h"

namespace miravel {

namespace {

// The link also names a terminal in files of one line per entry: a control
// character typed into an address must not split that line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

// The address as the connect reads it, written in one way.
std::string NumericAddress(const std::string& typed) {
  const std::string host(TrimBlanks(typed));
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return host;
  char text[INET6_ADDRSTRLEN] = {};
  const void* address =
      found->ai_family == AF_INET
          ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr)
          : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(found->ai_addr)->sin6_addr);
  const bool ok = ::inet_ntop(found->ai_family, address, text, sizeof text) != nullptr;
  ::freeaddrinfo(found);
  return ok ? std::string(text) : host;
}

}  // namespace

std::string LinkOf(const ConnectionTarget& target,
                   const std::function<std::string(int comPort)>& serialDeviceOf) {
  if (target.kind == ConnectionKind::kSerial) {
    const std::string device = serialDeviceOf ? serialDeviceOf(target.comPort) : std::string();
    if (device.empty()) return "seri com" + std::to_string(target.comPort);
    return OneLine("seri " + FollowLinks(device));
  }
  return OneLine("ag " + NumericAddress(target.ipAddress) + ":" + std::to_string(target.ipPort));
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
