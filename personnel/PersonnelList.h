#pragma once

#include <array>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace miravel {

// The columns both personnel lists share, numbered as the window shows them.
// Column 5 ("Parmak izi") and column 6 ("Seç") are the fingerprint mark and
// the tick; they are not texts (see PersonnelList).
enum PersonnelColumn : int {
  kPerNoColumn = 0,
  kNameColumn = 1,
  kPrivilegeColumn = 2,
  kCardColumn = 3,
  kPasswordColumn = 4,
};
inline constexpr int kPersonnelTextColumns = 5;

// One of the two lists of the personnel window as the commands see it: the
// terminal's users (left) or the store on this computer (right). Rows are
// numbered from 0 at the top, in the order shown. The window implements it
// over its grids, miravel-personel over plain rows (PersonnelRows below).
// How and when a list is painted is the window's business alone. Row numbers
// change when rows are removed or sorted: nobody keeps one across a command.
class PersonnelList {
 public:
  virtual ~PersonnelList() = default;

  virtual int RowCount() const = 0;
  // Texts of the columns 0..4.
  virtual std::string Text(int row, int column) const = 0;
  virtual void SetText(int row, int column, const std::string& text) = 0;
  // The "Seç" box.
  virtual bool Ticked(int row) const = 0;
  virtual void SetTicked(int row, bool ticked) = 0;
  // The "Parmak izi" column: true shows the fingerprint picture, false the
  // red cross. Only the store's list shows it; the terminal's list ignores it.
  virtual bool FingerprintMark(int row) const = 0;
  virtual void SetFingerprintMark(int row, bool hasFingerprint) = 0;
  // The terminal's list marks the rows it loaded from the terminal (its
  // hidden "durum" column); rows added later by a copy are not marked.
  virtual void MarkLoadedFromTerminal(int row) { (void)row; }
  // The terminal's own number of the user on a row of the terminal's list,
  // kept beside the Per.No text that shows it; none for a row that was never
  // given one. Every call to the terminal about a row names the user by it.
  virtual std::optional<int> EnrollNumber(int row) const = 0;
  virtual void SetEnrollNumber(int row, int enrollNumber) = 0;

  // A new empty, unticked row without fingerprint mark at the bottom;
  // returns its number.
  virtual int AppendRow() = 0;
  // Room for this many rows in all, made once before a load appends them: a
  // list grown row by row holds up to twice its rows while it moves them.
  virtual void ReserveRows(int count) { (void)count; }
  virtual void RemoveRow(int row) = 0;
  // Removes these rows (numbers ascending, each once) in one pass, so that
  // deleting thousands of rows does not move the rows below each of them.
  // The default removes them one by one, from the bottom.
  virtual void RemoveRows(const std::vector<int>& rows);
  virtual void RemoveAllRows() = 0;
  // Orders the rows by the number their Per.No text holds, ascending, so that
  // 100007 comes after 20000 (a text that holds no number comes first);
  // rows with equal numbers keep their order.
  virtual void SortByPerNo() = 0;
};

// Erases these items (numbers ascending, each once) in one pass; the others
// keep their order.
template <class Item>
void EraseInOnePass(std::vector<Item>& items, const std::vector<int>& rows) {
  if (rows.empty()) return;
  std::size_t kept = static_cast<std::size_t>(rows.front());
  auto next = rows.begin();
  for (std::size_t row = kept; row < items.size(); ++row) {
    if (next != rows.end() && static_cast<std::size_t>(*next) == row) {
      ++next;
      continue;
    }
    items[kept++] = std::move(items[row]);
  }
  items.resize(kept);
}

// The first row, from the top, whose Per.No text is exactly perNo; -1 when
// there is none (also for an empty list).
int FindRow(const PersonnelList& list, const std::string& perNo);

// The selection buttons: tick every row, clear every tick, invert the ticks.
void TickAll(PersonnelList& list);
void ClearTicks(PersonnelList& list);
void InvertTicks(PersonnelList& list);
int TickedCount(const PersonnelList& list);

// Rows a command removes as it goes, taken out of the list together when it
// ends, also when an error stops it: the rows it dealt with are gone, the
// others stay, and no removal moves the rows below it one at a time.
class RowRemoval {
 public:
  explicit RowRemoval(PersonnelList& list) : list_(list) {}
  // Removes what was added, when Finish was not reached (an error stops the command).
  ~RowRemoval();
  RowRemoval(const RowRemoval&) = delete;
  RowRemoval& operator=(const RowRemoval&) = delete;

  // Rows are added from the top down.
  void Add(int row) { rows_.push_back(row); }
  // Removes the rows added so far; a command that ends well calls it.
  void Finish();

 private:
  PersonnelList& list_;
  std::vector<int> rows_;
};

// The first row of each Per.No text, looked up in constant time by the bulk
// commands (a linear search per row would make a copy of thousands of people
// quadratic). It follows appended rows through Add; it is built anew when
// rows are removed or reordered.
class PerNoIndex {
 public:
  explicit PerNoIndex(const PersonnelList& list);
  // The first row of perNo, -1 when none.
  int Find(const std::string& perNo) const;
  // A row appended with this Per.No; an earlier row of the same text stays first.
  void Add(const std::string& perNo, int row);

 private:
  std::unordered_map<std::string, int> first_;
};

// A list held in memory: the one miravel-personel uses and the tests check.
class PersonnelRows : public PersonnelList {
 public:
  struct Row {
    std::array<std::string, kPersonnelTextColumns> texts;
    bool ticked = false;
    bool fingerprint = false;
    bool loadedFromTerminal = false;
    std::optional<int> enrollNumber;
  };

  const std::vector<Row>& Rows() const { return rows_; }
  // The rows whole, handed over to or taken from another holder of them.
  void SetRows(std::vector<Row> rows) { rows_ = std::move(rows); }
  std::vector<Row> TakeRows() { return std::exchange(rows_, {}); }

  int RowCount() const override { return static_cast<int>(rows_.size()); }
  std::string Text(int row, int column) const override;
  void SetText(int row, int column, const std::string& text) override;
  bool Ticked(int row) const override;
  void SetTicked(int row, bool ticked) override;
  bool FingerprintMark(int row) const override;
  void SetFingerprintMark(int row, bool hasFingerprint) override;
  void MarkLoadedFromTerminal(int row) override;
  std::optional<int> EnrollNumber(int row) const override { return At(row).enrollNumber; }
  void SetEnrollNumber(int row, int enrollNumber) override { At(row).enrollNumber = enrollNumber; }
  int AppendRow() override;
  void ReserveRows(int count) override { rows_.reserve(static_cast<std::size_t>(count)); }
  void RemoveRow(int row) override;
  void RemoveRows(const std::vector<int>& rows) override;
  void RemoveAllRows() override { rows_.clear(); }
  void SortByPerNo() override;

 private:
  Row& At(int row);
  const Row& At(int row) const;

  std::vector<Row> rows_;
};

}  // namespace miravel
