// Cataloguing speed: a generated tree of 200,000 files in 20,000 folders
// catalogued whole (walk and both catalogue files, no descriptions) against
// `find ROOT -printf '%p;%s;%TD\n'` on the same warm tree; then a tree of
// 2,000 small archives catalogued with descriptions on.
//
//   build/walk_bench [FOLDER]     (default: a folder in the temporary folder)
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "scan/catalogue_run.h"
#include "scan/drive_map.h"
#include "store/tablas.h"

namespace {
namespace fs = std::filesystem;
using bench::Clock;
using bench::MsSince;

void MakeTree(const fs::path& root) {
  // 20 top folders, each with 999 subfolders below it: 20,000 folders, 10 files each.
  for (int top = 0; top < 20; ++top) {
    const fs::path parent = root / ("CARPETA" + std::to_string(top));
    for (int sub = 0; sub < 1000; ++sub) {
      const fs::path folder = sub == 0 ? parent : parent / ("SUB" + std::to_string(sub));
      fs::create_directories(folder);
      for (int f = 0; f < 10; ++f) {
        std::ofstream out(folder / ("ARCHIVO" + std::to_string(f) + ".TXT"), std::ios::binary);
        out << std::string(static_cast<std::size_t>((f * 977) % 3000), 'x');
      }
    }
  }
}

using bench::RunFigures;

RunFigures Catalogue(const fs::path& data, const fs::path& volume, bool zips) {
  return bench::CatalogueVolume(data, volume, zips, false);
}

double Find(const fs::path& root) {
  return bench::RunProgram({"find", root.string(), "-printf", "%p;%s;%TD\n"}).ms;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path base =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "zafirel-walk-bench";
  const fs::path tree = base / "arbol", archives = base / "zips", data = base / "datos";
  if (!fs::exists(tree / "CARPETA19")) {
    std::puts("making 200,000 files in 20,000 folders...");
    fs::remove_all(tree);
    MakeTree(tree);
  }
  if (!fs::exists(archives / "Z19")) {
    fs::remove_all(archives);
    bench::MakeDescribedArchives(archives);
  }
  Find(tree);  // warm the cache
  Catalogue(data, tree, false);
  double best = 1e300, bestFind = 1e300;
  std::size_t count = 0;
  for (int round = 0; round < 3; ++round) {
    bestFind = std::min(bestFind, Find(tree));
    const RunFigures run = Catalogue(data, tree, false);
    best = std::min(best, run.ms);
    count = run.files;
  }
  std::printf("catalogue run, %zu files: %.0f files/s\n", count, count / best * 1000);
  bench::Report("catalogue run, no descriptions", best, "find -printf", bestFind, "ms",
                bench::RatioAtMost(1.2));
  const RunFigures zipped = Catalogue(data, archives, true);
  std::printf("catalogue run with descriptions, %zu archives: %.0f ms (%.0f archives/s)\n",
              zipped.files, zipped.ms, zipped.files / zipped.ms * 1000);
  fs::remove_all(data);
  return 0;
}
