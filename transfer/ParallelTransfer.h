#pragma once

#include <functional>
#include <memory>

#include "terminal/LinkGroups.h"
#include "transfer/TransferRun.h"

namespace miravel {

// How many terminals miravel-aktar reads at once unless told otherwise.
inline constexpr int kDefaultParallelReads = 8;

// RunTransfer for miravel-aktar, with the same results (the record file byte
// for byte, the day's backups, each row's outcome, the stop and its error) in
// about the time of the slowest terminal rather than the sum of all:
// - terminals on different links (LinkOf) are read at the same time, at most
//   `parallel` at once; rows that share a link one after another, in row
//   order;
// - every row's numbers are checked before any terminal is contacted, so a
//   row whose numbers stop the run has no row after it contacted (a network
//   row whose machine number does not convert stops the run only when it
//   connects: the rows after it wait for its connection);
// - the record file is replaced once, holding the records of every terminal
//   read before the stop, if any; only then are their logs cleared.
// A terminal alone on its link keeps its connection until its log is cleared.
// On a shared link each connection is closed before the next row's opens, and
// the log is cleared through a new connection that reads it again and clears
// it only when it still starts with the records merged (otherwise the row
// counts as a refused clear, and the delivery note keeps its records from
// being merged twice).
//
// ShouldClearLog is asked once, before the first terminal. StatusChanged,
// ProgressChanged and Repaint come from the reading threads, one call at a
// time; the other calls come from the calling thread once the record file is
// replaced, row after row in row order.
void RunParallelTransfer(const TransferJob& job, const TerminalClientMaker& makeClient,
                         TransferSink& sink, int parallel);

}  // namespace miravel
