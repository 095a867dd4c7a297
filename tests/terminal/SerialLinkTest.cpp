// The serial path: the emulator on a pseudo-terminal stands for a terminal on
// a COM port, reached through the COM-number-to-device mapping.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/support/EmulatorProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/terminal/ClientFixture.h"

namespace miravel {
namespace {

TEST(SerialLinkTest, TalksToTheTerminalWithItsMachineNumberOnly) {
  test::TempFolder folder;
  const std::string link = folder / "com1";
  const std::string statePath = folder / "t.txt";
  test::WriteFile(folder / "plain-file", "not a serial device");
  test::EmulatorProcess emulator({"--pty", link, "--machine", "7", "--state", statePath,
                                  "--generate-users", "5", "--generate-log", "9000"});
  ASSERT_EQ(emulator.Link(), link);

  WireTimeouts timeouts = test::ShortTimeouts();
  timeouts.hello = std::chrono::milliseconds(700);
  WireTerminalClient client(
      [&](int comPort) {
        return comPort == 1 ? link : comPort == 3 ? folder / "plain-file" : folder / "no-such-tty";
      },
      timeouts);

  ASSERT_TRUE(client.ConnectSerial(1, 7, 115200));
  int value = 0;
  ASSERT_TRUE(client.GetDeviceStatus(7, 6, value));
  EXPECT_EQ(value, 9000);
  ASSERT_TRUE(client.ReadAttendanceLog(7));
  const auto expected = test::LoadState(statePath).log;
  int terminal, enroll, enrollMachine, verify, state, year, month, day, hour, minute;
  std::size_t walked = 0;
  while (client.GetNextAttendanceRecord(7, terminal, enroll, enrollMachine, verify, state, year,
                                        month, day, hour, minute)) {
    ASSERT_LT(walked, expected.size());
    EXPECT_EQ((wire::LogRecord{enroll, state, year, month, day, hour, minute}), expected[walked]);
    ++walked;
  }
  EXPECT_EQ(walked, expected.size());
  ASSERT_TRUE(client.SetUserInfo(7, 900, "Seri Hat Çalışanı", "", 0, true));
  // A serial line has no end of a connection: the change reaches the state
  // file once the terminal has been quiet for a moment.
  const auto saveDue = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!test::LoadState(statePath).users.count(900) &&
         std::chrono::steady_clock::now() < saveDue) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const auto users = test::LoadState(statePath).users;
  ASSERT_TRUE(users.count(900)) << "not saved within 5 s";
  EXPECT_EQ(users.at(900).name, "Seri Hat Çalışanı");

  // Another machine number on the same line stays silent: a refused
  // connection, not an error later.
  EXPECT_FALSE(client.ConnectSerial(1, 8, 9600));
  EXPECT_FALSE(client.IsConnected());
  // No device, not a serial device, a baud rate the line cannot take.
  EXPECT_FALSE(client.ConnectSerial(2, 7, 9600));
  EXPECT_FALSE(client.ConnectSerial(3, 7, 9600));
  EXPECT_FALSE(client.ConnectSerial(1, 7, 12345));

  // A terminal that answers for every machine number but names another one
  // in its hello is not ours: refused, not talked to.
  {
    const std::string otherLink = folder / "com4";
    test::EmulatorProcess other(
        {"--pty", otherLink, "--machine", "7", "--hostile", "baska-makine"});
    WireTerminalClient wrong([&](int) { return otherLink; }, timeouts);
    EXPECT_FALSE(wrong.ConnectSerial(4, 7, 9600));
    EXPECT_FALSE(wrong.IsConnected());
  }

  // The line is still good for the right terminal.
  ASSERT_TRUE(client.ConnectSerial(1, 7, 9600));
  ASSERT_TRUE(client.GetDeviceStatus(7, 2, value));
  EXPECT_EQ(value, 6);
  client.Disconnect();

  // Noise on the line: a header that promises a long frame that never comes.
  // The terminal must find the next request after it, not wait forever.
  const int line = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(line, 0);
  const std::string noise("\x07MVQ\xe8\x03\x00\x00zz", 10);
  EXPECT_EQ(::write(line, noise.data(), noise.size()), 10);
  ::close(line);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the terminal read it
  WireTerminalClient patient([&](int) { return link; }, test::ShortTimeouts());
  EXPECT_TRUE(patient.ConnectSerial(1, 7, 9600));

  // SIGTERM ends it cleanly, link removed, even with a program still on the line.
  EXPECT_EQ(emulator.Stop(), 0) << "wait status";
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

}  // namespace
}  // namespace miravel
