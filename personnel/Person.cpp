#include "personnel/Person.h"

#include "core/Numbers.h"
#include "core/Utf8.h"

namespace miravel {
namespace {

const std::array<const char*, 4> kPrivilegeNames = {"Normal", "Kayıtçı", "Yetkili", "Supervizor"};

}  // namespace

std::string FormatPerNo(int enrollNumber) {
  // Cutting a longer number to its last five digits would make user 100007
  // the person 00007 of the store, with the other's name and fingerprints.
  std::string whole = std::to_string(enrollNumber);
  return whole.size() > kPerNoDigits ? whole : PadNumber(kPerNoDigits, enrollNumber);
}

std::string PrivilegeName(int privilege) {
  if (privilege < 0 || privilege >= static_cast<int>(kPrivilegeNames.size())) return {};
  return kPrivilegeNames[static_cast<std::size_t>(privilege)];
}

std::optional<int> PrivilegeNumber(const std::string& name) {
  for (std::size_t i = 0; i < kPrivilegeNames.size(); ++i) {
    if (name == kPrivilegeNames[i]) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool HoldsTemplate(const std::string& text, TemplateUse use) {
  const std::string_view measured = use == TemplateUse::kMarked ? TrimBlanks(text) : text;
  return CharCount(measured) > 10;
}

}  // namespace miravel
