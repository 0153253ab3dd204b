// Whole catalogue runs of the command line (`zafirel-cli catalogue`) on
// generated volumes, each process measured on its own (time, exit status,
// peak memory from getrusage of the ended child):
//   - peak memory at 1,000,000 empty files in 1,000 folders, and at the
//     other sizes asked for, against the 64 MB budget and against 1M;
//   - a chain of folders 2,000 and 5,000 levels deep, with the default
//     stack and with a 2 MB stack limit;
//   - --zips over 2,000 ZIP archives with descriptions against the same
//     volume walked without --zips;
//   - 1,000,000 files against `find -printf` and plocate's `updatedb`, and
//     the share of that run spent keeping the search index current.
// Trees are made once below FOLDER and kept for the next run (10,000,000
// files take minutes to make and 10M inodes); --clean removes them at the
// end. Every figure is the median of 3 runs after an unmeasured one, except
// at sizes above 1M, which run once.
//
//   build/run_bench [FOLDER] [--millions 1,3,10] [--rows size,deep,zips] [--clean]
//   (FOLDER defaults to zafirel-run-bench in the temporary folder)
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "store/catalogue_files.h"
#include "store/search_index.h"

namespace {
namespace fs = std::filesystem;
using bench::MeasuredRun;

constexpr double kMemoryBudgetMb = 64;

// An emptied data folder with empty tables: every run adds disc 1.
void FreshDataFolder(const fs::path& data) {
  bench::SeedDataFolder(data, 0);
  bench::BuildIndexes(data);
}

fs::path FirstDiscFile(const fs::path& data, bool tree) {
  const fs::path folder = zafirel::FoldersBelow(data).catalogos;
  return tree ? zafirel::TreeFilePath(folder, "1") : zafirel::ListFilePath(folder, "1");
}

// Catalogues the volume rounds times into a fresh data folder each time,
// after one unmeasured run when warm; the median time and the largest peak.
MeasuredRun CatalogueRuns(const fs::path& data, const fs::path& volume, int rounds, bool warm,
                          std::vector<std::string> options = {}, long stackKb = 0) {
  const std::vector<std::string> command = bench::CatalogueCommand(data, volume, options);
  if (warm) {
    FreshDataFolder(data);
    bench::RunProgram(command);
  }
  std::vector<double> times;
  MeasuredRun result;
  long peakKb = 0;
  for (int round = 0; round < rounds; ++round) {
    FreshDataFolder(data);
    result = bench::RunMeasured(command, stackKb);
    times.push_back(result.ms);
    peakKb = std::max(peakKb, result.peakKb);
    if (result.exitCode != 0) break;  // a failed run is not repeated
  }
  result.peakKb = peakKb;
  result.ms = bench::Median(times);
  return result;
}

// "exit 0", or how the run ended otherwise.
std::string Ending(const MeasuredRun& run) {
  if (run.signal != 0) return "CRASHED by signal " + std::to_string(run.signal);
  return "exit " + std::to_string(run.exitCode);
}

double MedianRunOf(int rounds, const std::vector<std::string>& args,
                   const fs::path& removedFirst = {}) {
  bench::RunProgram(args);  // warms the cache
  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    if (!removedFirst.empty()) fs::remove(removedFirst);
    const bench::ProcessRun run = bench::RunProgram(args);
    if (run.exitCode != 0)
      std::fprintf(stderr, "%s ended with %d\n", args[0].c_str(), run.exitCode);
    times.push_back(run.ms);
  }
  return bench::Median(times);
}

