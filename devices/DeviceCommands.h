#pragma once

#include <optional>
#include <string>

#include "core/Clock.h"
#include "core/DeviceSettings.h"
#include "core/StopRequest.h"
#include "terminal/LinkGroups.h"

namespace miravel {

class TerminalClient;

// Where the settings commands report what the user sees. Devices are
// numbered from 1, as the transfer's sink numbers them.
class DeviceCommandSink {
 public:
  virtual ~DeviceCommandSink() = default;
  virtual void StatusChanged(int device, const std::string& text) = 0;
  // Paints the grid now: the commands do not return to the event loop, and a
  // connect that blocks must not hide the status written before it.
  virtual void Repaint() = 0;
  // Colours the rows again (StripeDeviceRows).
  virtual void StripeRows() = 0;
  // The reset question; true only for "Evet". The window is shown whole
  // again once the question has gone.
  virtual bool ConfirmReset() = 0;
};

// A terminal's clock as a command read it, beside this computer's clock at
// that moment.
struct ClockReading {
  std::optional<LocalDateTime> terminal;  // none when the terminal did not tell it
  LocalDateTime pc;

  // The clock field's text: empty when the terminal did not tell its clock.
  std::string Text() const;
  // How far the terminal's clock is ahead of this computer's, in seconds.
  std::optional<long long> Difference() const;
};

// What "Tarihi Kaydet" found and left.
struct ClockSetting {
  std::optional<ClockReading> before;  // read first only when a least difference was given
  bool sent = false;                   // the clock was sent to the terminal
  bool refused = false;                // the terminal said no to it
  ClockReading after;                  // read back
};

// The settings window's commands on its terminal, without the window. Each
// works on `rows`, the device grid as it stands (unsaved edits included), and
// on the device selected, numbered from 1; a device that does not exist is
// left alone. Each
// connects for itself and disconnects however it ends. A number that is not
// a whole number throws AppError before anything is sent to the terminal.
class DeviceCommands {
 public:
  // With makeClient, the test of every connection tests the links at once,
  // each on a client of its own; without it, one row after another on terminal.
  DeviceCommands(TerminalClient& terminal, DeviceCommandSink& sink,
                 TerminalClientMaker makeClient = {});

  // Connects the device's terminal and leaves the connection open; on
  // refusal the device's status says so. The grid is painted either way.
  bool ConnectSelectedDevice(const DeviceList& rows, int device);
  bool DeviceConnected() const { return deviceConnected_; }

  // "Bağlantı Test" and "Tüm  CihazlarıTest et": connect and disconnect at
  // once. A type that is neither "Ethernet" nor "Comm Port" is not tried and
  // keeps "Kontrol Ediliyor". The test of all empties every status first,
  // then shows "Kontrol Ediliyor" on each row as its test begins: rows on
  // different links at the same time (see RunRowsByLink), so a terminal that
  // does not answer holds up only the rows on its own link. Once stop is
  // requested, the tests under way end (answered or timed out) and every row
  // not yet begun shows "Test Edilmedi".
  void TestConnection(const DeviceList& rows, int device);
  void TestAllConnections(const DeviceList& rows, const StopRequest* stop = nullptr);

  // "Tarihi Oku": the terminal's clock; nothing when no connection was made
  // (the field keeps its text).
  std::optional<ClockReading> ReadClock(const DeviceList& rows, int device, const Clock& pcClock);
  // "Tarihi Kaydet": sets the terminal's clock from pcClock, then reads it
  // back. With leastDifference, reads the clock first and sends it only when
  // it is off by at least that many seconds either way (or did not tell).
  std::optional<ClockSetting> SetClock(const DeviceList& rows, int device, const Clock& pcClock,
                                       std::optional<long long> leastDifference = std::nullopt);
  // "Yetkilileri Sil".
  void ClearAdministrators(const DeviceList& rows, int device);
  // "Cihazı Sıfırla": erases the terminal's user data once the user said "Evet".
  void Reset(const DeviceList& rows, int device);
  // The reset in its two halves, for a window that asks on its own thread and
  // talks to the terminal on another: AskReset shows the start and asks (true
  // for "Evet"; otherwise the status is emptied and nothing is sent), and
  // EraseAfterYes connects and erases.
  bool AskReset(const DeviceList& rows, int device);
  void EraseAfterYes(const DeviceList& rows, int device);

 private:
  class Session;

  // Every status emptied, the device's start text shown, the grid painted and striped.
  void Start(const DeviceList& rows, int device, const char* text);
  void TestDevice(const DeviceList& rows, int device);
  ClockReading ReadConnectedClock(const Clock& pcClock);

  TerminalClient& terminal_;
  DeviceCommandSink& sink_;
  TerminalClientMaker makeClient_;
  // The connected device's machine number, which every call after the connect carries.
  int machineNumber_ = 0;
  bool deviceConnected_ = false;
};

}  // namespace miravel
