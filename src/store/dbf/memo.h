// The dBase IV memo file (.DBT) beside a table: block 0 is the header, and a
// memo fills whole blocks from the one its record names, starting with the
// mark FF FF 08 00 and a length that counts those 8 bytes.
//
// Text goes in and out unchanged (the table translates code pages); memos may
// hold binary data such as pictures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "store/dbf/raw_file.h"

namespace zafirel::dbf {

inline constexpr std::uint32_t kMemoBlockSize = 512;

class MemoFile {
 public:
  // Writes a new, empty memo file (24 bytes) for the table named tableStem
  // (the table's file name without extension). Throws DbfError on failure.
  static void Create(const std::filesystem::path& path, std::string_view tableStem);

  // Throws DbfError when the file is missing or its header is not a memo
  // header. A dBase III memo file (beside a table a spreadsheet saved, say:
  // no block header, text ended by 0x1A) is opened for reading only.
  void Open(const std::filesystem::path& path, bool dBase3Table = false);
  // Takes an open file (one held in memory, say) as the memo file.
  void Open(RawFile file, bool dBase3Table = false);
  bool IsDBase3() const { return dBase3_; }
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  const std::filesystem::path& Path() const { return file_.Path(); }

  // The memo starting at block; throws DbfError when the block lies past the
  // end of the file, lacks the memo mark or its length runs past the file.
  std::string Read(std::uint32_t block) const;

  // Stores data and returns its first block. It overwrites the memo at
  // oldBlock (0 for none) when data fits the blocks that memo took, else it
  // goes to the end of the file.
  std::uint32_t Write(std::string_view data, std::uint32_t oldBlock);

 private:
  std::uint32_t BlocksFor(std::uint64_t lengthWithMark) const;
  std::uint32_t BlocksOfExisting(std::uint32_t block) const;
  std::uint32_t EndBlock() const;
  std::string ReadDBase3(std::uint32_t block) const;

  RawFile file_;
  std::uint32_t blockSize_ = kMemoBlockSize;
  bool dBase3_ = false;
};

}  // namespace zafirel::dbf
