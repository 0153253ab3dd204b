// zafirel-cli: the command-line front end over the same core, for scripts,
// headless machines and benchmarks. Commands arrive with the features they
// drive; for now it tells its version and creates a data folder's tables.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "store/tablas.h"
#include "util/wildcard.h"

namespace {

int Usage() {
  std::fputs(
      "usage: zafirel-cli version\n"
      "       zafirel-cli init FOLDER    create the disc and cover tables when missing\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "version") == 0) {
    std::puts("Zafirel! v1.1");
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "init") == 0) {
    const std::filesystem::path folder(argv[2]);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
      std::fprintf(stderr, "zafirel-cli: %s is not a folder\n", argv[2]);
      return 1;
    }
    bool ok = true;
    if (zafirel::ListFiles(folder, "CDRom.Dbf").empty())
      ok &= zafirel::TTablas::CreateDiscTable(folder);
    if (zafirel::ListFiles(folder, "Img.dbf").empty())
      ok &= zafirel::TTablas::CreateCoverTable(folder);
    return ok ? 0 : 1;
  }
  return Usage();
}
