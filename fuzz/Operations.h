#pragma once

#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "terminal/WireSession.h"

namespace miravel::fuzz {

// One operation of the terminal table by number (0-15), with the outputs the
// program keeps: the reply target calls it, and the seed maker records the
// exchanges it makes with the emulator.
inline bool CallOperation(WireSession& session, unsigned which) {
  std::string name;
  std::string password;
  int number = 0;
  bool flag = false;
  std::vector<wire::LogRecord> log;
  std::vector<wire::UserEntry> users;
  std::vector<wire::TemplateEntry> templates;
  DeviceTime time;
  bool done = false;
  switch (which % 16) {
    case 0: {
      std::string identity;
      return session.Hello(1, wire::kIdentityProtocolVersion, number, identity);
    }
    case 1:
      return session.RegisterEvents(1, 0xFFFF);
    case 2:
      return session.GetDeviceStatus(1, 6, number);
    case 3:
      done = session.ReadAttendanceLog(1, log);
      Check(done || log.empty(), "a refused log left records behind");
      return done;
    case 4:
      return session.ClearAttendanceLog(1, 3);
    case 5:
      done = session.ReadAllUsers(1, users);
      Check(done || users.empty(), "a refused user list left users behind");
      return done;
    case 6:
      done = session.GetUserInfo(1, 1, name, password, number, flag);
      Check(name.size() <= wire::kMaxTextBytes, "a name beyond its limit");
      return done;
    case 7:
      return session.SetUserInfo(1, 5, "Ümit", "12", 0, true);
    case 8:
      return session.DeleteUser(1, 2, 0, 0);
    case 9:
      done = session.ReadAllTemplates(1, templates);
      Check(done || templates.empty(), "refused templates left behind");
      return done;
    case 10:
      return session.SetFingerTemplate(1, 1, 4, "abc");
    case 11:
      return session.DeleteFingerTemplate(1, 1, 0);
    case 12:
      return session.GetDeviceTime(1, time);
    case 13:
      return session.SetDeviceTime(1, DeviceTime{2030, 1, 2, 3, 4, 5});
    case 14:
      return session.ClearAdministrators(1);
    default:
      return session.ClearAllData(1);
  }
}

}  // namespace miravel::fuzz
