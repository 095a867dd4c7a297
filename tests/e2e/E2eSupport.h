#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/WireProtocol.h"

namespace miravel::e2e {

// The programs this build made.
std::string AktarPath();
std::string PersonelPath();
std::string CihazPath();

// One run of a program with its stdout and stderr caught in files, so that a
// chatty program never blocks on a full pipe.
class ProgramRun {
 public:
  // Whether the run is meant to be killed. Under the sanitizers such a run
  // skips the leak check at its exit: a SIGKILL that lands in that check
  // kills the check's tracer mid-sentence, and its report of the vanished
  // threads (or an empty report file) would fail a run that found nothing.
  enum class Ending { ByItself, Killed };
  // Starts path with the arguments; the output files go into outputFolder.
  ProgramRun(const std::string& path, const std::vector<std::string>& arguments,
             const std::string& outputFolder, Ending ending = Ending::ByItself);
  // Kills the program when it is still running, so no test leaves one behind.
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  pid_t Pid() const { return pid_; }
  // Waits for the end, SIGKILL when the time-out comes first; returns the wait
  // status, which tells whether the program ended by itself.
  int Wait(std::chrono::steady_clock::duration timeout = std::chrono::seconds(60));
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  // Whether the program has ended (reaps it then).
  bool Ended();
  // SIGKILL unless already reaped, then reap; returns the wait status.
  int Kill();

  pid_t pid_ = -1;
  int status_ = 0;
  std::string stdoutPath_;
  std::string stderrPath_;
};

// A program run to its end.
struct ProgramResult {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};
using AktarResult = ProgramResult;
// path --folder folder [extra...], its output files in folder.
ProgramResult RunInFolder(const std::string& path, const std::string& folder,
                          const std::vector<std::string>& extra);
// miravel-aktar --folder folder [extra...].
AktarResult RunAktar(const std::string& folder, const std::vector<std::string>& extra = {});

// A port on 127.0.0.1 that refuses connections: bound, so nobody else takes
// it during the test, but never listening.
class DeadPort {
 public:
  DeadPort();
  ~DeadPort();
  DeadPort(const DeadPort&) = delete;
  DeadPort& operator=(const DeadPort&) = delete;
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Attendance data with known content: records in time order between
// 2026-01-05 and 2026-06-26, on working hours, states 0..5.
std::vector<wire::LogRecord> MakeLog(int count, std::uint32_t seed);
// Record-file lines in time order over the same months, in the layout the
// program writes.
std::vector<std::string> MakeRecordLines(int count, std::uint32_t seed);

// The line the record file must get for a record of a "Standart" terminal, or
// for a terminal whose mode fixes the in/out value.
std::string ExpectedLine(const wire::LogRecord& record);
std::string ExpectedLine(const wire::LogRecord& record, int fixedInOut);

// Lines joined with CR LF after each, as the record file stores them.
std::string JoinLines(const std::vector<std::string>& lines);
// The lines of a record file (CR LF ends removed). Sets wellFormed to false
// when the file does not end with CR LF or a line does not have the record
// layout with a valid date and time.
std::vector<std::string> SplitRecordFile(std::string_view bytes, bool& wellFormed);
// Whether the lines are in time order.
bool InTimeOrder(const std::vector<std::string>& lines);

// The emulator's state file: a terminal with machine number 1 and this log; the
// identity and capacity of the terminal the file held stay.
void WriteStateFile(const std::string& path, const std::vector<wire::LogRecord>& log);
std::vector<wire::LogRecord> ReadStateLog(const std::string& path);

// One row of cihazlar.ini.
struct TerminalRow {
  std::string name;
  std::string connection = "Ethernet";
  int port = 0;  // ipport for Ethernet
  std::string address = "127.0.0.1";
  std::string comPort;  // portno for Comm Port
  std::string inOut = "Standart";
};
TerminalRow EthernetRow(const std::string& name, int port);
TerminalRow SerialRow(const std::string& name, const std::string& comPort,
                      const std::string& inOut);
// Writes cihazlar.ini into folder as the program stores it (Windows-1254,
// CR LF): the record file, the delete option, the rows, and the serial links
// (com1=link...) when given.
void WriteSettings(const std::string& folder, const std::string& recordFile, bool clearLog,
                   const std::vector<TerminalRow>& rows,
                   const std::vector<std::string>& serialLinks = {});

// The calls a preloaded tests/support/DurabilityShim recorded, in order:
// what is "write", "fsync", "rename" or "clear"; first is the path (the source
// of a rename), second the target of a rename.
struct DurabilityCall {
  std::string what, first, second;
};
std::vector<DurabilityCall> ReadDurabilityCalls(const std::string& logPath);
// The index of the first call after `after` of this kind that matches, or -1.
int FindCall(const std::vector<DurabilityCall>& calls, int after, const std::string& what,
             const std::function<bool(const DurabilityCall&)>& matches);
// Whether the last replacement of target (an absolute path) was made the safe
// way: a scratch file in its folder written, then forced, then renamed over
// it, and then the folder forced.
testing::AssertionResult ReplacedSafely(const std::vector<DurabilityCall>& calls,
                                        const std::string& target);

// Files of the folder whose names start with prefix, such as the scratch
// copies ".parmakizi.ini.XXXXXX" a killed replacement leaves behind.
int CountFiles(const std::string& folder, const std::string& prefix);

// When to kill a run: `delay` after its start, or, with a watched prefix,
// `delay` after a file whose name starts with it is created in the folder
// (the scratch copy of a file being replaced), so that kills can be aimed at
// the replacement itself.
struct KillMoment {
  std::chrono::microseconds delay{};
  std::string watchedFolder;
  std::string createdPrefix;  // "" = count from the start
};
// Runs the program (output files in outputFolder) and SIGKILLs it at the
// moment unless it ended by itself first; a watched file that never appears
// lets the run end by itself. Returns the wait status.
int RunUntilKilled(const std::string& path, const std::vector<std::string>& arguments,
                   const std::string& outputFolder, const KillMoment& moment,
                   std::string* stderrText = nullptr);

}  // namespace miravel::e2e
