// Index files on large disc tables: building all ten (held to half a
// second for 100,000 discs), walking the title order (held to twice the
// walk in record order), and single writes with all ten attached. Each
// figure is printed with a reference measured in the same run (sorting the
// same keys in memory, walking record order, writing without indexes).
//
//   build/index_bench [discs-for-build=100000] [discs-for-writes=10000]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "store/dbf/attached_index.h"
#include "store/dbf/key_expression.h"
#include "store/index_files.h"

namespace {
namespace fs = std::filesystem;
using bench::Clock;
using bench::MsSince;
using bench::Report;
using zafirel::TTablas;

const char* const kAlbums[] = {"Rock", "Jazz", "Juegos", "JUEGOS", "Clasica", "", "Mapas"};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int buildDiscs = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int writeDiscs = argc > 2 ? std::atoi(argv[2]) : 10000;
  const fs::path root = fs::temp_directory_path() / "zafirel-index-bench";
  zafirel::SilentDialogs dialogs;

  // Building all ten files.
  bench::SeedDataFolder(root / "big", buildDiscs);
  TTablas big;
  big.SetFolder(root / "big");
  auto t0 = Clock::now();
  const int built = zafirel::RegeneraIndices(big.TablaCDRom, root / "big", dialogs, "");
  const double buildMs = MsSince(t0);
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
  const double sortMs = MsSince(t0);
  std::printf("%d discs, %d index files built\n", buildDiscs, built);
  Report("build all ten index files", buildMs, "read+sort", sortMs, "ms", bench::Below(500));

  // Walking the title order against walking record order.
  big.TablaCDRom.Close();
  big.OpenDiscTable();
  // The fastest of three walks each.
  auto walk = [&] {
    double fastest = 1e300;
    for (int round = 0; round < 3; ++round) {
      t0 = Clock::now();
      std::size_t seen = 0;
      for (big.TablaCDRom.First(); !big.TablaCDRom.Eof(); big.TablaCDRom.Next()) ++seen;
      fastest = std::min(fastest, MsSince(t0));
      if (seen != big.TablaCDRom.RecordCount()) std::fputs("the walk missed discs\n", stderr);
    }
    return fastest;
  };
  const double walkMs = walk();
  big.IndicesCDRom.Select(big.TablaCDRom, "");
  const double physicalMs = walk();
  Report("walk the Titulo order", walkMs, "record order", physicalMs, "ms", bench::RatioAtMost(2));
  big.TablaCDRom.Close();

  // Single writes on a smaller table with all ten files attached.
  bench::SeedDataFolder(root / "small", writeDiscs);
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
    appends.push_back(MsSince(t0));
    const std::uint32_t recNo = static_cast<std::uint32_t>(1 + (i * 197) % writeDiscs);
    t.GoTo(recNo);
    t0 = Clock::now();
    t.Edit();
    t.SetString("TITULOCD", "Cambiado " + std::to_string(i));
    t.SetString("ALBUM", kAlbums[(i + 3) % 7]);
    t.Post();
    edits.push_back(MsSince(t0));
    t.GoTo(static_cast<std::uint32_t>(1 + (i * 389 + 7) % writeDiscs));
    t0 = Clock::now();
    t.Delete();
    deletes.push_back(MsSince(t0));
  }
  small.IndicesCDRom.Detach(t);
  for (int i = 0; i < 50; ++i) {
    t0 = Clock::now();
    t.Append();
    t.SetString("TITULOCD", "Sin indices");
    t.Post();
    plainAppends.push_back(MsSince(t0));
  }
  const double plain = Median(plainAppends);
  std::printf("%d discs, ten files attached, medians of 50\n", writeDiscs);
  Report("append", Median(appends), "no index", plain, "ms", bench::Below(10));
  Report("edit title and album", Median(edits), "no index", plain, "ms", bench::Below(10));
  Report("delete", Median(deletes), "no index", plain, "ms", bench::Below(10));
  t.Close();
  fs::remove_all(root);
  return 0;
}
