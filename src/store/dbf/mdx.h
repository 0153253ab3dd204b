// One tag of a dBase IV multiple-index (.MDX) file holding just that tag,
// kept on disk as a B-tree of 1024-byte blocks. Every operation reads what it
// needs from the file and writes its changes at once, so two tags opened on
// the same file (one per cursor) see each other's updates.
//
// Entries are (key, record number) pairs in key order, equal keys in record
// order; a unique tag keeps only the first record inserted for a key value.
// Character keys are padded with blanks to the key length; numeric keys are
// the 12-byte form of mdx::EncodeNumericKey. Blocks freed by removals stay in
// the file unused: the files are derived data, rebuilt when deleted.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/mdx_format.h"
#include "store/dbf/raw_file.h"
#include "store/dbf/record_order.h"

namespace zafirel::dbf {

class MdxTag final : public RecordOrder {
 public:
  struct Entry {
    std::string key;
    std::uint32_t recNo = 0;
    bool operator==(const Entry&) const = default;
  };
  // The stored key of a record, or nullopt when it cannot be told.
  using KeySource = std::function<std::optional<std::string>(std::uint32_t recNo)>;

  // Keys for a new file with their records, each kept as short as it can
  // be: character keys without their trailing blanks (the tag pads them),
  // in pieces of memory that never move, so a list of a million keys costs
  // their text and a few words each.
  class KeyList {
   public:
    explicit KeyList(const mdx::TagInfo& tag);
    void Reserve(std::size_t count) { slots_.reserve(count); }
    void Add(std::string_view key, std::uint32_t recNo);
    std::size_t Size() const { return slots_.size(); }
    std::size_t KeyLength() const { return length_; }
    // A key as kept: a character key may be shorter than KeyLength(), its
    // missing bytes blanks.
    std::string_view Key(std::size_t i) const { return {slots_[i].key, slots_[i].length}; }
    std::uint32_t Record(std::size_t i) const { return slots_[i].recNo; }
    // Puts the keys in the tag's order: by key, then by record.
    void Sort();

   private:
    struct Slot {
      std::uint64_t word;  // scratch of the sort
      const char* key;
      std::uint32_t length;
      std::uint32_t recNo;
    };
    void SortText();
    char type_;
    std::size_t length_;
    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<char[]>> pieces_;
    std::size_t pieceUsed_ = 0;
  };

  // Writes a new file (replacing one that exists) holding the entries, in
  // any order; for a unique tag only the lowest record of each key is kept.
  // Throws DbfError for an invalid definition or a write failure.
  static void Build(const std::filesystem::path& file, const mdx::TagInfo& tag,
                    const std::vector<Entry>& entries);
  // The file's bytes built from the keys (which it sorts); touches no file,
  // errors name the file.
  static std::string Encode(const std::filesystem::path& file, const mdx::TagInfo& tag,
                            KeyList& keys);
  // The same written to the file as the blocks are laid out, through a
  // temporary file renamed over it, so memory holds the keys and not the
  // file; flushed to the disc unless transient.
  static void WriteBuilt(const std::filesystem::path& file, const mdx::TagInfo& tag, KeyList& keys,
                         bool transient = false);
  static void Write(const std::filesystem::path& file, std::string_view bytes);

  // Opens the file after checking its headers and the top of its tree (a few
  // blocks, whatever its size); DbfError when they are damaged. Damage deeper
  // down is a DbfError of the operation that meets it.
  static MdxTag Open(const std::filesystem::path& file);
  // The same for a file already open (one held in memory, say).
  static MdxTag Open(RawFile file);

  const mdx::TagInfo& Info() const { return tag_; }
  // Opens the file again when another program replaced it (a rebuild);
  // the new file must hold the same tag.
  void ReopenIfReplaced();

  // The stored form of a key: character keys padded or cut to the length.
  std::string StoredKey(std::string_view key) const;

  // Both ignore a change that would leave the tag as it is (an entry already
  // there, a second record of a unique key, an entry that is not there).
  // They return whether the file changed.
  bool Insert(std::string_view key, std::uint32_t recNo);
  bool Remove(std::string_view key, std::uint32_t recNo);

