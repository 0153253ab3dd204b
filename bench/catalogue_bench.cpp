// Loading and listing a large catalogue: 1,000,000 file lines in 50,000
// folders, one of them holding 10,000 files. Prints each figure beside a
// reference from the same run (reading the file with plain read() calls and
// counting its lines; grep counting one folder's lines) and the target it is
// held to.
//
//   build/catalogue_bench
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench_support.h"
#include "browse/folder_tree.h"
#include "browse/loaded_catalogue.h"

namespace {
namespace fs = std::filesystem;
using bench::Clock;
using bench::MsSince;
using bench::Report;

}  // namespace

int main() {
  const fs::path data = fs::temp_directory_path() / "zafirel-catalogue-bench";
  fs::remove_all(data);
  const fs::path catalogues = zafirel::FoldersBelow(data).catalogos;
  fs::create_directories(catalogues);
  const bench::LargeCatalogue made = bench::WriteLargeCatalogue(catalogues, "1");
  const fs::path ct = zafirel::ListFilePath(catalogues, "1");
  std::printf("catalogue: %zu file lines, %zu folders, .Ct %.1f MB\n", made.lines, made.folders,
              made.ctBytes / 1048576.0);

  // Reference: the file read whole with plain read() calls and its lines counted.
  auto t0 = Clock::now();
  std::size_t got = 0;
  std::ptrdiff_t counted = 0;
  {
    const std::unique_ptr<char[]> raw(new char[made.ctBytes]);
    const int fd = ::open(ct.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd >= 0 && got < made.ctBytes) {
      const ssize_t n = ::read(fd, raw.get() + got, made.ctBytes - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (fd >= 0) ::close(fd);
    counted = std::count(raw.get(), raw.get() + got, '\n');
  }
  const double rawMs = MsSince(t0);
  if (got != made.ctBytes) std::fputs("the reference could not read the whole file\n", stderr);

  const long before = bench::ResidentKb();
  t0 = Clock::now();
  zafirel::LoadedCatalogue catalogue;
  catalogue.CargarCatalogo(catalogues / "1");
  const double loadMs = MsSince(t0);
  const zafirel::FolderTree& folders = catalogue.Arbol;
  const double grownMb = (bench::ResidentKb() - before) / 1024.0;
  std::printf("%ld lines counted\n", static_cast<long>(counted));
  Report("CargarCatalogo (.Ind, tree, .Ct)", loadMs, "read+count", rawMs, "ms", bench::Below(1000));
  Report("resident memory growth", grownMb, ".Ct size", made.ctBytes / 1048576.0, "MB",
         bench::RatioBelow(2.5));

  // The rows of the folder with 10,000 files, and of the last folder (the
  // longest scan), as the file list shows them.
  const zafirel::Locale locale;
  const int bigNode = zafirel::WalkToFolder(folders, bench::kBigFolder).back();
  t0 = Clock::now();
  const auto bigFiles = catalogue.Rows(bigNode, locale);
  const double bigMs = MsSince(t0);
  const int lastNode = static_cast<int>(folders.Nodes().size()) - 1;
  t0 = Clock::now();
  const auto lastFiles = catalogue.Rows(lastNode, locale);
  const double lastMs = MsSince(t0);
  std::printf("%zu and %zu files listed\n", bigFiles.size(), lastFiles.size());
  Report("RefrescaArchivos, 10,000-file folder", bigMs, "read+count", rawMs, "ms",
         bench::Below(50));
  Report("RefrescaArchivos, last folder", lastMs, "read+count", rawMs, "ms", bench::Below(200));

  // The command line listing the 10,000-file folder, a whole process each
  // time, against grep counting that folder's lines in the ".Ct" file.
  const std::string folder = std::string(bench::kBigFolder);
  const bench::ProcessRun files = bench::FastestOf(
      3, {bench::CommandLineProgram().string(), "--data", data.string(), "files", "1", folder},
      data / "rows.txt");
  const bench::ProcessRun grep =
      bench::FastestOf(3, {"grep", "-c", "-F", folder, ct.string()}, data / "count.txt");
  Report("zafirel-cli files 1 " + folder, files.ms, "grep -c -F", grep.ms, "ms",
         bench::RatioAtMost(5));
  fs::remove_all(data);
  return 0;
}
