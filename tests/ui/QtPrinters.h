#pragma once

#include <QString>
#include <ostream>

// Readable GoogleTest failure messages for texts (and lists of them).
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
