// The persons of the personnel window's lists and the view that shows them:
// the order a header click gives, the colours by position, the edits a user
// makes, what a screen reader reads, and deleting a whole large list.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QHeaderView>
#include <QLocale>
#include <QSignalSpy>
#include <chrono>
#include <filesystem>

#include "personnel/PersonnelCommands.h"
#include "personnel/PersonnelStore.h"
#include "terminal/DeviceConnection.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/TempFolder.h"
#include "ui/PersonnelCommandRows.h"
#include "ui/PersonnelModel.h"
#include "ui/PersonnelView.h"
#include "ui/PersonnelViewList.h"

namespace miravel {
namespace {

QStringList Column(const QAbstractItemModel& rows, int column, int role = Qt::DisplayRole) {
  QStringList texts;
  for (int row = 0; row < rows.rowCount(); ++row) {
    texts << rows.index(row, column).data(role).toString();
  }
  return texts;
}

bool StripedFromTheTop(const QAbstractItemModel& rows) {
  for (int row = 0; row < rows.rowCount(); ++row) {
    const QColor colour = row % 2 == 0 ? PersonnelModel::kEvenRow : PersonnelModel::kOddRow;
    for (int column = 0; column <= PersonnelModel::kTick; ++column) {
      if (rows.index(row, column).data(Qt::BackgroundRole).value<QColor>() != colour) return false;
    }
  }
  return true;
}

struct StoreList {
  PersonnelModel persons{PersonnelModel::Side::kStore};
  PersonnelView view{persons};
  PersonnelViewList list{view};

  void Add(const std::string& perNo, const std::string& name, bool ticked = false) {
    const int row = list.AppendRow();
    list.SetText(row, kPerNoColumn, perNo);
    list.SetText(row, kNameColumn, name);
    list.SetTicked(row, ticked);
  }
  void ClickHeader(int column) { emit view.horizontalHeader()->sectionClicked(column); }
};

// The office's own language for the length of a test.
struct TurkishLocale {
  TurkishLocale() { QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey)); }
  ~TurkishLocale() { QLocale::setDefault(before); }
  const QLocale before;
};

TEST(PersonnelModelTest, HeaderClicksSortStablyAndTicksColoursAndEditsFollowThePersons) {
  const TurkishLocale turkish;
  StoreList store;
  store.Add("00005", "Zeki");
  store.Add("00004", "Çetin", true);
  store.Add("00003", "Can");
  store.Add("00002", "Ali");
  store.Add("00001", "Can");

  // Ç after C, not after Z; the two Cans keep their order both ways.
  store.ClickHeader(kNameColumn);
  EXPECT_EQ(Column(store.persons, kPerNoColumn),
            QStringList({"00002", "00003", "00001", "00004", "00005"}));
  EXPECT_EQ(Column(store.persons, PersonnelModel::kTick, Qt::CheckStateRole),
            QStringList({"0", "0", "0", "2", "0"}));
  store.ClickHeader(kNameColumn);
  EXPECT_EQ(Column(store.persons, kPerNoColumn),
            QStringList({"00005", "00004", "00003", "00001", "00002"}));
  EXPECT_EQ(store.view.horizontalHeader()->sortIndicatorSection(), kNameColumn);
  EXPECT_EQ(store.view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_TRUE(StripedFromTheTop(store.persons));

  // Rows from here and there go; the rest take the colours of their new places.
  store.list.RemoveRows({0, 2});
  EXPECT_EQ(Column(store.persons, kPerNoColumn), QStringList({"00004", "00001", "00002"}));
  EXPECT_TRUE(StripedFromTheTop(store.persons));
  // So many blocks that the view takes the list anew.
  for (int n = 10; n < 50; ++n) store.Add("000" + std::to_string(n), "Kişi");
  std::vector<int> oddRows;
  for (int row = 1; row < 43; row += 2) oddRows.push_back(row);
  store.list.RemoveRows(oddRows);
  const QStringList left = Column(store.persons, kPerNoColumn);
  ASSERT_EQ(left.size(), 22);
  EXPECT_EQ(left.mid(0, 3), QStringList({"00004", "00002", "00011"}));
  EXPECT_EQ(left.back(), "00049");
  EXPECT_TRUE(StripedFromTheTop(store.persons));

  // A user's edit reaches the person; Per.No and the mark cannot be edited,
  // and nothing of the terminal's list but its tick.
  QSignalSpy edited(&store.view, &PersonnelView::CellEdited);
  ASSERT_TRUE(store.persons.setData(store.persons.index(1, kCardColumn), "778899"));
  EXPECT_EQ(store.list.Text(1, kCardColumn), "778899");
  EXPECT_TRUE(edited.isEmpty());  // a change made in code is no user's edit
  EXPECT_FALSE(store.persons.flags(store.persons.index(1, kPerNoColumn)) & Qt::ItemIsEditable);
  EXPECT_FALSE(store.persons.flags(store.persons.index(1, PersonnelModel::kFingerprint)) &
               Qt::ItemIsEditable);
  PersonnelModel terminal(PersonnelModel::Side::kTerminal);
  terminal.Append();
  EXPECT_FALSE(terminal.flags(terminal.index(0, kNameColumn)) & Qt::ItemIsEditable);
  EXPECT_TRUE(terminal.flags(terminal.index(0, PersonnelModel::kTick)) & Qt::ItemIsUserCheckable);

  // What a screen reader reads of each cell.
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&store.view);
  ASSERT_NE(table, nullptr);
  ASSERT_NE(table->tableInterface(), nullptr);
  QAccessibleInterface* name = table->tableInterface()->cellAt(0, kNameColumn);
  QAccessibleInterface* tick = table->tableInterface()->cellAt(0, PersonnelModel::kTick);
  ASSERT_TRUE(name != nullptr && tick != nullptr);
  EXPECT_EQ(name->text(QAccessible::Name), "Çetin");
  EXPECT_TRUE(tick->state().checkable);
  EXPECT_TRUE(tick->state().checked);
  EXPECT_FALSE(table->tableInterface()->cellAt(1, PersonnelModel::kTick)->state().checked);
}

