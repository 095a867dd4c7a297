#pragma once

#include <gtest/gtest.h>

#include <string>

namespace miravel {

// A settings file as someone might have edited it by hand on Windows: a
// comment, a key before any section, blanks around '=', quotes, a '#' that is
// no comment, a lone CR and a LF-only line end, a header without ']', a
// duplicate key, a key line without '=', a duplicate section with text after
// its ']', an empty section named twice, and no final line end.
inline const std::string kHandEdited =
    "; ayarlar elle yazildi\r\n"
    "stray=before any section\r\n"
    "[Ayarlar]\r\n"
    "  Dosya = C:\\kayit\\tr500.txt  \r\n"
    "silkontrol=\"0\"\n"
    "# not a comment=yes\r"
    "next=after a lone CR\n"
    "\r\n"
    "  ; trailing comment\r\n"
    "[cihaz1\r\n"
    "adi = 'Kap\xFD 1'\r\n"
    "ADI=second\r\n"
    "  ; comment inside\r\n"
    "flagonly\r\n"
    "\t\r\n"
    "[ cihaz1 ] trailing text\r\n"
    "adi=ignored\r\n"
    "extra=only in the second\r\n"
    "[empty]\r\n"
    "[EMPTY]\r\n"
    "x=1";

// Edits of an expected file; each anchor must stand exactly once in it.
inline void ReplaceOnce(std::string& text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  ASSERT_EQ(text.find(from, at + 1), std::string::npos) << from;
  text.replace(at, from.size(), to);
}

inline void InsertAfter(std::string& text, const std::string& anchor, const std::string& added) {
  ReplaceOnce(text, anchor, anchor + added);
}

}  // namespace miravel
