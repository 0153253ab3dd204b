// Loading and listing a large catalogue: 1,000,000 file lines in 50,000
// folders, one of them holding 10,000 files. Prints each figure beside a
// reference from the same run (reading the file with plain read() calls,
// counting its lines with std::count) and the target it is held to.
//
//   build/catalogue_bench
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "browse/folder_tree.h"
#include "browse/loaded_catalogue.h"
#include "store/catalogue_files.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zafirel::LineList;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word)
    if (word == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
  return 0;
}

void Report(const char* what, double value, const char* unit, const char* reference,
            double refValue, double target) {
  std::printf("%-40s %10.2f %s   (%s %9.2f)   target < %.1f: %s\n", what, value, unit, reference,
              refValue, target, value < target ? "met" : "MISSED");
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / "zafirel-catalogue-bench";
  fs::remove_all(root);
  fs::create_directories(root);
  LineList tree, files;
  tree.push_back("D:\\");
  // 50,000 folders two levels deep; folder 777 holds 10,000 files, the others 20
  // each until the millionth line, so the last folders are empty and listing
  // the last one scans every line.
  std::string folder, line;
  std::size_t lines = 0;
  for (int top = 0; top < 500; ++top) {
    const std::string parent = "D:\\CARPETA" + std::to_string(top) + "\\";
    tree.push_back(parent);
    for (int sub = 0; sub < 100; ++sub) {
      folder = parent + "SUB" + std::to_string(sub) + "\\";
      tree.push_back(folder);
      const int index = top * 100 + sub;
      const int count = index == 777 ? 10000 : 20;
      for (int f = 0; f < count && lines < 1000000; ++f, ++lines) {
        line = folder + "ARCHIVO" + std::to_string(f) + ".TXT;" + std::to_string(f % 5000) +
               ";25/12/2003";
        if (f % 50 == 0) line += ";Descripcion de un archivo comprimido";
        files.push_back(line);
      }
    }
  }
  if (!zafirel::WriteCatalogueFile(root / "1.Ind", tree) ||
      !zafirel::WriteCatalogueFile(root / "1.Ct", files)) {
    std::fprintf(stderr, "the catalogue could not be written in %s\n", root.c_str());
    return 1;
  }
  const auto ctBytes = fs::file_size(root / "1.Ct");
  files.clear();
  tree.clear();
  std::printf("catalogue: %zu file lines, %zu folders, .Ct %.1f MB\n", lines, std::size_t{50000},
              ctBytes / 1048576.0);

  // Reference: the file read whole with plain read() calls and its lines counted.
  auto t0 = Clock::now();
  std::size_t got = 0;
  std::ptrdiff_t counted = 0;
  {
    const std::unique_ptr<char[]> raw(new char[ctBytes]);
    const int fd = ::open((root / "1.Ct").c_str(), O_RDONLY | O_CLOEXEC);
    while (fd >= 0 && got < ctBytes) {
      const ssize_t n = ::read(fd, raw.get() + got, ctBytes - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (fd >= 0) ::close(fd);
    counted = std::count(raw.get(), raw.get() + got, '\n');
  }
  const double rawMs = Ms(Clock::now() - t0);
  if (got != ctBytes) std::fputs("the reference could not read the whole file\n", stderr);

  const long before = ResidentKb();
  t0 = Clock::now();
  zafirel::LoadedCatalogue catalogue;
  catalogue.CargarCatalogo(root / "1");
  const double loadMs = Ms(Clock::now() - t0);
  const zafirel::FolderTree& folders = catalogue.Arbol;
  const long grown = ResidentKb() - before;
  Report("CargarCatalogo (.Ind, tree, .Ct)", loadMs, "ms", "read+count", rawMs, 1000);
  Report("resident memory / .Ct size", grown * 1024.0 / ctBytes, "x  ", "lines", double(counted),
         2.5);

  // The rows of the folder with 10,000 files, and of the last folder (the
  // longest scan), as the file list shows them.
  const zafirel::Locale locale;
  const int bigNode = zafirel::WalkToFolder(folders, "D:\\CARPETA7\\SUB77\\").back();
  t0 = Clock::now();
  const auto bigFiles = catalogue.Rows(bigNode, locale);
  const double bigMs = Ms(Clock::now() - t0);
  const int lastNode = static_cast<int>(folders.Nodes().size()) - 1;
  t0 = Clock::now();
  const auto lastFiles = catalogue.Rows(lastNode, locale);
  const double lastMs = Ms(Clock::now() - t0);
  Report("RefrescaArchivos, 10,000-file folder", bigMs, "ms", "files", double(bigFiles.size()), 50);
  Report("RefrescaArchivos, last folder", lastMs, "ms", "files", double(lastFiles.size()), 200);
  fs::remove_all(root);
  return 0;
}
