#pragma once

#include <cstdio>
#include <string>

#include "personnel/PersonnelCommands.h"

namespace miravel::test {

// Feedback of a personnel command run by a program that shows no progress:
// only the command's closing word, on stderr.
class SilentPersonnelFeedback : public PersonnelFeedback {
 public:
  void ShowProgress(const std::string&) override {}
  void SetProgress(int) override {}
  void HideProgress() override {}
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void WaitingForStore() override {}
};

}  // namespace miravel::test
