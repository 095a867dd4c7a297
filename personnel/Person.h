#pragma once

#include <array>
#include <optional>
#include <string>

namespace miravel {

// A person as the office knows them, on a terminal or in the store on this
// computer. The privilege is kept as its name, since the lists and the files
// hold names and a name that is none of the four must survive unchanged.
struct Person {
  std::string perNo;  // as written by FormatPerNo; up to 10 characters as read
  std::string name;
  std::string privilege;  // "Normal", "Kayıtçı", "Yetkili", "Supervizor" or any stored text
  std::string cardNumber;
  std::string password;
  bool hasFingerprint = false;
};

inline constexpr int kTemplateSlots = 10;
using TemplateTexts = std::array<std::string, kTemplateSlots>;

// The Per.No text of an enroll number: five characters, zero-padded on the
// left (7 gives 00007); a number of more characters is written whole
// (123456 stays 123456), so that no two users share a Per.No.
inline constexpr std::size_t kPerNoDigits = 5;
std::string FormatPerNo(int enrollNumber);

// The name of privilege number 0..3; "" for any other number.
std::string PrivilegeName(int privilege);
// The number of a privilege name (exact, case-sensitive); none for other text.
std::optional<int> PrivilegeNumber(const std::string& name);

// Where a template text is judged; the two differ only for a text padded
// with blanks.
enum class TemplateUse {
  // Copied between the terminal and the store, or sent: the text counts as it
  // stands, blanks included, so that every text the terminal gave keeps its
  // place in the store's dense numbering and goes back as it came.
  kMoved,
  // The store list's fingerprint mark: without the blanks around it, so that
  // a value padded to 11 characters shows no fingerprint.
  kMarked,
};

// Whether a stored or received template text counts as a template: longer
// than 10 characters, measured as `use` says.
bool HoldsTemplate(const std::string& text, TemplateUse use);

}  // namespace miravel
