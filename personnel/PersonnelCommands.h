#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "personnel/PersonnelList.h"
#include "personnel/PersonnelStore.h"
#include "personnel/StoreLock.h"
#include "terminal/DeviceConnection.h"

namespace miravel {
class StopRequest;
}

namespace miravel {

class TerminalClient;

// The progress group of the personnel window ("Cihazdaki personeller
// yükleniyor" and the like) and the messages a command leaves for the user.
class PersonnelFeedback {
 public:
  virtual ~PersonnelFeedback() = default;
  // Shows the group with this caption and its bar at 0 (when it is shown
  // already: the new caption, the bar at 0). Loading shows it before it asks
  // the terminal anything, so the user sees the window while waiting.
  virtual void ShowProgress(const std::string& caption) = 0;
  // The bar's new value, 1..100; called only when the value changes, and
  // to be drawn at once.
  virtual void SetProgress(int percent) = 0;
  virtual void HideProgress() = 0;
  // A command's closing word for the user (how many sends the terminal
  // refused); at most once per command, after the group is hidden.
  virtual void ShowMessage(const std::string& text) = 0;
  // Called about every 100 ms while a command waits for another program to
  // finish writing the store; shows StoreBusyMessage as the group's caption.
  virtual void WaitingForStore() { ShowProgress(StoreBusyMessage()); }
};

// The window's hold on its terminal, from its showing until "Çıkış".
struct PersonnelTerminal {
  TerminalClient& client;
  int machineNumber = 0;
  bool connected = false;
  // The terminal's answer to the user-count query; kept between queries and
  // between showings.
  int userCount = 0;
  // How it was reached, to reach it again after a stopped bulk load.
  std::optional<ConnectionTarget> target{};
};

// What a bulk command did.
struct PersonnelOutcome {
  int handled = 0;      // ticked rows dealt with (refused ones included)
  int refused = 0;      // persons for whom the terminal refused a send
  std::string message;  // what was shown to the user, "" when nothing
};

// The commands of the personnel window, without the window: loading the
// terminal's users and the store into the two lists, copying personal data
// and fingerprint templates either way, saving an edited cell, deleting.
// The window and miravel-personel both run them; they work on the ticked
// rows of the two lists and leave the lists as the window shows them.
//
// The commands that write the store ("Al" of either kind, a saved cell,
// "Sil") each hold the store's lock while they run, waiting up to the store
// wait limit for another program's command, and work on the store as that
// command left it: when personel.ini changed since the store's list was
// read, the list is read again first (see each command).
//
// Errors stop a command with AppError (a Per.No that is not a whole number,
// a file that cannot be written, the link to the terminal lost): rows handled
// before the error keep their results, the progress group is hidden, and the
// writes of a bulk command to parmakizi.ini, grouped into one commit, are
// committed up to that row.
class PersonnelCommands {
 public:
  PersonnelCommands(PersonnelTerminal& terminal, PersonnelStore& store, PersonnelList& terminalList,
                    PersonnelList& storeList, PersonnelFeedback& feedback);

  // Connects as the personnel window does (RegisterEvents 1 on a network, 2000
  // on a serial line) and takes the target's machine number for every later
  // call. Returns whether the terminal answered ("Bağlantı Kurulamadı" is
  // the caller's to show).
  bool Connect(const ConnectionTarget& target);
  // "Çıkış": releases the detail file, disconnects when connected, empties
  // both lists.
  void Leave();

  // Empties both lists and loads them, the terminal's first; nothing when
  // not connected. The terminal's list ends sorted by Per.No, the store's
  // in the order of personel.ini. A terminal that refuses to list its users,
  // or lists more than kMaxListedUsers, leaves its list empty: the store's
  // is loaded all the same, then AppError (UsersRefusedMessage,
  // TooManyUsersMessage) says so.
  void LoadLists();
  // One list alone (for miravel-personel's listings), appended to what the
  // list holds; the terminal's throws those errors at once.
  void LoadTerminalList();
  void LoadStoreList();

  // Whether the store's list finished loading. The commands that write the
  // store ("Al", "Sil") refuse to run on a list that did not: "Sil" would
  // rewrite personel.ini from it and "Al" would add persons twice.
  bool StoreListLoaded() const { return storeLines_.has_value(); }

  // How long a command that writes the store waits for another program's
  // (kStoreLockWaitLimit until set).
  void SetStoreWaitLimit(std::chrono::milliseconds limit) { storeWaitLimit_ = limit; }

  // The user's wish to stop ("Durdur", a close, Ctrl+C): the loads, the
  // copies and the fingerprint marks end at the next person, keeping what
  // they did (a copy's writes are committed, its list lines appended). A
  // load that stopped leaves its list as far as it came; a store list that
  // did not finish loading counts as not loaded (StoreListLoaded).
  void SetStopRequest(const StopRequest* stop) { stop_ = stop; }
  // Whether the last command ended early at the user's wish.
  bool Stopped() const { return stopped_; }

