// The personnel window with an office of thousands, measured in one run:
//   miravel_bench_personnel_window [persons [rounds [parts]]]
// A terminal with `persons` users (default 3,000) and a store on this computer
// with as many persons, each with two 1,200-character templates. Under the
// offscreen platform, or the one QT_QPA_PLATFORM names (xcb in a real X
// session, with a screen reader's accessibility bridge or without), it times,
// from showing the window until both lists are
// loaded, the full office against half of it (the growth must stay linear:
// at most 2.3 x), once with the fake terminal (the window and the store
// alone) and once with the emulator on 127.0.0.1 (the wire protocol too);
// then "Sil" of every third store row ticked (1,000 of 3,000). Each figure is the
// median of `rounds` runs (default 3), as wall-clock time and as the CPU time
// of the window's thread, which other work on a shared machine disturbs less.
// Then fingerprint "Al" and "Gönder" of everyone in the window against the
// emulator, at `persons` and twice as many.
// "stall" probes the window's event loop (a 10 ms timer; the longest gap
// between its ticks) during the load of persons + persons and fingerprint
// "Al" of persons users over the emulator (goal: at most 100 ms).
// `parts` picks some of "fake", "emulator", "sil", "parmakizi", "stall", "big" (a header
// click, one edit, "Tümünü Seç" and "Sil" of the whole store list) and "memory"
// (one load alone, then the process's peak memory); default all but "big" and
// "memory", comma-separated.
// Goals: loading and "Sil" each under 2 s.
// As a screen reader's user has it, in a bare X server with the accessibility
// bus running and Qt's bridge to it on (one command, on one line):
//   Xvfb :7 & DISPLAY=:7 QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
//   dbus-run-session -- sh -c 'dbus-send --session --print-reply --dest=org.a11y.Bus
//   /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null && miravel_bench_personnel_window'
// The last line says whether the bridge was active.
#include <sys/resource.h>
#include <unistd.h>
#include <time.h>

#include <QAbstractItemModel>
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/AppState.h"
#include "core/Cp1254.h"
#include "personnel/Person.h"
#include "terminal/WireTerminalClient.h"
#include "tests/support/EmulatorProcess.h"
#include "tests/support/FakeTerminal.h"
#include "tests/support/FakeUiServices.h"
#include "tests/support/TempFolder.h"
#include "ui/CommandGuard.h"
#include "ui/PersonnelWindow.h"

