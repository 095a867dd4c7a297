#include "ui/grid/GridItem.h"

#include <optional>

namespace miravel {

namespace {

std::optional<qlonglong> NumberIn(const QString& text) {
  bool ok = false;
  const qlonglong value = text.trimmed().toLongLong(&ok);
  if (!ok) return std::nullopt;
  return value;
}

}  // namespace

GridItem::GridItem(SortKey sortKey) : QTableWidgetItem(UserType), sortKey_(sortKey) {}

QTableWidgetItem* GridItem::clone() const {
  return new GridItem(*this);
}

bool GridItem::operator<(const QTableWidgetItem& other) const {
  switch (sortKey_) {
    case SortKey::Number: {
      // Cells that hold no number (empty, typed over) come first, in text
      // order, so the order stays total and stable.
      const auto mine = NumberIn(text());
      const auto theirs = NumberIn(other.text());
      if (mine && theirs) return *mine < *theirs;
      if (mine.has_value() != theirs.has_value()) return !mine.has_value();
      return QString::localeAwareCompare(text(), other.text()) < 0;
    }
    case SortKey::CheckState:
      return checkState() < other.checkState();
    case SortKey::Value:
      return data(kValueRole).toInt() < other.data(kValueRole).toInt();
    case SortKey::Text:
      break;
  }
  // Names with Turkish letters sort as the user reads them (Ç after C, not after Z).
  return QString::localeAwareCompare(text(), other.text()) < 0;
}

}  // namespace miravel
