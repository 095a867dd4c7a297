#include "emulator/StateGenerator.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace miravel::emulator {
namespace {

constexpr const char* kFirstNames[] = {"Ahmet", "Ayşe",   "Çağlar", "Şükrü",  "Gülşen", "İbrahim",
                                       "Öznur", "Ümit",   "Ömer",   "Şeyma",  "Ilgın",  "Doğan",
                                       "Hülya", "Mehmet", "Zeynep", "Gökhan", "Elçin",  "Barış",
                                       "Işıl",  "Nurşen", "Yiğit",  "Özge",   "Tuğçe",  "Erdoğan"};
constexpr const char* kLastNames[] = {"Yılmaz", "Kaya",  "Demir",   "Şahin",   "Çelik", "Yıldız",
                                      "Öztürk", "Aydın", "Özdemir", "Arslan",  "Doğan", "Kılıç",
                                      "Aslan",  "Çetin", "Kara",    "Koç",     "Kurt",  "Özkan",
                                      "Şimşek", "Polat", "Güneş",   "Erdoğan", "Ünal",  "Işık"};

constexpr char kTemplateAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

template <typename T, std::size_t N>
const T& Pick(const T (&items)[N], std::mt19937_64& random) {
  return items[std::uniform_int_distribution<std::size_t>(0, N - 1)(random)];
}

void GenerateUsers(TerminalState& state, int count, std::mt19937_64& random) {
  int next = state.users.empty() ? 1 : state.users.rbegin()->first + 1;
  for (int i = 0; i < count; ++i, ++next) {
    User user;
    user.name = std::string(Pick(kFirstNames, random)) + " " + Pick(kLastNames, random);
    if (random() % 3 == 0) user.password = std::to_string(1000 + random() % 9000);
    // A few supervisors and registrars, as in a real office.
    user.privilege = i % 40 == 0 ? 3 : (i % 25 == 0 ? 1 : 0);
    state.users[next] = std::move(user);
  }
}

void GenerateTemplates(TerminalState& state, int perUser, std::mt19937_64& random) {
  perUser = std::clamp(perUser, 0, 10);
  for (const auto& [enroll, user] : state.users) {
    for (int finger = 0; finger < perUser; ++finger) {
      std::string& text = state.templates[{enroll, finger}];
      if (!text.empty()) continue;
      const std::size_t length = 400 + random() % 200;
      text.reserve(length);
      for (std::size_t k = 0; k < length; ++k) text += kTemplateAlphabet[random() % 64];
    }
  }
}

// Working days (Monday to Friday) before today, newest first, as midnights.
std::vector<std::tm> WorkingDaysBefore(std::time_t now, std::size_t count) {
  std::vector<std::tm> days;
  std::tm day{};
  localtime_r(&now, &day);
  day.tm_hour = 12;  // noon keeps daylight-saving shifts from skipping a date
  day.tm_min = day.tm_sec = 0;
  while (days.size() < count) {
    --day.tm_mday;
    day.tm_isdst = -1;
    std::mktime(&day);
    if (day.tm_wday != 0 && day.tm_wday != 6) days.push_back(day);
  }
  return days;
}

void GenerateLog(TerminalState& state, int count, std::mt19937_64& random, std::time_t now) {
  if (count <= 0) return;
  std::vector<int> staff;
  for (const auto& [enroll, user] : state.users) staff.push_back(enroll);
  if (staff.empty()) {
    for (int enroll = 1; enroll <= 20; ++enroll) staff.push_back(enroll);
  }
  const std::size_t perDay = staff.size() * 2;
  const std::size_t dayCount = (static_cast<std::size_t>(count) + perDay - 1) / perDay;
  std::vector<std::tm> days = WorkingDaysBefore(now, dayCount);
  std::reverse(days.begin(), days.end());

  std::size_t left = static_cast<std::size_t>(count);
  std::vector<wire::LogRecord> today;
  for (const std::tm& day : days) {
    today.clear();
    for (int enroll : staff) {
      wire::LogRecord in;
      in.enrollNumber = enroll;
      in.year = day.tm_year + 1900;
      in.month = day.tm_mon + 1;
      in.day = day.tm_mday;
      wire::LogRecord out = in;
      const int arrive = 7 * 60 + 45 + static_cast<int>(random() % 75);
      const int leave = 17 * 60 + static_cast<int>(random() % 100);
      in.inOutState = kEntryState;
      in.hour = arrive / 60;
      in.minute = arrive % 60;
      out.inOutState = kExitState;
      out.hour = leave / 60;
      out.minute = leave % 60;
      today.push_back(in);
      today.push_back(out);
    }
    std::stable_sort(today.begin(), today.end(), [](const auto& a, const auto& b) {
      return a.hour * 60 + a.minute < b.hour * 60 + b.minute;
    });
    const std::size_t take = std::min(left, today.size());
    state.log.insert(state.log.end(), today.begin(), today.begin() + take);
    left -= take;
  }
}

}  // namespace

void Generate(TerminalState& state, const GenerateOptions& options, std::time_t now) {
  std::mt19937_64 random(options.seed);
  GenerateUsers(state, options.users, random);
  GenerateTemplates(state, options.templatesPerUser, random);
  GenerateLog(state, options.logRecords, random, now);
}

}  // namespace miravel::emulator
