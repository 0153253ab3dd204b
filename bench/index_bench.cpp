// Index files on large disc tables: building all ten, single writes with all
// ten attached, and walking the title order. Each figure is printed with a
// reference measured in the same run (sorting the same keys in memory, or
// reading the table in record order), and their ratio.
//
//   build/index_bench [discs-for-build=100000] [discs-for-writes=10000]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/dbf/attached_index.h"
#include "store/dbf/key_expression.h"
#include "store/index_files.h"
#include "store/index_set.h"
#include "store/tablas.h"
#include "util/dialogs.h"
#include "util/text.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zafirel::TTablas;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

const char* const kAlbums[] = {"Rock", "Jazz", "Juegos", "JUEGOS", "Clasica", "", "Mapas"};

void FillTable(const fs::path& folder, int discs) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  if (!TTablas::CreateDiscTable(folder)) throw std::runtime_error("the tables cannot be created");
  zafirel::dbf::Table table(true);
  table.SetFolder(folder);
  table.SetTableName("CDROM.DBF");
  table.Open();
  for (int i = 1; i <= discs; ++i) {
    table.Append();
    // Shared titles: many discs carry the same name, as real collections do.
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
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Report(const char* what, double ms, const char* reference, double refMs, double targetMs) {
  std::printf("%-44s %9.2f ms   (%s %8.2f ms, ratio %6.1f)   target < %.0f ms: %s\n", what, ms,
              reference, refMs, refMs > 0 ? ms / refMs : 0.0, targetMs,
              ms < targetMs ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  const int buildDiscs = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int writeDiscs = argc > 2 ? std::atoi(argv[2]) : 10000;
  const fs::path root = fs::temp_directory_path() / "zafirel-index-bench";
  zafirel::SilentDialogs dialogs;

  // Building all ten files.
  FillTable(root / "big", buildDiscs);
  TTablas big;
  big.SetFolder(root / "big");
  auto t0 = Clock::now();
  const int built = zafirel::RegeneraIndices(big.TablaCDRom, root / "big", dialogs, "");
  const double buildMs = Ms(Clock::now() - t0);
  // Reference: reading every record and sorting the ten keys in memory.
  t0 = Clock::now();
  big.TablaCDRom.Open();
  for (const auto& index : zafirel::kIndexFiles) {
    auto expression = zafirel::dbf::KeyExpression::Parse(index.expression, big.TablaCDRom.Fields());
    std::vector<std::pair<std::string, std::uint32_t>> keys;
    big.TablaCDRom.ForEachStoredRecord([&](std::uint32_t recNo, std::string_view record) {
      keys.emplace_back(zafirel::dbf::StoredKey(expression, big.TablaCDRom.Layout(), record),
                        recNo);
      return true;
    });
    std::sort(keys.begin(), keys.end());
  }
  const double sortMs = Ms(Clock::now() - t0);
  std::printf("%d discs, %d index files built\n", buildDiscs, built);
  Report("build all ten index files", buildMs, "read+sort", sortMs, 2000);

  // Walking the title order against walking record order.
  big.TablaCDRom.Close();
  big.OpenDiscTable();
  std::size_t seen = 0;
  t0 = Clock::now();
  for (big.TablaCDRom.First(); !big.TablaCDRom.Eof(); big.TablaCDRom.Next()) ++seen;
  const double walkMs = Ms(Clock::now() - t0);
  big.IndicesCDRom.Select(big.TablaCDRom, "");
  t0 = Clock::now();
  for (big.TablaCDRom.First(); !big.TablaCDRom.Eof(); big.TablaCDRom.Next()) ++seen;
  const double physicalMs = Ms(Clock::now() - t0);
  Report("walk the Titulo order", walkMs, "record order", physicalMs, 100);
  big.TablaCDRom.Close();

  // Single writes on a smaller table with all ten files attached.
  FillTable(root / "small", writeDiscs);
  TTablas small;
  small.SetFolder(root / "small");
  zafirel::RegeneraIndices(small.TablaCDRom, root / "small", dialogs, "");
  small.OpenDiscTable();
  zafirel::dbf::Table& t = small.TablaCDRom;
  std::vector<double> appends, edits, deletes, plainAppends;
  for (int i = 0; i < 50; ++i) {
    t0 = Clock::now();
    t.Append();
    t.SetString("TITULOCD", "Nuevo " + std::to_string(i));
    t.SetString("AUTO", std::to_string(writeDiscs + 1 + i));
    t.SetString("ALBUM", kAlbums[i % 7]);
    t.Post();
    appends.push_back(Ms(Clock::now() - t0));
    const std::uint32_t recNo = static_cast<std::uint32_t>(1 + (i * 197) % writeDiscs);
    t.GoTo(recNo);
    t0 = Clock::now();
    t.Edit();
    t.SetString("TITULOCD", "Cambiado " + std::to_string(i));
    t.SetString("ALBUM", kAlbums[(i + 3) % 7]);
    t.Post();
    edits.push_back(Ms(Clock::now() - t0));
    t.GoTo(static_cast<std::uint32_t>(1 + (i * 389 + 7) % writeDiscs));
    t0 = Clock::now();
    t.Delete();
    deletes.push_back(Ms(Clock::now() - t0));
  }
  small.IndicesCDRom.Detach(t);
  for (int i = 0; i < 50; ++i) {
    t0 = Clock::now();
    t.Append();
    t.SetString("TITULOCD", "Sin indices");
    t.Post();
    plainAppends.push_back(Ms(Clock::now() - t0));
  }
  const double plain = Median(plainAppends);
  std::printf("%d discs, ten files attached, medians of 50\n", writeDiscs);
  Report("append", Median(appends), "no index", plain, 10);
  Report("edit title and album", Median(edits), "no index", plain, 10);
  Report("delete", Median(deletes), "no index", plain, 10);
  t.Close();
  fs::remove_all(root);
  return 0;
}