namespace {

using namespace miravel;
using Clock = std::chrono::steady_clock;

struct Timing {
  double wall = 0;
  double cpu = 0;
};

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class Stopwatch {
 public:
  Timing Elapsed() const {
    return {std::chrono::duration<double>(Clock::now() - wall_).count(), ThreadCpuSeconds() - cpu_};
  }

 private:
  Clock::time_point wall_ = Clock::now();
  double cpu_ = ThreadCpuSeconds();
};

template <class Measure>
Timing Median(int rounds, Measure&& measure) {
  std::vector<double> walls;
  std::vector<double> cpus;
  for (int round = 0; round < rounds; ++round) {
    const Timing timing = measure();
    walls.push_back(timing.wall);
    cpus.push_back(timing.cpu);
  }
  std::sort(walls.begin(), walls.end());
  std::sort(cpus.begin(), cpus.end());
  return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

// personel.ini and parmakizi.ini for persons 00001.. with names, cards and
// two templates each, as an office that took them from its terminals.
void WriteStore(const test::TempFolder& folder, int persons) {
  std::filesystem::create_directory(folder / "personel");
  std::string list;
  // Written person by person: a store of 100,000 held whole in memory would
  // be counted in the window's peak.
  std::ofstream details(folder / "personel/parmakizi.ini", std::ios::binary);
  const std::string fingerprint(1200, 'T');
  for (int n = 1; n <= persons; ++n) {
    const std::string perNo = FormatPerNo(n);
    list += perNo + "\r\n";
    details << Utf8ToCp1254("[" + perNo + "]\r\nisim=Çalışan " + std::to_string(n) +
                            "\r\nyetki=Normal\r\nkartno=" + std::to_string(100000 + n) +
                            "\r\nsifre=\r\nparmakizi0=" + fingerprint +
                            "\r\nparmakizi1=" + fingerprint + "\r\n");
  }
  test::WriteFile(folder / "personel/personel.ini", list);
  details.close();
  // An office's store has long been on the disk: one written just now would
  // still wait for it, and the first edit that forces the file would write
  // all of it.
  ::sync();
}

struct Office {
  explicit Office(int persons) {
    WriteStore(folder, persons);
    state.programFolder = folder.Path();
  }
  test::TempFolder folder;
  AppState state;
  test::FakeUiServices ui;
};

QTableView& List(const PersonnelWindow& window, const char* name) {
  return *window.findChild<QTableView*>(name);
}

// The persons a list shows, as the view sees them.
QAbstractItemModel& Rows(const PersonnelWindow& window, const char* name) {
  return *List(window, name).model();
}

// Ticks a row as a click on its box does.
void Tick(QAbstractItemModel& rows, int row) {
  rows.setData(rows.index(row, 6), static_cast<int>(Qt::Checked), Qt::CheckStateRole);
}

// From showing the window until both lists stand loaded.
Timing TimeLoading(PersonnelWindow& window, int terminalUsers, int storePersons, int port) {
  window.SetTarget({ConnectionKind::kNetwork, "127.0.0.1", port, 0, 0, 1});
  const QAbstractItemModel& terminalGrid = Rows(window, "terminalGrid");
  const QAbstractItemModel& storeGrid = Rows(window, "storeGrid");
  const Stopwatch stopwatch;
  window.show();
  // What a window manager does for a window that is shown: without one (a
  // bare X server) the window would never become active and never load.
  QApplication::setActiveWindow(&window);
  const bool loaded = QTest::qWaitFor(
      [&] {
        return !CommandGuard::IsRunning() && terminalGrid.rowCount() == terminalUsers &&
               storeGrid.rowCount() == storePersons;
      },
      120000);
  const Timing timing = stopwatch.Elapsed();
  if (!loaded) {
    std::fprintf(stderr, "not loaded: %d terminal rows, %d store rows\n", terminalGrid.rowCount(),
                 storeGrid.rowCount());
    std::exit(1);
  }
  return timing;
}

Timing LoadWithFake(int persons) {
  Office office(persons);
  test::FakeTerminal terminal;
  for (int n = 1; n <= persons; ++n) terminal.users[n] = {"Çalışan " + std::to_string(n), "", 0};
  PersonnelWindow window(office.state, terminal, office.ui);
  const Timing timing = TimeLoading(window, persons, persons, 4370);
  window.reject();
  return timing;
}

Timing LoadWithEmulator(int persons) {
  Office office(persons);
  test::EmulatorProcess emulator({"--listen", "127.0.0.1:0", "--state",
                                  office.folder / "terminal.txt", "--generate-users",
                                  std::to_string(persons), "--seed", "7"});
  WireTerminalClient terminal(nullptr);
  PersonnelWindow window(office.state, terminal, office.ui);
  const Timing timing = TimeLoading(window, persons, persons, emulator.Port());
  window.reject();
  return timing;
}

// "Sil" with every third store row ticked, none on the terminal.
Timing DeleteTickedStoreRows(int persons) {
  Office office(persons);
  test::FakeTerminal terminal;
  PersonnelWindow window(office.state, terminal, office.ui);
  TimeLoading(window, 0, persons, 4370);
  QAbstractItemModel& storeGrid = Rows(window, "storeGrid");
  for (int row = 0; row < persons; row += 3) Tick(storeGrid, row);
  const Stopwatch stopwatch;
  window.findChild<QPushButton*>("deleteButton")->click();
  const Timing timing = stopwatch.Elapsed();
  if (storeGrid.rowCount() != persons - (persons + 2) / 3 || !office.ui.errors.isEmpty()) {
    std::fprintf(stderr, "Sil left %d rows\n", storeGrid.rowCount());
    std::exit(1);
  }
  window.reject();
  return timing;
}

struct BigOffice {
  Timing sort;     // a header click on "İsim" of the store's list
  Timing tickAll;  // "Tümünü Seç" of the store's list
  Timing sil;      // then "Sil" of every store row
  Timing edit;     // one "Kart no" of as many digits typed in and saved (in place)
  Timing longer;   // one longer "İsim" typed in and saved (the store replaced)
};

// Whether the store's file gives key=value in the person's section. Read
// line by line: a second copy of the store held whole would count in the
// window's peak.
bool StoreHolds(const std::string& path, const std::string& perNo, const std::string& key,
                const std::string& value) {
  std::ifstream in(path, std::ios::binary);
  bool inPerson = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with('[')) {
      inPerson = line == "[" + perNo + "]";
    } else if (inPerson && line.starts_with(key + "=")) {
      std::string read = line.substr(key.size() + 1);
      while (!read.empty() && read.back() == ' ') read.pop_back();
      return read == Utf8ToCp1254(value);
    }
  }
  return false;
}

