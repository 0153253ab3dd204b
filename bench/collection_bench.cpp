// The commands over the whole collection at archive scale, over the 50
// million file lines search_index_bench draws (names from a few hundred
// words, so about four lines in ten are copies of a line on another disc):
// zafirel-cli duplicates (with its peak memory) and stats, each against a
// search of every line over the same catalogues ("e", too short for the
// index, so every catalogue is read). Each figure is the faster of two whole
// processes.
//
//   build/collection_bench [FOLDER] [--lines 50]
//     FOLDER (default /tmp/zafirel-index-bench) holds the data; when it
//     lacks the size, search_index_bench makes it there first.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {
namespace fs = std::filesystem;
using bench::Report;
}  // namespace

int main(int argc, char** argv) {
  fs::path root = "/tmp/zafirel-index-bench";
  std::string lines = "50";
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--lines" && i + 1 < argc)
      lines = argv[++i];
    else
      root = word;
  }
  const fs::path data = root / (lines + "M") / "datos";
  if (!fs::exists(data / "CDROM.DBF")) {
    std::printf("making %sM lines with search_index_bench...\n", lines.c_str());
    std::fflush(stdout);
    bench::RunProgram({(bench::CommandLineProgram().parent_path() / "search_index_bench").string(),
                       root.string(), "--lines", lines});
  }
  const std::string cli = bench::CommandLineProgram().string();
  const fs::path sink = root / "duplicates-out.txt";
  const std::vector<std::string> search{cli, "--data", data.string(), "search", "e"};
  const std::vector<std::string> duplicates{cli, "--data", data.string(), "duplicates"};
  bench::RunProgram(search);  // the catalogues in the cache
  const double searchMs = bench::FastestOf(2, search, sink).ms;
  const double duplicatesMs = bench::FastestOf(2, duplicates, sink).ms;
  Report("duplicates, " + lines + "M lines", duplicatesMs / 1000, "search e", searchMs / 1000, "s",
         bench::RatioAtMost(3));
  std::printf("  %.0f MB of listing written\n", fs::file_size(sink) / 1048576.0);
  Report("peak memory, duplicates", bench::PeakMb(duplicates), "limit", 256, "MB",
         bench::AtMost(256));
  const std::vector<std::string> stats{cli, "--data", data.string(), "stats"};
  Report("stats, " + lines + "M lines", bench::FastestOf(2, stats, sink).ms / 1000, "search e",
         searchMs / 1000, "s", bench::RatioAtMost(1.5));
  fs::remove(sink);
  return 0;
}
