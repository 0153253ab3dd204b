// Updating a disc at two sizes: zafirel-cli update --dry-run (a walk of the
// tree and the comparison with its catalogue) over a tree of 20,000 and one
// of 200,000 empty files (500 folders), each with one file added since it
// was catalogued. Its peak memory must not grow with the disc (the lists are
// compared as they are read), and its time is held against a new catalogue
// of the same tree. Each figure is the faster of two whole processes.
//
//   build/update_bench [FOLDER]   (default /tmp/zafirel-update-bench)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {
namespace fs = std::filesystem;
using bench::Report;

// A tree of that many empty files in 500 folders, made once.
void MakeTree(const fs::path& root, int files) {
  const std::string what = std::to_string(files) + " files";
  if (bench::TreeIsReady(root, what)) return;
  bench::RemoveTree(root);
  for (int i = 0; i < files; ++i) {
    char folder[16], name[24];
    std::snprintf(folder, sizeof folder, "D%03d", i % 500);
    std::snprintf(name, sizeof name, "F%07d.TXT", i);
    if (i < 500) fs::create_directories(root / folder);
    std::ofstream(root / folder / name);
  }
  bench::StampTree(root, what);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path("/tmp/zafirel-update-bench");
  const std::string cli = bench::CommandLineProgram().string();
  double smallMb = 0;
  for (const int files : {20'000, 200'000}) {
    const std::string size = std::to_string(files / 1000) + "k";
    const fs::path tree = root / ("tree-" + size), data = root / ("data-" + size);
    MakeTree(tree, files);
    fs::remove_all(data);
    bench::RunProgram({cli, "init", data.string()});
    const std::vector<std::string> catalogue{
        cli, "--data", data.string(), "catalogue", tree.string(), "--letter", "E"};
    bench::RunProgram(catalogue);
    std::ofstream(tree / "D001" / "NUEVO.TXT");
    const std::vector<std::string> update{cli,           "--data",   data.string(), "update",   "1",
                                          tree.string(), "--letter", "E",           "--dry-run"};
    const double updateMs = bench::FastestOf(2, update).ms;
    // A second new disc of the same tree, in a folder of its own each time.
    const fs::path again = root / ("again-" + size);
    double catalogueMs = 0;
    for (int round = 0; round < 2; ++round) {
      fs::remove_all(again);
      bench::RunProgram({cli, "init", again.string()});
      const double ms =
          bench::FastestOf(1, {cli, "--data", again.string(), "catalogue", tree.string()}).ms;
      catalogueMs = round == 0 ? ms : std::min(catalogueMs, ms);
    }
    Report("update --dry-run, " + size + " files", updateMs / 1000, "catalogue", catalogueMs / 1000,
           "s", bench::RatioAtMost(1.5));
    const double mb = bench::PeakMb(update);
    if (files == 20'000)
      smallMb = mb;
    else
      Report("peak memory, update of " + size, mb, "of 20k", smallMb, "MB",
             bench::RatioAtMost(1.25));
    fs::remove(tree / "D001" / "NUEVO.TXT");
    fs::remove_all(again);
  }
  return 0;
}
