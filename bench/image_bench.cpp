// Cataloguing without mounting: a 650 MB ISO 9660 image (Joliet and Rock
// Ridge, made by genisoimage) of 20,000 files in 400 folders, catalogued
// whole, against `isoinfo -l` and `bsdtar -tvf` listing the same image; then
// 2,000 ZIP archives of 50 members catalogued with their members as folders
// (--archives, no descriptions), against `bsdtar -tf` run once per archive
// from a shell loop. Each figure is the best of three rounds, the references
// run in the same rounds; the image is made before any timing.
//
//   build/image_bench [FOLDER]   (default: a folder in the temporary folder,
//                                 removed at the end; a given one is kept,
//                                 and its tree, image and archives are reused)
#include <zip.h>

#include <algorithm>
#include <cstdint>
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

constexpr int kTopFolders = 20, kSubFolders = 19,
              kFilesPerFolder = 50;  // 400 folders, 20,000 files
constexpr int kArchives = 2000, kMembers = 50;

// 20 top folders, each with 19 subfolders, 50 files in each of the 400:
// mixed-case names with spaces, sizes from 512 bytes to 64 KB (650 MB in
// all), every file the same repeated byte.
std::uintmax_t MakeTree(const fs::path& root) {
  static const char* const kKinds[] = {"Foto de viaje ", "Documento_", "Cancion ", "informe-",
                                       "Plano "};
  static const char* const kExtensions[] = {".jpg", ".TXT", ".mp3", ".Pdf", ".dwg"};
  const std::string bytes(64 * 1024, 'x');
  std::uintmax_t total = 0;
  int n = 0;
  for (int top = 0; top < kTopFolders; ++top) {
    const fs::path parent = root / ("Carpeta " + std::to_string(top));
    for (int sub = 0; sub <= kSubFolders; ++sub) {
      const fs::path folder = sub == 0 ? parent : parent / ("Sub carpeta " + std::to_string(sub));
      fs::create_directories(folder);
      for (int f = 0; f < kFilesPerFolder; ++f, ++n) {
        const std::size_t size = 512 + static_cast<std::size_t>(n * 40503L % 64000);
        std::ofstream out(folder / (kKinds[n % 5] + std::to_string(n) + kExtensions[n / 5 % 5]),
                          std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(size));
        total += size;
      }
    }
  }
  return total;
}

// 2,000 archives, 100 in each of 20 folders; each holds 40 members at its
// top and 10 in a folder "DOC".
void MakeArchives(const fs::path& root) {
  for (int i = 0; i < kArchives; ++i) {
    const fs::path folder = root / ("Z" + std::to_string(i / 100));
    fs::create_directories(folder);
    const std::string path = (folder / ("PAQ" + std::to_string(i) + ".ZIP")).string();
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) throw std::runtime_error("cannot create " + path);
    std::vector<std::string> texts(kMembers);  // kept until the archive is closed
    for (int m = 0; m < kMembers; ++m) {
      for (int line = 0; line <= (i + m) % 20; ++line)
        texts[m] += "Linea " + std::to_string(line) + " del miembro " + std::to_string(m) + "\r\n";
      const std::string name =
          (m < 40 ? "MIEMBRO" : "DOC/NOTA") + std::to_string(m) + (m % 3 ? ".TXT" : ".DAT");
      zip_file_add(archive, name.c_str(),
                   zip_source_buffer(archive, texts[m].data(), texts[m].size(), 0), 0);
    }
    if (zip_close(archive) != 0) throw std::runtime_error("cannot write " + path);
  }
}

using bench::RunFigures;

RunFigures Catalogue(const fs::path& data, const fs::path& volume, bool archives) {
  return bench::CatalogueVolume(data, volume, false, archives);
}

}  // namespace