// Ticking every row of a list tells the view once, not once per row.
TEST(PersonnelModelTest, WhileNotificationsAreHeldTheViewHearsOfNewRowsAndChangesOnce) {
  StoreList store;
  store.Add("00001", "Ali");
  QSignalSpy inserted(&store.persons, &QAbstractItemModel::rowsInserted);
  QSignalSpy changed(&store.persons, &QAbstractItemModel::dataChanged);
  {
    NotificationHold hold(store.persons);
    for (int n = 2; n <= 30; ++n) store.Add("000" + std::to_string(n), "Kişi");
    store.list.SetTicked(0, true);
    EXPECT_EQ(store.list.RowCount(), 30);
    EXPECT_EQ(store.persons.rowCount(), 1);
    EXPECT_TRUE(inserted.isEmpty() && changed.isEmpty());
  }
  EXPECT_EQ(store.persons.rowCount(), 30);
  EXPECT_EQ(inserted.size(), 1);
  EXPECT_EQ(changed.size(), 1);
  EXPECT_EQ(store.persons.index(0, PersonnelModel::kTick).data(Qt::CheckStateRole), Qt::Checked);
}

class NoFeedback : public PersonnelFeedback {
  void ShowProgress(const std::string&) override {}
  void SetProgress(int) override {}
  void HideProgress() override {}
  void ShowMessage(const std::string&) override {}
};

// Deleting one row at a time moves every row below it: 20,000 rows of each
// list took more than half a minute even in an optimised build. Removed
// together, both lists go in a second or two; the bound leaves room for a
// busy machine. As in the window, the command works on copies of the lists
// that the views take back when it ends.
TEST(PersonnelModelTest, SilOfEveryRowOfLargeListsTakesTimeInProportionToTheRows) {
  constexpr int kPersons = 20'000;
  test::TempFolder folder;
  std::filesystem::create_directory(folder / "personel");
  std::string lines;
  test::FakeTerminal terminal;
  for (int n = 1; n <= kPersons; ++n) {
    lines += FormatPerNo(n) + "\r\n";
    terminal.users[n] = {"Kişi", "", 0};
  }
  test::WriteFile(folder / "personel/personel.ini", lines);
  PersonnelModel terminalPersons(PersonnelModel::Side::kTerminal);
  PersonnelView terminalView(terminalPersons);
  PersonnelViewList terminalList(terminalView);
  StoreList store;
  PersonnelTerminal link{terminal};
  PersonnelStore files(folder.Path());
  NoFeedback feedback;
  PersonnelCommandRows terminalRows(false);
  PersonnelCommandRows storeRows(true);
  PersonnelCommands commands(link, files, terminalRows, storeRows, feedback);
  ConnectionTarget target;
  target.kind = ConnectionKind::kNetwork;
  target.ipAddress = "127.0.0.1";  // a fake terminal: nothing leaves the process
  ASSERT_TRUE(commands.Connect(target));
  const auto command = [&](auto&& body) {
    terminalList.CopyTo(terminalRows);
    store.list.CopyTo(storeRows);
    body();
    terminalList.TakeRows(terminalRows);
    store.list.TakeRows(storeRows);
  };
  command([&] { commands.LoadLists(); });
  ASSERT_EQ(terminalList.RowCount(), kPersons);
  ASSERT_EQ(store.list.RowCount(), kPersons);
  TickAll(terminalList);
  TickAll(store.list);

  const auto started = std::chrono::steady_clock::now();
  command([&] { commands.DeleteTicked(); });
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took.count(), 15.0);
  EXPECT_EQ(terminalList.RowCount(), 0);
  EXPECT_EQ(store.list.RowCount(), 0);
  EXPECT_TRUE(terminal.users.empty());
  EXPECT_EQ(test::ReadFile(folder / "personel/personel.ini"), "");
}

}  // namespace
}  // namespace miravel
