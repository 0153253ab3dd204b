// The disc table and its memo file: the input is a table and a memo file
// (split at the first occurrence of "\x1A\x1A\x1A\x1A"), opened in memory and
// read record by record, every field as text, in record order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/dbf/dbf_error.h"
#include "store/dbf/table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zafirel;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find("\x1A\x1A\x1A\x1A");
  const std::string table(input.substr(0, cut));
  const std::string memo(cut == std::string_view::npos ? std::string_view()
                                                       : input.substr(cut + 4));
  dbf::Table cursor(true);
  cursor.SetFolder("/fuzz");
  cursor.SetTableName("CDROM.DBF");
  try {
    cursor.OpenInMemory(table, memo);
  } catch (const dbf::DbfError&) {
    return 0;  // refused whole: a clear message in the program
  }
  try {
    cursor.RecordCount();
    int visited = 0;
    for (cursor.First(); !cursor.Eof() && visited < 10000; cursor.Next(), ++visited) {
      for (const dbf::FieldDef& field : cursor.Fields()) {
        try {
          cursor.AsString(field.name);
        } catch (const dbf::DbfError&) {
          // A damaged memo is that field's problem only.
        }
      }
    }
    for (cursor.Last(); !cursor.Bof() && visited < 20000; cursor.Prior(), ++visited) {
    }
    cursor.Locate("NSERIECD", "0A1B2C3D");
  } catch (const dbf::DbfError&) {
  }
  return 0;
}
