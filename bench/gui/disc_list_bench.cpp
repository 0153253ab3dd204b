// Refilling the disc list: 10,000 discs read in each of the seven sort keys
// and in one album, first the rows alone, then the window's whole refill
// (rows, model, captions) on the offscreen platform.
//
// Then the window's start-up (data module, disc list page filled) on a
// million discs written by bench::SeedLargeDataFolder, a process of its own
// (time and peak memory) against the same on the 10,000 discs.
//
//   QT_QPA_PLATFORM=offscreen build/disc_list_bench [large-discs=1000000]
#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "browse/disc_list.h"
#include "browse/gui/browse_models.h"
#include "browse/gui/catalogos_page.h"
#include "page_support.h"
#include "store/album_filter.h"
#include "store/index_files.h"
#include "store/tablas.h"

namespace {
namespace fs = std::filesystem;
using bench::Clock;
using bench::MsSince;

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && std::string(argv[1]) == "--window") {  // the child: start-up alone
    bench::WindowRig rig(argv[2]);
    return rig.window.findChild<zafirel::DiscListModel*>("Discos")->rowCount() > 0 ? 0 : 1;
  }
  const int largeDiscs = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const fs::path root = fs::temp_directory_path() / "zafirel-disc-list-bench";
  bench::SeedDataFolder(root, 10000);
  bench::BuildIndexes(root);
  zafirel::TTablas tablas;
  tablas.SetFolder(root);
  tablas.OpenDiscTable();
  const zafirel::Locale locale;

  double worst = 0;
  for (const zafirel::SortKey& key : zafirel::kSortKeys) {
    const auto t0 = Clock::now();
    const zafirel::DiscListing listing = zafirel::ListDiscs(tablas, key.key, locale);
    const double ms = MsSince(t0);
    worst = std::max(worst, ms);
    std::printf("RellenaCDs %-28s %6zu rows %8.2f ms   target < 300: %s\n",
                std::string(key.key).c_str(), listing.rows.size(), ms, ms < 300 ? "met" : "MISSED");
  }
  auto t0 = Clock::now();
  zafirel::ApplyAlbumFilter(tablas, "Rock");
  const zafirel::DiscListing album = zafirel::ListDiscs(tablas, zafirel::kAlbumFilterKey, locale);
  double ms = MsSince(t0);
  std::printf("RellenaCDs one album                   %6zu rows %8.2f ms\n", album.rows.size(), ms);
  t0 = Clock::now();
  const std::size_t albums = zafirel::ListAlbums(tablas).size();
  ms = MsSince(t0);
  std::printf("RellenaFiltro                          %6zu albums %6.2f ms\n", albums, ms);
  std::printf("slowest sort key, rows alone: %.2f ms\n", worst);
  tablas.TablaCDRom.Close();

  // The window over the same data folder, its settings beside the program.
  bench::WindowRig rig(root);
  zafirel::TMenuPral& window = rig.window;
  worst = 0;
  for (const zafirel::SortKey& key : zafirel::kSortKeys) {
    const auto start = Clock::now();
    window.RellenaCDs(std::string(key.key));
    const double took = MsSince(start);
    worst = std::max(worst, took);
    std::printf("window RellenaCDs %-21s %8.2f ms   target < 300: %s\n",
                std::string(key.key).c_str(), took, took < 300 ? "met" : "MISSED");
  }
  std::printf("slowest sort key, window: %.2f ms over %u discs\n", worst,
              window.Tablas().TablaCDRom.RecordCount());

  // Start-up of the window, a process each: on a million discs against the
  // same on 10,000.
  if (largeDiscs > 0) {
    const fs::path large = fs::temp_directory_path() / "zafirel-disc-list-bench-large";
    bench::SeedLargeDataFolder(large, largeDiscs);
    bench::BuildIndexes(large);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::vector<std::string> big{self, "--window", large.string()};
    const std::vector<std::string> small{self, "--window", root.string()};
    bench::RunProgram(big);  // warms the system's cache
    const bench::ProcessRun bigRun = bench::FastestOf(3, big);
    const bench::ProcessRun smallRun = bench::FastestOf(3, small);
    std::printf("%d discs\n", largeDiscs);
    bench::Report("window start-up, disc list filled", bigRun.ms, "10,000 discs", smallRun.ms, "ms",
                  bench::AtMost(1000));
    bench::Report("window start-up, peak memory", bench::PeakMb(big), "10,000 discs",
                  bench::PeakMb(small), "MB", bench::AtMost(100));
    fs::remove_all(large);
  }
  fs::remove_all(root);
  return 0;
}
