#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace miravel {

class TerminalClient;
struct ConnectionTarget;

// Makes a terminal client for one connection. Clients made for different
// rows are used at the same time, each by one thread.
using TerminalClientMaker = std::function<std::shared_ptr<TerminalClient>()>;

// The link a row reaches its terminal through: "ag ADDRESS:PORT" or
// "seri comN". Rows with the same link cannot be served at the same time: a
// terminal answers one connection at a time, and a serial line carries one
// exchange.
std::string LinkOf(const ConnectionTarget& target);

// Runs work(i) for every i below links.size(): items of different links at
// the same time (at most atOnce at once, the calling thread one of them),
// items of one link one after another in index order. A link's items are one
// task; tasks start in the order of their first item. work must not throw.
void ForEachByLink(const std::vector<std::string>& links, int atOnce,
                   const std::function<void(std::size_t)>& work);

}  // namespace miravel
