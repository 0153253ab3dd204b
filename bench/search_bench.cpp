// Searching 500 catalogues holding 5,000,000 file lines in all: the command
// line's search for a rare term and for a term with about 100,000 hits,
// against `grep -F -i -c` over the same ".Ct" files, with the peak memory.
//
//   build/search_bench [FOLDER]     (default: a folder in the temporary folder)
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "app/startup.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Run(const std::string& command) {
  const auto start = Clock::now();
  if (std::system(command.c_str()) == -1) std::fputs("could not run a command\n", stderr);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void MakeData(const fs::path& data) {
  fs::create_directories(zafirel::FoldersBelow(data).catalogos);
  if (!zafirel::TTablas::CreateDiscTable(data))
    throw std::runtime_error("the tables cannot be created");
  if (!zafirel::TTablas::CreateCoverTable(data))
    throw std::runtime_error("the tables cannot be created");
  zafirel::TTablas tablas;
  tablas.SetFolder(data);
  tablas.TablaCDRom.Open();
  std::string text;
  for (int disc = 1; disc <= 500; ++disc) {
    tablas.TablaCDRom.Append();
    tablas.TablaCDRom.SetString("AUTO", std::to_string(disc));
    tablas.TablaCDRom.SetString("TITULOCD", "Disco " + std::to_string(disc));
    tablas.TablaCDRom.SetString("NSERIECD", std::to_string(10000000 + disc));
    tablas.TablaCDRom.Post();
    text.clear();
    for (int line = 0; line < 10000; ++line) {
      // One line in 50 holds "Musica" (100,000 in all); the rare word is in 5 lines.
      text += "D:\\CARPETA" + std::to_string(line / 100) + "\\";
      text += line % 50 == 0 ? "Musica" : "Archivo";
      text += std::to_string(line) + ".dat;" + std::to_string(line % 977) + ";25/12/2003";
      if (line % 7 == 0) text += ";Descripcion de un archivo comprimido con datos";
      if (disc % 100 == 0 && line == 4321) text += " XILOFONO";
      text += "\r\n";
    }
    std::ofstream(zafirel::FoldersBelow(data).catalogos / (std::to_string(disc) + ".Ct"),
                  std::ios::binary)
        << text;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path data =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "zafirel-search-bench";
  if (!fs::exists(zafirel::FoldersBelow(data).catalogos / "500.Ct")) {
    std::puts("making 500 catalogues of 10,000 lines...");
    fs::remove_all(data);
    MakeData(data);
  }
  const fs::path cli = fs::path(argv[0]).parent_path() / "zafirel-cli";
  const std::string catalogues = (zafirel::FoldersBelow(data).catalogos).string();
  const std::string search = "'" + cli.string() + "' --data '" + data.string() + "' search ";
  const std::string grep = "grep -F -i -c ";
  // Into a file: grep stops at the first match when its output is /dev/null.
  const std::string sink = (data / "out.txt").string();
  auto files = [&] { return " '" + catalogues + "'/*.Ct > '" + sink + "'"; };
  Run(grep + "warm" + files());  // warm the cache
  for (const char* term : {"xilofono", "musica"}) {
    double ours = 1e9, theirs = 1e9;
    for (int round = 0; round < 3; ++round) {
      theirs = std::min(theirs, Run(grep + term + files()));
      ours = std::min(ours, Run(search + term + " > '" + sink + "'"));
    }
    std::printf("search %-9s ours %.3f s, grep %.3f s, ratio %.2f%s\n", term, ours, theirs,
                ours / theirs, std::string(term) == "xilofono" ? "   target <= 1.0" : "");
  }
  // The search's peak memory, from its own run.
  const std::string measured = "/usr/bin/time -f '%M' " + search + "musica > /dev/null 2> '" +
                               (data / "peak.txt").string() + "'";
  if (std::system(measured.c_str()) == 0) {
    std::ifstream peak(data / "peak.txt");
    long kb = 0;
    peak >> kb;
    std::printf("peak resident memory of the search: %.1f MB (one catalogue is %.1f MB)\n",
                kb / 1024.0,
                fs::file_size(zafirel::FoldersBelow(data).catalogos / "1.Ct") / 1048576.0);
  }
  return 0;
}
