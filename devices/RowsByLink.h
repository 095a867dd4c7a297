#pragma once

#include <functional>
#include <vector>

#include "core/DeviceSettings.h"
#include "terminal/DeviceConnection.h"
#include "terminal/LinkGroups.h"

namespace miravel {

class DeviceCommands;
class DeviceCommandSink;

// How many links the settings commands serve at once: a command on a
// terminal is a few short calls, so a thread per link costs little, and the
// link that does not answer costs its time-out once, not once per row.
inline constexpr int kDeviceLinksAtOnce = 64;

// One row's command, given commands of its own on a client of its own.
using RowCommand = std::function<void(DeviceCommands& commands, int device)>;

// Runs command for each of devices (numbered from 1, in row order) over rows:
// rows on different links (LinkOf under rules) at the same time, rows that
// share a link one after another in row order, each on a client made by
// makeClient. The clients are all made on the calling thread before any row
// starts, so a maker may read what only that thread may read.
//
// Whatever the rows' threads tell the sink reaches it on the calling thread,
// in the order they told it; the reset question is asked there too and its
// answer carried back. The call returns once every row has ended.
//
// A row whose numbers do not convert stops the run there, as a run one row
// after another would: the rows before it run, it runs (to show its start and
// throw), rows after it are not contacted. An error a row throws stops the
// rows after it that have not begun. The error of the first row that threw is
// thrown again once all have ended.
//
// Without makeClient, every row runs on the calling thread on *terminal, one
// after another in row order, telling the sink directly.
void RunRowsByLink(const DeviceList& rows, const std::vector<int>& devices,
                   const ConnectionRules& rules, const TerminalClientMaker& makeClient,
                   TerminalClient* terminal, DeviceCommandSink& sink, const RowCommand& command);

}  // namespace miravel