// Types text into the store's cell and saves it with Return; the time it took.
Timing EditCell(PersonnelWindow& window, const std::string& store, int column,
                const std::string& key, const std::string& text) {
  QTableView& list = List(window, "storeGrid");
  QAbstractItemModel& rows = *list.model();
  const QModelIndex cell = rows.index(0, column);
  const std::string perNo = rows.index(0, 0).data().toString().toStdString();
  list.setCurrentIndex(cell);
  list.edit(cell);
  auto* editor = qobject_cast<QLineEdit*>(list.indexWidget(cell));
  if (editor == nullptr) {
    std::fprintf(stderr, "no editor\n");
    std::exit(1);
  }
  editor->setText(QString::fromStdString(text));
  const Stopwatch stopwatch;
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  const Timing took = stopwatch.Elapsed();
  if (!StoreHolds(store, perNo, key, text)) {
    std::fprintf(stderr, "edit not saved\n");
    std::exit(1);
  }
  return took;
}

// The store's list of `persons` loaded (no terminal users): one header click,
// one edit, then every row ticked and deleted.
BigOffice SortEditAndDeleteAll(int persons) {
  Office office(persons);
  test::FakeTerminal terminal;
  PersonnelWindow window(office.state, terminal, office.ui);
  TimeLoading(window, 0, persons, 4370);
  BigOffice timings;
  QTableView& list = List(window, "storeGrid");
  QAbstractItemModel& rows = *list.model();
  QHeaderView* header = list.horizontalHeader();
  {
    const Stopwatch stopwatch;
    emit header->sectionClicked(1);
    QApplication::processEvents();
    timings.sort = stopwatch.Elapsed();
  }
  const std::string store = office.folder / "personel/parmakizi.ini";
  timings.edit = EditCell(window, store, 3, "kartno", "778899");
  timings.longer = EditCell(window, store, 1, "isim", "Çalışan Adı Daha Uzun");
  {
    const Stopwatch stopwatch;
    window.findChild<QPushButton*>("storeTickAllButton")->click();
    timings.tickAll = stopwatch.Elapsed();
  }
  {
    const Stopwatch stopwatch;
    window.findChild<QPushButton*>("deleteButton")->click();
    timings.sil = stopwatch.Elapsed();
  }
  if (rows.rowCount() != 0 || !office.ui.errors.isEmpty()) {
    std::fprintf(stderr, "Sil left %d rows\n", rows.rowCount());
    std::exit(1);
  }
  window.reject();
  return timings;
}

// A terminal's state file: persons users with two 1,200-character templates
// each, or none at all.
void WriteTerminal(const std::string& path, int persons) {
  std::string text = "[terminal]\nmachine=1\n[users]\n";
  for (int n = 1; n <= persons; ++n) text += std::to_string(n) + "\tÇalışan\t\t0\t1\n";
  text += "[templates]\n";
  const std::string fingerprint(1200, 'F');
  for (int n = 1; n <= persons; ++n) {
    for (int finger = 0; finger < 2; ++finger) {
      text += std::to_string(n) + "\t" + std::to_string(finger) + "\t" + fingerprint + "\n";
    }
  }
  test::WriteFile(path, text + "[log]\n");
}