bool OnPath(const std::string& program) {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
  std::string folder;
  while (std::getline(path, folder, ':'))
    if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

bench::TreeShape EmptyFiles(long millions) { return {millions * 1000, 1000, 0, 100}; }

fs::path EmptyFilesTree(const fs::path& base, long millions) {
  return base / ("vacios-" + std::to_string(millions) + "m");
}

// Peak memory at each size, and at 1M the speed against find and updatedb
// and the share of the search index's upkeep in the run.
void SizeRows(const fs::path& base, const fs::path& data, const std::vector<long>& millions) {
  std::map<long, MeasuredRun> runs;
  for (const long size : millions) {
    const fs::path tree = EmptyFilesTree(base, size);
    bench::MakeFolderTree(tree, EmptyFiles(size));
    const bool small = size <= 1;
    const MeasuredRun run = CatalogueRuns(data, tree, small ? 3 : 1, small);
    runs[size] = run;
    const long lines = bench::LinesIn(FirstDiscFile(data, false));
    std::printf("catalogue run, %ldM empty files: %s, %ld file lines, %.0f ms\n", size,
                Ending(run).c_str(), lines, run.ms);
    bench::ReportUnderLoad("peak memory, " + std::to_string(size) + "M files", run.PeakMb(),
                           "budget", kMemoryBudgetMb, "MB", bench::AtMost(kMemoryBudgetMb));
    if (size != 1 && runs.count(1))
      bench::ReportUnderLoad("peak memory, " + std::to_string(size) + "M files vs 1M", run.PeakMb(),
                             "1M files", runs[1].PeakMb(), "MB", bench::RatioAtMost(1.1));
    if (size != 1) continue;

    // The search index's upkeep in that run: the disc's own segment built
    // again from the list the run just wrote, as the run's end does.
    std::vector<double> upkeep;
    for (int round = 0; round < 5; ++round) {
      const auto start = std::chrono::steady_clock::now();
      if (!zafirel::UpdateDiscIndex(FirstDiscFile(data, false).parent_path(), "1"))
        std::puts("search index upkeep FAILED: the disc's segment was not written");
      upkeep.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    }
    bench::ReportUnderLoad("search index upkeep, 1M-file run", bench::Median(upkeep),
                           "the whole run", run.ms, "ms", bench::RatioAtMost(0.10));

    const double find = MedianRunOf(3, {"find", tree.string(), "-printf", "%p %s %T@\n"});
    bench::ReportUnderLoad("catalogue run, 1M files", run.ms, "find -printf", find, "ms",
                           bench::RatioAtMost(1.0));
    if (!OnPath("updatedb")) {
      std::puts("updatedb (Debian package plocate) is missing: that reference is skipped");
      continue;
    }
    // A new database each time: kept, updatedb would skip the unchanged folders.
    const fs::path database = base / "plocate.db";
    const double updatedb =
        MedianRunOf(3,
                    {"updatedb", "-U", tree.string(), "-o", database.string(), "-l", "0",
                     "--prunepaths", "", "--prunenames", "", "--prunefs", ""},
                    database);
    fs::remove(database);
    bench::ReportUnderLoad("catalogue run, 1M files", run.ms, "updatedb", updatedb, "ms",
                           bench::RatioAtMost(1.2));
  }
}

// A chain of folders "D" inside "D" `depth` levels deep, made level by level
// from the parent's descriptor since its paths outgrow PATH_MAX.
void MakeChain(const fs::path& root, int depth) {
  const std::string stamp = "a chain of " + std::to_string(depth) + " folders";
  if (bench::TreeIsReady(root, stamp)) return;
  bench::RemoveTree(root);
  fs::create_directories(root);
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < depth && fd >= 0; ++level) {
    mkdirat(fd, "D", 0755);
    const int below = openat(fd, "D", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = below;
  }
  if (fd < 0) throw std::runtime_error(root.string() + ": " + std::strerror(errno));
  close(fd);
  bench::StampTree(root, stamp);
}

void DeepRows(const fs::path& base, const fs::path& data) {
  for (const long stackKb : {0L, 2048L}) {
    const std::string stack = stackKb ? ", 2 MB stack" : "";
    std::map<int, MeasuredRun> runs;
    for (const int depth : {2000, 5000}) {
      const fs::path chain = base / ("cadena-" + std::to_string(depth));
      MakeChain(chain, depth);
      const MeasuredRun run = CatalogueRuns(data, chain, 3, true, {}, stackKb);
      runs[depth] = run;
      const long folders = bench::LinesIn(FirstDiscFile(data, true));
      std::printf("[load %s] chain of %d folders%s: %s, %ld folder lines (of %d)%s\n",
                  bench::LoadAverage().c_str(), depth, stack.c_str(), Ending(run).c_str(), folders,
                  depth + 1, run.exitCode == 0 && folders == depth + 1 ? "" : "   target: MISSED");
    }
    bench::ReportUnderLoad("chain of 5000 folders" + stack + ", peak memory", runs[5000].PeakMb(),
                           "2000 levels", runs[2000].PeakMb(), "MB", bench::RatioAtMost(2.5));
    bench::ReportUnderLoad("chain of 5000 folders" + stack + ", time", runs[5000].ms, "2000 levels",
                           runs[2000].ms, "ms", bench::RatioAtMost(2.5));
  }
}

// The file lines holding a description (a fourth field).
long DescribedLines(const fs::path& list) {
  std::ifstream in(list, std::ios::binary);
  long described = 0;
  std::string line;
  while (std::getline(in, line))
    if (std::count(line.begin(), line.end(), ';') >= 3) ++described;
  return described;
}

void ZipRows(const fs::path& base, const fs::path& data) {
  const fs::path archives = base / "zips";
  bench::MakeDescribedArchives(archives);
  // Runs of some tens of milliseconds: eleven rounds each for a steady median.
  const MeasuredRun plain = CatalogueRuns(data, archives, 11, true);
  const MeasuredRun zips = CatalogueRuns(data, archives, 11, true, {"--zips"});
  const long described = DescribedLines(FirstDiscFile(data, false));
  std::printf("--zips over 2,000 archives: %s, %ld lines with a description%s\n",
              Ending(zips).c_str(), described,
              zips.exitCode == 0 && described == 2000 ? "" : "   target: MISSED");
  bench::ReportUnderLoad("catalogue run --zips, 2,000 archives", zips.ms, "without --zips",
                         plain.ms, "ms", bench::RatioAtMost(1.5));
}

}  // namespace

