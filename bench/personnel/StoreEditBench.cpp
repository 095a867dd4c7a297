// One cell edit of the store's list committed to disk, measured in one run:
//   miravel_bench_store_edit [persons [rounds]]
// On a store of `persons` (default 100,000) with two 1,200-character
// templates each, loaded as the personnel window loads it:
// - a cell edit: a new name saved as the window saves an edited cell (the
//   store's lock, personel.ini compared, one key committed);
// - a commit built afresh: one new name each for a few more persons than a
//   small commit takes, in one group. That is how every commit went before
//   small commits were spliced (the whole file built, written and parsed
//   again); the few names more cost microseconds, and it takes no lock;
// - the floor: a file of parmakizi.ini's size replaced the safe way (a
//   scratch copy written, forced to disk and renamed over it).
// Prints the median of each over `rounds` and their ratios. Goal: the cell
// edit within 0.2 s at 100,000 persons; it cannot be quicker than the floor.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/personnel/BenchStore.h"
#include "core/SafeFile.h"
#include "personnel/PersonnelCommands.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/SilentPersonnelFeedback.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace miravel;
using Clock = std::chrono::steady_clock;

template <class Work>
double Seconds(Work work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int persons = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (persons < 100 || rounds < 1) {
    std::fputs("miravel_bench_store_edit [persons >= 100 [rounds]]\n", stderr);
    return 2;
  }
  test::TempFolder folder;
  std::filesystem::create_directory(folder / "personel");
  bench::WriteStore(folder.Path(), persons);

  test::FakeTerminal client;
  PersonnelTerminal terminal{client};
  PersonnelStore store(folder.Path());
  PersonnelRows terminalList;
  PersonnelRows storeList;
  test::SilentPersonnelFeedback feedback;
  PersonnelCommands commands(terminal, store, terminalList, storeList, feedback);
  const double load = Seconds([&] { commands.LoadStoreList(); });
  std::printf("%d persons, parmakizi.ini %.0f MB; store list loaded in %.2f s\n", persons,
              static_cast<double>(std::filesystem::file_size(store.DetailPath())) / 1e6, load);

  // The floor is measured on a copy beside it: the store's own file changed
  // behind its back would be read again by the next edit.
  const std::string bytes = test::ReadFile(store.DetailPath());
  const std::string copyPath = folder / "personel/kopya.ini";
  std::vector<double> edits;
  std::vector<double> rebuilt;
  std::vector<double> floors;
  for (int round = 0; round < rounds; ++round) {
    // Persons spread over the file, so that the tail behind the edit varies.
    const int row = static_cast<int>((round * 7919L + persons / 3) % persons);
    storeList.SetText(row, kNameColumn, "Yeni Ad " + std::to_string(round));
    edits.push_back(Seconds([&] { commands.SaveStoreEdit(row, kNameColumn); }));
    rebuilt.push_back(Seconds([&] {
      IniWriteGroup group(store.Details());
      for (int person = 0; person < 17; ++person) {
        store.Details().WriteString(FormatPerNo(1 + (row + person * 101) % persons), "isim",
                                    "Toplu " + std::to_string(round));
      }
    }));
    floors.push_back(Seconds([&] { WriteFileAtomically(copyPath, bytes); }));
  }
  const double edit = Median(edits);
  const double before = Median(rebuilt);
  const double floor = Median(floors);
  std::printf(
      "cell edit %.3f s; commit built afresh (before) %.3f s; safe replacement alone %.3f s\n",
      edit, before, floor);
  std::printf("before / cell edit = %.1f; cell edit / safe replacement = %.2f\n", before / edit,
              edit / floor);
  return 0;
}
