#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <utility>

#include "core/AppError.h"
#include "core/Cp1254.h"
#include "core/IniFile.h"
#include "personnel/PersonnelCommands.h"
#include "personnel/StoreLock.h"
#include "terminal/DeviceConnection.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TempFolder.h"

namespace miravel {
namespace {

using test::ReadFile;
using test::WriteFile;

class RecordingFeedback : public PersonnelFeedback {
 public:
  void ShowProgress(const std::string& caption) override {
    captions.push_back(caption);
    shown = true;
  }
  void SetProgress(int percent) override { percents.push_back(percent); }
  void HideProgress() override { shown = false; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void WaitingForStore() override {
    PersonnelFeedback::WaitingForStore();
    if (onFirstWait) std::exchange(onFirstWait, nullptr)();
  }

  std::vector<std::string> captions;
  std::vector<int> percents;
  std::vector<std::string> messages;
  bool shown = false;
  std::function<void()> onFirstWait;
};

class PersonnelCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(folder / "personel");
    ConnectionTarget target;
    target.kind = ConnectionKind::kNetwork;
    target.ipAddress = "127.0.0.1";  // a fake terminal: nothing leaves the process
    target.machineNumber = 1;
    ASSERT_TRUE(commands.Connect(target));
  }

  void WriteStore(const std::string& list, const std::string& details) {
    WriteFile(store.ListPath(), list);
    WriteFile(store.DetailPath(), Utf8ToCp1254(details));
  }
  // A key as it stands on disk now, read whole.
  std::string Stored(const std::string& section, const std::string& key) {
    return IniFile(store.DetailPath()).ReadString(section, key, "<yok>", std::string::npos);
  }
  static std::vector<std::string> Column(const PersonnelRows& list, int column) {
    std::vector<std::string> texts;
    for (const auto& row : list.Rows()) texts.push_back(row.texts[column]);
    return texts;
  }
  static std::vector<bool> Ticks(const PersonnelRows& list) {
    std::vector<bool> ticks;
    for (const auto& row : list.Rows()) ticks.push_back(row.ticked);
    return ticks;
  }
  static void Tick(PersonnelRows& list, const std::string& perNo) {
    const int row = FindRow(list, perNo);
    ASSERT_GE(row, 0) << perNo;
    list.SetTicked(row, true);
  }

