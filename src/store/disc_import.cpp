#include "store/disc_import.h"

#include <cerrno>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/catalogue_files.h"
#include "store/covers.h"
#include "store/search_index.h"
#include "store/tablas.h"
#include "util/failure.h"
#include "util/file_writer.h"
#include "util/files.h"
#include "util/folder_lock.h"
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

// A disc's two files under its new number, before its record exists: a
// copy of each, or (when the source lacks one) an empty file list and a tree
// of the bare drive root, so every disc in the table has both files. Throws
// when they cannot be written, after taking back what was written.
bool CopyCatalogueFiles(const fs::path& from, const fs::path& to, const std::string& old,
                        const std::string& number, const std::string& drive) {
  const fs::path sourceTree = TreeFilePath(from, old), sourceList = ListFilePath(from, old);
  const bool whole = IsRegularFile(sourceTree) && IsRegularFile(sourceList);
  LineList root;
  root.push_back((drive.empty() ? std::string("D") : drive.substr(0, 1)) + ":\\");
  const bool written = whole ? CopyFileAtomically(sourceTree, TreeFilePath(to, number)) &&
                                   CopyFileAtomically(sourceList, ListFilePath(to, number))
                             : WriteCatalogueFile(TreeFilePath(to, number), root) &&
                                   WriteCatalogueFile(ListFilePath(to, number), LineList());
  if (!written) {
    const int cause = errno;
    (void)DeleteCatalogueFiles(to, number);
    throw Failure("ErrorEscribirCatalogo", "No se pueden escribir los archivos del cat\xE1logo", {},
                  cause, number);
  }
  // The search index follows the new list; without it the disc is only read whole.
  (void)UpdateDiscIndex(to, number);
  return whole;
}

}  // namespace

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

ImportReport ImportDiscs(TTablas& target, const fs::path& targetCatalogues,
                         const fs::path& sourceFolder,
                         const std::function<bool(int done, int total)>& progress) {
  TTablas source;
  source.SetFolder(sourceFolder);
  std::vector<Record> discs;
  source.TablaCDRom.Open();
  discs = ReadAll(source.TablaCDRom);
  source.TablaCDRom.Close();
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
    // Each disc is added whole under the folder's lock: its files first,
    // then its record, so an interruption never leaves a record without files.
    FolderLock lock(target.Folder());
    if (discsHere.Locate("NSERIECD", serial)) {
      ++report.skipped;
    } else {
      const std::string number = std::to_string(target.IncrementaNHistoria());
      const std::string old = disc.count("AUTO") ? disc.at("AUTO") : std::string();
      const std::string drive = disc.count("UNIDAD") ? disc.at("UNIDAD") : std::string();
      if (!CopyCatalogueFiles(sourceCatalogues, targetCatalogues, old, number, drive))
        ++report.withoutFiles;
      try {
        discsHere.Append();
        for (const dbf::FieldDef& field : discsHere.Fields()) {
          const auto value = disc.find(field.name);
          if (field.name != "AUTO" && value != disc.end())
            discsHere.SetString(field.name, value->second);
        }
        discsHere.SetString("AUTO", number);
        discsHere.Post();
      } catch (const std::exception&) {
        discsHere.Cancel();
        (void)DeleteCatalogueFiles(targetCatalogues, number);
        throw;
      }
      ++report.imported;
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
    if (progress && !progress(++done, static_cast<int>(discs.size()))) {
      report.stopped = true;
      break;
    }
  }
  if (!coversWereOpen) coversHere.Close();
  return report;
}

}  // namespace zafirel
