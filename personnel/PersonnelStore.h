#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "personnel/Person.h"

namespace miravel {

// The personal keys of a person's section: isim, yetki, kartno, sifre.
enum class PersonalField { kName, kPrivilege, kCard, kPassword };

// The personnel store on this computer, in the folder personel/ of the
// office folder:
// - personel.ini, the list: one Per.No per line (CR LF), in the order the
//   people are shown; despite its name a plain text file;
// - parmakizi.ini, the details: one INI section per Per.No with isim, yetki,
//   kartno, sifre and the templates parmakizi0..parmakizi9.
// A person exists when the list names them; a section without a list line is
// never shown and is left alone.
class PersonnelStore {
 public:
  // officeFolder holds personel/; it may or may not end in '/'.
  explicit PersonnelStore(const std::string& officeFolder);

  const std::string& ListPath() const { return listPath_; }
  const std::string& DetailPath() const { return detailPath_; }
  // The lock file of the store's writers (see StoreLock).
  std::string LockPath() const { return folder_ + "personel.kilit"; }

  // The Per.No texts of the list, in file order. Per line: at most its first
  // 15 characters count; an empty line is "0"; a text that is not a whole
  // number stops the reading with "'<text>' is not a valid integer value";
  // a text of fewer than three characters is skipped; the first 10
  // characters of the rest are the Per.No, as written. A missing list is
  // created empty. A missing personel folder is a file error naming it.
  std::vector<std::string> ReadList() const;

  // Appends one line to the list.
  void AppendToList(const std::string& perNo) const;
  // Appends these lines in one write, on disk when the call returns (nothing
  // for none).
  void AppendToList(const std::vector<std::string>& perNos) const;

  // Replaces the list with these lines in one step: a scratch file of this
  // process's own (".personel.ini.<pid>.XXXXXX") is written and forced to
  // disk, then renamed over the list, so a crash leaves the old list or the
  // new one, never none, and no other writer's scratch file is touched.
  void RewriteList(const std::vector<std::string>& perNos) const;

  // The detail file, opened on first use and kept until Release.
  IniFile& Details();
  void Release();

  // isim, yetki, kartno, sifre with their defaults ("Normal" for yetki, ""
  // otherwise) and whether a template is stored.
  Person ReadPerson(const std::string& perNo);
  // A stored template, read whole: a cut template sent back to a terminal
  // would be a broken fingerprint.
  std::string ReadTemplate(const std::string& perNo, int slot);
  // Writes isim, yetki, kartno, sifre in that order.
  void WritePersonal(const Person& person);
  // One of them as stored now, read as ReadPerson does.
  std::string ReadPersonalField(const std::string& perNo, PersonalField field);
  // Writes one of them (an edited cell), at once.
  void WritePersonalField(const std::string& perNo, PersonalField field, const std::string& text);
  void WriteTemplate(const std::string& perNo, int slot, const std::string& text);
  // Removes the person's whole section (personal keys and templates alike).
  void ErasePerson(const std::string& perNo);

  static std::string TemplateKey(int slot);

  // Characters read of a personal key; a longer value is cut to them.
  static constexpr std::size_t kReadLimit = 2047;

 private:
  std::string folder_;
  std::string listPath_;
  std::string detailPath_;
  std::unique_ptr<IniFile> details_;
};

}  // namespace miravel
