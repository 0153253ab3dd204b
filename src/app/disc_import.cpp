#include "app/disc_import.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/startup.h"
#include "browse/covers.h"
#include "store/catalogue_files.h"
#include "store/tablas.h"
#include "util/files.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

using Record = std::map<std::string, std::string>;

// Every live record of the source, field by field.
std::vector<Record> ReadAll(dbf::Table& table) {
  std::vector<Record> records;
  for (table.First(); !table.Eof(); table.Next()) {
    Record record;
    for (const dbf::FieldDef& field : table.Fields())
      record[field.name] = table.AsString(field.name);
    records.push_back(std::move(record));
  }
  return records;
}

bool CopyIfThere(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  return fs::exists(from, ec) && CopiaArchivo(from, to);
}

}  // namespace

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

ImportReport ImportDiscs(TTablas& target, const fs::path& targetCatalogues,
                         const fs::path& sourceFolder,
                         const std::function<void(int done, int total)>& progress) {
  TTablas source;
  source.SetFolder(sourceFolder);
  std::vector<Record> discs;
  try {
    source.TablaCDRom.Open();
    discs = ReadAll(source.TablaCDRom);
    source.TablaCDRom.Close();
  } catch (const std::exception& error) {
    throw std::runtime_error(error.what());
  }
  const bool sourceCovers = !ListFiles(sourceFolder, TTablas::kCoverTableName).empty();
  if (sourceCovers) {
    try {
      source.TablaGraf.Open();
    } catch (const std::exception&) {
      // Pictures that cannot be read stay behind; the discs come all the same.
    }
  }
  const fs::path sourceCatalogues = FoldersBelow(sourceFolder).catalogos;
  dbf::Table& discsHere = target.TablaCDRom;
  dbf::Table& coversHere = target.TablaGraf;
  const bool coversWereOpen = coversHere.Active();

  ImportReport report;
  int done = 0;
  for (const Record& disc : discs) {
    const std::string serial = disc.count("NSERIECD") ? disc.at("NSERIECD") : std::string();
    if (discsHere.Locate("NSERIECD", serial)) {
      ++report.skipped;
    } else {
      const std::string number = std::to_string(target.IncrementaNHistoria());
      discsHere.Append();
      for (const dbf::FieldDef& field : discsHere.Fields()) {
        const auto value = disc.find(field.name);
        if (field.name != "AUTO" && value != disc.end())
          discsHere.SetString(field.name, value->second);
      }
      discsHere.SetString("AUTO", number);
      discsHere.Post();
      ++report.imported;
      const std::string old = disc.count("AUTO") ? disc.at("AUTO") : std::string();
      const bool tree =
          CopyIfThere(TreeFilePath(sourceCatalogues, old), TreeFilePath(targetCatalogues, number));
      const bool list =
          CopyIfThere(ListFilePath(sourceCatalogues, old), ListFilePath(targetCatalogues, number));
      if (!tree || !list) ++report.withoutFiles;
      try {
        if (source.TablaGraf.Active()) {
          if (const std::optional<std::string> cover = FindCover(source.TablaGraf, old)) {
            if (!coversHere.Active()) coversHere.Open();
            StoreCover(coversHere, number, *cover);
          }
        }
      } catch (const std::exception&) {
        // A picture that cannot be carried over leaves the disc without one.
      }
    }
    if (progress) progress(++done, static_cast<int>(discs.size()));
  }
  if (!coversWereOpen) coversHere.Close();
  return report;
}

}  // namespace zafirel
