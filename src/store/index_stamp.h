// The index files of the disc table are derived from it, and other programs
// (a spreadsheet saving the table, a dBase tool editing a title in place)
// rewrite the table without them. So the indexes are used only while the
// stamp "Zafirel.stamp" beside the table proves that the table file is still
// the one this program last made them follow:
//
// - quickly, when the file system says the file is untouched since the stamp
//   was written (same file, size, modification and change times) and its
//   header reads as stamped. A write in the same tick of the file system's
//   clock as the stamp would not show in the times, so a stamp written less
//   than kRacyWindow after the table's change time does not prove this way,
//   unless the file system gives finer times to files whose times were
//   looked at (Linux 6.13 and later on ext4, XFS, Btrfs and tmpfs);
// - else by content: the header and a digest of every record the header
//   counts are as stamped. The digest is a sum of one digest per record, so
//   a change of one record moves it by that record alone and the stamp
//   follows each change of this program without reading the table again.
//
// Whatever does not prove (no stamp, another program's change, a damaged
// stamp) has the indexes rebuilt, or built in memory where the folder cannot
// be written.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "store/dbf/record_observer.h"

namespace zafirel {

inline constexpr const char* kIndexStampName = "Zafirel.stamp";
inline constexpr std::chrono::seconds kRacyWindow{3};

// A table file as it stands.
struct TableImage {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modifiedNs = 0, changedNs = 0;
  std::string header;        // the whole header, the in-doubt mark cleared
  std::uint64_t digest = 0;  // of the records the header counts
  bool SameFile(const TableImage& other) const;
};

// One record's share of a table's digest.
std::uint64_t RecordDigest(std::uint32_t recNo, std::string_view record);

enum class StampProof { kNone, kQuick, kByContent };

// Whether the stamp in folder proves the table file unchanged since it was
// written; digest receives the table's digest when it does. A caller that
// holds the folder's lock may have a stamp proven by content written anew
// once the table is old enough, so the next check is quick.
StampProof CheckIndexStamp(const std::filesystem::path& folder,
                           const std::filesystem::path& tableFile, std::uint64_t* digest = nullptr,
                           bool restampWhenOld = false);

// Reads the whole table file and stamps it as it is now; false when the
// stamp could not be written. The digest goes to digest.
[[nodiscard]] bool StampTable(const std::filesystem::path& folder,
                              const std::filesystem::path& tableFile,
                              std::uint64_t* digest = nullptr);

// Removes the stamp, so nothing proves the indexes until they are rebuilt.
void DropIndexStamp(const std::filesystem::path& folder);

// Keeps the stamp in step with every change a cursor makes to its table,
// and before each change (under the folder's lock) checks that nobody else
// changed the table unseen: when the stamp no longer proves, rebuild is
// called to make the index files follow the table again (it returns the new
// digest, or nullopt when it could not, and the indexes then stay in doubt).
// Must come first among the cursor's observers, so the indexes reopen their
// rebuilt files after it.
class StampKeeper final : public dbf::RecordObserver {
 public:
  using Rebuild = std::function<std::optional<std::uint64_t>()>;
  StampKeeper(std::filesystem::path folder, std::filesystem::path tableFile, std::uint64_t digest,
              Rebuild rebuild);

  void BeforeChange() override;
  void RecordWritten(std::uint32_t recNo, std::string_view before, std::string_view after,
                     const dbf::TableLayout& layout) override;
  void AfterChange(bool indexesFollow) override;

 private:
  std::filesystem::path folder_;
  std::filesystem::path tableFile_;
  std::optional<std::uint64_t> digest_;  // none: the indexes are in doubt
  Rebuild rebuild_;
};

}  // namespace zafirel
