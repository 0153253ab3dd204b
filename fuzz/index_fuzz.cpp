// Index files: any bytes opened as a one-tag .Mdx file in memory, checked,
// and walked in key order both ways and by seeking.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/dbf/dbf_error.h"
#include "store/dbf/mdx.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zafirel::dbf;
  std::optional<MdxTag> tag;
  try {
    tag.emplace(MdxTag::Open(
        RawFile::InMemory(std::string(reinterpret_cast<const char*>(data), size), "TITULO.MDX")));
  } catch (const DbfError&) {
    return 0;
  }
  try {
    const std::uint32_t records = 1u << 20;
    int steps = 0;
    for (std::uint32_t r = tag->First(records); r != 0 && steps < 100000; ++steps)
      r = tag->After(r, records);
    for (std::uint32_t r = tag->Last(records); r != 0 && steps < 200000; ++steps)
      r = tag->Before(r, records);
    tag->Entries();
    tag->Seek("M");
    tag->SetRange(std::string("A"));
    tag->First(records);
  } catch (const DbfError&) {
  }
  return 0;
}
