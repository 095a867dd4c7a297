#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "transfer/ParallelTransfer.h"

namespace miravel {

// miravel-aktar: the main window's transfer without a window, for offices that
// collect on a schedule.
struct AktarOptions {
  std::string programFolder;  // holds cihazlar.ini and yedekler/; ends in '/'
  std::vector<int> onlyRows;  // 1-based rows to tick; empty = every row
  // Terminals read at once; 1 reads them one after another.
  int parallel = kDefaultParallelReads;
  // Every record the terminals hold again, whatever the ledger says.
  bool deliverAgain = false;
  bool help = false;
  // Where a relative record-file path is taken (OfficeFolder::RecordFileBase).
  std::string recordFileBase;
};

// Exit statuses.
inline constexpr int kAktarAllTransferred = 0;
inline constexpr int kAktarSomeUnreachable = 1;
inline constexpr int kAktarStopped = 2;
// Stopped on request (SIGINT, SIGTERM) at a safe point.
inline constexpr int kAktarInterrupted = 3;

// Reads the command line; throws AppError with a Turkish message on bad use.
AktarOptions ParseAktarArguments(const std::vector<std::string>& arguments,
                                 const std::string& defaultFolder);
std::string AktarUsage();

// Runs the transfer over the rows of cihazlar.ini in the program folder:
// one line per row on out, a progress bar on err when it is a terminal, the
// error that stopped the run on err. stop (null: never) ends the run at its
// next safe point. Each terminal's clock is compared with pcClock. Returns
// the exit status.
int RunAktar(const AktarOptions& options, const TerminalClientMaker& makeClient, std::ostream& out,
             std::ostream& err, bool progressBar, const StopRequest* stop = nullptr,
             const Clock& pcClock = SystemClock());

}  // namespace miravel