int main(int argc, char** argv) {
  const bool keep = argc > 1;
  const fs::path base =
      keep ? fs::path(argv[1]) : fs::temp_directory_path() / "zafirel-image-bench";
  const fs::path tree = base / "arbol", image = base / "disco.iso", archives = base / "zips",
                 data = base / "datos";
  fs::create_directories(base);
  // The tree and its image take 1.3 GB, the archives 16 MB.
  if (!fs::exists(image) && fs::space(base).available < (std::uintmax_t{3} << 30)) {
    std::fprintf(stderr, "%s needs 3 GB free for the tree and its image\n", base.c_str());
    return 1;
  }
  if (!fs::exists(image)) {
    std::puts("making 20,000 files in 400 folders and their image...");
    fs::remove_all(tree);
    const std::uintmax_t bytes = MakeTree(tree);
    const bench::ProcessRun made = bench::RunProgram(
        {"genisoimage", "-quiet", "-J", "-R", "-o", image.string(), tree.string()});
    if (made.exitCode != 0) {
      std::fprintf(stderr, "genisoimage ended with %d\n", made.exitCode);
      fs::remove(image);
      return 1;
    }
    std::printf("tree of %.0f MB, image of %.0f MB made in %.0f ms\n", bytes / 1e6,
                fs::file_size(image) / 1e6, made.ms);
  }
  if (!fs::exists(archives / "Z19")) {
    std::puts("making 2,000 archives of 50 members...");
    fs::remove_all(archives);
    MakeArchives(archives);
  }
  ::sync();  // what was just written goes out now, not during the timed runs

  // The image, catalogued whole, against two listings of it.
  const std::vector<std::string> isoinfo{"isoinfo", "-l", "-i", image.string()};
  const std::vector<std::string> bsdtarImage{"bsdtar", "-tvf", image.string()};
  bench::FastestOf(1, isoinfo);  // warm the cache
  bench::FastestOf(1, bsdtarImage);
  Catalogue(data, image, false);
  RunFigures best{1e300};
  double bestIsoinfo = 1e300, bestBsdtar = 1e300;
  for (int round = 0; round < 3; ++round) {
    bestIsoinfo = std::min(bestIsoinfo, bench::FastestOf(1, isoinfo).ms);
    bestBsdtar = std::min(bestBsdtar, bench::FastestOf(1, bsdtarImage).ms);
    const RunFigures run = Catalogue(data, image, false);
    if (run.ms < best.ms) best = run;
  }
  std::printf("image: %zu file lines in %zu folders; isoinfo -l %.2f ms, bsdtar -tvf %.2f ms\n",
              best.files, best.folders, bestIsoinfo, bestBsdtar);
  const bool isoinfoFaster = bestIsoinfo <= bestBsdtar;
  bench::Report("catalogue a 650 MB image of 20,000 files", best.ms,
                isoinfoFaster ? "isoinfo -l" : "bsdtar -tvf",
                isoinfoFaster ? bestIsoinfo : bestBsdtar, "ms", bench::RatioAtMost(1.5));

  // The archives with their members, against one bsdtar per archive.
  const std::vector<std::string> loop{
      "sh", "-c", "for f in \"$1\"/*/*.ZIP; do bsdtar -tf \"$f\"; done", "sh", archives.string()};
  bench::FastestOf(1, loop);  // warm the cache
  Catalogue(data, archives, true);
  RunFigures bestArchives{1e300};
  double bestLoop = 1e300;
  for (int round = 0; round < 3; ++round) {
    bestLoop = std::min(bestLoop, bench::FastestOf(1, loop).ms);
    const RunFigures run = Catalogue(data, archives, true);
    if (run.ms < bestArchives.ms) bestArchives = run;
  }
  std::printf("archives: %zu file lines in %zu folders (%.0f archives/s)\n", bestArchives.files,
              bestArchives.folders, kArchives / bestArchives.ms * 1000);
  bench::Report("catalogue 2,000 archives of 50 members with --archives", bestArchives.ms,
                "bsdtar -tf each", bestLoop, "ms", bench::RatioAtMost(2));

  fs::remove_all(data);
  if (!keep) fs::remove_all(base);
  return 0;
}