// Fingerprint "Al" of every terminal user into a store that already holds
// them, then fingerprint "Gönder" of every stored person to an empty
// terminal, each from the click to the end of the command, in the window
// against the emulator on 127.0.0.1.
std::pair<Timing, Timing> CopyFingerprints(int persons) {
  Office office(persons);
  WriteTerminal(office.folder / "dolu.txt", persons);
  WriteTerminal(office.folder / "bos.txt", 0);
  test::EmulatorProcess full({"--listen", "127.0.0.1:0", "--state", office.folder / "dolu.txt"});
  test::EmulatorProcess empty({"--listen", "127.0.0.1:0", "--state", office.folder / "bos.txt"});
  const auto click = [](PersonnelWindow& window, const char* name) {
    window.findChild<QPushButton*>(name)->click();
  };
  std::pair<Timing, Timing> timings;
  {
    WireTerminalClient terminal(nullptr);
    PersonnelWindow window(office.state, terminal, office.ui);
    TimeLoading(window, persons, persons, full.Port());
    click(window, "terminalTickAllButton");
    const Stopwatch stopwatch;
    click(window, "takeFingerprintsButton");
    timings.first = stopwatch.Elapsed();
    window.reject();
  }
  {
    WireTerminalClient terminal(nullptr);
    PersonnelWindow window(office.state, terminal, office.ui);
    TimeLoading(window, 0, persons, empty.Port());
    click(window, "storeTickAllButton");
    const Stopwatch stopwatch;
    click(window, "sendFingerprintsButton");
    timings.second = stopwatch.Elapsed();
    const int rows = Rows(window, "terminalGrid").rowCount();
    window.reject();
    if (rows != persons || !office.ui.errors.isEmpty()) {
      std::fprintf(stderr, "Gönder left %d terminal rows\n", rows);
      std::exit(1);
    }
  }
  return timings;
}

// The window's event loop as the user feels it: a 10 ms timer on the
// window's thread, and the longest gap between two of its ticks.
class StallProbe {
 public:
  StallProbe() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(10);
  }
  double LongestGapMs() {
    Tick();
    return longest_ * 1000.0;
  }

 private:
  void Tick() {
    const Clock::time_point now = Clock::now();
    longest_ = std::max(longest_, std::chrono::duration<double>(now - last_).count());
    last_ = now;
  }
  QTimer timer_;
  Clock::time_point last_ = Clock::now();
  double longest_ = 0;
};

struct Stalls {
  Timing load;
  double loadStallMs = 0;
  Timing take;
  double takeStallMs = 0;
};

// The load of persons + persons over the emulator, then fingerprint "Al" of
// every terminal user, each with the probe running from the click.
Stalls ProbeStalls(int persons) {
  Office office(persons);
  WriteTerminal(office.folder / "dolu.txt", persons);
  test::EmulatorProcess full({"--listen", "127.0.0.1:0", "--state", office.folder / "dolu.txt"});
  WireTerminalClient terminal(nullptr);
  PersonnelWindow window(office.state, terminal, office.ui);
  Stalls stalls;
  {
    StallProbe probe;
    stalls.load = TimeLoading(window, persons, persons, full.Port());
    stalls.loadStallMs = probe.LongestGapMs();
  }
  window.findChild<QPushButton*>("terminalTickAllButton")->click();
  // Clicked from a timer, as a user's click comes from the event loop: the
  // probe sees the loop the command leaves the window.
  bool ended = false;
  StallProbe probe;
  const Stopwatch stopwatch;
  QTimer::singleShot(0, [&] {
    window.findChild<QPushButton*>("takeFingerprintsButton")->click();
    ended = true;
  });
  if (!QTest::qWaitFor([&] { return ended; }, 600000)) std::exit(1);
  stalls.take = stopwatch.Elapsed();
  stalls.takeStallMs = probe.LongestGapMs();
  window.reject();
  if (!office.ui.errors.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(office.ui.errors.join("\n")));
    std::exit(1);
  }
  return stalls;
}

