#pragma once

#include <ostream>
#include <string>

namespace miravel {

// The progress bar of the programs without a window: one line on stderr,
// redrawn in place while a command runs, wiped when it ends, so that what
// the program prints afterwards starts on a clean line. Draws nothing when
// stderr is not a terminal (a timer's journal, a file).
class ConsoleBar {
 public:
  ConsoleBar(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}

  void Draw(const std::string& label, int percent);
  // Wipes the bar when one is shown.
  void Clear();

 private:
  std::ostream& out_;
  bool enabled_;
  bool shown_ = false;
};

}  // namespace miravel
