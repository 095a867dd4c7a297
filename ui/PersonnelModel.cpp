#include "ui/PersonnelModel.h"

#include <QCollator>
#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <utility>

#include "personnel/Person.h"

namespace miravel {
namespace {

QStringList PrivilegeNames() {
  QStringList names;
  for (int privilege = 0; privilege <= 3; ++privilege) {
    names << QString::fromStdString(PrivilegeName(privilege));
  }
  return names;
}

// The columns both lists share; only the store list's texts can be edited and
// only its "Parmak izi" is a picture.
QList<GridColumn> PersonnelColumns(bool storeList) {
  QList<GridColumn> columns = {
      {.caption = QStringLiteral("Per.No"), .width = 58, .numericSort = true},
      {.caption = QStringLiteral("İsim"), .width = 98, .editable = storeList},
      {.caption = QStringLiteral("Yetki"),
       .kind = ColumnKind::DropDown,
       .width = 72,
       .editable = storeList,
       .items = PrivilegeNames(),
       .freeText = storeList},
      {.caption = storeList ? QStringLiteral("Kart no") : QStringLiteral("Kart No"),
       .width = 60,
       .editable = storeList},
      {.caption = QStringLiteral("Şifre"), .width = 46, .editable = storeList},
      {.caption = QStringLiteral("Parmak izi"),
       .kind = storeList ? ColumnKind::Image : ColumnKind::Text,
       .width = 70,
       .centred = true},
      {.caption = QStringLiteral("Seç"),
       .kind = ColumnKind::CheckBox,
       .width = 30,
       .editable = true,
       .centred = true},
  };
  // The terminal's list marks the rows it loaded with "1".
  if (!storeList) columns.append({.caption = QStringLiteral("durum"), .hidden = true});
  return columns;
}

const QString kLoadedMarkText = QStringLiteral("1");

// Up to this many blocks of rows removed are told block by block.
constexpr std::size_t kFewBlocks = 16;

}  // namespace

const QColor PersonnelModel::kEvenRow(255, 255, 225);
const QColor PersonnelModel::kOddRow(255, 255, 197);

PersonnelModel::PersonnelModel(Side side, QObject* parent)
    : QAbstractTableModel(parent), side_(side), columns_(PersonnelColumns(side == Side::kStore)) {}

const PersonnelModel::Person& PersonnelModel::At(int row) const {
  if (row < 0 || row >= Count()) {
    throw std::out_of_range("personnel row " + std::to_string(row) + " does not exist");
  }
  return persons_[static_cast<std::size_t>(row)];
}

PersonnelModel::Person& PersonnelModel::Mutable(int row) {
  return const_cast<Person&>(At(row));
}

bool PersonnelModel::SetText(int row, int column, const std::string& text) {
  std::string& cell = Mutable(row).texts.at(static_cast<std::size_t>(column));
  if (cell == text) return false;
  cell = text;
  Changed(row, column);
  return true;
}

bool PersonnelModel::SetTicked(int row, bool ticked) {
  Person& person = Mutable(row);
  if (person.ticked == ticked) return false;
  person.ticked = ticked;
  Changed(row, kTick);
  return true;
}

bool PersonnelModel::SetFingerprint(int row, bool hasFingerprint) {
  Person& person = Mutable(row);
  if (person.fingerprint == hasFingerprint) return false;
  person.fingerprint = hasFingerprint;
  Changed(row, kFingerprint);
  return true;
}

void PersonnelModel::MarkLoadedFromTerminal(int row) {
  Person& person = Mutable(row);
  if (person.loadedFromTerminal) return;
  person.loadedFromTerminal = true;
  if (side_ == Side::kTerminal) Changed(row, kLoadedMark);
}

int PersonnelModel::Append() {
  persons_.emplace_back();
  if (!held_) Flush();
  return Count() - 1;
}

void PersonnelModel::Remove(const std::vector<int>& rows) {
  if (rows.empty()) return;
  for (int row : rows) At(row);  // refuses a row that does not exist, before anything moves
  Flush();
  // The blocks of neighbouring rows, from the top.
  std::vector<std::pair<int, int>> blocks;
  for (int row : rows) {
    if (!blocks.empty() && blocks.back().second + 1 == row) {
      blocks.back().second = row;
    } else {
      blocks.emplace_back(row, row);
    }
  }
  if (blocks.size() <= kFewBlocks) {
    // The views keep their scroll position and current cell. From the
    // bottom up, so that the blocks above keep their numbers.
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
      beginRemoveRows(QModelIndex(), block->first, block->second);
      persons_.erase(persons_.begin() + block->first, persons_.begin() + block->second + 1);
      shown_ = Count();
      endRemoveRows();
    }
    return;
  }
  // Rows from all over the list: one pass, and the views take the list anew
  // rather than once per block (each would move every row below it).
  beginResetModel();
  EraseInOnePass(persons_, rows);
  shown_ = Count();
  endResetModel();
}

