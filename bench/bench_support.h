// What the benchmarks share: the clock, this process's resident memory,
// whole programs run and timed (the command line, grep, sort), the report
// line every figure is printed on, and data folders seeded with many discs
// and catalogues.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
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
  zafirel::CatalogueRun run(tablas, drives, zafirel::Locale{});
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
  return {MsSince(start), run.Progress().files, run.Progress().folders};
}

// The machine's load averages over 1, 5 and 15 minutes, as /proc/loadavg
// gives them.
inline std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Report, the line starting with the machine's load at that moment: other
// work on the machine slows every figure.
inline bool ReportUnderLoad(const std::string& what, double value, const std::string& reference,
                            double refValue, const std::string& unit, const Target& target) {
  std::printf("[load %s] ", LoadAverage().c_str());
  return Report(what, value, reference, refValue, unit, target);
}

// The median of some figures (the middle one of an odd count).
inline double Median(std::vector<double> figures) {
  if (figures.empty()) return 0;
  std::sort(figures.begin(), figures.end());
  return figures[figures.size() / 2];
}

// A whole program's run measured on its own: its time, how it ended and its
// peak resident memory (ru_maxrss). A child started straight from a
// benchmark would count the benchmark's own peak in its ru_maxrss (it starts
// on this program's memory, and an exec keeps the larger figure), so a small
// helper, this program again started fresh, starts the measured program and
// reads getrusage(RUSAGE_CHILDREN) once it has ended. The helper can lower
// the stack limit first; the program inherits it.
struct MeasuredRun {
  double ms = 0;
  int exitCode = -1;  // -1 when it ended by a signal or did not start
  int signal = 0;     // the signal that ended it, 0 when none
  long peakKb = 0;
  double PeakMb() const { return peakKb / 1024.0; }
  bool Ended() const { return exitCode >= 0; }
};

inline constexpr const char* kMeasuringHelper = "--zafirel-bench-measure";

// Call first in main: true when this process is the helper, which has then
// done its work and main returns MeasuringHelperExit().
// The helper's arguments: kMeasuringHelper STACK_KB RESULT_FILE OUTPUT PROGRAM [ARGS...]
inline bool IsMeasuringHelper(int argc, char** argv) {
  return argc >= 6 && std::strcmp(argv[1], kMeasuringHelper) == 0;
}

inline int MeasuringHelperMain(int argc, char** argv) {
  const long stackKb = std::atol(argv[2]);
  if (stackKb > 0) {
    rlimit limit{};
    getrlimit(RLIMIT_STACK, &limit);
    limit.rlim_cur = static_cast<rlim_t>(stackKb) * 1024;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max)
      limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_STACK, &limit) != 0) {
      std::fprintf(stderr, "the stack limit cannot be set: %s\n", std::strerror(errno));
      return 1;
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, argv[4], O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  MeasuredRun run;
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[5], &actions, nullptr, argv + 5, environ);
  if (spawned == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.ms = MsSince(start);
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    run.peakKb = usage.ru_maxrss;
  } else {
    std::fprintf(stderr, "%s cannot be started: %s\n", argv[5], std::strerror(spawned));
  }
  posix_spawn_file_actions_destroy(&actions);
  std::FILE* result = std::fopen(argv[3], "w");
  if (result == nullptr) return 1;
  std::fprintf(result, "%.3f %d %d %ld\n", run.ms, run.exitCode, run.signal, run.peakKb);
  return std::fclose(result) == 0 ? 0 : 1;
}

// Runs a program through the helper, with the stack limit lowered to
// stackKb when that is not 0.
inline MeasuredRun RunMeasured(const std::vector<std::string>& args, long stackKb = 0,
                               const fs::path& output = "/dev/null") {
  const fs::path resultFile =
      fs::temp_directory_path() / ("zafirel-bench-run-" + std::to_string(::getpid()));
  std::vector<std::string> helper{fs::read_symlink("/proc/self/exe").string(), kMeasuringHelper,
                                  std::to_string(stackKb), resultFile.string(), output.string()};
  helper.insert(helper.end(), args.begin(), args.end());
  fs::remove(resultFile);
  RunProgram(helper);
  MeasuredRun run;
  std::ifstream result(resultFile);
  if (!(result >> run.ms >> run.exitCode >> run.signal >> run.peakKb))
    std::fprintf(stderr, "no figures from the run of %s\n", args.front().c_str());
  fs::remove(resultFile);
  return run;
}

// A generated tree is made once and kept: its stamp file, written last,
// names what it holds, so a tree cut short by an interruption is made anew.
// The stamp's name starts with a dot, which the walker passes over.
inline constexpr const char* kTreeStamp = ".zafirel-bench-tree";

inline bool TreeIsReady(const fs::path& root, const std::string& what) {
  std::ifstream stamp(root / kTreeStamp);
  std::string held;
  std::getline(stamp, held);
  return stamp && held == what;
}

inline void StampTree(const fs::path& root, const std::string& what) {
  std::ofstream(root / kTreeStamp) << what << "\n";
}