  test::TempFolder folder;
  test::FakeTerminal fake;
  PersonnelTerminal terminal{fake};
  PersonnelStore store{folder.Path()};
  PersonnelRows terminalList;
  PersonnelRows storeList;
  RecordingFeedback feedback;
  PersonnelCommands commands{terminal, store, terminalList, storeList, feedback};
};

TEST_F(PersonnelCommandsTest, LoadingShowsTheUsersTheTerminalHasSortedAndTheStoreInFileOrder) {
  fake.users[42] = {"Ayşe Yılmaz", "123", 2};
  fake.users[7] = {"Can", "", 7};
  fake.users[100001] = {"Ali", "", 0};
  for (int enroll = 1000; enroll < 1022; ++enroll) fake.users[enroll] = {"Kişi", "", 0};
  fake.reportedUserCount = 30;  // more than it holds: no row twice
  for (const auto& [enroll, user] : fake.users)
    fake.listedOrder.insert(fake.listedOrder.begin(), enroll);
  WriteStore("00012\r\n\r\n00034\r\n12\r\n",
             "[00034]\r\nparmakizi9=" + std::string(11, 'x') + "\r\n[00012]\r\nisim=Öykü\r\n" +
                 "kartno=55\r\nyetki=\r\nparmakizi0=0123456789\r\n");
  for (int line = 100; line < 123; ++line) store.AppendToList(std::to_string(line));

  commands.LoadLists();
  ASSERT_EQ(terminalList.RowCount(), 25);
  EXPECT_EQ(Column(terminalList, kPerNoColumn)[0], "00007");
  EXPECT_EQ(Column(terminalList, kPerNoColumn)[1], "00042");
  EXPECT_EQ(Column(terminalList, kPerNoColumn)[24], "100001");  // whole, never 00001
  EXPECT_EQ(terminalList.Rows()[1].texts,
            (std::array<std::string, 5>{"00042", "Ayşe Yılmaz", "Yetkili", "", "123"}));
  EXPECT_EQ(terminalList.Rows()[0].texts[kPrivilegeColumn], "");  // privilege 7 has no name
  EXPECT_TRUE(terminalList.Rows()[24].loadedFromTerminal);

  ASSERT_EQ(storeList.RowCount(), 25);
  EXPECT_EQ(storeList.Rows()[0].texts, (std::array<std::string, 5>{"00012", "Öykü", "", "55", ""}));
  EXPECT_FALSE(storeList.Rows()[0].fingerprint);  // 10 characters are no template
  EXPECT_EQ(storeList.Rows()[1].texts[kPrivilegeColumn], "Normal");
  EXPECT_TRUE(storeList.Rows()[1].fingerprint);  // from parmakizi9 alone
  EXPECT_EQ(storeList.Rows()[2].texts[kPerNoColumn], "100");

  EXPECT_EQ(feedback.captions, (std::vector<std::string>{"Cihazdaki Personeller Yükleniyor",
                                                         "Bilgisayardaki Personeller Yükleniyor"}));
  for (std::size_t i = 1; i < feedback.percents.size(); ++i) {
    EXPECT_NE(feedback.percents[i], feedback.percents[i - 1]) << "told twice";
  }
  EXPECT_FALSE(feedback.shown);

  // A line that is not a number shows no row of the store, and the group goes.
  store.AppendToList("x1");
  try {
    commands.LoadLists();
    ADD_FAILURE() << "loaded";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "'x1' is not a valid integer value");
  }
  EXPECT_EQ(storeList.RowCount(), 0);
  EXPECT_FALSE(feedback.shown);
}