  // The first entry at or after (key, recNo); key may be a prefix.
  std::optional<Entry> Seek(std::string_view key, std::uint32_t recNo = 0) const;
  // Every entry, in order.
  std::vector<Entry> Entries() const;
  // The records of the entries whose key equals key, in order.
  std::vector<std::uint32_t> RecordsWithKey(std::string_view key) const;

  // Lets After and Before find a record's place without scanning the tag.
  void SetKeySource(KeySource source) { keySource_ = std::move(source); }
  // Confines the order to keys starting with prefix; nullopt lifts it.
  void SetRange(std::optional<std::string> prefix) {
    range_ = std::move(prefix);
    last_.reset();
  }

  std::uint32_t First(std::uint32_t recordCount) override;
  std::uint32_t Last(std::uint32_t recordCount) override;
  std::uint32_t After(std::uint32_t recNo, std::uint32_t recordCount) override;
  std::uint32_t Before(std::uint32_t recNo, std::uint32_t recordCount) override;
  // Told from the record's key (SetKeySource), within the range.
  bool Holds(std::uint32_t recNo) override;
  // The entries after the last step's, leaf by leaf, within the range;
  // nothing once the file changed.
  void TakeRun(std::uint32_t recordCount, std::size_t wanted,
               std::vector<std::uint32_t>& out) override;

 private:
  struct Level {
    std::uint32_t page = 0;
    mdx::Node node;
    std::size_t index = 0;  // child in an inner node, item in a leaf
  };
  using Path = std::vector<Level>;

  MdxTag(RawFile file, mdx::TagInfo tag) : file_(std::move(file)), tag_(std::move(tag)) {}

  [[noreturn]] void Damaged() const;
  void FollowReplacement();
  mdx::TreeState ReadState() const;
  void WriteState(const mdx::TreeState& state);
  mdx::Node ReadNode(std::uint32_t page, std::uint32_t pages) const;
  void ReadNodeInto(std::uint32_t page, std::uint32_t pages, mdx::Node& node) const;
  void WriteNode(std::uint32_t page, const mdx::Node& node);
  std::uint32_t NewPage(mdx::TreeState& state);
  void CheckTop(const mdx::TreeState& state) const;

  int Compare(std::string_view keyA, std::uint32_t recA, std::string_view keyB,
              std::uint32_t recB) const;
  std::uint32_t MaxRecord(std::uint32_t page, std::uint32_t pages) const;
  Path Descend(std::string_view key, std::uint32_t recNo, const mdx::TreeState& state) const;
  Path DescendEnd(const mdx::TreeState& state) const;
  // Descends along the first (or last) children; spare, when given, lends
  // its storage to the first node read.
  void DescendEdge(Path& path, std::uint32_t page, bool last, std::uint32_t pages,
                   mdx::Node* spare = nullptr) const;
  bool Advance(Path& path, std::uint32_t pages) const;
  bool Retreat(Path& path, std::uint32_t pages) const;
  static const mdx::Item* At(const Path& path);
  static std::optional<mdx::Item> LastOfLeaf(const Path& path);
  static std::optional<mdx::Item> FirstOfLeaf(const Path& path);

  void SplitUpward(Path& path, mdx::TreeState& state);
  void RebalanceUpward(Path& path, mdx::TreeState& state);
  void FixRightEdge(mdx::TreeState& state) const;

  std::uint32_t Walk(Path path, bool forward, std::uint32_t recordCount,
                     const mdx::TreeState& state) const;
  bool InRange(std::string_view key) const;
  Path Locate(std::uint32_t recNo, const mdx::TreeState& state) const;

  // Where the last walk step stopped, good while the file does not change:
  // walking an order then moves on from there instead of descending anew.
  struct Position {
    Path path;
    std::uint32_t recNo = 0;
    mdx::TreeState state;
    RawFile::Version version;
  };
  bool StepOn(std::uint32_t recNo, bool forward, std::uint32_t recordCount,
              std::uint32_t& found) const;

  RawFile file_;
  mdx::TagInfo tag_;
  KeySource keySource_;
  std::optional<std::string> range_;
  mutable std::optional<Position> last_;
  mutable RawFile::Version callVersion_;
  mutable std::string block_;  // the block being read
};

}  // namespace zafirel::dbf
