// Loading and listing a large catalogue: 1,000,000 file lines in 50,000
// folders, one of them holding 10,000 files. Prints each figure beside a
// reference from the same run (reading the file with plain read() calls and
// counting its lines; grep counting one folder's lines) and the target it is
// held to. Then the command line on one disc of 3,000,000 file lines, one
// folder of it holding 2,000,000 files (bench/big_disc.h): exporting the
// disc's page against cat reading its ".Ct" file, and listing that folder
// against grep counting its lines, each with the command's peak resident
// memory (read by /usr/bin/time from the ended child's rusage), held to
// 64 MB whatever the disc's size.
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
#include "big_disc.h"
#include "browse/folder_tree.h"
#include "browse/loaded_catalogue.h"

namespace {
namespace fs = std::filesystem;
using bench::Clock;
using bench::MsSince;
using bench::Report;

// The machine's load, since other work on its cores slows every figure.
void PrintLoad() { std::printf("load average: %s\n", bench::LoadAverage().c_str()); }

void BigDiscCommands(const fs::path& data) {
  constexpr std::size_t kLines = 3000000, kBigRows = 2000000;
  bench::SeedDataFolder(data, 1);
  bench::BuildIndexes(data);
  const fs::path catalogues = zafirel::FoldersBelow(data).catalogos;
  const bench::BigDisc made = bench::WriteBigDisc(catalogues, "1", kLines, kBigRows);
  const fs::path ct = zafirel::ListFilePath(catalogues, "1");
  const double ctMb = made.ctBytes / 1048576.0;
  std::printf("big disc: %zu file lines, %zu folders, .Ct %.1f MB, %s holding %zu files\n",
              made.lines, made.folders, ctMb, bench::kBigDiscFolder, kBigRows);
  PrintLoad();
  const std::string cli = bench::CommandLineProgram().string();
  const std::vector<std::string> exportArgs{cli,      "--data", data.string(),
                                            "export", "1",      (data / "page.htm").string()};
  const std::vector<std::string> filesArgs{cli,     "--data", data.string(),
                                           "files", "1",      bench::kBigDiscFolder};
  const bench::ProcessRun exported = bench::FastestOf(2, exportArgs);
  const bench::ProcessRun cat = bench::FastestOf(2, {"cat", ct.string()});
  Report("zafirel-cli export (3M lines)", exported.ms, "cat .Ct", cat.ms, "ms", bench::NoTarget());
  Report("zafirel-cli export, peak memory", bench::PeakMb(exportArgs), "target", 64, "MB",
         bench::AtMost(64));
  const bench::ProcessRun files = bench::FastestOf(2, filesArgs, data / "rows.txt");
  const bench::ProcessRun grep =
      bench::FastestOf(2, {"grep", "-c", "-F", bench::kBigDiscFolder, ct.string()}, data / "n");
  Report("zafirel-cli files (2M rows)", files.ms, "grep -c -F", grep.ms, "ms", bench::NoTarget());
  Report("zafirel-cli files, peak memory", bench::PeakMb(filesArgs), "target", 64, "MB",
         bench::AtMost(64));
  PrintLoad();
  fs::remove_all(data);
}

}  // namespace

int main() {
  const fs::path data = fs::temp_directory_path() / "zafirel-catalogue-bench";
  bench::SeedDataFolder(data, 1);  // the command line lists disc 1
  bench::BuildIndexes(data);
  const fs::path catalogues = zafirel::FoldersBelow(data).catalogos;
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
  BigDiscCommands(fs::temp_directory_path() / "zafirel-big-disc-bench");
  return 0;
}
