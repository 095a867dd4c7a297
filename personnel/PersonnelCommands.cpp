#include "personnel/PersonnelCommands.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/AppError.h"
#include "core/IniFile.h"
#include "core/Numbers.h"
#include "core/StopRequest.h"
#include "core/Utf8.h"
#include "terminal/DeviceConnection.h"
#include "terminal/TerminalClient.h"

namespace miravel {
namespace {

constexpr int kUserCountStatus = 2;
// A row's key: the first characters of its Per.No, the most the list holds.
constexpr std::size_t kKeyChars = 10;
// What the terminal takes of a name and a password sent with the personal data.
constexpr std::size_t kSentNameChars = 8;
constexpr std::size_t kSentPasswordChars = 5;

constexpr const char* kTerminalLoadCaption = "Cihazdaki Personeller Yükleniyor";
constexpr const char* kStoreLoadCaption = "Bilgisayardaki Personeller Yükleniyor";
constexpr const char* kTemplateReadCaption = "Cihazdaki Parmak İzleri Okunuyor";

// The stretch of the bar a command's bulk load fills before the work on what
// it brought. Loading the users, the names asked one by one cost several
// times the list itself on any line; for "Al" of the fingerprints the
// templates are nearly all there is to move over a slow line, and writing
// them to the store is quick.
constexpr int kUserListShare = 10;
constexpr int kTemplateListShare = 80;

// A "Yetki" text that is none of the four names is sent as "Normal": the
// terminal must not get whatever the row before happened to have.
int PrivilegeToSend(const std::string& name) {
  return PrivilegeNumber(name).value_or(0);
}

std::string RowKey(const PersonnelList& list, int row) {
  return CutToChars(list.Text(row, kPerNoColumn), kKeyChars);
}

// The user a terminal-list row stands for: the number the terminal gave for
// it, whatever its Per.No text shows.
int TerminalEnrollNumber(const PersonnelList& list, int row) {
  if (const std::optional<int> number = list.EnrollNumber(row)) return *number;
  return ParseInteger(RowKey(list, row));
}

Person PersonOfRow(const PersonnelList& list, int row) {
  Person person;
  person.perNo = list.Text(row, kPerNoColumn);
  person.name = list.Text(row, kNameColumn);
  person.privilege = list.Text(row, kPrivilegeColumn);
  person.cardNumber = list.Text(row, kCardColumn);
  person.password = list.Text(row, kPasswordColumn);
  return person;
}

// The lines of personel.ini without one line of each erased Per.No: a
// Per.No listed twice and deleted once stays listed once, as on the screen.
// The first lines of each Per.No go, as many as were erased.
std::vector<std::string> WithoutOneLineEach(const std::vector<std::string>& lines,
                                            const std::vector<std::string>& erased) {
  std::unordered_map<std::string, int> toErase;
  toErase.reserve(erased.size());
  for (const std::string& perNo : erased) ++toErase[perNo];
  std::vector<std::string> kept;
  kept.reserve(lines.size());
  for (const std::string& line : lines) {
    const auto found = toErase.find(line);
    if (found != toErase.end() && found->second > 0) {
      --found->second;
      continue;
    }
    kept.push_back(line);
  }
  return kept;
}

void CopyTexts(const PersonnelList& from, int fromRow, PersonnelList& to, int toRow) {
  for (int column = kPerNoColumn; column < kPersonnelTextColumns; ++column) {
    to.SetText(toRow, column, from.Text(fromRow, column));
  }
}

}  // namespace

// The progress group for the length of a command: hidden however the command
// ends, and its bar told only of values that change. While it watches a bulk
// load, the items arriving move the bar.
class PersonnelCommands::Progress : public BulkReadObserver {
 public:
  Progress(PersonnelFeedback& feedback, const std::string& caption) : feedback_(feedback) {
    Show(caption);
  }
  ~Progress() override { Hide(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Show(const std::string& caption) {
    feedback_.ShowProgress(caption);
    shown_ = true;
    percent_ = 0;
    Stretch(0, 100);
  }
  // The next values of Set fill the bar from `from` to `to`: a command of
  // two parts gives each its stretch of one bar, which never goes back.
  void Stretch(int from, int to) {
    from_ = from;
    to_ = to;
  }
  void Set(std::int64_t done, std::int64_t total) {
    const int percent = from_ + (to_ - from_) * ProgressPercent(done, total) / 100;
    if (percent == percent_) return;
    percent_ = percent;
    feedback_.SetProgress(percent);
  }
  void Hide() {
    if (shown_) feedback_.HideProgress();
    shown_ = false;
  }
  // A bulk load watched from now on ends at its next chunk once stop is asked.
  void EndLoadsOnStop(const StopRequest* stop) { stop_ = stop; }
  void BulkReadProgress(std::size_t received, std::size_t expected) override {
    ThrowIfStopRequested(stop_);
    // Without a count the bar waits for the end rather than jump to it.
    if (expected == 0) return;
    Set(static_cast<std::int64_t>(received), static_cast<std::int64_t>(expected));
  }

 private:
  PersonnelFeedback& feedback_;
  const StopRequest* stop_ = nullptr;
  bool shown_ = false;
  int percent_ = 0;
  int from_ = 0;
  int to_ = 100;
};

// The writes of one copy into the store: the details in one commit, and only
// after it the list lines of the persons the copy added, in one append. So a
// kill at any moment never leaves the list naming a person whose details
// are not on disk (the next copy would find them listed and write only their
// templates, leaving them nameless); details on disk without a list line are
// never shown, and the next copy adds the person again. A command stopped by
// an error keeps what it did before, as every bulk command does.
class PersonnelCommands::StoreWrites {
 public:
  StoreWrites(PersonnelStore& store, std::optional<std::vector<std::string>>& storeLines)
      : store_(store), storeLines_(storeLines) {
    store_.Details().BeginWriteGroup();
  }
  ~StoreWrites() noexcept(false) {
    if (std::uncaught_exceptions() > uncaughtAtStart_) {
      // The command's own error is the one to show; a failing commit appends nothing.
      try {
        Finish();
      } catch (...) {
      }
      return;
    }
    Finish();
  }
  StoreWrites(const StoreWrites&) = delete;
  StoreWrites& operator=(const StoreWrites&) = delete;

  void AddListLine(const std::string& perNo) { lines_.push_back(perNo); }

 private:
  void Finish() {
    store_.Details().EndWriteGroup();
    store_.AppendToList(lines_);
    if (storeLines_) storeLines_->insert(storeLines_->end(), lines_.begin(), lines_.end());
  }

  PersonnelStore& store_;
  std::optional<std::vector<std::string>>& storeLines_;
  std::vector<std::string> lines_;
  const int uncaughtAtStart_ = std::uncaught_exceptions();
};

std::string UsersRefusedMessage() {
  return "Cihaz kullanıcılarını listelemeyi reddetti; hiçbir şey yazılmadı.";
}

std::string TemplatesRefusedToListMessage() {
  return "Cihaz parmak izlerini listelemeyi reddetti; hiçbir şey yazılmadı.";
}

std::string TooManyUsersMessage() {
  return "Cihazda " + std::to_string(kMaxListedUsers) +
         " kişiden fazla kayıt var; cihazdaki kayıtlar listelenemedi";
}

std::string PersonalRefusedMessage(int persons) {
  return std::to_string(persons) + " kişinin bilgileri cihaza gönderilemedi";
}

std::string TemplatesRefusedMessage(int persons) {
  return std::to_string(persons) + " kişinin parmak izi cihaza gönderilemedi";
}

std::string DeleteRefusedMessage(int persons) {
  return std::to_string(persons) + " kişi cihazdan silinemedi";
}

std::string StoreListChangedMessage() {
  return "personel.ini bu pencere açıkken başka bir program tarafından değiştirilmiş: silinenler "
         "dosyadan çıkarıldı, diğer satırlar korundu ve bilgisayardaki liste yeniden yüklendi";
}

std::string StoreNotLoadedMessage() {
  return "Bilgisayardaki personel listesi yüklenemedi; bu işlem yapılmadı, hiçbir şey "
         "yazılmadı. Pencereyi kapatıp yeniden açın.";
}

PersonnelCommands::PersonnelCommands(PersonnelTerminal& terminal, PersonnelStore& store,
                                     PersonnelList& terminalList, PersonnelList& storeList,
                                     PersonnelFeedback& feedback)
    : terminal_(terminal),
      store_(store),
      terminalList_(terminalList),
      storeList_(storeList),
      feedback_(feedback) {}

bool PersonnelCommands::Stopping() {
  if (stop_ != nullptr && stop_->Requested()) stopped_ = true;
  return stopped_;
}

bool PersonnelCommands::LoadInBulk(Progress& progress,
                                   bool (TerminalClient::*load)(int machineNumber)) {
  TerminalClient& client = terminal_.client;
  progress.EndLoadsOnStop(stop_);
  try {
    const BulkReadWatch watch(client, progress);
    return (client.*load)(Machine());
  } catch (const StoppedOnRequest&) {
    stopped_ = true;
    terminal_.connected =
        terminal_.target && ConnectTo(client, *terminal_.target, kPersonnelConnection);
    return false;
  }
}

bool PersonnelCommands::Connect(const ConnectionTarget& target) {
  terminal_.connected = false;
  terminal_.target = target;
  terminal_.machineNumber = target.machineNumber;
  terminal_.connected = ConnectTo(terminal_.client, target, kPersonnelConnection);
  return terminal_.connected;
}

void PersonnelCommands::Leave() {
  storeLines_.reset();
  store_.Release();
  if (terminal_.connected) terminal_.client.Disconnect();
  terminal_.connected = false;
  terminalList_.RemoveAllRows();
  storeList_.RemoveAllRows();
}

void PersonnelCommands::LoadLists() {
  stopped_ = false;
  if (!terminal_.connected) return;
  storeLines_.reset();
  terminalList_.RemoveAllRows();
  storeList_.RemoveAllRows();
  Progress progress(feedback_, kTerminalLoadCaption);
  const std::optional<std::string> unlisted = LoadTerminalList(progress);
  if (Stopping()) return;
  // The store is still shown, so that its persons can be sent to a terminal
  // that cannot list its own.
  progress.Show(kStoreLoadCaption);
  LoadStoreList(progress);
  if (unlisted) throw AppError(*unlisted);
}

void PersonnelCommands::LoadTerminalList() {
  stopped_ = false;
  Progress progress(feedback_, kTerminalLoadCaption);
  if (const std::optional<std::string> unlisted = LoadTerminalList(progress)) {
    throw AppError(*unlisted);
  }
}

void PersonnelCommands::LoadStoreList() {
  stopped_ = false;
  Progress progress(feedback_, kStoreLoadCaption);
  LoadStoreList(progress);
}

std::optional<std::string> PersonnelCommands::LoadTerminalList(Progress& progress) {
  TerminalClient& client = terminal_.client;
  // The count only drives the bar and is not checked. A refused list is no
  // empty terminal: copied from, it would leave the store as it was and
  // look like a backup.
  client.GetDeviceStatus(Machine(), kUserCountStatus, terminal_.userCount);
  progress.Stretch(0, kUserListShare);
  if (!LoadInBulk(progress, &TerminalClient::ReadAllUsers)) {
    if (Stopping()) return std::nullopt;
    return UsersRefusedMessage();
  }
  progress.Stretch(kUserListShare, 100);
  // The walk ends with the users the terminal has, not after the count it
  // gave: a terminal holding fewer would otherwise show the last user again.
  // The walk goes through the copy just loaded, with no call to the
  // terminal, and keeps each user's enroll number and privilege; only then is
  // each user asked for its name.
  std::vector<std::pair<int, int>> users;
  for (;;) {
    int enrollNumber = 0;
    int enrollMachine = 0;
    int backupNumber = 0;
    int privilege = 0;
    int enabled = 0;
    if (!client.GetNextUser(Machine(), enrollNumber, enrollMachine, backupNumber, privilege,
                            enabled)) {
      break;
    }
    // A row per user at a few thousand rows a second would hold the window
    // for minutes and take gigabytes: such a list is not shown at all.
    if (users.size() == kMaxListedUsers) return TooManyUsersMessage();
    users.emplace_back(enrollNumber, privilege);
  }
  terminalList_.ReserveRows(static_cast<int>(users.size()));
  int loaded = 0;
  for (auto [enrollNumber, privilege] : users) {
    if (Stopping()) break;
    ++loaded;
    // A refused GetUserInfo leaves the name empty instead of the one before.
    std::string name;
    std::string password;
    bool userEnabled = false;
    client.GetUserInfo(Machine(), enrollNumber, name, password, privilege, userEnabled);
    const int row = terminalList_.AppendRow();
    terminalList_.SetText(row, kPerNoColumn, FormatPerNo(enrollNumber));
    terminalList_.SetEnrollNumber(row, enrollNumber);
    terminalList_.SetText(row, kNameColumn, name);
    terminalList_.SetText(row, kPasswordColumn, password);
    terminalList_.SetText(row, kPrivilegeColumn, PrivilegeName(privilege));
    terminalList_.MarkLoadedFromTerminal(row);
    progress.Set(loaded, terminal_.userCount);
  }
  terminalList_.SortByPerNo();
  return std::nullopt;
}

void PersonnelCommands::LoadStoreList(Progress& progress) {
  storeLines_.reset();
  // Every line is read, and checked, before any row is shown.
  std::vector<std::string> perNos = store_.ReadList();
  const int count = static_cast<int>(perNos.size());
  storeList_.ReserveRows(count);
  for (int index = 0; index < count; ++index) {
    // Stopped, the list shows what came and counts as not loaded.
    if (Stopping()) return;
    progress.Set(index, count);
    const Person person = store_.ReadPerson(perNos[static_cast<std::size_t>(index)]);
    const int row = storeList_.AppendRow();
    storeList_.SetText(row, kPerNoColumn, person.perNo);
    storeList_.SetText(row, kNameColumn, person.name);
    storeList_.SetText(row, kPrivilegeColumn, person.privilege);
    storeList_.SetText(row, kCardColumn, person.cardNumber);
    storeList_.SetText(row, kPasswordColumn, person.password);
    storeList_.SetFingerprintMark(row, person.hasFingerprint);
  }
  storeLines_ = std::move(perNos);
  progress.Hide();
}

void PersonnelCommands::AddPersonnelToStore(int terminalRow, int templateIndex,
                                            PerNoIndex& storeRows, StoreWrites& writes) {
  // The list line is the text the section is named by, also for a row that
  // a send from the store wrote as the store has it.
  writes.AddListLine(RowKey(terminalList_, terminalRow));
  store_.WritePersonal(PersonOfRow(terminalList_, terminalRow));
  const int row = storeList_.AppendRow();
  CopyTexts(terminalList_, terminalRow, storeList_, row);
  if (templateIndex >= 0) storeList_.SetFingerprintMark(row, true);
  storeRows.Add(storeList_.Text(row, kPerNoColumn), row);
}

void PersonnelCommands::RequireStoreListLoaded() const {
  if (!StoreListLoaded()) throw AppError(StoreNotLoadedMessage());
}

PersonnelOutcome PersonnelCommands::CopyPersonalToStore() {
  stopped_ = false;
  RequireStoreListLoaded();
  const auto lock = TakeStore();
  FollowStoreOnDisk();
  Progress progress(feedback_, "Personel bilgileri bilgisayara kopyalanıyor");
  PersonnelOutcome outcome;
  const int selected = TickedCount(terminalList_);
  PerNoIndex storeRows(storeList_);
  StoreWrites writes(store_, storeLines_);
  for (int row = 0; row < terminalList_.RowCount() && !Stopping(); ++row) {
    if (!terminalList_.Ticked(row)) continue;
    ++outcome.handled;
    const int storeRow = storeRows.Find(RowKey(terminalList_, row));
    if (storeRow >= 0) {
      Person person = PersonOfRow(terminalList_, row);
      if (person.cardNumber.empty()) {
        person.cardNumber =
            store_.ReadPersonalField(storeList_.Text(storeRow, kPerNoColumn), PersonalField::kCard);
      }
      store_.WritePersonal(person);
      CopyTexts(terminalList_, row, storeList_, storeRow);
      storeList_.SetText(storeRow, kCardColumn, person.cardNumber);
    } else {
      AddPersonnelToStore(row, -1, storeRows, writes);
    }
    terminalList_.SetTicked(row, false);
    progress.Set(outcome.handled, selected);
  }
  return outcome;
}

PersonnelOutcome PersonnelCommands::SendPersonalToTerminal() {
  stopped_ = false;
  Progress progress(feedback_, "Personel bilgileri cihaza kopyalanıyor");
  PersonnelOutcome outcome;
  const int selected = TickedCount(storeList_);
  TerminalClient& client = terminal_.client;
  if (storeList_.RowCount() > 0) {
    PerNoIndex terminalRows(terminalList_);
    for (int row = 0; row < storeList_.RowCount() && !Stopping(); ++row) {
      if (!storeList_.Ticked(row)) continue;
      ++outcome.handled;
      const int enrollNumber = ParseInteger(storeList_.Text(row, kPerNoColumn));
      const bool sent = client.SetUserInfo(
          Machine(), enrollNumber, CutToChars(storeList_.Text(row, kNameColumn), kSentNameChars),
          CutToChars(storeList_.Text(row, kPasswordColumn), kSentPasswordChars),
          PrivilegeToSend(storeList_.Text(row, kPrivilegeColumn)), true);
      // A refused person is not shown as copied and stays ticked.
      if (sent) {
        const std::string key = RowKey(storeList_, row);
        int terminalRow = terminalRows.Find(key);
        if (terminalRow < 0) {
          terminalRow = terminalList_.AppendRow();
          terminalList_.SetEnrollNumber(terminalRow, enrollNumber);
          terminalRows.Add(key, terminalRow);
        }
        CopyTexts(storeList_, row, terminalList_, terminalRow);
        storeList_.SetTicked(row, false);
      } else {
        ++outcome.refused;
      }
      progress.Set(outcome.handled, selected);
    }
    client.GetDeviceStatus(Machine(), kUserCountStatus, terminal_.userCount);
  }
  progress.Hide();
  if (outcome.refused > 0) {
    outcome.message = PersonalRefusedMessage(outcome.refused);
    feedback_.ShowMessage(outcome.message);
  }
  return outcome;
}

void PersonnelCommands::SaveStoreEdit(int row, int column) {
  static constexpr PersonalField kFields[] = {PersonalField::kName, PersonalField::kPrivilege,
                                              PersonalField::kCard, PersonalField::kPassword};
  if (column < kNameColumn || column > kPasswordColumn) return;
  // The row may stand elsewhere once the list is read again.
  const std::string perNo = storeList_.Text(row, kPerNoColumn);
  const std::string text = storeList_.Text(row, column);
  const auto lock = TakeStore();
  if (!FollowStoreOnDisk()) {
    store_.WritePersonalField(perNo, kFields[column - kNameColumn], text);
    return;
  }
  if (FindRow(storeList_, perNo) < 0) {
    feedback_.ShowMessage(PersonGoneMessage(perNo));
    return;
  }
  store_.WritePersonalField(perNo, kFields[column - kNameColumn], text);
  for (int other = 0; other < storeList_.RowCount(); ++other) {
    if (storeList_.Text(other, kPerNoColumn) == perNo) storeList_.SetText(other, column, text);
  }
}

PersonnelOutcome PersonnelCommands::CopyTemplatesToStore() {
  stopped_ = false;
  RequireStoreListLoaded();
  const auto lock = TakeStore();
  FollowStoreOnDisk();
  Progress progress(feedback_, "Parmak izleri bilgisayara kopyalanıyor");
  PersonnelOutcome outcome;
  const int selected = TickedCount(terminalList_);
  TerminalClient& client = terminal_.client;
  progress.Stretch(0, kTemplateListShare);
  if (!LoadInBulk(progress, &TerminalClient::ReadAllTemplates)) {
    if (Stopping()) return outcome;
    throw AppError(TemplatesRefusedToListMessage());
  }
  progress.Stretch(kTemplateListShare, 100);
  PerNoIndex storeRows(storeList_);
  StoreWrites writes(store_, storeLines_);
  for (int row = 0; row < terminalList_.RowCount() && !Stopping(); ++row) {
    if (!terminalList_.Ticked(row)) continue;
    ++outcome.handled;
    const std::string perNo = terminalList_.Text(row, kPerNoColumn);
    const std::string key = RowKey(terminalList_, row);
    const int enrollNumber = TerminalEnrollNumber(terminalList_, row);
    // Stored densely from parmakizi0 in the order received, whatever the
    // fingers; keys above the last one written keep what they held.
    int stored = -1;
    for (int finger = 0; finger < kTemplateSlots; ++finger) {
      std::string text;
      int length = 0;
      client.GetFingerTemplate(Machine(), enrollNumber, finger, text, length);
      if (!HoldsTemplate(text, TemplateUse::kMoved)) continue;
      ++stored;
      store_.WriteTemplate(perNo, stored, text);
    }
    const int storeRow = storeRows.Find(key);
    if (storeRow >= 0) {
      if (stored >= 0) storeList_.SetFingerprintMark(storeRow, true);
    } else if (storeList_.RowCount() > 0 || stored >= 0) {
      // An empty store takes only the users that have a template.
      AddPersonnelToStore(row, stored, storeRows, writes);
    }
    progress.Set(outcome.handled, selected);
    terminalList_.SetTicked(row, false);
  }
  return outcome;
}

int PersonnelCommands::SendStoredTemplates(const std::string& perNo, int enrollNumber) {
  int finger = -1;
  int refused = 0;
  for (int slot = 0; slot < kTemplateSlots; ++slot) {
    const std::string text = store_.ReadTemplate(perNo, slot);
    if (!HoldsTemplate(text, TemplateUse::kMoved)) continue;
    ++finger;
    if (!terminal_.client.SetFingerTemplate(Machine(), enrollNumber, finger, text)) {
      ++refused;
    }
  }
  return refused;
}

PersonnelOutcome PersonnelCommands::SendTemplatesToTerminal() {
  stopped_ = false;
  Progress progress(feedback_, "Parmak izleri cihaza kopyalanıyor");
  PersonnelOutcome outcome;
  const int selected = TickedCount(storeList_);
  PerNoIndex terminalRows(terminalList_);
  for (int row = 0; row < storeList_.RowCount() && !Stopping(); ++row) {
    if (!storeList_.Ticked(row)) continue;
    ++outcome.handled;
    const std::string key = RowKey(storeList_, row);
    const int enrollNumber = ParseInteger(key);
    bool refused = false;
    if (terminalRows.Find(key) >= 0) {
      refused = SendStoredTemplates(key, enrollNumber) > 0;
    } else if (terminal_.client.SetUserInfo(
                   Machine(), enrollNumber, storeList_.Text(row, kNameColumn),
                   storeList_.Text(row, kPasswordColumn),
                   PrivilegeToSend(storeList_.Text(row, kPrivilegeColumn)), true)) {
      refused = SendStoredTemplates(key, enrollNumber) > 0;
      const int terminalRow = terminalList_.AppendRow();
      terminalList_.SetEnrollNumber(terminalRow, enrollNumber);
      CopyTexts(storeList_, row, terminalList_, terminalRow);
      terminalRows.Add(terminalList_.Text(terminalRow, kPerNoColumn), terminalRow);
    } else {
      // No user, no templates: the terminal refuses those for unknown users.
      refused = true;
    }
    if (refused) {
      ++outcome.refused;
    } else {
      storeList_.SetTicked(row, false);
    }
    progress.Set(outcome.handled, selected);
  }
  progress.Hide();
  if (outcome.refused > 0) {
    outcome.message = TemplatesRefusedMessage(outcome.refused);
    feedback_.ShowMessage(outcome.message);
  }
  return outcome;
}

void PersonnelCommands::MarkTerminalFingerprints() {
  stopped_ = false;
  TerminalClient& client = terminal_.client;
  {
    Progress progress(feedback_, kTemplateReadCaption);
    // Refused, every user would be listed without a fingerprint.
    if (!LoadInBulk(progress, &TerminalClient::ReadAllTemplates)) {
      if (Stopping()) return;
      throw AppError(TemplatesRefusedToListMessage());
    }
  }
  for (int row = 0; row < terminalList_.RowCount() && !Stopping(); ++row) {
    const int enrollNumber = TerminalEnrollNumber(terminalList_, row);
    bool found = false;
    for (int finger = 0; finger < kTemplateSlots && !found; ++finger) {
      std::string text;
      int length = 0;
      client.GetFingerTemplate(Machine(), enrollNumber, finger, text, length);
      found = HoldsTemplate(text, TemplateUse::kMoved);
    }
    terminalList_.SetFingerprintMark(row, found);
  }
}

PersonnelOutcome PersonnelCommands::DeleteTicked() {
  RequireStoreListLoaded();
  // Taken before the terminal is touched: a command that gives up does nothing.
  const auto lock = TakeStore();
  PersonnelOutcome outcome;
  outcome.handled = TickedCount(terminalList_) + TickedCount(storeList_);
  outcome.refused = DeleteFromTerminal();
  const bool reloaded = DeleteFromStore();
  std::vector<std::string> messages;
  if (outcome.refused > 0) messages.push_back(DeleteRefusedMessage(outcome.refused));
  if (reloaded) messages.push_back(StoreListChangedMessage());
  for (const std::string& message : messages) {
    outcome.message += (outcome.message.empty() ? "" : "\n") + message;
  }
  if (!outcome.message.empty()) feedback_.ShowMessage(outcome.message);
  return outcome;
}

int PersonnelCommands::DeleteFromTerminal() {
  Progress progress(feedback_, "Personeller cihazdan siliniyor");
  TerminalClient& client = terminal_.client;
  const std::int64_t deletions = std::int64_t{TickedCount(terminalList_)} * kTemplateSlots;
  std::int64_t deleted = 0;
  int refused = 0;
  // The deleted users' rows leave the list together when the walk ends.
  RowRemoval removal(terminalList_);
  for (int row = 0; row < terminalList_.RowCount(); ++row) {
    if (!terminalList_.Ticked(row)) continue;
    const int enrollNumber = TerminalEnrollNumber(terminalList_, row);
    // A finger without a template is refused as a matter of course: not counted.
    for (int finger = 0; finger < kTemplateSlots; ++finger) {
      client.DeleteFingerTemplate(Machine(), enrollNumber, finger);
      progress.Set(++deleted, deletions);
    }
    // A user the terminal kept can still punch: the row stays, ticked.
    if (!client.DeleteUser(Machine(), enrollNumber, 0, 0)) {
      ++refused;
      continue;
    }
    removal.Add(row);
  }
  removal.Finish();
  progress.Hide();
  return refused;
}

bool PersonnelCommands::DeleteFromStore() {
  // Read before anything is removed: a file that no longer reads stops here
  // with every store row still in place.
  const std::vector<std::string> onDisk = store_.ReadList();
  const bool changedOnDisk = onDisk != *storeLines_;
  Progress progress(feedback_, "Personeller bilgisayardan siliniyor");
  const int selected = TickedCount(storeList_);
  int deleted = 0;
  std::vector<std::string> erased;
  std::vector<std::string> remaining;
  RowRemoval removal(storeList_);
  for (int row = 0; row < storeList_.RowCount(); ++row) {
    if (!storeList_.Ticked(row)) {
      remaining.push_back(RowKey(storeList_, row));
      continue;
    }
    erased.push_back(storeList_.Text(row, kPerNoColumn));
    progress.Set(++deleted, selected);
    removal.Add(row);
  }
  removal.Finish();
  if (changedOnDisk) remaining = WithoutOneLineEach(onDisk, erased);
  // The list goes first: should the details then fail to be written, the
  // persons are gone from the list and their sections, never shown without
  // a list line, merely stay in the file.
  storeLines_.reset();
  store_.RewriteList(remaining);
  storeLines_ = remaining;
  {
    IniWriteGroup group(store_.Details());
    for (const std::string& perNo : erased) store_.ErasePerson(perNo);
  }
  if (!changedOnDisk) return false;
  // The screen follows the file, with the lines the other program added.
  progress.Hide();
  storeList_.RemoveAllRows();
  Progress reload(feedback_, kStoreLoadCaption);
  LoadStoreList(reload);
  return true;
}

}  // namespace miravel