TEST_F(PersonnelCommandsTest, AListTooLongToShowStopsTheLoadButTheStoreIsShown) {
  for (int enroll = 1; enroll <= 100'000; ++enroll) fake.users[enroll] = {"", "", 0};
  WriteStore("00012\r\n", "");
  commands.LoadLists();
  EXPECT_EQ(terminalList.RowCount(), 100'000);
  EXPECT_TRUE(feedback.messages.empty());

  fake.users[100'001] = {"", "", 0};
  try {
    commands.LoadLists();
    ADD_FAILURE() << "loaded";
  } catch (const AppError& error) {
    EXPECT_EQ(error.what(), TooManyUsersMessage());
  }
  EXPECT_EQ(terminalList.RowCount(), 0);
  EXPECT_EQ(storeList.RowCount(), 1);
  EXPECT_EQ(fake.CallCount("GetUserInfo"), 100'000);  // none asked for the second time
}

TEST_F(PersonnelCommandsTest, PersonalDataComesToTheStoreOnceAndEditsAreSavedAtOnce) {
  fake.users[12] = {"Gülşen", "55", 1};
  fake.users[34] = {"Ömer", "", 0};
  commands.LoadLists();  // no personel.ini yet: an empty store
  Tick(terminalList, "00012");
  EXPECT_EQ(commands.CopyPersonalToStore().handled, 1);
  EXPECT_EQ(ReadFile(store.ListPath()), "00012\r\n");
  EXPECT_EQ(Stored("00012", "isim"), "Gülşen");
  EXPECT_EQ(Stored("00012", "yetki"), "Kayıtçı");
  EXPECT_EQ(Stored("00012", "sifre"), "55");
  EXPECT_EQ(storeList.Rows().at(0).texts,
            (std::array<std::string, 5>{"00012", "Gülşen", "Kayıtçı", "", "55"}));
  EXPECT_EQ(Ticks(terminalList), (std::vector<bool>{false, false}));

  storeList.SetText(0, kCardColumn, "778899");
  commands.SaveStoreEdit(0, kCardColumn);
  EXPECT_EQ(Stored("00012", "kartno"), "778899");

  // Again, with a new name on the terminal: no second line, and the card
  // number the terminal cannot tell stays.
  terminalList.SetText(0, kNameColumn, "Gülşen Ak");
  Tick(terminalList, "00012");
  commands.CopyPersonalToStore();
  EXPECT_EQ(ReadFile(store.ListPath()), "00012\r\n");
  EXPECT_EQ(Stored("00012", "isim"), "Gülşen Ak");
  EXPECT_EQ(Stored("00012", "kartno"), "778899");
  EXPECT_EQ(storeList.RowCount(), 1);
  EXPECT_EQ(storeList.Rows()[0].texts[kCardColumn], "778899");
}

TEST_F(PersonnelCommandsTest, SendingPersonalDataCutsNameAndPasswordAndReportsRefusals) {
  fake.users[6] = {"Eski", "", 0};
  fake.users[99] = {"Başka", "", 0};
  WriteStore("00005\r\n00006\r\n00007\r\n",
             "[00005]\r\nisim=Şükrü Çağlayan\r\nsifre=1234567\r\nyetki=Yetkili\r\n"
             "[00006]\r\nisim=Yeni\r\nyetki=Müdür\r\n[00007]\r\nisim=Reddedilen\r\n");
  commands.LoadLists();
  TickAll(storeList);
  fake.refusedEnrolls = {7};
  const PersonnelOutcome outcome = commands.SendPersonalToTerminal();

  EXPECT_EQ(fake.CallCount("SetUserInfo"), 3);
  EXPECT_NE(std::find(fake.calls.begin(), fake.calls.end(), "SetUserInfo(1,5,Şükrü Ça,12345,2,1)"),
            fake.calls.end());
  EXPECT_EQ(fake.users.at(6).privilege, 0) << "an unknown Yetki is sent as Normal";
  // 00006 in place, 00005 appended with its full texts; the
  // refused 00007 is not shown as copied and stays ticked.
  EXPECT_EQ(Column(terminalList, kPerNoColumn),
            (std::vector<std::string>{"00006", "00099", "00005"}));
  EXPECT_EQ(terminalList.Rows()[0].texts[kNameColumn], "Yeni");
  EXPECT_EQ(terminalList.Rows()[2].texts[kNameColumn], "Şükrü Çağlayan");
  EXPECT_EQ(terminalList.Rows()[2].texts[kPasswordColumn], "1234567");
  EXPECT_EQ(Ticks(storeList), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(outcome.refused, 1);
  EXPECT_EQ(feedback.messages,
            (std::vector<std::string>{"1 kişinin bilgileri cihaza gönderilemedi"}));
  EXPECT_EQ(fake.calls.back(), "GetDeviceStatus(1,2)");
  EXPECT_EQ(terminal.userCount, 3);
}

TEST_F(PersonnelCommandsTest, TemplatesComeDenselyAndAddPersonsAsTheStoreListDecides) {
  const std::string longTemplate(1200, 'T');
  WriteStore("00003\r\n", "[00003]\r\nparmakizi0=" + std::string(20, 'a') +
                              "\r\nparmakizi1=" + std::string(20, 'b') +
                              "\r\nparmakizi2=" + std::string(20, 'c') + "\r\n");
  for (int enroll : {3, 4, 8}) fake.users[enroll] = {"Kişi " + std::to_string(enroll), "", 0};
  fake.templates[{3, 6}] = longTemplate;
  fake.templates[{8, 3}] = std::string(20, 'A');
  fake.templates[{8, 6}] = std::string(20, 'B');
  fake.templates[{8, 7}] = "0123456789";  // ten characters: none
  commands.LoadLists();
  TickAll(terminalList);
  commands.CopyTemplatesToStore();

  EXPECT_EQ(fake.CallCount("ReadAllTemplates"), 1);
  EXPECT_EQ(Stored("00003", "parmakizi0"), longTemplate);
  EXPECT_EQ(Stored("00003", "parmakizi1"), std::string(20, 'b')) << "higher keys stay";
  EXPECT_EQ(Stored("00008", "parmakizi0"), std::string(20, 'A'));
  EXPECT_EQ(Stored("00008", "parmakizi1"), std::string(20, 'B'));
  EXPECT_EQ(Stored("00008", "parmakizi2"), "<yok>");
  // 00004 has no template but joins a store list that has rows.
  EXPECT_EQ(ReadFile(store.ListPath()), "00003\r\n00004\r\n00008\r\n");
  EXPECT_EQ(Column(storeList, kNameColumn), (std::vector<std::string>{"", "Kişi 4", "Kişi 8"}));
  EXPECT_EQ(std::vector<bool>({storeList.Rows()[0].fingerprint, storeList.Rows()[1].fingerprint,
                               storeList.Rows()[2].fingerprint}),
            (std::vector<bool>{true, false, true}));
  EXPECT_EQ(Ticks(terminalList), (std::vector<bool>{false, false, false}));

  // Into an empty store list a person without templates is not added.
  std::filesystem::remove(store.ListPath());
  commands.LoadLists();
  Tick(terminalList, "00004");
  commands.CopyTemplatesToStore();
  EXPECT_EQ(storeList.RowCount(), 0);
  Tick(terminalList, "00008");
  commands.CopyTemplatesToStore();
  EXPECT_EQ(ReadFile(store.ListPath()), "00008\r\n");
}

// A long bulk load ends at the chunk after "Durdur", leaves the store as it
// was, and the terminal, reached again, serves the next command.
TEST_F(PersonnelCommandsTest, AStopDuringABulkLoadEndsItAtTheNextChunkAndKeepsTheTerminal) {
  StopRequest stop;
  commands.SetStopRequest(&stop);
  WriteStore("", "");
  for (int enroll = 1; enroll <= 50; ++enroll) {
    fake.users[enroll] = {"Kişi", "", 0};
    fake.templates[{enroll, 0}] = std::string(30, 'x');
  }
  fake.itemsPerChunk = 10;
  commands.LoadLists();
  TickAll(terminalList);
  const int connects = fake.CallCount("ConnectNetwork");
  const std::size_t chunksBefore = fake.chunksSent;
  fake.onCall = [&](const std::string& operation) {
    if (operation == "ReadAllTemplates") stop.Request();
  };
  commands.CopyTemplatesToStore();
  EXPECT_TRUE(commands.Stopped());
  EXPECT_EQ(fake.chunksSent - chunksBefore, 1u);
  EXPECT_EQ(fake.CallCount("GetFingerTemplate"), 0);
  EXPECT_EQ(ReadFile(store.ListPath()), "");
  EXPECT_EQ(fake.CallCount("ConnectNetwork"), connects + 1);

  fake.onCall = nullptr;
  stop.Clear();
  commands.CopyTemplatesToStore();
  EXPECT_FALSE(commands.Stopped());
  EXPECT_EQ(Stored("00050", "parmakizi0"), std::string(30, 'x'));
}

TEST_F(PersonnelCommandsTest, ALinkLostInTheMiddleKeepsWhatTheRowsBeforeIt) {
  for (int enroll : {1, 2}) {
    fake.users[enroll] = {"Kişi", "", 0};
    fake.templates[{enroll, 0}] = std::string(30, 'x');
  }
  WriteStore("00009\r\n", "");
  commands.LoadLists();
  TickAll(terminalList);
  fake.FailOnCall("GetFingerTemplate", 11);  // the second user's first finger
  EXPECT_THROW(commands.CopyTemplatesToStore(), AppError);
  EXPECT_EQ(Stored("00001", "parmakizi0"), std::string(30, 'x')) << "committed on the error";
  EXPECT_EQ(Stored("00002", "parmakizi0"), "<yok>");
  EXPECT_EQ(Ticks(terminalList), (std::vector<bool>{false, true}));
  EXPECT_FALSE(feedback.shown);
}

TEST_F(PersonnelCommandsTest, SendingTemplatesCreatesAbsentUsersAndSendsKeysAsFingersInOrder) {
  const std::string longTemplate(1200, 'X');
  WriteStore("00021\r\n00022\r\n00023\r\n",
             "[00021]\r\nisim=Kemal Sunal Uzun\r\nyetki=Supervizor\r\nparmakizi0=0123456789\r\n"
             "parmakizi2=" +
                 longTemplate + "\r\nparmakizi5=" + std::string(20, 'Y') +
                 "\r\n[00022]\r\nparmakizi0=" + std::string(20, 'Z') + "\r\n[00023]\r\n" +
                 "parmakizi0=" + std::string(20, 'R') + "\r\n");
  fake.users[22] = {"Var", "", 0};
  commands.LoadLists();
  TickAll(storeList);
  fake.refusedEnrolls = {23};
  fake.calls.clear();
  commands.SendTemplatesToTerminal();

  EXPECT_EQ(fake.calls[0], "SetUserInfo(1,21,Kemal Sunal Uzun,,3,1)");  // whole texts
  EXPECT_EQ(fake.calls[1], "SetFingerTemplate(1,21,0)");
  EXPECT_EQ(fake.calls[2], "SetFingerTemplate(1,21,1)");
  EXPECT_EQ(fake.calls[3], "SetFingerTemplate(1,22,0)") << "a present user gets templates only";
  EXPECT_EQ(fake.templates.at({21, 0}), longTemplate);
  EXPECT_EQ(fake.templates.at({21, 1}), std::string(20, 'Y'));
  EXPECT_EQ(Column(terminalList, kPerNoColumn), (std::vector<std::string>{"00022", "00021"}));
  EXPECT_EQ(Ticks(storeList), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(feedback.messages,
            (std::vector<std::string>{"1 kişinin parmak izi cihaza gönderilemedi"}));

  // A Per.No that is not a number stops there; the rows before are done.
  const int bad = storeList.AppendRow();
  storeList.SetText(bad, kPerNoColumn, "x7");
  TickAll(storeList);
  fake.refusedEnrolls.clear();
  try {
    commands.SendTemplatesToTerminal();
    ADD_FAILURE() << "went past x7";
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "'x7' is not a valid integer value");
  }
  EXPECT_EQ(Ticks(storeList), (std::vector<bool>{false, false, false, true}));
}

TEST_F(PersonnelCommandsTest, DeleteTakesAdjacentRowsAndRewritesTheListInTheOrderShown) {
  for (int enroll = 1; enroll <= 4; ++enroll) fake.users[enroll] = {"Kişi", "", 0};
  WriteStore("00011\r\n12\r\n\r\n00012\r\n00013\r\n",
             "[00011]\r\nisim=A\r\n[00012]\r\nisim=B\r\nparmakizi0=" + std::string(20, 'p') +
                 "\r\n[00013]\r\nisim=C\r\n");
  commands.LoadLists();

  commands.DeleteTicked();  // nothing ticked: no terminal call, the list rewritten
  EXPECT_EQ(fake.CallCount("DeleteUser") + fake.CallCount("DeleteFingerTemplate"), 0);
  EXPECT_EQ(ReadFile(store.ListPath()), "00011\r\n00012\r\n00013\r\n");

  for (const char* perNo : {"00001", "00002", "00004"}) Tick(terminalList, perNo);
  Tick(storeList, "00012");
  std::vector<int> progressAtDeleteUser;
  fake.onCall = [&](const std::string& operation) {
    if (operation == "DeleteUser") progressAtDeleteUser.push_back(feedback.percents.back());
  };
  commands.DeleteTicked();
  EXPECT_EQ(progressAtDeleteUser, (std::vector<int>{33, 67, 100}));
  EXPECT_EQ(Column(terminalList, kPerNoColumn), (std::vector<std::string>{"00003"}));
  EXPECT_EQ(fake.users.size(), 1u);
  EXPECT_EQ(ReadFile(store.ListPath()), "00011\r\n00013\r\n");
  EXPECT_EQ(Stored("00012", "isim"), "<yok>");
  EXPECT_EQ(Stored("00012", "parmakizi0"), "<yok>");
  EXPECT_EQ(Stored("00013", "isim"), "C");
  EXPECT_EQ(feedback.captions.back(), "Personeller bilgisayardan siliniyor");
  EXPECT_FALSE(feedback.shown);
}

TEST_F(PersonnelCommandsTest, StoreWritesWaitForAWholeListAndDeleteKeepsLinesAddedMeanwhile) {
  for (int enroll : {1, 2}) fake.users[enroll] = {"Kişi", "", 0};
  const std::string details = "[00011]\r\nisim=A\r\nkartno=778899\r\n[00012]\r\nisim=B\r\n";
  WriteStore("00011\r\n00012\r\n", details);
  // The link drops while the terminal's users are listed: the store's list
  // never loads, and nothing that writes the store may run on it.
  fake.FailOnCall("GetUserInfo", 2);
  EXPECT_THROW(commands.LoadLists(), AppError);
  TickAll(terminalList);
  for (const auto& command : std::vector<std::function<void()>>{
           [&] { commands.DeleteTicked(); }, [&] { commands.CopyPersonalToStore(); },
           [&] { commands.CopyTemplatesToStore(); }}) {
    try {
      command();
      ADD_FAILURE() << "ran on a list that never loaded";
    } catch (const AppError& error) {
      EXPECT_EQ(error.what(), StoreNotLoadedMessage());
    }
  }
  EXPECT_EQ(ReadFile(store.ListPath()), "00011\r\n00012\r\n");
  EXPECT_EQ(Stored("00011", "kartno"), "778899");
  EXPECT_EQ(fake.CallCount("DeleteUser"), 0);
  // The same when the store's own rows stop coming after the first.
  struct RowsFailingAfterOne : PersonnelRows {
    int AppendRow() override {
      if (RowCount() == 1) throw AppError("Liste dolu");
      return PersonnelRows::AppendRow();
    }
  } halfLoaded;
  PersonnelCommands onHalfList{terminal, store, terminalList, halfLoaded, feedback};
  EXPECT_THROW(onHalfList.LoadLists(), AppError);
  EXPECT_THROW(onHalfList.DeleteTicked(), AppError);
  EXPECT_EQ(ReadFile(store.ListPath()), "00011\r\n00012\r\n");

  // Loaded, then another program appends a person while the window is open:
  // "Sil" removes its own person and keeps the newcomer, on disk and on screen.
  commands.LoadLists();
  Tick(terminalList, "00001");
  commands.CopyPersonalToStore();  // this window's own line is no change by another
  WriteFile(store.ListPath(), ReadFile(store.ListPath()) + "00050\r\n");
  Tick(storeList, "00011");
  const PersonnelOutcome outcome = commands.DeleteTicked();
  EXPECT_EQ(ReadFile(store.ListPath()), "00012\r\n00001\r\n00050\r\n");
  EXPECT_EQ(Column(storeList, kPerNoColumn), (std::vector<std::string>{"00012", "00001", "00050"}));
  EXPECT_EQ(Stored("00011", "isim"), "<yok>");
  EXPECT_EQ(outcome.message, StoreListChangedMessage());

  // Unchanged since: the list is written in the order shown, as always.
  storeList.SortByPerNo();
  commands.DeleteTicked();
  EXPECT_EQ(ReadFile(store.ListPath()), "00001\r\n00012\r\n00050\r\n");
  EXPECT_EQ(feedback.messages.size(), 1u);
}

TEST_F(PersonnelCommandsTest, AUserTheTerminalKeepsStaysListedTickedAndIsCounted) {
  for (int enroll : {1, 2, 3}) fake.users[enroll] = {"Kişi", "", 0};
  commands.LoadLists();
  TickAll(terminalList);
  fake.onCall = [&](const std::string& operation) {
    // The second user's deletion is refused; fingers without templates are
    // refused too, as always, and that says nothing.
    if (operation == "DeleteUser") {
      fake.refusedOperations = fake.CallCount("DeleteUser") == 2
                                   ? std::set<std::string>{"DeleteUser"}
                                   : std::set<std::string>{};
    }
  };
  const PersonnelOutcome outcome = commands.DeleteTicked();
  EXPECT_EQ(Column(terminalList, kPerNoColumn), (std::vector<std::string>{"00002"}));
  EXPECT_EQ(Ticks(terminalList), (std::vector<bool>{true}));
  EXPECT_EQ(fake.users.count(2), 1u);
  EXPECT_EQ(outcome.refused, 1);
  EXPECT_EQ(feedback.messages, (std::vector<std::string>{"1 kişi cihazdan silinemedi"}));
}

TEST_F(PersonnelCommandsTest, DeleteSeesALineAnotherProgramReplacedAndKeepsIt) {
  WriteStore("00011\r\n00012\r\n", "[00011]\r\nisim=A\r\n");
  commands.LoadLists();
  WriteFile(store.ListPath(), "00011\r\n00077\r\n");  // as many lines as before
  Tick(storeList, "00011");
  commands.DeleteTicked();
  EXPECT_EQ(ReadFile(store.ListPath()), "00077\r\n");
  EXPECT_EQ(Column(storeList, kPerNoColumn), (std::vector<std::string>{"00077"}));
}

// The window's "Al" while a nightly copy holds the store: it waits, then
// works on what the copy committed.
TEST_F(PersonnelCommandsTest, AWriteWaitsForAnotherProgramAndBuildsOnWhatItCommitted) {
  for (int enroll : {1, 2, 11}) fake.users[enroll] = {"Kişi", "", 0};
  WriteStore("00011\r\n", "[00011]\r\nisim=A\r\nkartno=778899\r\n");
  commands.LoadLists();
  TickAll(terminalList);
  Tick(storeList, "00011");
  const auto otherCommits = [&](const std::string& list, const std::string& card) {
    WriteFile(store.ListPath(), list);
    IniFile(store.DetailPath()).WriteString("00011", "kartno", card);
  };
  auto held = std::make_unique<StoreLock>(store, std::chrono::seconds(1), nullptr);
  feedback.onFirstWait = [&] {
    otherCommits("00011\r\n00001\r\n", "5555");
    held.reset();
  };
  commands.CopyPersonalToStore();
  EXPECT_EQ(std::count(feedback.captions.begin(), feedback.captions.end(), StoreBusyMessage()), 1);
  EXPECT_EQ(ReadFile(store.ListPath()), "00011\r\n00001\r\n00002\r\n");
  EXPECT_EQ(Stored("00011", "kartno"), "5555");
  EXPECT_EQ(Column(storeList, kPerNoColumn), (std::vector<std::string>{"00011", "00001", "00002"}));
  EXPECT_EQ(Ticks(storeList), (std::vector<bool>{true, false, false}));

  // A card given elsewhere while the list stayed as it was.
  otherCommits("00011\r\n00001\r\n00002\r\n", "6666");
  Tick(terminalList, "00011");
  commands.CopyPersonalToStore();
  EXPECT_EQ(Stored("00011", "kartno"), "6666");

  // An edited cell of a person another program deleted meanwhile.
  otherCommits("00011\r\n00001\r\n", "6666");
  storeList.SetText(2, kNameColumn, "Geç");
  commands.SaveStoreEdit(2, kNameColumn);
  EXPECT_EQ(Stored("00002", "isim"), "Kişi");
  EXPECT_EQ(feedback.messages.back(), PersonGoneMessage("00002"));
}

}  // namespace
}  // namespace miravel
