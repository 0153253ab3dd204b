#include "store/dbf/table_header.h"

#include <ctime>

#include "store/dbf/dbf_error.h"
#include "util/bytes.h"

namespace zafirel::dbf {

namespace {

const char kNotATable[] =
    "El archivo no es una tabla dBase o est\xE1 da\xF1"
    "ado";

std::size_t RecordLengthOf(const std::vector<FieldDef>& fields) {
  std::size_t length = 1;
  for (const FieldDef& field : fields) length += static_cast<std::size_t>(field.width);
  return length;
}

std::string EncodeDescriptor(const FieldDef& field) {
  std::string bytes(kDescriptorSize, '\0');
  bytes.replace(0, field.name.size(), field.name);
  bytes[11] = field.type;
  bytes[16] = static_cast<char>(field.width);
  bytes[17] = static_cast<char>(field.decimals);
  return bytes;
}

bool IsKnownType(char type) {
  return type == 'C' || type == 'N' || type == 'F' || type == 'M' || type == 'D' || type == 'L';
}

FieldDef DecodeDescriptor(const char* bytes, const std::filesystem::path& file) {
  FieldDef field;
  std::size_t nameLength = 0;
  while (nameLength < 11 && bytes[nameLength] != '\0') ++nameLength;
  field.name.assign(bytes, nameLength);
  field.type = bytes[11];
  field.width = static_cast<unsigned char>(bytes[16]);
  field.decimals = static_cast<unsigned char>(bytes[17]);
  if (field.name.empty() || !IsKnownType(field.type) || field.width == 0)
    throw DbfError(kNotATable, file);
  return field;
}

}  // namespace

bool TableLayout::HasMemo() const {
  for (const FieldDef& field : fields)
    if (field.type == 'M') return true;
  return false;
}

std::string EncodeDateAndCount(std::uint32_t recordCount) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string bytes(kDateAndCountSize, '\0');
  bytes[0] = static_cast<char>(local.tm_year % 100);
  bytes[1] = static_cast<char>(local.tm_mon + 1);
  bytes[2] = static_cast<char>(local.tm_mday);
  bytes::PutU32(bytes.data() + 3, recordCount);
  return bytes;
}

std::string EncodeNewTable(const std::vector<FieldDef>& fields) {
  bool memo = false;
  for (const FieldDef& field : fields) memo = memo || field.type == 'M';
  std::string bytes(kHeaderPrefix, '\0');
  // 0x8B: dBase IV with a memo file; 0x03: a plain table.
  bytes[0] = static_cast<char>(memo ? 0x8B : 0x03);
  bytes.replace(kDateOffset, kDateAndCountSize, EncodeDateAndCount(0));
  bytes::PutU16(bytes.data() + 8,
                static_cast<std::uint16_t>(kHeaderPrefix + kDescriptorSize * fields.size() + 1));
  bytes::PutU16(bytes.data() + 10, static_cast<std::uint16_t>(RecordLengthOf(fields)));
  for (const FieldDef& field : fields) bytes += EncodeDescriptor(field);
  bytes += '\x0D';
  bytes += kEndOfFile;
  return bytes;
}

std::uint32_t RecordCountOf(const std::string& prefix) { return bytes::GetU32(prefix.data() + 4); }

TableLayout DecodeHeader(const std::string& header, const std::filesystem::path& file) {
  if (header.size() < kHeaderPrefix) throw DbfError(kNotATable, file);
  TableLayout layout;
  layout.version = static_cast<std::uint8_t>(header[0]);
  layout.recordCount = RecordCountOf(header);
  layout.headerLength = bytes::GetU16(header.data() + 8);
  layout.recordLength = bytes::GetU16(header.data() + 10);
  // Bits 0-2 hold the level: 3 (dBase III/IV) or 4 (dBase 7, same layout here).
  int level = layout.version & 0x07;
  if ((level != 3 && level != 4) || layout.headerLength > header.size() ||
      layout.headerLength < kHeaderPrefix + kDescriptorSize + 1)
    throw DbfError(kNotATable, file);

  std::size_t at = kHeaderPrefix;
  std::size_t offset = 1;
  while (at < layout.headerLength && header[at] != '\x0D') {
    if (at + kDescriptorSize >= layout.headerLength || layout.fields.size() == kMaxFields)
      throw DbfError(kNotATable, file);
    layout.fields.push_back(DecodeDescriptor(header.data() + at, file));
    layout.offsets.push_back(offset);
    offset += static_cast<std::size_t>(layout.fields.back().width);
    at += kDescriptorSize;
  }
  if (at >= layout.headerLength || layout.fields.empty() || offset != layout.recordLength)
    throw DbfError(kNotATable, file);
  return layout;
}

}  // namespace zafirel::dbf
