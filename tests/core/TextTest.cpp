#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/Cp1254.h"
#include "core/Utf8.h"

namespace miravel {
namespace {

TEST(Cp1254, EveryByteSurvivesTheRoundTripAsItsOwnCharacter) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1254ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1254(utf8), all);
  std::set<char32_t> seen;
  for (std::size_t pos = 0; pos < utf8.size();) seen.insert(DecodeUtf8(utf8, pos));
  EXPECT_EQ(seen.size(), 256u);
  EXPECT_EQ(seen.count(0xFFFD), 0u);
}

TEST(Cp1254, TurkishLettersHaveTheirCodePageBytes) {
  const std::string letters = "ĞÜŞİÖÇğüşıöç€";
  const std::string bytes = "\xD0\xDC\xDE\xDD\xD6\xC7\xF0\xFC\xFE\xFD\xF6\xE7\x80";
  EXPECT_EQ(Utf8ToCp1254(letters), bytes);
  EXPECT_EQ(Cp1254ToUtf8(bytes), letters);
  // The dotless i and the dotted capital I are not their ASCII look-alikes.
  EXPECT_EQ(Utf8ToCp1254("ıI iİ"), "\xFDI i\xDD");
}

TEST(Cp1254, CharactersWithoutAByteAndMalformedUtf8BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1254("Ω中😀"), "???");
  EXPECT_EQ(Utf8ToCp1254("\xC2\x80"), "?");  // U+0080 has no byte of its own
  EXPECT_EQ(Utf8ToCp1254("\xC2\x81"), "\x81");
  // One '?' per broken byte, and the good character after a broken lead byte stays.
  EXPECT_EQ(Utf8ToCp1254("a\xC3"
                         "b"),
            "a?b");
  EXPECT_EQ(Utf8ToCp1254("\x80x"), "?x");
  EXPECT_EQ(Utf8ToCp1254("\xC0\xAF"), "??");            // overlong '/'
  EXPECT_EQ(Utf8ToCp1254("\xED\xA0\x80"), "???");       // surrogate
  EXPECT_EQ(Utf8ToCp1254("\xF4\x90\x80\x80"), "????");  // above U+10FFFF
  EXPECT_EQ(Utf8ToCp1254("end\xE2\x82"), "end??");      // cut short at the end
}

TEST(Utf8, CountsAndCutsCharactersNotBytes) {
  const std::string out = "Her Zaman Çıkış";
  EXPECT_EQ(out.size(), 19u);
  EXPECT_EQ(CharCount(out), 15u);
  EXPECT_EQ(CutToChars(out, 20), out);
  EXPECT_EQ(CutToChars(out, 15), out);
  EXPECT_EQ(CutToChars(out, 14), "Her Zaman Çıkı");
  EXPECT_EQ(CutToChars(out, 11), "Her Zaman Ç");
  EXPECT_EQ(CutToChars(out, 0), "");
  EXPECT_EQ(CutToChars("😀😀", 1), "😀");
}

TEST(Utf8, TrimsBlanksOrControlsAtTheEndsOnly) {
  EXPECT_EQ(TrimBlanks(" \t a b \t "), "a b");
  EXPECT_EQ(TrimBlanks("\r a \n"), "\r a \n");
  EXPECT_EQ(TrimBlanks(" \t "), "");
  EXPECT_EQ(TrimSpaceAndControls("\r\n\t a b \x01\x1F "), "a b");
  EXPECT_EQ(TrimSpaceAndControls("\t\r\n "), "");
  EXPECT_EQ(TrimSpaceAndControls("\xC7"), "\xC7");  // a code-page letter is not a control
}

}  // namespace
}  // namespace miravel