// Removes a folder and everything below it, at any depth: each level is
// reached from its parent's descriptor, so no path grows long.
inline void RemoveBelow(int parent, const std::string& name) {
  struct Level {
    int fd;
    std::string name;
  };
  const int top = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (top < 0) {
    unlinkat(parent, name.c_str(), 0);
    return;
  }
  std::vector<Level> levels{{top, name}};
  while (!levels.empty()) {
    // Empties the deepest open folder, going down first into any folder
    // found in it; a folder is listed again until nothing is left in it.
    DIR* listing = fdopendir(dup(levels.back().fd));
    if (listing == nullptr) break;
    rewinddir(listing);
    bool removed = false, descended = false;
    while (dirent* entry = readdir(listing)) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      if (unlinkat(levels.back().fd, entry->d_name, 0) == 0) {
        removed = true;
        continue;
      }
      const int below =
          openat(levels.back().fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (below >= 0) {
        levels.push_back({below, entry->d_name});
        descended = true;
        break;
      }
    }
    closedir(listing);
    if (descended || removed) continue;
    const Level done = levels.back();
    levels.pop_back();
    close(done.fd);
    unlinkat(levels.empty() ? parent : levels.back().fd, done.name.c_str(), AT_REMOVEDIR);
  }
  for (const Level& level : levels) close(level.fd);
}

inline void RemoveTree(const fs::path& root) {
  const std::string parent = root.parent_path().string();
  const int fd = open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  RemoveBelow(fd, root.filename().string());
  close(fd);
}

// A generated volume: `folders` folders, every one holding `filesPerFolder`
// files of `fileBytes` bytes ("A0000000.DAT" on), grouped under top folders
// ("C0" on) of `perTop` folders each, the top folder counting as the first.
// Made with descriptor-relative calls, as fast as the file system creates
// files; an existing tree made alike is kept.
struct TreeShape {
  long folders = 0;
  long filesPerFolder = 0;
  long fileBytes = 0;
  long perTop = 100;
  long Files() const { return folders * filesPerFolder; }
  std::string Stamp() const {
    return std::to_string(folders) + " folders of " + std::to_string(filesPerFolder) +
           " files of " + std::to_string(fileBytes) + " bytes, " + std::to_string(perTop) +
           " a top folder";
  }
};

inline void MakeFolderTree(const fs::path& root, const TreeShape& shape) {
  if (TreeIsReady(root, shape.Stamp())) return;
  std::printf("making %ld files in %ld folders in %s...\n", shape.Files(), shape.folders,
              root.c_str());
  std::fflush(stdout);
  RemoveTree(root);
  fs::create_directories(root);
  const int rootFd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) throw std::runtime_error(root.string() + ": " + std::strerror(errno));
  const std::string bytes(static_cast<std::size_t>(shape.fileBytes), 'x');
  int topFd = -1;
  char name[32];
  for (long folder = 0; folder < shape.folders; ++folder) {
    const long sub = folder % shape.perTop;
    int fd = -1;
    if (sub == 0) {
      if (topFd >= 0) close(topFd);
      std::snprintf(name, sizeof name, "C%ld", folder / shape.perTop);
      mkdirat(rootFd, name, 0755);
      fd = topFd = openat(rootFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
      std::snprintf(name, sizeof name, "S%ld", sub);
      mkdirat(topFd, name, 0755);
      fd = openat(topFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) throw std::runtime_error(root.string() + ": " + std::strerror(errno));
    for (long file = 0; file < shape.filesPerFolder; ++file) {
      std::snprintf(name, sizeof name, "A%07ld.DAT", file);
      const int out = openat(fd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (out < 0 || (!bytes.empty() && write(out, bytes.data(), bytes.size()) < 0))
        throw std::runtime_error(root.string() + ": " + std::strerror(errno));
      close(out);
    }
    if (sub != 0) close(fd);
    if (shape.folders >= 1000 && (folder + 1) % (shape.folders / 10) == 0) {
      std::printf("  %ld folders\n", folder + 1);
      std::fflush(stdout);
    }
  }
  if (topFd >= 0) close(topFd);
  close(rootFd);
  StampTree(root, shape.Stamp());
}

// The command line cataloguing a volume into a data folder.
inline std::vector<std::string> CatalogueCommand(const fs::path& data, const fs::path& volume,
                                                 std::vector<std::string> options = {}) {
  std::vector<std::string> args{CommandLineProgram().string(), "--data", data.string(), "catalogue",
                                volume.string()};
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

// The lines of a text file (a catalogue file), 0 when it is missing.
inline long LinesIn(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  long lines = 0;
  std::string line;
  while (std::getline(in, line)) ++lines;
  return lines;
}

// 2,000 small .ZIP archives in 20 folders, each with a program and a
// description (README.TXT or FILE_ID.DIZ, in turn); made once and kept.
inline void MakeDescribedArchives(const fs::path& root) {
  const std::string stamp = "2000 archives with descriptions";
  if (TreeIsReady(root, stamp)) return;
  RemoveTree(root);
  const std::string readme = "Un programa de ejemplo\r\nversion 1.0; muy util\r\n";
  for (int i = 0; i < 2000; ++i) {
    const fs::path folder = root / ("Z" + std::to_string(i / 100));
    fs::create_directories(folder);
    const std::string path = (folder / ("PAQ" + std::to_string(i) + ".ZIP")).string();
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) throw std::runtime_error(path + ": cannot be made");
    zip_file_add(archive, "PROGRAMA.EXE", zip_source_buffer(archive, "MZ....", 6, 0), 0);
    zip_file_add(archive, i % 2 ? "README.TXT" : "FILE_ID.DIZ",
                 zip_source_buffer(archive, readme.data(), readme.size(), 0), 0);
    if (zip_close(archive) != 0) throw std::runtime_error(path + ": cannot be written");
  }
  StampTree(root, stamp);
}

}  // namespace bench
