// The header of a dBase IV table file: the 32-byte prefix, the field
// descriptors and the 0x0D that ends them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "store/dbf/field.h"

namespace zafirel::dbf {

inline constexpr std::size_t kHeaderPrefix = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kMaxFields = 255;
inline constexpr char kLiveFlag = ' ';
inline constexpr char kDeletedFlag = '*';
inline constexpr char kEndOfFile = 0x1A;
// Version bytes of tables with a memo file.
inline constexpr std::uint8_t kDBase4WithMemo = 0x8B;
inline constexpr std::uint8_t kDBase3WithMemo = 0x83;

// Offsets 1-7: the update date and the record count, rewritten on each change.
inline constexpr std::size_t kDateOffset = 1;
// dBase IV's incomplete-transaction flag: set while a change is written and
// its index files may not have heard of it yet.
inline constexpr std::size_t kInDoubtOffset = 14;
// Bytes 16 to 19 (reserved for multi-user dBase, ignored by readers) count
// the changes made to the table, so a program can tell whether another one
// wrote since it last read, whatever the clock says.
inline constexpr std::size_t kChangeCountOffset = 16;
inline constexpr std::size_t kDateAndCountSize = 7;

struct TableLayout {
  std::uint8_t version = 0;
  std::uint32_t recordCount = 0;  // as the header says; may run past the file
  std::uint16_t headerLength = 0;
  std::uint16_t recordLength = 0;
  std::vector<FieldDef> fields;
  std::vector<std::size_t> offsets;  // of each field inside a record

  bool HasMemo() const;
};

// The whole of a new, empty table file: header, 0x0D and 0x1A. The fields
// must be valid; kMaxFields at most.
std::string EncodeNewTable(const std::vector<FieldDef>& fields);

// Bytes 1-7 for today's date and the given count.
std::string EncodeDateAndCount(std::uint32_t recordCount);

// Decodes a whole header (as many bytes as its length at offset 8 says).
// Throws DbfError naming file when it is not a dBase table's header or its
// descriptors do not add up to the record length.
TableLayout DecodeHeader(const std::string& header, const std::filesystem::path& file);

// The record count in a header's first 32 bytes.
std::uint32_t RecordCountOf(const std::string& prefix);

}  // namespace zafirel::dbf