int main(int argc, char** argv) {
  if (bench::IsMeasuringHelper(argc, argv)) return bench::MeasuringHelperMain(argc, argv);
  fs::path base = fs::temp_directory_path() / "zafirel-run-bench";
  std::vector<long> millions{1};
  std::string rows = "size,deep,zips";
  bool clean = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--clean") {
      clean = true;
    } else if (word == "--millions" && i + 1 < argc) {
      millions.clear();
      std::istringstream list(argv[++i]);
      std::string size;
      while (std::getline(list, size, ','))
        if (std::atol(size.c_str()) > 0) millions.push_back(std::atol(size.c_str()));
    } else if (word == "--rows" && i + 1 < argc) {
      rows = argv[++i];
    } else if (!word.empty() && word[0] != '-') {
      base = word;
    } else {
      std::fputs(
          "usage: run_bench [FOLDER] [--millions 1,3,10] [--rows size,deep,zips] [--clean]\n",
          stderr);
      return 2;
    }
  }
  // 1M is the size the others are held against.
  std::sort(millions.begin(), millions.end());
  if (millions.empty() || millions.front() != 1) millions.insert(millions.begin(), 1);
  const fs::path data = base / "datos";
  fs::create_directories(base);
  // The floor of every peak: the helper's own memory, as a program that
  // does nothing shows it.
  std::printf("peak memory of /bin/true through the helper: %.1f MB\n",
              bench::RunMeasured({"/bin/true"}).PeakMb());
  const auto asked = [&rows](const std::string& row) {
    return ("," + rows + ",").find("," + row + ",") != std::string::npos;
  };
  if (asked("size")) SizeRows(base, data, millions);
  if (asked("deep")) DeepRows(base, data);
  if (asked("zips")) ZipRows(base, data);
  bench::RemoveTree(data);
  if (clean) {
    std::puts("removing the generated trees...");
    bench::RemoveTree(base);
  }
  return 0;
}
