// An index file attached to one cursor: it keeps the file's keys in step
// with every record the cursor writes, and gives the cursor the file's order.
//
// Keys are computed from the record as stored, as dBase does. A unique tag
// holds one record per key; when that record is deleted or changes its key,
// the next live record with the same key takes its place, so the tag never
// loses a value that live records still have.
#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/key_expression.h"
#include "store/dbf/mdx.h"
#include "store/dbf/record_observer.h"

namespace zafirel::dbf {

class Table;

// The key of a stored record under an expression.
std::string StoredKey(const KeyExpression& expression, const TableLayout& layout,
                      std::string_view record);

// One index file to write anew.
struct IndexBuild {
  std::filesystem::path file;
  std::string_view tagName;
  std::string_view expression;
  bool unique = false;
  // When set, the file's bytes go here instead of to the file.
  std::string* inMemory = nullptr;
  // A file nothing relies on after the program ends: not flushed to the disc.
  bool transient = false;
};
// How far a build has gone: records read so far, of all it will read (the
// table once for each file). Returning false stops the build.
using BuildProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
// What a stopped build gives for each file it did not write.
class BuildStopped : public std::runtime_error {
 public:
  BuildStopped() : std::runtime_error("index build stopped") {}
};
// Writes the files anew from every live record of the open table, one file
// after the other, each from a reading of the table of its own, so memory
// holds one file's keys at a time, never a whole file; for each, what kept
// it from being written (null: written). fileDone hears of each file as it
// is finished. A stopped build leaves the files it had not finished as
// they were (a finished file is whole: each replaces its old one at once).
std::vector<std::exception_ptr> BuildIndexFiles(Table& table, const std::vector<IndexBuild>& builds,
                                                const std::function<void()>& fileDone = {},
                                                const BuildProgress& progress = {});
// Writes the file anew from every live record of the open table.
void BuildIndexFile(Table& table, const std::filesystem::path& file, std::string_view tagName,
                    std::string_view expression, bool unique);

class AttachedIndex final : public RecordObserver {
 public:
  // Opens and checks the file (DbfError when damaged or not of this table).
  AttachedIndex(Table& table, const std::filesystem::path& file);
  // The same for a file already open (one held in memory).
  AttachedIndex(Table& table, RawFile file);

  const std::string& TagName() const { return tag_->Info().tagName; }
  std::shared_ptr<MdxTag> Order() const { return tag_; }

  // Every record whose field holds the stored bytes (and maybe others), when
  // this index's key is that field alone and holds every record; nullopt
  // otherwise. record is a record holding those bytes in the field.
  std::optional<std::vector<std::uint32_t>> Candidates(std::string_view field,
                                                       std::string_view record) const;

  void BeforeChange() override { tag_->ReopenIfReplaced(); }
  void RecordWritten(std::uint32_t recNo, std::string_view before, std::string_view after,
                     const TableLayout& layout) override;

 private:
  AttachedIndex(Table& table, std::shared_ptr<MdxTag> tag);
  void FillVacancy(const std::string& key, std::uint32_t leaving);

  Table& table_;
  std::shared_ptr<MdxTag> tag_;
  KeyExpression expression_;
};

}  // namespace zafirel::dbf
