#pragma once

#include <optional>
#include <string>

#include "core/Clock.h"
#include "core/DeviceSettings.h"

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

// The settings window's commands on its terminal, without the window. Each
// works on `rows`, the device grid as it stands (unsaved edits included), and
// on the device selected, numbered from 1; a device that does not exist is
// left alone. Each
// connects for itself and disconnects however it ends. A number that is not
// a whole number throws AppError before anything is sent to the terminal.
class DeviceCommands {
 public:
  DeviceCommands(TerminalClient& terminal, DeviceCommandSink& sink);

  // Connects the device's terminal and leaves the connection open; on
  // refusal the device's status says so. The grid is painted either way.
  bool ConnectSelectedDevice(const DeviceList& rows, int device);
  bool DeviceConnected() const { return deviceConnected_; }

  // "Bağlantı Test" and "Tüm  CihazlarıTest et": connect and disconnect at
  // once. A type that is neither "Ethernet" nor "Comm Port" is not tried and
  // keeps "Kontrol Ediliyor".
  void TestConnection(const DeviceList& rows, int device);
  void TestAllConnections(const DeviceList& rows);

  // "Tarihi Oku": the terminal's clock as text for the clock field; nothing
  // when no connection was made (the field keeps its text), an empty text when
  // the terminal did not tell its time.
  std::optional<std::string> ReadClock(const DeviceList& rows, int device);
  // "Tarihi Kaydet": sets the terminal's clock from pcClock, then reads it back
  // as ReadClock does.
  std::optional<std::string> SetClock(const DeviceList& rows, int device, const Clock& pcClock);
  // "Yetkilileri Sil".
  void ClearAdministrators(const DeviceList& rows, int device);
  // "Cihazı Sıfırla": erases the terminal's user data once the user said "Evet".
  void Reset(const DeviceList& rows, int device);

 private:
  class Session;

  // Every status emptied, the device's start text shown, the grid painted and striped.
  void Start(const DeviceList& rows, int device, const char* text);
  void TestDevice(const DeviceList& rows, int device);
  std::string ReadClockText();

  TerminalClient& terminal_;
  DeviceCommandSink& sink_;
  // The connected device's machine number, which every call after the connect carries.
  int machineNumber_ = 0;
  bool deviceConnected_ = false;
};

}  // namespace miravel
