#pragma once

// The paragraphs of terminal/PROTOCOL.md a failed check names, quoted as they
// stand there so that a bridge's writer finds them at once.
namespace miravel::conformance::rules {

inline constexpr const char* kFrames =
    "PROTOCOL.md «Frames»: \"Exactly one reply ends every exchange.\"";
inline constexpr const char* kChunks =
    "PROTOCOL.md «Frames»: \"Only the three bulk loads send chunks, any number of them, before "
    "their reply; the reply then gives the total item count, which must equal the items "
    "received.\"";
inline constexpr const char* kOneAtATime =
    "PROTOCOL.md «Frames»: \"One request is outstanding at a time: the program sends a request "
    "and reads until its reply. ... Exactly one reply ends every exchange.\"";
inline constexpr const char* kBrokenReply =
    "PROTOCOL.md «Failures»: \"a bad marker, kind, length or checksum, a reply to another "
    "operation, a chunk where none belongs, a field running past its frame, bytes left over, or a "
    "total that does not match the chunks: \\\"Cihazdan bozuk yanıt geldi\\\"\"";
inline constexpr const char* kQuiet =
    "PROTOCOL.md «Failures»: \"no byte arrived for the quiet time-out (10 s ...): \\\"Cihaz yanıt "
    "vermedi (zaman aşımı)\\\"\"";
inline constexpr const char* kProgress =
    "PROTOCOL.md «Failures»: \"no progress for 30 s: within one call, neither the reply nor a "
    "chunk that brings at least one item (record, user, template) has arrived for 30 s since the "
    "request or the last such chunk.\"";
inline constexpr const char* kLinkLost =
    "PROTOCOL.md «Failures»: \"A status of 0 is the terminal's refusal: the operation returns "
    "false and the link stays up.\" (a link closed during a call: \\\"Cihazla iletişim "
    "koptu\\\")";
inline constexpr const char* kHello =
    "PROTOCOL.md «Operations» 1 Hello: \"version u8 (= 2) | version u8, machine number i32\"; "
    "«Connecting and machine numbers»: \"Over TCP it sends machine number 0 and any terminal at "
    "the address answers with its own number.\"";
inline constexpr const char* kVersions =
    "PROTOCOL.md «Versions»: \"a terminal refuses a Hello of another version\"";
inline constexpr const char* kSerialMachine =
    "PROTOCOL.md «Connecting and machine numbers»: \"a terminal answers only requests carrying "
    "its own machine number and stays silent otherwise\"";
inline constexpr const char* kRegisterEvents =
    "PROTOCOL.md «Operations» 2 RegisterEvents: \"mask i32 | —\"";
inline constexpr const char* kStatus =
    "PROTOCOL.md «Operations» 3 GetDeviceStatus: \"value i32 (index 1 administrators, 2 users, 3 "
    "templates, 4 passwords, 6 log records; others refused)\"";
inline constexpr const char* kLimits =
    "PROTOCOL.md «Failures»: \"Limits a reader enforces ...: 1 MiB per frame, 4096 bytes per name "
    "or password, 64 KiB per template, 4,000,000 log records, 1,000,000 users and 256 MiB of "
    "templates per bulk load.\"";
inline constexpr const char* kLog =
    "PROTOCOL.md «Operations» 4 ReadAttendanceLog: \"chunks of log records (below), up to 4096 "
    "per chunk; reply: total u32\"; \"A log record is 11 bytes: enroll i32, in/out state u8, year "
    "u16, month u8, day u8, hour u8, minute u8.\"";
inline constexpr const char* kLogDates =
    "PROTOCOL.md «Operations»: \"dates are not checked on the wire, the program checks them when "
    "it uses them\" (an impossible date or time stops the transfer)";
inline constexpr const char* kUsers =
    "PROTOCOL.md «Operations» 6 ReadAllUsers: \"chunks of users: enroll i32, privilege i32, "
    "enabled u8; reply: total u32\"; 8 SetUserInfo: \"privilege i32 (0..3)\"";
inline constexpr const char* kUserInfo =
    "PROTOCOL.md «Operations» 7 GetUserInfo: \"name text, password text, privilege i32, enabled "
    "u8 (refused: no such user)\"; «Failures»: \"4096 bytes per name or password\"";
inline constexpr const char* kTemplates =
    "PROTOCOL.md «Operations» 10 ReadAllTemplates: \"chunks of templates: enroll i32, finger u8, "
    "text; reply: total u32\"; 11 SetFingerTemplate: \"finger i32 (0..9)\"; «Failures»: \"64 "
    "KiB per template\"";
inline constexpr const char* kClock =
    "PROTOCOL.md «Operations» 13 GetDeviceTime: \"year, month, day, hour, minute, second: i32 "
    "each, the terminal's local time\"";
inline constexpr const char* kUnreadable =
    "PROTOCOL.md «Failures»: \"A request the terminal cannot read makes it close the connection "
    "(on a serial line it is ignored).\"";
inline constexpr const char* kChecksum =
    "PROTOCOL.md «Frames»: \"CRC-32 (the zip/Ethernet polynomial) over kind, length and "
    "payload\"; «Connecting and machine numbers»: \"The terminal skips bytes that do not start a "
    "valid frame\"";
inline constexpr const char* kSetUser =
    "PROTOCOL.md «Operations» 8 SetUserInfo: \"enroll i32, name text, password text, privilege "
    "i32 (0..3), enabled u8\"; 7 GetUserInfo";
inline constexpr const char* kSetTemplate =
    "PROTOCOL.md «Operations» 11 SetFingerTemplate: \"enroll i32, finger i32 (0..9), text | — "
    "(refused for an unknown user)\"; 12 DeleteFingerTemplate";
inline constexpr const char* kDeleteUser =
    "PROTOCOL.md «Operations» 9 DeleteUser: \"— (the user and all the user's templates go)\"";
inline constexpr const char* kSetClock =
    "PROTOCOL.md «Operations» 14 SetDeviceTime: \"year, month, day, hour, minute, second: i32 "
    "each | — (refused for an impossible time)\"";
inline constexpr const char* kClearLog =
    "PROTOCOL.md «Clearing the log»: \"The terminal removes exactly that many from the front of "
    "its log, or all it holds when it holds fewer, and keeps every record behind them\"";

}  // namespace miravel::conformance::rules
