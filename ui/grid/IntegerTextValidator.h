#pragma once

#include <QValidator>

namespace miravel {

// Lets a Number cell take only what the program can read back as a whole
// number: an optional sign and decimal digits within 32 bits. Unlike
// QIntValidator it refuses group separators ("1,000"), which would be stored
// and then fail when the number is read.
class IntegerTextValidator : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& input, int& position) const override;
  void fixup(QString& input) const override;
};

}  // namespace miravel
