#pragma once

#include <string>
#include <vector>

#include "conformance/ProbeLink.h"
#include "terminal/WireProtocol.h"

namespace miravel::conformance {

// What is wrong with a bulk load's chunks and total, and the paragraph it
// breaks; empty when nothing is.
struct BulkProblem {
  std::string problem;
  const char* rule = nullptr;
  explicit operator bool() const { return !problem.empty(); }
};

// Each decodes the chunks of a done bulk load with the program's own reading
// (terminal/BulkChunks.h: no byte missing or left over, the limits of a
// reader kept) and checks the reply's total against the items received.
BulkProblem DecodeLog(const Answer& answer, std::vector<wire::LogRecord>& records);
BulkProblem DecodeUsers(const Answer& answer, std::vector<wire::UserEntry>& users);
BulkProblem DecodeTemplates(const Answer& answer, std::vector<wire::TemplateEntry>& templates);

}  // namespace miravel::conformance
