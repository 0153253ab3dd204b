// The window's search with 20,000 hits against `zafirel-cli search` of the
// same text over the same data folder: 100 catalogues of 10,000 lines, one
// line in 50 a hit. The search runs on the offscreen platform with its
// events pumped as the window pumps them, first on the search page alone,
// then in the whole main window, where every pump repaints what the window
// shows around the page; without the search index and with it.
//
//   QT_QPA_PLATFORM=offscreen build/search_page_bench
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/gui/page_control.h"
#include "bench_support.h"
#include "page_support.h"
#include "search/gui/busqueda_page.h"
#include "util/codepage.h"

namespace {
namespace fs = std::filesystem;

// Types the text into the page, clicks "Buscar" and returns the time until
// the search ended, saying what the page said at its end.
double Search(zafirel::BusquedaPage& page, const bench::RecordingDialogs& dialogs) {
  bench::Control<QLineEdit>(page, "EBusca").setText("musica");
  const auto start = bench::Clock::now();
  bench::Control<QPushButton>(page, "BBuscar").click();
  const double ms = bench::MsSince(start);
  std::printf("the search said: %s\n", dialogs.messages.empty()
                                           ? "nothing"
                                           : zafirel::AnsiToUtf8(dialogs.messages.back()).c_str());
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const fs::path data = fs::temp_directory_path() / "zafirel-search-page-bench";
  bench::SeedDataFolder(data, 100);
  bench::WriteSearchCatalogues(data, 100, 10000, 50, 100);
  bench::BuildIndexes(data);

  // Without the search index, then with it (which a term in every block
  // leaves unused, so that it must cost nothing).
  for (const bool indexed : {false, true}) {
    const std::string with = indexed ? ", with the search index" : "";
    if (indexed && bench::RunProgram(
                       {bench::CommandLineProgram().string(), "--data", data.string(), "reindex"})
                           .exitCode != 0)
      std::puts("reindex FAILED");
    // The command line first, which also warms the cache.
    const bench::ProcessRun cli = bench::FastestOf(
        3, {bench::CommandLineProgram().string(), "--data", data.string(), "search", "musica"},
        data / "out.txt");

    double pageMs = 0;
    {
      bench::PageRig rig(data);
      zafirel::BusquedaPage page(rig.services);
      page.resize(900, 700);
      page.show();
      QApplication::processEvents();
      pageMs = Search(page, rig.dialogs);
    }
    bench::Report("search page alone, 20,000 hits" + with, pageMs, "zafirel-cli search", cli.ms,
                  "ms", bench::RatioAtMost(1.5));

    double windowMs = 0;
    {
      bench::WindowRig rig(data);
      rig.window.show();
      bench::Control<zafirel::PageControl>(rig.window, "Pagina")
          .setCurrentIndex(zafirel::TMenuPral::kBusqueda);
      QApplication::processEvents();
      rig.dialogs.messages.clear();
      windowMs =
          Search(bench::Control<zafirel::BusquedaPage>(rig.window, "PBusqueda"), rig.dialogs);
    }
    bench::Report("search in the window, 20,000 hits" + with, windowMs, "zafirel-cli search",
                  cli.ms, "ms", bench::RatioAtMost(1.5));
  }
  fs::remove_all(data);
  return 0;
}
