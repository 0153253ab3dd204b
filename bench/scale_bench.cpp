// The disc table at a million discs, each figure against its reference in
// the same run: listing in title order into `head` (time and peak memory of
// the whole pipeline) against GNU sort of the same rows into `head`;
// rebuilding the ten index files (a process of its own, time and peak
// memory) against GNU sort (LC_ALL=C) of the same key texts, one file per
// tag; opening the table with its indexes built in memory (another program
// holds the folder) against opening it with its files; and reading the
// fields of the last 20,000 records against the first 20,000 (past the
// table's page cache against within it).
//
// The table is written straight to disc by bench::SeedLargeDataFolder
// (titles "Disco N" shared by three discs each, seven albums, sizes, labels,
// counts and numbers from the disc's number).
//
//   build/scale_bench [discs=1000000]
//   build/scale_bench --seed FOLDER     (a million discs with their indexes, to keep)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "store/dbf/attached_index.h"
#include "store/dbf/key_expression.h"
#include "store/index_files.h"
#include "store/index_stamp.h"
#include "util/folder_lock.h"

namespace {
namespace fs = std::filesystem;
using bench::Clock;
using bench::MsSince;
using bench::Report;

fs::path Self() { return fs::read_symlink("/proc/self/exe"); }

// What the child processes do: rebuild the ten files, or open the table
// with whatever indexes it gets; or seed a folder of a million discs.
int Child(const std::string& what, const fs::path& data) {
  if (what == "--seed") {  // a data folder to try things on by hand
    bench::SeedLargeDataFolder(data, 1000000);
    return bench::BuildIndexes(data) == static_cast<int>(zafirel::kIndexFiles.size()) ? 0 : 1;
  }
  if (what == "--rebuild") {
    for (const auto& index : zafirel::kIndexFiles) fs::remove(data / std::string(index.file));
    return bench::BuildIndexes(data) == static_cast<int>(zafirel::kIndexFiles.size()) ? 0 : 1;
  }
  zafirel::TTablas tablas;
  tablas.SetFolder(data);
  tablas.OpenDiscTable();
  return tablas.TablaCDRom.StoredRecordCount() > 0 ? 0 : 1;
}

std::vector<std::string> Shell(const std::string& line) { return {"/bin/sh", "-c", line}; }

double ReadFields(zafirel::dbf::Table& table, std::uint32_t from, std::uint32_t count) {
  const auto t0 = Clock::now();
  std::size_t bytes = 0;
  for (std::uint32_t recNo = from; recNo < from + count; ++recNo) {
    table.GoTo(recNo);
    bytes += table.AsString(0).size() + table.AsString(3).size();
  }
  if (bytes == 0) std::fputs("no fields read\n", stderr);
  return MsSince(t0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]).rfind("--", 0) == 0) return Child(argv[1], argv[2]);
  const int discs = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const fs::path root = fs::temp_directory_path() / "zafirel-scale-bench";
  const fs::path data = root / "datos";
  fs::remove_all(root);
  auto t0 = Clock::now();
  bench::SeedLargeDataFolder(data, discs);
  std::printf("%d discs written in %.0f ms (%.0f MB of table)\n", discs, MsSince(t0),
              static_cast<double>(fs::file_size(data / zafirel::TTablas::kDiscTableName)) / 1e6);
  ::setenv("LC_ALL", "C", 1);

  // Rebuilding, in a process of its own; the reference sorts each tag's
  // key texts, one per line, as GNU sort does.
  const std::vector<std::string> rebuild{Self().string(), "--rebuild", data.string()};
  const bench::ProcessRun built = bench::FastestOf(2, rebuild);
  const double builtPeak = bench::PeakMb(rebuild);
  double sortMs = 0;
  {
    zafirel::TTablas tablas;
    tablas.SetFolder(data);
    tablas.TablaCDRom.Open();
    zafirel::dbf::Table& table = tablas.TablaCDRom;
    for (const auto& index : zafirel::kIndexFiles) {
      const auto expression = zafirel::dbf::KeyExpression::Parse(index.expression, table.Fields(),
                                                                 table.TextCodePage());
      const fs::path keys = root / (std::string(index.tag) + ".keys");
      std::ofstream out(keys, std::ios::binary);
      std::string line;
      table.ForEachStoredRecord([&](std::uint32_t, std::string_view record) {
        line = zafirel::dbf::StoredKey(expression, table.Layout(), record);
        line += '\n';
        out << line;
        return true;
      });
      out.close();
      sortMs += bench::FastestOf(2, {"sort", "-o", "/dev/null", keys.string()}).ms;
      fs::remove(keys);
    }
  }
  Report("rebuild all ten index files", built.ms, "LC_ALL=C sort keys", sortMs, "ms",
         bench::RatioAtMost(3));
  Report("rebuild all ten, peak memory", builtPeak, "none", 0, "MB", bench::AtMost(200));

  // Listing in title order into head; GNU sort of the same rows into head
  // is the reference.
  const fs::path rows = root / "filas.tsv";
  const std::string cli = bench::CommandLineProgram().string() + " --data " + data.string();
  bench::RunProgram({bench::CommandLineProgram().string(), "--data", data.string(), "list"}, rows);
  const std::string list = cli + " list --sort title | head -n 20";
  const bench::ProcessRun listed = bench::FastestOf(3, Shell(list));
  const bench::ProcessRun sorted =
      bench::FastestOf(3, Shell("sort -t '\t' -k2,2 " + rows.string() + " | head -n 20"));
  Report("list --sort title | head", listed.ms, "sort -k2,2 | head", sorted.ms, "ms",
         bench::AtMost(1000));
  Report("list --sort title | head, peak memory", bench::PeakMb(Shell(list)), "none", 0, "MB",
         bench::AtMost(100));

  // Opening with the indexes in memory: another program holds the folder,
  // and the stamp no longer proves the files.
  const std::vector<std::string> open{Self().string(), "--open", data.string()};
  const double filesPeak = bench::PeakMb(open);
  double memoryPeak = 0;
  {
    zafirel::FolderLock held(data);
    zafirel::DropIndexStamp(data);
    memoryPeak = bench::PeakMb(open);
  }
  Report("open with indexes in memory, peak", memoryPeak, "with files", filesPeak, "MB",
         bench::AtMost(200));

  // Fields of records past the page cache against records within it.
  {
    zafirel::TTablas tablas;
    tablas.SetFolder(data);
    tablas.TablaCDRom.Open();
    const std::uint32_t n = std::min<std::uint32_t>(20000, static_cast<std::uint32_t>(discs) / 2);
    const std::uint32_t lastFrom = static_cast<std::uint32_t>(discs) - n + 1;
    ReadFields(tablas.TablaCDRom, 1, n);         // into the page cache
    ReadFields(tablas.TablaCDRom, lastFrom, n);  // into the system's cache
    const double first = ReadFields(tablas.TablaCDRom, 1, n);
    const double last = ReadFields(tablas.TablaCDRom, lastFrom, n);
    Report("fields of the last 20,000 records", last, "first 20,000", first, "ms",
           bench::RatioAtMost(2));
  }
  fs::remove_all(root);
  return 0;
}
