#pragma once

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "personnel/StoreLock.h"

namespace miravel {

class StopRequest;
class TerminalClient;

// miravel-personel, the program that runs the personnel window's commands
// without a window, for an office that backs up its terminals' users and
// fingerprints every night or moves them onto a replacement terminal by
// script. Its verbs, as typed on its command line:
enum class PersonelVerb {
  kCopyPersonal,   // al
  kSendPersonal,   // gonder
  kCopyTemplates,  // parmakizi-al
  kSendTemplates,  // parmakizi-gonder
  kListTerminal,   // liste
  kListStore,      // pc-liste
};

struct PersonelOptions {
  std::string programFolder;  // the office folder; ends in '/' once known
  int deviceRow = 0;          // --cihaz, 1-based; 0 when not given
  PersonelVerb verb = PersonelVerb::kListStore;
  std::vector<std::string> perNos;  // --per-no as Per.No texts; empty: everyone
  bool help = false;
  // How long a command waits for another one writing the store.
  std::chrono::milliseconds storeWaitLimit = kStoreLockWaitLimit;
};

// Exit statuses.
inline constexpr int kPersonelDone = 0;
inline constexpr int kPersonelUnreachable = 1;
inline constexpr int kPersonelStopped = 2;
// Stopped by SIGINT or SIGTERM (Ctrl+C, a service stop): what was copied
// until then is written, the rest is not.
inline constexpr int kPersonelInterrupted = 3;

// Reads the command line; throws AppError with a Turkish message on bad use.
PersonelOptions ParsePersonelArguments(const std::vector<std::string>& arguments);
std::string PersonelUsage();

// Runs the command on the office folder's store and the terminal of the
// device row: what it did on out, errors and the terminal's refusals on err,
// a progress bar on err when it is a terminal. A device row that does not
// exist prints the usage. stop, when given, ends the command at its next
// person (kPersonelInterrupted). Returns the exit status.
int RunPersonel(const PersonelOptions& options, TerminalClient& terminal, std::ostream& out,
                std::ostream& err, bool progressBar, const StopRequest* stop = nullptr);

}  // namespace miravel
