// The index files attached to one cursor of the disc table: every record the
// cursor writes updates all of them, and one of them (or none: record order)
// gives the cursor its order.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/attached_index.h"
#include "store/dbf/table.h"

namespace zafirel {

class Dialogs;

// The file of an index in the data folder, found without regard to case.
std::filesystem::path IndexFilePath(const std::filesystem::path& folder, std::string_view file);

class IndexSet {
 public:
  // Attaches the ten files to the open cursor, in their fixed order. A file
  // that is missing or does not open is left out (it is rebuilt at the next
  // start); record order is current afterwards.
  void Attach(dbf::Table& cursor, const std::filesystem::path& folder);
  void Detach(dbf::Table& cursor);

  // Makes a tag current; the empty name gives record order. A tag that no
  // attached file holds is refused: "No se puede encontrar el índice <tag>".
  void Select(dbf::Table& cursor, std::string_view tag);
  const std::string& Current() const { return current_; }

  // Builds the file "<tag>.Mdx" anew from every live record of the open
  // cursor's table, attaches it alone and makes its tag current. Only
  // ascending tags without a filter condition exist; a failure leaves the
  // cursor in record order with nothing attached.
  void Indexa2(dbf::Table& cursor, const std::filesystem::path& folder, std::string_view tag,
               std::string_view expression, std::string_view filter, bool ascending, bool unique);
  // The current tag's order, to confine it to a key prefix; null in record order.
  std::shared_ptr<dbf::MdxTag> CurrentTag() const;

 private:
  void UseForFinding(dbf::Table& cursor);

  std::vector<std::shared_ptr<dbf::AttachedIndex>> indexes_;
  std::string current_;
};

// Builds every index file that is missing or damaged, with the progress
// window counting only those; the cursor is opened for each build and closed
// again. Returns how many were built.
int RegeneraIndices(dbf::Table& cursor, const std::filesystem::path& folder, Dialogs& dialogs,
                    const std::string& progressText);

}  // namespace zafirel
