// miravel_store_edit_driver OFFICE PERNO NAME: loads the office's store list
// as the personnel window does and saves NAME into the name cell of PERNO's
// row, one cell edit and its commit, then ends. A test kills it at chosen
// moments to see what a cell edit leaves on disk.
#include <cstdio>
#include <string>

#include "core/AppError.h"
#include "personnel/PersonnelCommands.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/SilentPersonnelFeedback.h"

int main(int argc, char** argv) {
  using namespace miravel;
  if (argc != 4) {
    std::fputs("miravel_store_edit_driver OFFICE PERNO NAME\n", stderr);
    return 2;
  }
  try {
    test::FakeTerminal client;
    PersonnelTerminal terminal{client};
    PersonnelStore store(argv[1]);
    PersonnelRows terminalList;
    PersonnelRows storeList;
    test::SilentPersonnelFeedback feedback;
    PersonnelCommands commands(terminal, store, terminalList, storeList, feedback);
    commands.LoadStoreList();
    const int row = FindRow(storeList, argv[2]);
    if (row < 0) throw AppError(std::string("Per.No yok: ") + argv[2]);
    storeList.SetText(row, kNameColumn, argv[3]);
    commands.SaveStoreEdit(row, kNameColumn);
  } catch (const AppError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
