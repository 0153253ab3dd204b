// Opening a disc of 1,000,000 file lines in 50,000 folders on the files
// page (offscreen, the page alone over the data folder, as the window opens
// a disc chosen in the list): the disc made current in the table, then its
// tree shown and its first folder listed. Held to 0.3 s and to a resident
// memory growth below 1.5 times the ".Ct" file; the reference is reading
// that file into one string and counting its lines.
//
//   QT_QPA_PLATFORM=offscreen build/files_page_bench
#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "bench_support.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "page_support.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const fs::path data = fs::temp_directory_path() / "zafirel-files-page-bench";
  bench::SeedDataFolder(data, 10);
  bench::BuildIndexes(data);
  const bench::LargeCatalogue made =
      bench::WriteLargeCatalogue(zafirel::FoldersBelow(data).catalogos, "1");
  const double ctMb = made.ctBytes / 1048576.0;

  // Reference: the file read into one string and its lines counted.
  auto start = bench::Clock::now();
  std::string raw;
  {
    std::ifstream in(zafirel::ListFilePath(zafirel::FoldersBelow(data).catalogos, "1"),
                     std::ios::binary);
    raw.assign(std::istreambuf_iterator<char>(in), {});
  }
  const auto counted = std::count(raw.begin(), raw.end(), '\n');
  const double rawMs = bench::MsSince(start);
  raw.clear();
  raw.shrink_to_fit();

  bench::PageRig rig(data);
  zafirel::ArchivosPage page(rig.services);
  page.resize(1000, 700);
  page.show();
  QApplication::processEvents();
  const long before = bench::ResidentKb();
  start = bench::Clock::now();
  rig.tablas.TablaCDRom.Locate("AUTO", "1");
  page.ShowCurrentDisc();
  QApplication::processEvents();  // the tree and the file list painted
  const double openMs = bench::MsSince(start);
  const double grownMb = (bench::ResidentKb() - before) / 1024.0;
  std::printf("%zu file lines (%ld counted), %zu in memory, %d files listed\n", made.lines,
              static_cast<long>(counted), page.Catalogo().LineasActuales.size(),
              page.Ficheros->rowCount());
  bench::Report("files page opens the disc", openMs, "read+count", rawMs, "ms", bench::Below(300));
  bench::Report("resident memory growth", grownMb, ".Ct size", ctMb, "MB", bench::RatioBelow(1.5));
  fs::remove_all(data);
  return 0;
}