  // "Al" of the personal data: the ticked terminal users into the store. The
  // terminal does not tell card numbers, so an empty "Kart No" on the
  // terminal's list leaves the card number the store has on disk.
  PersonnelOutcome CopyPersonalToStore();
  // "Gönder" of the personal data: the ticked store persons to the terminal.
  PersonnelOutcome SendPersonalToTerminal();
  // An edit of the store's list ended in this cell: columns 1..4 are written
  // to isim, yetki, kartno or sifre at once; other columns are not saved.
  // A person another program deleted meanwhile is not written back
  // (PersonGoneMessage).
  void SaveStoreEdit(int row, int column);
  // "Al" of the fingerprints: the ticked terminal users' templates into the
  // store. A terminal that refuses to list its templates stops it with
  // TemplatesRefusedToListMessage before anything is written.
  PersonnelOutcome CopyTemplatesToStore();
  // "Gönder" of the fingerprints: the ticked store persons' templates to the terminal.
  PersonnelOutcome SendTemplatesToTerminal();
  // "Sil": the ticked terminal users from the terminal, then the ticked store
  // persons from the store; personel.ini is rewritten in the order shown.
  // A user the terminal refuses to delete keeps its row, ticked, and is
  // counted in the closing message. When personel.ini changed on disk since
  // the store's list was read (another program appended to it), the file as
  // it now stands loses the deleted persons' lines and nothing else, and the
  // store's list is read again from it.
  PersonnelOutcome DeleteTicked();

  // Sets the fingerprint mark of every terminal-list row whose user has a
  // template on the terminal (the window never shows it; miravel-personel
  // lists it). A refused list of templates throws as "Al" does.
  void MarkTerminalFingerprints();

 private:
  class Progress;
  class StoreWrites;
  // The machine number every call to the terminal carries.
  int Machine() const { return terminal_.machineNumber; }
  // At a safe point of a command: whether to end it here (noted for Stopped).
  bool Stopping();
  // One bulk load of the terminal (ReadAllUsers, ReadAllTemplates), its
  // items moving progress. A stop asked while they arrive ends the load at
  // its next chunk; the link, left out of step, is then opened again, so
  // that the next command finds the terminal. Returns the load's answer, or
  // false when stopped (Stopping() then tells).
  bool LoadInBulk(Progress& progress, bool (TerminalClient::*load)(int machineNumber));
  // Returns why the terminal's users could not be listed; none when they were.
  std::optional<std::string> LoadTerminalList(Progress& progress);
  void LoadStoreList(Progress& progress);
  // A terminal-list row as a new person of the store: a list line, the
  // personal keys, a new row of the store's list. templateIndex is the last
  // template slot written for the person, -1 for none.
  void AddPersonnelToStore(int terminalRow, int templateIndex, PerNoIndex& storeRows,
                           StoreWrites& writes);
  // Sends the stored templates of perNo as fingers 0, 1, 2 … in key order;
  // returns how many the terminal refused.
  int SendStoredTemplates(const std::string& perNo, int enrollNumber);
  // Throws StoreNotLoadedMessage unless the store's list finished loading.
  void RequireStoreListLoaded() const;
  // Returns how many ticked users the terminal refused to delete.
  int DeleteFromTerminal();
  // Returns whether personel.ini had changed on disk and was worked on as it stood.
  bool DeleteFromStore();
  // Waits for the store's lock, telling the feedback while it waits.
  std::unique_ptr<StoreLock> TakeStore();
  // Under the lock: when personel.ini is no longer as this window last read
  // or wrote it, the store's list is loaded again from the store, its ticks
  // kept by Per.No, so that the command adds no person twice. Returns
  // whether it was.
  bool FollowStoreOnDisk();

  PersonnelTerminal& terminal_;
  PersonnelStore& store_;
  PersonnelList& terminalList_;
  PersonnelList& storeList_;
  PersonnelFeedback& feedback_;
  // The lines of personel.ini as this window last read or wrote them; none
  // while the store's list is not loaded. "Sil" compares the file with them
  // to see another program's change.
  std::optional<std::vector<std::string>> storeLines_;
  std::chrono::milliseconds storeWaitLimit_ = kStoreLockWaitLimit;
  const StopRequest* stop_ = nullptr;
  bool stopped_ = false;
};

// The most users the terminal list shows. A terminal listing more gets
// TooManyUsersMessage.
inline constexpr std::size_t kMaxListedUsers = 100'000;
std::string TooManyUsersMessage();
// The terminal refused to list its users, or its fingerprint templates.
std::string UsersRefusedMessage();
std::string TemplatesRefusedToListMessage();

// The closing messages of the two "Gönder" commands and of "Sil".
std::string PersonalRefusedMessage(int persons);
std::string TemplatesRefusedMessage(int persons);
std::string DeleteRefusedMessage(int persons);
// "Sil" found personel.ini changed by another program since it was read.
std::string StoreListChangedMessage();
// An edited cell of a person whom another program removed from the store.
std::string PersonGoneMessage(const std::string& perNo);
// A stop came while a command waited for another program's writes to the store.
std::string StoreWaitStoppedMessage();
// A command that writes the store, asked while its list is not loaded.
std::string StoreNotLoadedMessage();

}  // namespace miravel
