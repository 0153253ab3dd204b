// Opening a disc of 1,000,000 file lines in 50,000 folders on the files
// page (offscreen, the page alone over the data folder, as the window opens
// a disc chosen in the list): the disc made current in the table, then its
// tree shown and its first folder listed. Held to 0.3 s and to a resident
// memory growth below 1.5 times the ".Ct" file; the reference is reading
// that file into one string and counting its lines.
//
// First, a disc of 2,400,000 file lines (bench/big_disc.h) opened the same
// way and then its folder of 1,000,000 files listed: the peak resident memory
// of this process (getrusage) beyond what it held with the page shown and
// empty, held to the ".Ct" file's size plus 64 MB.
//
//   QT_QPA_PLATFORM=offscreen build/files_page_bench
#include <sys/resource.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "bench_support.h"
#include "big_disc.h"
#include "browse/gui/archivos_page.h"
#include "browse/gui/browse_models.h"
#include "page_support.h"

namespace fs = std::filesystem;

namespace {

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void PrintLoad() { std::printf("load average: %s\n", bench::LoadAverage().c_str()); }

void BigDisc(const fs::path& data) {
  bench::SeedDataFolder(data, 1);
  bench::BuildIndexes(data);
  const bench::BigDisc made =
      bench::WriteBigDisc(zafirel::FoldersBelow(data).catalogos, "1", 2400000, 1000000);
  const double ctMb = made.ctBytes / 1048576.0;
  std::printf("big disc: %zu file lines, %zu folders, .Ct %.1f MB\n", made.lines, made.folders,
              ctMb);
  PrintLoad();
  // Reference for the time: the file read and its lines counted, through a
  // buffer of 1 MB, so that it leaves the peak memory where it was.
  auto start = bench::Clock::now();
  {
    std::ifstream in(zafirel::ListFilePath(zafirel::FoldersBelow(data).catalogos, "1"),
                     std::ios::binary);
    std::string piece(1 << 20, '\0');
    long counted = 0;
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
      counted += std::count(piece.data(), piece.data() + in.gcount(), '\n');
    if (counted != static_cast<long>(made.lines))
      std::fputs("the reference counted other lines\n", stderr);
  }
  const double rawMs = bench::MsSince(start);

  bench::PageRig rig(data);
  auto page = std::make_unique<zafirel::ArchivosPage>(rig.services);
  page->resize(1000, 700);
  page->show();
  QApplication::processEvents();
  // Baseline: the page shown and empty. The peak so far (the reference above,
  // made before it) is above it; the figure is what the peak rises to.
  const long baseline = bench::ResidentKb();
  const long peakBefore = PeakKb();
  start = bench::Clock::now();
  rig.tablas.TablaCDRom.Locate("AUTO", "1");
  page->ShowCurrentDisc();
  QApplication::processEvents();
  const double openMs = bench::MsSince(start);
  start = bench::Clock::now();
  const int big = zafirel::WalkToFolder(page->Catalogo().Arbol, bench::kBigDiscFolder).back();
  bench::Control<QTreeView>(*page, "Arbol")
      .selectionModel()
      ->setCurrentIndex(bench::Control<zafirel::FolderTreeModel>(*page, "Carpetas").IndexOf(big),
                        QItemSelectionModel::ClearAndSelect);
  page->ArbolClick();
  QApplication::processEvents();
  const double listMs = bench::MsSince(start);
  const long peak = PeakKb();
  std::printf("%d files listed; peak before opening %.1f MB, baseline %.1f MB\n",
              bench::Control<zafirel::FileListModel>(*page, "Ficheros").rowCount(),
              peakBefore / 1024.0, baseline / 1024.0);
  bench::Report("files page opens the big disc", openMs, "read+count", rawMs, "ms",
                bench::NoTarget());
  bench::Report("lists its folder of 1,000,000 files", listMs, "read+count", rawMs, "ms",
                bench::NoTarget());
  bench::Report("peak memory over the baseline", (peak - baseline) / 1024.0, ".Ct size", ctMb, "MB",
                bench::AtMost(ctMb + 64));
  PrintLoad();
  page.reset();
  fs::remove_all(data);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  BigDisc(fs::temp_directory_path() / "zafirel-files-page-big-bench");
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
              bench::Control<zafirel::FileListModel>(page, "Ficheros").rowCount());
  bench::Report("files page opens the disc", openMs, "read+count", rawMs, "ms", bench::Below(300));
  bench::Report("resident memory growth", grownMb, ".Ct size", ctMb, "MB", bench::RatioBelow(1.5));
  fs::remove_all(data);
  return 0;
}
