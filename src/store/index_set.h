// The index files attached to one cursor of the disc table: every record the
// cursor writes updates all of them, and one of them (or none: record order)
// gives the cursor its order.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/attached_index.h"
#include "store/dbf/table.h"

namespace zafirel {

class Dialogs;
class Progress;

// The file of an index in the data folder, found without regard to case.
std::filesystem::path IndexFilePath(const std::filesystem::path& folder, std::string_view file);

// Told when a change found that another program had changed the table and
// had the index files rebuilt before it went on (the window says so once
// the change is over).
std::function<void()>& RebuiltForAChange();

class IndexSet {
 public:
  // Attaches the ten files to the open cursor, in their fixed order, when
  // they are proven to follow its table (see index_stamp.h); else they are
  // rebuilt first, or, where that cannot be done now (another program holds
  // the folder's lock, a read-only folder), built in memory for as long as
  // the cursor stays open. Record order is current afterwards.
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
  static std::vector<std::shared_ptr<dbf::AttachedIndex>> OpenFiles(
      dbf::Table& cursor, const std::filesystem::path& folder);
  void AttachInMemory(dbf::Table& cursor);
  // The table's digest when its mark is clear and the stamp proves it.
  static std::optional<std::uint64_t> Proven(dbf::Table& cursor,
                                             const std::filesystem::path& folder);
  // Every file written anew under the folder's lock (waiting at most wait)
  // and stamped; the table's digest, or nothing when that could not be done.
  static std::optional<std::uint64_t> RebuildAll(dbf::Table& cursor,
                                                 const std::filesystem::path& folder,
                                                 std::chrono::milliseconds wait,
                                                 Progress* progress);

  std::vector<std::shared_ptr<dbf::AttachedIndex>> indexes_;
  std::string current_;
};

// Builds every index file that is missing or damaged, or all of them when
// the table's mark or stamp says they may not follow it, with the progress
// window counting only those (a step a file, and how far the file under way
// has got); the cursor is opened for each build and closed again. Returns
// how many were built; tableChanged, when given, tells whether another
// program changed the table since the indexes were made. A build the
// progress window stops leaves the files unproven, so the next opening
// builds them again.
int RegeneraIndices(dbf::Table& cursor, const std::filesystem::path& folder, Dialogs& dialogs,
                    const std::string& progressText, bool* tableChanged = nullptr);

}  // namespace zafirel
