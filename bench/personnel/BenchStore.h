// The store on this computer as the personnel benchmarks fill it: persons
// with two 1,200-character templates each.
#pragma once

#include <string>

#include "core/Cp1254.h"
#include "personnel/Person.h"
#include "tests/support/TempFolder.h"

namespace miravel::bench {

constexpr std::size_t kTemplateLength = 1200;

inline std::string Template(int enroll, int finger, int generation) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text(kTemplateLength, 'A');
  unsigned state = static_cast<unsigned>(enroll * 131 + finger * 17 + generation * 7919);
  for (char& c : text) {
    state = state * 1103515245u + 12345u;
    c = kAlphabet[(state >> 16) % 64];
  }
  return text;
}

// The store on this computer: every person, with two older templates.
inline void WriteStore(const std::string& folder, int users) {
  std::string list;
  std::string details;
  for (int enroll = 1; enroll <= users; ++enroll) {
    const std::string perNo = FormatPerNo(enroll);
    list += perNo + "\r\n";
    details += "[" + perNo + "]\r\nisim=Personel " + std::to_string(enroll) +
               "\r\nyetki=Normal\r\nkartno=\r\nsifre=\r\nparmakizi0=" + Template(enroll, 0, 0) +
               "\r\nparmakizi1=" + Template(enroll, 1, 0) + "\r\n";
  }
  test::WriteFile(folder + "/personel/personel.ini", list);
  test::WriteFile(folder + "/personel/parmakizi.ini", Utf8ToCp1254(details));
}

}  // namespace miravel::bench
