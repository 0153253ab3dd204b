// The command line on a table of 100,000 discs, whole processes each:
// listing in title order against GNU sort of the same rows as text; the
// fixed cost of opening the table (listing an album no disc has), time and
// peak memory, against the same on a table of 10 discs; and cataloguing a
// folder of 10 files against cataloguing it into an empty table.
//
//   build/commands_bench [discs=100000]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {
namespace fs = std::filesystem;
using bench::Report;

std::vector<std::string> Command(const fs::path& data, std::vector<std::string> words) {
  std::vector<std::string> args{bench::CommandLineProgram().string(), "--data", data.string()};
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

// A folder of ten small files: a disc of its own for the command line.
fs::path MakeVolume(const fs::path& folder) {
  fs::create_directories(folder);
  for (int f = 0; f < 10; ++f)
    std::ofstream(folder / ("ARCHIVO" + std::to_string(f) + ".TXT"), std::ios::binary)
        << std::string(static_cast<std::size_t>(100 + f * 977), 'x');
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  const int discs = argc > 1 ? std::atoi(argv[1]) : 100000;
  const fs::path root = fs::temp_directory_path() / "zafirel-commands-bench";
  const fs::path big = root / "grande", small = root / "diez";
  fs::remove_all(root);
  bench::SeedDataFolder(big, discs);
  bench::BuildIndexes(big);
  bench::SeedDataFolder(small, 10);
  bench::BuildIndexes(small);
  std::printf("%d discs, and 10 for the reference\n", discs);

  // Listing in title order; the rows it prints, sorted by GNU sort on the
  // title column, are the reference. The first run also warms the cache.
  const fs::path rows = root / "filas.tsv";
  bench::RunProgram(Command(big, {"list", "--sort", "title"}), rows);
  const bench::ProcessRun list = bench::FastestOf(3, Command(big, {"list", "--sort", "title"}));
  const bench::ProcessRun sort = bench::FastestOf(3, {"sort", "-t", "\t", "-k2,2", rows.string()});
  Report("zafirel-cli list --sort title", list.ms, "sort -t TAB -k2,2", sort.ms, "ms",
         bench::Below(300));

  // The fixed cost: a command that opens the table and finds nothing to do.
  const std::vector<std::string> nobody{"list", "--album", "Nadie tiene este"};
  bench::RunProgram(Command(small, nobody));
  const bench::ProcessRun fixed = bench::FastestOf(5, Command(big, nobody));
  const bench::ProcessRun fixedSmall = bench::FastestOf(5, Command(small, nobody));
  Report("zafirel-cli list --album (no disc)", fixed.ms, "on 10 discs", fixedSmall.ms, "ms",
         bench::AtMost(50));
  const double peak = bench::PeakMb(Command(big, nobody));
  const double peakSmall = bench::PeakMb(Command(small, nobody));
  if (peak > 0)
    Report("zafirel-cli list --album, peak memory", peak, "on 10 discs", peakSmall, "MB",
           bench::AtMost(20));
  else
    std::puts("no /usr/bin/time: the peak memory was not read");

  // Cataloguing a folder of ten files into the large table and into an
  // empty one. Each round catalogues a folder of its own (a new serial
  // number, so never a disc already catalogued) into both tables.
  double into = 1e300, intoEmpty = 1e300;
  for (int round = 0; round < 3; ++round) {
    const fs::path volume = MakeVolume(root / ("volumen" + std::to_string(round)));
    const fs::path empty = root / ("vacia" + std::to_string(round));
    bench::SeedDataFolder(empty, 0);
    bench::BuildIndexes(empty);
    const std::string title = "Nuevo " + std::to_string(round);
    const bench::ProcessRun fresh =
        bench::RunProgram(Command(empty, {"catalogue", volume.string(), "--title", title}));
    const bench::ProcessRun full =
        bench::RunProgram(Command(big, {"catalogue", volume.string(), "--title", title}));
    if (fresh.exitCode != 0 || full.exitCode != 0)
      std::fprintf(stderr, "a catalogue run ended with %d and %d\n", fresh.exitCode, full.exitCode);
    intoEmpty = std::min(intoEmpty, fresh.ms);
    into = std::min(into, full.ms);
  }
  Report("zafirel-cli catalogue (10 files)", into, "into empty table", intoEmpty, "ms",
         bench::RatioAtMost(2));
  fs::remove_all(root);
  return 0;
}
