#include "personnel/PersonnelStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/AppError.h"
#include "core/Cp1254.h"
#include "core/FolderPath.h"
#include "core/Numbers.h"
#include "core/SafeFile.h"
#include "core/Utf8.h"

namespace miravel {
namespace {

constexpr std::size_t kListLineChars = 15;
constexpr std::size_t kPerNoChars = 10;
constexpr std::size_t kShortestPerNo = 3;

// The key of a personal field in the person's section.
const char* FieldKey(PersonalField field) {
  switch (field) {
    case PersonalField::kName:
      return "isim";
    case PersonalField::kPrivilege:
      return "yetki";
    case PersonalField::kCard:
      return "kartno";
    case PersonalField::kPassword:
      break;
  }
  return "sifre";
}

constexpr PersonalField kPersonalFields[] = {PersonalField::kName, PersonalField::kPrivilege,
                                             PersonalField::kCard, PersonalField::kPassword};

// What a person without the key has.
std::string DefaultOf(PersonalField field) {
  return field == PersonalField::kPrivilege ? "Normal" : "";
}

// Creates the list empty when it is missing: a new office starts with an
// empty store, which the first copy appends to.
void CreateEmptyList(const std::string& listPath, const std::string& folder) {
  const int fd = OpenPlainFile(listPath, O_WRONLY | O_CREAT, "Personel listesi");
  if (fd < 0) {
    if (errno == ENOENT) throw FileError("Personel klasörü bulunamadı", folder, errno);
    throw FileError("Personel listesi oluşturulamadı", listPath, errno);
  }
  ::close(fd);
}

}  // namespace

PersonnelStore::PersonnelStore(const std::string& officeFolder) {
  folder_ = PathInFolder(officeFolder, "personel/");
  listPath_ = folder_ + "personel.ini";
  detailPath_ = folder_ + "parmakizi.ini";
}

std::vector<std::string> PersonnelStore::ReadList() const {
  std::string bytes;
  if (!ReadWholeFile(listPath_, bytes)) {
    CreateEmptyList(listPath_, folder_);
    return {};
  }
  std::vector<std::string> perNos;
  // A list saved by a UTF-8 editor may start with its mark; read as text it
  // would make the first Per.No no number and stop the whole list.
  std::size_t pos = std::string_view(bytes).starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
    if (end == std::string::npos) end = bytes.size();
    if (end > pos && bytes[end - 1] == '\r') --end;
    // One byte is one character in the file's code page.
    std::string text =
        Cp1254ToUtf8(std::string_view(bytes).substr(pos, end - pos).substr(0, kListLineChars));
    pos = next;
    if (text.empty()) text = "0";
    ParseInteger64(text);
    if (CharCount(text) < kShortestPerNo) continue;
    perNos.push_back(CutToChars(text, kPerNoChars));
  }
  return perNos;
}

void PersonnelStore::AppendToList(const std::string& perNo) const {
  AppendToList(std::vector<std::string>{perNo});
}

void PersonnelStore::AppendToList(const std::vector<std::string>& perNos) const {
  if (perNos.empty()) return;
  const int fd = OpenPlainFile(listPath_, O_WRONLY | O_CREAT | O_APPEND, "Personel listesi");
  if (fd < 0) {
    if (errno == ENOENT) throw FileError("Personel klasörü bulunamadı", folder_, errno);
    throw WriteError(listPath_);
  }
  // A line cut short by a crash or a power loss must not swallow the new ones.
  std::string bytes = MissingLineEnd(listPath_);
  for (const std::string& perNo : perNos) bytes += Utf8ToCp1254(perNo) + "\r\n";
  const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) throw WriteError(listPath_);
}

void PersonnelStore::RewriteList(const std::vector<std::string>& perNos) const {
  std::string bytes;
  for (const std::string& perNo : perNos) bytes += Utf8ToCp1254(perNo) + "\r\n";
  WriteFileAtomically(listPath_, bytes);
}

IniFile& PersonnelStore::Details() {
  if (!details_) details_ = std::make_unique<IniFile>(detailPath_);
  return *details_;
}

void PersonnelStore::Release() {
  details_.reset();
}

std::string PersonnelStore::TemplateKey(int slot) {
  return "parmakizi" + std::to_string(slot);
}

Person PersonnelStore::ReadPerson(const std::string& perNo) {
  static const std::vector<std::string> kTemplateKeys = [] {
    std::vector<std::string> keys;
    for (int slot = 0; slot < kTemplateSlots; ++slot) keys.push_back(TemplateKey(slot));
    return keys;
  }();
  // One look-up of the section for all its keys: a store of many persons is
  // loaded person by person.
  std::vector<IniFile::KeyToRead> keys;
  for (const PersonalField field : kPersonalFields) keys.push_back({FieldKey(field), kReadLimit});
  for (const std::string& key : kTemplateKeys) keys.push_back({key, std::string::npos});
  const std::vector<std::optional<std::string>> values = Details().ReadKeys(perNo, keys);
  const auto personal = [&](PersonalField field) {
    const std::optional<std::string>& value = values[static_cast<std::size_t>(field)];
    return value ? *value : DefaultOf(field);
  };
  Person person;
  person.perNo = perNo;
  person.name = personal(PersonalField::kName);
  person.privilege = personal(PersonalField::kPrivilege);
  person.cardNumber = personal(PersonalField::kCard);
  person.password = personal(PersonalField::kPassword);
  for (std::size_t slot = 0; slot < kTemplateKeys.size() && !person.hasFingerprint; ++slot) {
    const std::optional<std::string>& text = values[std::size(kPersonalFields) + slot];
    person.hasFingerprint = text && HoldsTemplate(*text, TemplateUse::kMarked);
  }
  return person;
}

std::string PersonnelStore::ReadTemplate(const std::string& perNo, int slot) {
  return Details().ReadString(perNo, TemplateKey(slot), "", std::string::npos);
}

void PersonnelStore::WritePersonal(const Person& person) {
  IniWriteGroup group(Details());
  WritePersonalField(person.perNo, PersonalField::kName, person.name);
  WritePersonalField(person.perNo, PersonalField::kPrivilege, person.privilege);
  WritePersonalField(person.perNo, PersonalField::kCard, person.cardNumber);
  WritePersonalField(person.perNo, PersonalField::kPassword, person.password);
}

std::string PersonnelStore::ReadPersonalField(const std::string& perNo, PersonalField field) {
  return Details().ReadString(perNo, FieldKey(field), DefaultOf(field), kReadLimit);
}

void PersonnelStore::WritePersonalField(const std::string& perNo, PersonalField field,
                                        const std::string& text) {
  Details().WriteString(perNo, FieldKey(field), text);
}

void PersonnelStore::WriteTemplate(const std::string& perNo, int slot, const std::string& text) {
  Details().WriteString(perNo, TemplateKey(slot), text);
}

void PersonnelStore::ErasePerson(const std::string& perNo) {
  Details().EraseSection(perNo);
}

}  // namespace miravel
