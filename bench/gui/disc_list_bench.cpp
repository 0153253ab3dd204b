// Refilling the disc list: 10,000 discs read in each of the seven sort keys
// and in one album, first the rows alone, then the window's whole refill
// (rows, model, captions) on the offscreen platform.
//
//   QT_QPA_PLATFORM=offscreen build/disc_list_bench
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/gui/menu_pral.h"
#include "settings/language.h"
#include "store/album_filter.h"
#include "browse/disc_list.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "util/dialogs.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const fs::path root = fs::temp_directory_path() / "zafirel-disc-list-bench";
  fs::remove_all(root);
  fs::create_directories(root);
  if (!zafirel::TTablas::CreateDiscTable(root))
    throw std::runtime_error("the tables cannot be created");
  zafirel::TTablas tablas;
  tablas.SetFolder(root);
  zafirel::dbf::Table& discs = tablas.TablaCDRom;
  discs.Open();
  const int count = 10000;
  for (int i = 1; i <= count; ++i) {
    const unsigned mix = static_cast<unsigned>(i) * 2654435761u;
    discs.Append();
    discs.SetString("TITULOCD", "Disco " + std::to_string(mix % 100000));
    discs.SetString("BYTESCD", std::to_string(mix % 13000) + " MB");
    discs.SetString("ETIQUETA", "ETIQ" + std::to_string(mix % 977));
    discs.SetString("NSERIECD", std::to_string(100000000 + i));
    discs.SetString("TOTFILES", std::to_string(mix % 99999));
    discs.SetString("NUMEROCD", std::to_string(mix % 5000));
    discs.SetString("ALBUM", "ALBUM " + std::to_string(mix % 40));
    discs.SetString("AUTO", std::to_string(i));
    discs.Post();
  }
  discs.Close();
  zafirel::SilentDialogs dialogs;
  zafirel::RegeneraIndices(discs, root, dialogs, "");
  tablas.OpenDiscTable();
  const zafirel::Locale locale;

  double worst = 0;
  for (const zafirel::SortKey& key : zafirel::kSortKeys) {
    const auto t0 = Clock::now();
    const zafirel::DiscListing listing = zafirel::ListDiscs(tablas, key.key, locale);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    worst = std::max(worst, ms);
    std::printf("RellenaCDs %-28s %6zu rows %8.2f ms   target < 300: %s\n",
                std::string(key.key).c_str(), listing.rows.size(), ms, ms < 300 ? "met" : "MISSED");
  }
  auto t0 = Clock::now();
  zafirel::ApplyAlbumFilter(tablas, "ALBUM 7");
  const zafirel::DiscListing album = zafirel::ListDiscs(tablas, zafirel::kAlbumFilterKey, locale);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  std::printf("RellenaCDs one album                   %6zu rows %8.2f ms\n", album.rows.size(), ms);
  t0 = Clock::now();
  const std::size_t albums = zafirel::ListAlbums(tablas).size();
  ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  std::printf("RellenaFiltro                          %6zu albums %6.2f ms\n", albums, ms);
  std::printf("slowest sort key, rows alone: %.2f ms\n", worst);
  tablas.TablaCDRom.Close();

  // The window over the same data folder, its settings beside the program.
  const fs::path program = root / "bin";
  fs::create_directories(program);
  for (const char* name : {"Espanol.Len", "Ingles.Len"})
    fs::copy_file(fs::path(ZAFIREL_SOURCE_DIR) / "lang" / name, program / name);
  {
    std::FILE* settings = std::fopen((program / "Opcion.INI").c_str(), "wb");
    std::fprintf(settings, "[General]\r\nDirectorio=%s/\r\n", root.c_str());
    std::fclose(settings);
  }
  zafirel::Language leng(program / "Espanol.Len");
  zafirel::TMenuPral window({program, program, program}, locale, leng, dialogs);
  window.CreaModuloDatos();
  worst = 0;
  for (const zafirel::SortKey& key : zafirel::kSortKeys) {
    const auto start = Clock::now();
    window.RellenaCDs(std::string(key.key));
    const double took = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    worst = std::max(worst, took);
    std::printf("window RellenaCDs %-21s %8.2f ms   target < 300: %s\n",
                std::string(key.key).c_str(), took, took < 300 ? "met" : "MISSED");
  }
  std::printf("slowest sort key, window: %.2f ms over %u discs\n", worst,
              window.Tablas().TablaCDRom.RecordCount());
  fs::remove_all(root);
  return 0;
}
