#pragma once

#include <optional>
#include <string_view>

#include "emulator/RequestHandler.h"
#include "terminal/WireProtocol.h"

namespace miravel::emulator {

// A terminal that misbehaves on purpose, to prove that the program answers
// every kind of bad terminal with a message within its time-outs, never a
// crash, a hang or memory without bound. The hello is answered properly
// (except by kOtherMachine), so that the program gets as far as its commands.
enum class Hostility {
  kNone,
  kGarbage,          // every reply is random bytes
  kOversizedCounts,  // counts far beyond what is sent: bulk chunks, user and record totals
  kEndless,          // bulk loads send empty chunks without end; other replies never finish
  kMillionUsers,     // a terminal of a million users, all listed and all answering
  // On a serial line answers every machine number, naming another machine in
  // its hello than the one asked for: a second terminal on the wire that
  // takes requests meant for ours.
  kOtherMachine,
  // Clears its whole log whatever count a clear asks for: records punched
  // during a transfer are lost, the fault a clear by count is there to stop.
  kClearsAll,
  // Accepts every real time a clock write sends and keeps its own clock: the
  // terminal whose clock "Tarihi Kaydet" never sets.
  kKeepsClock,
};

// The mode named by text ("cop", "asiri-sayi", "sonsuz", "milyon-kisi",
// "baska-makine", "hepsini-siler", "saati-tutmaz"); none otherwise.
std::optional<Hostility> HostilityFromText(std::string_view text);

// The reply of a hostile terminal to a request other than the hello, or none
// when the mode answers this request honestly.
std::optional<Response> HostileResponse(Hostility mode, wire::Op op, std::string_view arguments);

}  // namespace miravel::emulator