void PrintLoading(const char* terminal, int persons, Timing full, Timing half) {
  std::printf(
      "show and load, %-13s %6.3f s wall, %6.3f s CPU (%d) / %6.3f s wall, %6.3f s CPU (%d)"
      " = %.2f x wall, %.2f x CPU (goal < 2 s, <= 2.3 x)\n",
      terminal, full.wall, full.cpu, persons, half.wall, half.cpu, persons / 2,
      full.wall / half.wall, full.cpu / half.cpu);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  unsetenv("QT_SCALE_FACTOR");
  QApplication application(argc, argv);
  const int persons = argc > 1 ? std::atoi(argv[1]) : 3000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string parts = argc > 3 ? argv[3] : "fake,emulator,sil,parmakizi";
  const auto wanted = [&parts](const char* part) { return parts.find(part) != std::string::npos; };

  std::printf("%d terminal users; %d persons in the store, two 1,200-character templates each\n",
              persons, persons);
  if (wanted("fake")) {
    PrintLoading("fake terminal:", persons, Median(rounds, [&] { return LoadWithFake(persons); }),
                 Median(rounds, [&] { return LoadWithFake(persons / 2); }));
  }
  if (wanted("emulator")) {
    PrintLoading("emulator:", persons, Median(rounds, [&] { return LoadWithEmulator(persons); }),
                 Median(rounds, [&] { return LoadWithEmulator(persons / 2); }));
  }
  if (wanted("parmakizi")) {
    const auto full = CopyFingerprints(persons);
    const auto twice = CopyFingerprints(persons * 2);
    std::printf(
        "fingerprint Al, %d: %.3f s wall, %.3f s CPU; %d: %.3f s wall = %.2f x (goal < 5 s, <= 2.3 "
        "x)\n",
        persons, full.first.wall, full.first.cpu, persons * 2, twice.first.wall,
        twice.first.wall / full.first.wall);
    std::printf(
        "fingerprint Gönder, %d: %.3f s wall, %.3f s CPU; %d: %.3f s wall = %.2f x (goal < 5 s, <= "
        "2.3 x)\n",
        persons, full.second.wall, full.second.cpu, persons * 2, twice.second.wall,
        twice.second.wall / full.second.wall);
  }
  if (wanted("stall")) {
    const Stalls stalls = ProbeStalls(persons);
    std::printf(
        "event loop, load of %d + %d over the emulator: %.3f s wall, longest stall %.0f ms; "
        "fingerprint Al of %d: %.3f s wall, longest stall %.0f ms (goals: load < 2 s, "
        "stalls <= 100 ms)\n",
        persons, persons, stalls.load.wall, stalls.loadStallMs, persons, stalls.take.wall,
        stalls.takeStallMs);
  }
  if (wanted("big")) {
    const BigOffice big = SortEditAndDeleteAll(persons);
    std::printf(
        "store of %d: sort %.3f s wall, %.3f s CPU (goal < 0.5 s); edit %.3f s wall (goal < 0.2 "
        "s), a longer one %.3f s wall; tick all %.3f s, Sil of all %.3f s wall, %.3f s CPU (goal "
        "< 5 s together)\n",
        persons, big.sort.wall, big.sort.cpu, big.edit.wall, big.longer.wall, big.tickAll.wall,
        big.sil.wall,
        big.sil.cpu);
  }
  if (wanted("memory")) {
    // One load of both lists alone in this process: its peak is the window's.
    const Timing loading = LoadWithFake(persons);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%d + %d loaded in %.3f s wall, %.3f s CPU; peak memory %.0f MB (goal < 400 MB)\n",
                persons, persons, loading.wall, loading.cpu, usage.ru_maxrss / 1024.0);
  }
  if (wanted("sil")) {
    const Timing deletion = Median(rounds, [&] { return DeleteTickedStoreRows(persons); });
    std::printf("Sil of %d ticked store rows: %.3f s wall, %.3f s CPU (goal < 2 s)\n",
                (persons + 2) / 3, deletion.wall, deletion.cpu);
  }
  // Known only once the event loop has run: the bridge to the screen
  // readers' bus connects on its own time.
  std::printf("platform %s, accessibility %s\n", qPrintable(QApplication::platformName()),
              QAccessible::isActive() ? "active" : "inactive");
  return 0;
}
