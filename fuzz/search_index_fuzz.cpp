// Search index segments: the input is a segment file, opened as the search
// opens one, planned for terms of every reach, and asked which bytes of its
// first disc to read; whatever the bytes, a plan stays within the disc's file
// list and in order.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "search/trigram_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zafirel;
  namespace fs = std::filesystem;
  static const fs::path folder = [] {
    const fs::path made = fs::temp_directory_path() / ("zafirel-fuzz-" + std::to_string(getpid()));
    fs::create_directories(made);
    return made;
  }();
  const std::string name = GroupSegmentName(1);
  std::ofstream(folder / name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  // Where a segment of disc "1" keeps its stamp, so that inputs near a real
  // segment reach the plans of a disc.
  ListStamp stamp;
  const auto u64 = [&](std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8 && at + i < size; ++i) v |= std::uint64_t{data[at + i]} << (8 * i);
    return v;
  };
  stamp.size = u64(90);
  stamp.modifiedNs = static_cast<std::int64_t>(u64(98));
  stamp.inode = u64(106);

  SearchIndex index(folder, {name});
  for (const char* text : {"ABCD", "AB+CDE+FGH", "TRI+GRA", "xyz+ab+c"}) {
    if (!index.Plan(PrepareTerms(text))) continue;
    const ReadPlan plan = index.PlanFor("1", stamp);
    std::uint64_t before = 0;
    for (const auto& [begin, end] : plan.ranges) {
      if (begin < before || end <= begin || end > stamp.size) __builtin_trap();
      before = end;
    }
  }
  return 0;
}