void PersonnelModel::Clear() {
  beginResetModel();
  persons_.clear();
  shown_ = 0;
  changedFirst_ = 0;
  changedLast_ = -1;
  endResetModel();
  // Rows that come next come in their own order: the header no longer shows one.
  ShowSort(-1, Qt::AscendingOrder);
}

void PersonnelModel::Replace(std::vector<Person> persons, std::optional<int> sortShown) {
  Flush();
  const int count = static_cast<int>(persons.size());
  if (count < Count()) {
    beginRemoveRows(QModelIndex(), count, Count() - 1);
    persons_.resize(persons.size());
    shown_ = count;
    endRemoveRows();
  }
  const int kept = Count();
  if (count > kept) beginInsertRows(QModelIndex(), kept, count - 1);
  persons_ = std::move(persons);
  shown_ = count;
  if (count > kept) endInsertRows();
  if (kept > 0) emit dataChanged(index(0, 0), index(kept - 1, columnCount() - 1));
  if (sortShown) ShowSort(*sortShown, Qt::AscendingOrder);
}

void PersonnelModel::HoldNotifications(bool held) {
  if (held_ == held) return;
  held_ = held;
  if (!held_) Flush();
}

void PersonnelModel::Flush() {
  if (Count() > shown_) {
    beginInsertRows(QModelIndex(), shown_, Count() - 1);
    shown_ = Count();
    endInsertRows();
  }
  if (changedFirst_ <= changedLast_) {
    const int first = changedFirst_;
    const int last = std::min(changedLast_, shown_ - 1);
    changedFirst_ = 0;
    changedLast_ = -1;
    if (first <= last) emit dataChanged(index(first, 0), index(last, columnCount() - 1));
  }
}

void PersonnelModel::Changed(int row, int column) {
  // A row the views do not know of yet is told whole when it is.
  if (row >= shown_) return;
  if (!held_) {
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell);
    return;
  }
  if (changedFirst_ > changedLast_) {
    changedFirst_ = changedLast_ = row;
  } else {
    changedFirst_ = std::min(changedFirst_, row);
    changedLast_ = std::max(changedLast_, row);
  }
}

QString PersonnelModel::TextOf(const Person& person, int column) const {
  if (column < kPersonnelTextColumns) {
    return QString::fromStdString(person.texts[static_cast<std::size_t>(column)]);
  }
  if (column == kLoadedMark && person.loadedFromTerminal) return kLoadedMarkText;
  return QString();
}

int PersonnelModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_;
}

int PersonnelModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant PersonnelModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= shown_) return {};
  const Person& person = persons_[static_cast<std::size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      if (columns_[column].kind == ColumnKind::Text ||
          columns_[column].kind == ColumnKind::DropDown) {
        return TextOf(person, column);
      }
      return {};
    case Qt::CheckStateRole:
      if (column == kTick) return static_cast<int>(person.ticked ? Qt::Checked : Qt::Unchecked);
      return {};
    case kGridValueRole:
      // Pictures 0 (red cross) and 1 (fingerprint); the white square is never chosen.
      if (column == kFingerprint && side_ == Side::kStore) return person.fingerprint ? 1 : 0;
      return {};
    case Qt::BackgroundRole:
      if (column <= kTick) return index.row() % 2 == 0 ? kEvenRow : kOddRow;
      return {};
    default:
      return {};
  }
}

