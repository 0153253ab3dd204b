// Searching with the command line against `grep -F -i -c` over the same
// ".Ct" files, whole processes each: 500 catalogues of 10,000 lines
// (5,000,000 lines) for a rare term and for a term with about 100,000 hits,
// with the search's peak memory; then 2,000 small catalogues of 1,000 lines
// (2,000,000 lines) for the rare term, where opening files is most of the
// work. Then the same search with filters against it without them.
//
//   build/search_bench [FOLDER]     (default: a folder in the temporary folder, removed at the end;
//                                    a given FOLDER is kept and its data reused)
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {
namespace fs = std::filesystem;
using bench::Report;

// A data folder of `discs` discs with their file lists, made unless a run
// before left it.
void MakeData(const fs::path& data, int discs, int lines, int rareEvery) {
  if (fs::exists(
          zafirel::ListFilePath(zafirel::FoldersBelow(data).catalogos, std::to_string(discs))))
    return;
  std::printf("making %d catalogues of %d lines...\n", discs, lines);
  std::fflush(stdout);
  bench::SeedDataFolder(data, discs);
  // One line in 50 holds "Musica"; the rare word is on five discs.
  bench::WriteSearchCatalogues(data, discs, lines, 50, rareEvery);
  bench::BuildIndexes(data);
}

// The search of a term against grep over the same files, the fastest of three each.
void Compare(const fs::path& data, const char* term, const std::string& what,
             const bench::Target& target) {
  const fs::path sink = data / "out.txt";
  std::vector<std::string> grep{"grep", "-F", "-i", "-c", term};
  for (const std::string& file : bench::CatalogueFilesIn(zafirel::FoldersBelow(data).catalogos))
    grep.push_back(file);
  // Into a file: grep stops at the first match when its output is /dev/null.
  const bench::ProcessRun theirs = bench::FastestOf(3, grep, sink);
  const bench::ProcessRun ours = bench::FastestOf(
      3, {bench::CommandLineProgram().string(), "--data", data.string(), "search", term}, sink);
  Report(what, ours.ms, "grep -F -i -c", theirs.ms, "ms", target);
}

}  // namespace

int main(int argc, char** argv) {
  const bool given = argc > 1;
  const fs::path root =
      given ? fs::path(argv[1]) : fs::temp_directory_path() / "zafirel-search-bench";
  const fs::path large = root / "grandes", small = root / "pequenos";
  MakeData(large, 500, 10000, 100);
  MakeData(small, 2000, 1000, 400);

  bench::RunProgram({"grep", "-F", "-i", "-c", "warm", "-r", root.string()});  // warm the cache
  Compare(large, "xilofono", "search xilofono, 500 x 10,000 lines", bench::RatioAtMost(1.0));
  Compare(large, "musica", "search musica, 500 x 10,000 lines", bench::NoTarget());
  Compare(small, "xilofono", "search xilofono, 2,000 x 1,000 lines", bench::RatioAtMost(0.8));

  // Filters judge only the lines that hold the text: the 100,000 hits of
  // "musica" each get their extension, size and date read.
  const fs::path sink = large / "out.txt";
  const std::vector<std::string> plain{bench::CommandLineProgram().string(), "--data",
                                       large.string(), "search", "musica"};
  std::vector<std::string> filtered = plain;
  filtered.insert(filtered.end(), {"--ext", "dat,txt", "--min-size", "100K", "--after",
                                   "2003-01-01", "--before", "2003-12-31"});
  const double without = bench::FastestOf(5, plain, sink).ms;
  Report("search musica with kind, size and date filters", bench::FastestOf(5, filtered, sink).ms,
         "the same search without them", without, "ms", bench::RatioAtMost(1.10));

  // The search's peak memory, from its own run.
  const double peak = bench::PeakMb(
      {bench::CommandLineProgram().string(), "--data", large.string(), "search", "musica"});
  const double catalogue =
      fs::file_size(zafirel::ListFilePath(zafirel::FoldersBelow(large).catalogos, "1")) / 1048576.0;
  if (peak > 0)
    Report("peak memory, search musica", peak, "one catalogue", catalogue, "MB", bench::NoTarget());
  if (!given) fs::remove_all(root);
  return 0;
}
