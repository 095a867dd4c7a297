#include "ui/grid/IntegerTextValidator.h"

#include <limits>

namespace miravel {

QValidator::State IntegerTextValidator::validate(QString& input, int& /*position*/) const {
  qsizetype start = 0;
  if (!input.isEmpty() && (input[0] == u'-' || input[0] == u'+')) start = 1;
  if (start == input.size()) return Intermediate;  // empty or a lone sign: still typing
  // More than ten digits cannot fit; stop the user typing them.
  if (input.size() - start > 10) return Invalid;
  for (qsizetype i = start; i < input.size(); ++i) {
    if (input[i] < u'0' || input[i] > u'9') return Invalid;
  }
  const qlonglong value = input.toLongLong();
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    return Invalid;
  }
  return Acceptable;
}

void IntegerTextValidator::fixup(QString& input) const {
  input = input.trimmed();
}

}  // namespace miravel