QVariant PersonnelModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < columns_.size()) {
    return columns_[section].caption;
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags PersonnelModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const GridColumn& column = columns_[index.column()];
  if (!column.editable) return flags;
  switch (column.kind) {
    case ColumnKind::Text:
    case ColumnKind::DropDown:
    case ColumnKind::Number:
      return flags | Qt::ItemIsEditable;
    case ColumnKind::CheckBox:
      return flags | Qt::ItemIsUserCheckable;
    case ColumnKind::Progress:
    case ColumnKind::Image:
      break;
  }
  return flags;
}

bool PersonnelModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.row() >= shown_) return false;
  const int column = index.column();
  if (role == Qt::CheckStateRole && column == kTick) {
    SetTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
  }
  if (role == Qt::EditRole && column < kPersonnelTextColumns && columns_[column].editable) {
    SetText(index.row(), column, value.toString().toStdString());
    return true;
  }
  return false;
}

std::vector<int> PersonnelModel::SortedOrder(int column, Qt::SortOrder order) const {
  std::vector<int> rows(persons_.size());
  std::iota(rows.begin(), rows.end(), 0);
  const auto sortBy = [&rows, order](auto less) {
    // Descending keeps equal rows in their order too, as ascending does.
    if (order == Qt::AscendingOrder) {
      std::stable_sort(rows.begin(), rows.end(), less);
    } else {
      std::stable_sort(rows.begin(), rows.end(), [&less](int a, int b) { return less(b, a); });
    }
  };
  const auto& people = persons_;
  if (column == kTick) {
    sortBy([&people](int a, int b) { return !people[a].ticked && people[b].ticked; });
  } else if (column == kFingerprint && side_ == Side::kStore) {
    sortBy([&people](int a, int b) { return !people[a].fingerprint && people[b].fingerprint; });
  } else if (columns_[column].numericSort) {
    // 100007 after 20000. Texts that hold no number (empty, typed over)
    // come first, in the order the user reads them, so that the order stays
    // total and stable.
    const QCollator collator;
    std::vector<std::optional<qlonglong>> numbers;
    std::vector<QCollatorSortKey> keys;
    numbers.reserve(persons_.size());
    keys.reserve(persons_.size());
    for (const Person& person : people) {
      const QString text = TextOf(person, column);
      bool ok = false;
      const qlonglong value = text.trimmed().toLongLong(&ok);
      numbers.push_back(ok ? std::optional(value) : std::nullopt);
      keys.push_back(collator.sortKey(ok ? QString() : text));
    }
    sortBy([&numbers, &keys](int a, int b) {
      if (numbers[a] && numbers[b]) return *numbers[a] < *numbers[b];
      if (numbers[a].has_value() != numbers[b].has_value()) return !numbers[a].has_value();
      return keys[a].compare(keys[b]) < 0;
    });
  } else {
    // Names with Turkish letters sort as the user reads them (Ç after C, not
    // after Z). Each text is turned into its collation key once, so that
    // sorting a hundred thousand names does not compare them letter by
    // letter a million times.
    const QCollator collator;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(persons_.size());
    for (const Person& person : people) keys.push_back(collator.sortKey(TextOf(person, column)));
    sortBy([&keys](int a, int b) { return keys[a].compare(keys[b]) < 0; });
  }
  return rows;
}

void PersonnelModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columns_.size()) return;
  Flush();
  const std::vector<int> sortedRows = SortedOrder(column, order);
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRowOf(sortedRows.size());
  std::vector<Person> sorted;
  sorted.reserve(persons_.size());
  for (std::size_t place = 0; place < sortedRows.size(); ++place) {
    newRowOf[static_cast<std::size_t>(sortedRows[place])] = static_cast<int>(place);
    sorted.push_back(std::move(persons_[static_cast<std::size_t>(sortedRows[place])]));
  }
  persons_ = std::move(sorted);
  // An edited cell, the current cell: they go where their rows went.
  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& old : from) {
    to.append(index(newRowOf[static_cast<std::size_t>(old.row())], old.column()));
  }
  changePersistentIndexList(from, to);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  ShowSort(column, order);
}

void PersonnelModel::ShowSort(int column, Qt::SortOrder order) {
  sortColumn_ = column;
  sortOrder_ = order;
  emit SortShown(column, order);
}

}  // namespace miravel
