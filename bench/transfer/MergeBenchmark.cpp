// Merge speed and memory of the record file, measured against a plain copy of
// the same file in the same run:
//   miravel_bench_merge [folder]
// 1. Merges 10,000 new records, interleaved in time with the existing lines,
//    into a record file of 1,000,000 lines, and copies that file with cp.
//    Goal: merge wall time at most 2 x the copy time.
// 2. Peak memory of the merge for a 4,000,000-line file against a
//    1,000,000-line file. Goal: at most 5 MB more.
// Each measurement runs in a child process so its peak memory is its own.

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "core/BufferedFile.h"
#include "transfer/RecordFileMerger.h"
#include "transfer/RecordLine.h"

namespace {

using miravel::FormatRecordLine;

struct Measure {
  double seconds = 0;
  long peakKilobytes = 0;
};

Measure InChild(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    work();
    std::_Exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "child failed\n");
    std::exit(1);
  }
  return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss};
}

// Line i of the existing file: one line a minute from 1 January 2020.
std::string ExistingLine(long i) {
  const long minutes = i;
  const long dayIndex = minutes / 1440;
  // Walk whole days on a simple calendar of 28-day months to stay valid.
  const int year = 2020 + static_cast<int>(dayIndex / (12 * 28));
  const int month = 1 + static_cast<int>((dayIndex / 28) % 12);
  const int day = 1 + static_cast<int>(dayIndex % 28);
  return FormatRecordLine(static_cast<int>(i % 5000), static_cast<int>(i % 2), year, month, day,
                          static_cast<int>((minutes / 60) % 24), static_cast<int>(minutes % 60));
}

void WriteRecordFile(const std::string& path, long lines) {
  miravel::FileWriter out;
  out.Open(path, miravel::FileWriter::Mode::kTruncate);
  for (long i = 0; i < lines; ++i) out.WriteLine(ExistingLine(i));
  out.Close(false);
}

// Filled in by the merging child: how long its Finish took (the rest of the
// old file, the forced write to disk and the rename).
double* finishSeconds = nullptr;

void Merge(const std::string& path, const std::string& folder, long existingLines) {
  miravel::RecordFileMerger merger;
  merger.Open(path, folder, 1, {2026, 12, 7});
  constexpr long kNewRecords = 10000;
  for (long k = 0; k < kNewRecords; ++k) {
    // Spread over the whole file, each just after an existing line.
    std::string line = ExistingLine(k * (existingLines / kNewRecords));
    line.replace(4, 5, "99999");
    merger.Add(line);
  }
  const auto start = std::chrono::steady_clock::now();
  merger.Finish();
  *finishSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder =
      argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string() + "/miravel-bench-merge";
  std::filesystem::create_directories(folder + "/yedekler");
  finishSeconds = static_cast<double*>(
      mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  const std::string small = folder + "/small.txt";
  const std::string large = folder + "/large.txt";
  WriteRecordFile(small, 1000000);
  WriteRecordFile(large, 4000000);
  const auto smallBytes = std::filesystem::file_size(small);

  // Every measurement starts with nothing waiting to be written, so that a
  // forced write pays only for its own file.
  sync();
  const std::string copyPath = folder + "/copy.txt";
  const Measure copy = InChild([&] {
    execlp("cp", "cp", small.c_str(), copyPath.c_str(), static_cast<char*>(nullptr));
    std::_Exit(1);
  });
  sync();
  // The same copy made as durable as the merge makes its file.
  const Measure durableCopy = InChild([&] {
    const std::string command = "cp '" + small + "' '" + copyPath + "' && sync '" + copyPath + "'";
    execlp("sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    std::_Exit(1);
  });
  sync();
  const Measure mergeSmall = InChild([&] { Merge(small, folder, 1000000); });
  const double smallFinish = *finishSeconds;
  sync();
  const Measure mergeLarge = InChild([&] { Merge(large, folder, 4000000); });

  std::printf("record file: 1,000,000 lines, %.1f MB; 10,000 new records\n", smallBytes / 1e6);
  std::printf("cp:                 %8.1f ms\n", copy.seconds * 1000);
  std::printf("cp + sync of copy:  %8.1f ms\n", durableCopy.seconds * 1000);
  std::printf("merge (with fsync): %8.1f ms\n", mergeSmall.seconds * 1000);
  std::printf("merge / cp time ratio: %.2f (goal <= 2)\n", mergeSmall.seconds / copy.seconds);
  std::printf("merge / (cp + sync) time ratio: %.2f\n", mergeSmall.seconds / durableCopy.seconds);
  std::printf("of the merge, Finish (rest of file, fsync, rename): %.1f ms, %.0f%%\n",
              smallFinish * 1000, 100 * smallFinish / mergeSmall.seconds);
  std::printf("peak memory, 1,000,000 lines: %ld KB; 4,000,000 lines: %ld KB\n",
              mergeSmall.peakKilobytes, mergeLarge.peakKilobytes);
  std::printf("peak memory difference: %.2f MB (goal <= 5), ratio %.3f\n",
              (mergeLarge.peakKilobytes - mergeSmall.peakKilobytes) / 1024.0,
              static_cast<double>(mergeLarge.peakKilobytes) / mergeSmall.peakKilobytes);
  std::filesystem::remove_all(folder);
  return 0;
}
