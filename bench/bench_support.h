// What the benchmarks share: the clock, this process's resident memory,
// whole programs run and timed (the command line, grep, sort), the report
// line every figure is printed on, and data folders seeded with many discs
// and catalogues.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "scan/catalogue_run.h"
#include "scan/drive_map.h"
#include "store/catalogue_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "util/dialogs.h"

extern char** environ;

namespace bench {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
inline double MsSince(Clock::time_point start) { return Ms(Clock::now() - start); }

// This process's resident memory now, in KB.
inline long ResidentKb() {
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

// The bound a figure is held to: the figure itself or its ratio to the
// reference, strictly below the limit or at most the limit.
struct Target {
  bool given = true;
  bool ofRatio = false;
  bool inclusive = false;
  double limit = 0;
};
inline Target Below(double limit) { return {true, false, false, limit}; }
inline Target AtMost(double limit) { return {true, false, true, limit}; }
inline Target RatioBelow(double limit) { return {true, true, false, limit}; }
inline Target RatioAtMost(double limit) { return {true, true, true, limit}; }
inline Target NoTarget() { return {false}; }

// One line per figure: the figure, the reference measured in the same run,
// their ratio, and the target with "met" or "MISSED". Returns whether it
// was met.
inline bool Report(const std::string& what, double value, const std::string& reference,
                   double refValue, const std::string& unit, const Target& target) {
  const double ratio = refValue > 0 ? value / refValue : 0;
  const double held = target.ofRatio ? ratio : value;
  const bool met = target.inclusive ? held <= target.limit : held < target.limit;
  std::string bound = "none";
  if (target.given) {
    char limit[64];
    std::snprintf(limit, sizeof limit, "%g", target.limit);
    bound = std::string(target.ofRatio ? "ratio " : "") + (target.inclusive ? "<= " : "< ") +
            limit + (target.ofRatio ? "" : " " + unit);
  }
  std::printf("%-42s %10.2f %-2s  (%-18s %10.2f %-2s, ratio %6.2f)   target %s%s\n", what.c_str(),
              value, unit.c_str(), reference.c_str(), refValue, unit.c_str(), ratio, bound.c_str(),
              target.given ? (met ? ": met" : ": MISSED") : "");
  std::fflush(stdout);
  return met;
}

// The command line beside this program.
inline fs::path CommandLineProgram() {
  return fs::read_symlink("/proc/self/exe").parent_path() / "zafirel-cli";
}

struct ProcessRun {
  double ms = 0;
  int exitCode = -1;
};

// Runs a program (looked up on PATH when its name holds no "/") with its
// standard output going into a file, and waits for it. The time is the
// whole process's, from its start to its end; spawning does not copy this
// program's memory, so a large benchmark starts it as fast as a small one.
inline ProcessRun RunProgram(const std::vector<std::string>& args,
                             const fs::path& output = "/dev/null") {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ProcessRun run;
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  run.ms = MsSince(start);
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

// The fastest of some runs: the one least disturbed by other work on the
// machine. A run that does not end with the expected exit code is said.
inline ProcessRun FastestOf(int rounds, const std::vector<std::string>& args,
                            const fs::path& output = "/dev/null", int expectedExit = 0) {
  ProcessRun best;
  best.ms = 1e300;
  for (int round = 0; round < rounds; ++round) {
    const ProcessRun run = RunProgram(args, output);
    if (run.exitCode != expectedExit)
      std::fprintf(stderr, "%s ended with %d\n", args.front().c_str(), run.exitCode);
    if (run.ms < best.ms) best = run;
  }
  return best;
}

// A program's peak resident memory in MB, as /usr/bin/time reads it from a
// run of its own; 0 when /usr/bin/time is missing. (A child's own ru_maxrss
// would not do: a child starts as a copy of this program, and its peak
// counts this program's memory.)
inline double PeakMb(const std::vector<std::string>& args, const fs::path& output = "/dev/null") {
  if (!fs::exists("/usr/bin/time")) return 0;
  const fs::path peakFile =
      fs::temp_directory_path() / ("zafirel-bench-peak-" + std::to_string(::getpid()));
  std::vector<std::string> measured{"/usr/bin/time", "-f", "%M", "-o", peakFile.string()};
  measured.insert(measured.end(), args.begin(), args.end());
  RunProgram(measured, output);
  long kb = 0;
  std::ifstream(peakFile) >> kb;
  fs::remove(peakFile);
  return kb / 1024.0;
}

// A data folder as the program leaves it (the disc and cover tables, the
// working folders), emptied first, with `discs` discs numbered from 1.
// Many discs share a title, as in real collections; every disc has its file
// count, so no opening takes one for a cataloguing cut short.
inline void SeedDataFolder(const fs::path& data, int discs) {
  static const char* const kAlbums[] = {"Rock", "Jazz", "Juegos", "JUEGOS", "Clasica", "", "Mapas"};
  fs::remove_all(data);
  const zafirel::WorkingFolders below = zafirel::FoldersBelow(data);
  for (const fs::path& folder : {below.catalogos, below.busquedas, below.temp})
    fs::create_directories(folder);
  if (!zafirel::TTablas::CreateDiscTable(data) || !zafirel::TTablas::CreateCoverTable(data))
    throw std::runtime_error("the tables cannot be created in " + data.string());
  zafirel::dbf::Table table(true);
  table.SetFolder(data);
  table.SetTableName(zafirel::TTablas::kDiscTableName);
  table.Open();
  for (int i = 1; i <= discs; ++i) {
    table.Append();
    table.SetString("TITULOCD", "Disco " + std::to_string((i * 7919L) % (discs / 3 + 1)));
    table.SetString("BYTESCD", std::to_string(100 + i % 900) + " MB");
    table.SetString("AUTO", std::to_string(i));
    table.SetString("TOTFILES", std::to_string(i % 5000));
    table.SetString("ETIQUETA", "ETQ" + std::to_string(i % 977));
    table.SetString("NSERIECD", std::to_string(10000000 + i));
    table.SetString("NUMEROCD", std::to_string(i));
    table.SetString("ALBUM", kAlbums[i % 7]);
    table.Post();
  }
  table.Close();
}

// The same data folder written straight to the table file, record after
// record as SeedDataFolder's appends would leave them (same fields, same
// values), for tables of a million discs that appending one by one would
// take minutes to make.
inline void SeedLargeDataFolder(const fs::path& data, int discs) {
  SeedDataFolder(data, 0);
  zafirel::dbf::Table table(true);
  table.SetFolder(data);
  table.SetTableName(zafirel::TTablas::kDiscTableName);
  table.Open();
  const zafirel::dbf::TableLayout layout = table.Layout();
  const fs::path file = table.Path();
  table.Close();
  static const char* const kAlbums[] = {"Rock", "Jazz", "Juegos", "JUEGOS", "Clasica", "", "Mapas"};
  auto put = [&](std::string& record, std::string_view field, const std::string& value) {
    for (std::size_t i = 0; i < layout.fields.size(); ++i)
      if (layout.fields[i].name == field) {
        const std::size_t width = layout.fields[i].width;
        const std::string cut = value.substr(0, width);
        // Numbers stand right-aligned, text left-aligned.
        const std::size_t at = layout.fields[i].type == 'N' ? width - cut.size() : 0;
        record.replace(layout.offsets[i] + at, cut.size(), cut);
      }
  };
  std::string body;
  body.reserve(std::size_t{layout.recordLength} * 4096);
  std::ofstream out(file, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(layout.headerLength);
  for (int i = 1; i <= discs; ++i) {
    std::string record(layout.recordLength, ' ');
    put(record, "TITULOCD", "Disco " + std::to_string((i * 7919L) % (discs / 3 + 1)));
    put(record, "BYTESCD", std::to_string(100 + i % 900) + " MB");
    put(record, "AUTO", std::to_string(i));
    put(record, "TOTFILES", std::to_string(i % 5000));
    put(record, "ETIQUETA", "ETQ" + std::to_string(i % 977));
    put(record, "NSERIECD", std::to_string(10000000 + i));
    put(record, "NUMEROCD", std::to_string(i));
    put(record, "ALBUM", kAlbums[i % 7]);
    body += record;
    if (body.size() >= std::size_t{layout.recordLength} * 4096) {
      out.write(body.data(), static_cast<std::streamsize>(body.size()));
      body.clear();
    }
  }
  body += '\x1A';
  out.write(body.data(), static_cast<std::streamsize>(body.size()));
  char count[4];
  for (int b = 0; b < 4; ++b)
    count[b] = static_cast<char>((static_cast<std::uint32_t>(discs) >> (8 * b)) & 0xFF);
  out.seekp(4);
  out.write(count, 4);
  if (!out.flush()) throw std::runtime_error("the table cannot be written in " + data.string());
}

// Builds the ten index files of the folder's disc table; returns how many.
inline int BuildIndexes(const fs::path& data) {
  zafirel::TTablas tablas;
  tablas.SetFolder(data);
  zafirel::SilentDialogs silent;
  return zafirel::RegeneraIndices(tablas.TablaCDRom, data, silent, "");
}

// File lists for searching: "N.Ct" of discs 1..discs, `lines` file lines
// each in folders of 100. One line in hitEvery names a "Musica" file; on
// every rareEvery-th disc one line also holds the rare word "XILOFONO".
inline void WriteSearchCatalogues(const fs::path& data, int discs, int lines, int hitEvery,
                                  int rareEvery) {
  const fs::path folder = zafirel::FoldersBelow(data).catalogos;
  std::string text;
  for (int disc = 1; disc <= discs; ++disc) {
    text.clear();
    for (int line = 0; line < lines; ++line) {
      text += "D:\\CARPETA" + std::to_string(line / 100) + "\\";
      text += line % hitEvery == 0 ? "Musica" : "Archivo";
      text += std::to_string(line) + ".dat;" + std::to_string(line % 977) + ";25/12/2003";
      if (line % 7 == 0) text += ";Descripcion de un archivo comprimido con datos";
      if (disc % rareEvery == 0 && line == lines * 4 / 10 + 1) text += " XILOFONO";
      text += "\r\n";
    }
    std::ofstream(zafirel::ListFilePath(folder, std::to_string(disc)), std::ios::binary) << text;
  }
}

// The ".Ct" files of a folder, in name order (for grep's command line).
inline std::vector<std::string> CatalogueFilesIn(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".Ct") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// One large disc: 1,000,000 file lines in 50,000 folders two levels deep.
// The folder kBigFolder holds 10,000 files, the others 20 each until the
// millionth line, so the last folders are empty and listing the last one
// scans every line.
inline constexpr const char* kBigFolder = "D:\\CARPETA7\\SUB77\\";
struct LargeCatalogue {
  std::size_t lines = 0, folders = 0;
  std::uintmax_t ctBytes = 0;
};
inline LargeCatalogue WriteLargeCatalogue(const fs::path& catalogueFolder,
                                          const std::string& number) {
  zafirel::LineList tree, files;
  tree.push_back("D:\\");
  std::string folder, line;
  for (int top = 0; top < 500; ++top) {
    const std::string parent = "D:\\CARPETA" + std::to_string(top) + "\\";
    tree.push_back(parent);
    for (int sub = 0; sub < 100; ++sub) {
      folder = parent + "SUB" + std::to_string(sub) + "\\";
      tree.push_back(folder);
      const int count = folder == kBigFolder ? 10000 : 20;
      for (int f = 0; f < count && files.size() < 1000000; ++f) {
        line = folder + "ARCHIVO" + std::to_string(f) + ".TXT;" + std::to_string(f % 5000) +
               ";25/12/2003";
        if (f % 50 == 0) line += ";Descripcion de un archivo comprimido";
        files.push_back(line);
      }
    }
  }
  const fs::path list = zafirel::ListFilePath(catalogueFolder, number);
  if (!zafirel::WriteCatalogueFile(zafirel::TreeFilePath(catalogueFolder, number), tree) ||
      !zafirel::WriteCatalogueFile(list, files))
    throw std::runtime_error("the catalogue could not be written in " + catalogueFolder.string());
  return {files.size(), 50000, fs::file_size(list)};
}

// One catalogue run of a volume (a folder or a disc image file) as drive V
// into an emptied data folder; the walk and both catalogue files are timed.
struct RunFigures {
  double ms = 0;
  std::size_t files = 0, folders = 0;
};

inline RunFigures CatalogueVolume(const fs::path& data, const fs::path& volume, bool zips,
                                  bool archives) {
  SeedDataFolder(data, 0);
  BuildIndexes(data);
  const zafirel::WorkingFolders below = zafirel::FoldersBelow(data);
  zafirel::TTablas tablas;
  tablas.SetFolder(data);
  tablas.OpenDiscTable();
  zafirel::DriveMap drives;
  drives.Map('V', volume);
  zafirel::LineList files;
  std::vector<std::string> folders;
  zafirel::CatalogueRun run(tablas, drives, zafirel::Locale{}, files, folders);
  run.catalogueFolder = below.catalogos;
  run.tempFolder = below.temp;
  run.Zips = zips;
  run.Archives = archives;
  if (run.PrepareDrive("V:\\") != zafirel::CatalogueRun::DriveCheck::kReady)
    throw std::runtime_error(volume.string() + " cannot be catalogued");
  run.AppendDisc();
  const auto start = Clock::now();
  run.Walk(true);
  if (!run.FinishDisc()) std::fputs("the catalogue could not be written\n", stderr);
  return {MsSince(start), files.size(), folders.size()};
}

}  // namespace bench
