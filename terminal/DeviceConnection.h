#pragma once

#include <string>

#include "core/DeviceSettings.h"

namespace miravel {

class TerminalClient;

// The one way from a DeviceEntry (all text) to an open connection. The
// program's commands reach a terminal in slightly different ways, and the
// device lists offices wrote rely on each of them; they differ only in the
// rules below, never in code of their own.

// Which entries go over the serial line; an entry whose type is exactly
// "Ethernet" always goes over TCP/IP.
enum class SerialChoice {
  kAnythingButEthernet,  // an empty or unknown type is tried on the serial line too
  kExactlyCommPort,      // any other type is not tried at all
};

// How the COM port number is read from the port text.
enum class ComPortReading {
  kFourthCharacter,  // "Com3" and "COM3" give 3, "Com12" gives 1; no digit there is an error
  kExactName,        // exactly "Com1".."Com4"; any other text gives 0, a port that never answers
};

struct ConnectionRules {
  SerialChoice serial = SerialChoice::kAnythingButEthernet;
  ComPortReading comPort = ComPortReading::kFourthCharacter;
  // The personnel window registers for the terminal's events once connected:
  // mask 1 on a network, 2000 on a serial line.
  bool registerEvents = false;
};

// The transfer of the main window and of miravel-aktar.
inline constexpr ConnectionRules kTransferConnection{SerialChoice::kExactlyCommPort,
                                                     ComPortReading::kFourthCharacter, false};
// The settings window's clock, administrator and reset commands.
inline constexpr ConnectionRules kSettingsConnection{SerialChoice::kAnythingButEthernet,
                                                     ComPortReading::kFourthCharacter, false};
// The settings window's connection tests.
inline constexpr ConnectionRules kTestConnection{SerialChoice::kExactlyCommPort,
                                                 ComPortReading::kFourthCharacter, false};
// The personnel window, from the target the settings window hands over.
inline constexpr ConnectionRules kPersonnelConnection{SerialChoice::kAnythingButEthernet,
                                                      ComPortReading::kExactName, true};

enum class ConnectionKind { kNone = 0, kNetwork = 1, kSerial = 2 };

// Where and how to connect, with the numbers already read.
struct ConnectionTarget {
  ConnectionKind kind = ConnectionKind::kNone;  // kNone: the rules do not try this entry
  std::string ipAddress;
  int ipPort = 0;
  int comPort = 0;
  int baudRate = 0;
  // Read before a serial connect, which needs it. A network connect does not:
  // its caller reads it with MachineNumberOf when it needs it, so a bad number
  // never stops a command that has no use for it.
  int machineNumber = 0;

  bool operator==(const ConnectionTarget&) const = default;
};

// Reads the numbers the connection needs, in this order: the IP port for a
// network entry; the baud rate, the machine number and the COM port for a
// serial one. A text that is not a whole number throws AppError ("'%s' is not
// a valid integer value") before anything is sent to a terminal.
ConnectionTarget TargetOf(const DeviceEntry& device, const ConnectionRules& rules);

// The machine number text of the entry as a number (the integer error otherwise).
int MachineNumberOf(const DeviceEntry& device);

// The personnel commands' terminal for a device, in the window and in
// miravel-personel alike: the IP address cut to 20 characters, the COM port
// by its exact name, and the machine number for both kinds of line.
ConnectionTarget PersonnelTargetOf(const DeviceEntry& device);

// The COM port number of a port name by its fourth character ("Com3" gives 3;
// "Com12" gives 1). Throws the integer message otherwise.
int ComPortFromText(const std::string& portName);

// Connects terminal to target (nothing for kNone) and, when the rules ask,
// registers for its events. Returns whether the connection is open.
bool ConnectTo(TerminalClient& terminal, const ConnectionTarget& target,
               const ConnectionRules& rules);

// Disconnects the terminal however the scope that used the connection ends.
class DisconnectOnExit {
 public:
  explicit DisconnectOnExit(TerminalClient& terminal) : terminal_(terminal) {}
  ~DisconnectOnExit();
  DisconnectOnExit(const DisconnectOnExit&) = delete;
  DisconnectOnExit& operator=(const DisconnectOnExit&) = delete;

 private:
  TerminalClient& terminal_;
};

}  // namespace miravel
