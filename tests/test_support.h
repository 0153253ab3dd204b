// Helpers shared by the core tests: a temporary folder per test, whole-file
// reads, writes and patches, and running an independent reader.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/time.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record_support.h"
#include "store/line_list.h"
#include "util/bytes.h"
#include "util/dialogs.h"

namespace zafirel::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zafirel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Sets a file's modification time to noon (local time) of a day.
inline void SetModifiedDay(const std::filesystem::path& path, int year, int month, int day) {
  std::tm when{};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = 12;
  when.tm_isdst = -1;
  const timeval times[2] = {{std::mktime(&when), 0}, {std::mktime(&when), 0}};
  utimes(path.c_str(), times);
}

inline void PatchBytes(const std::filesystem::path& path, std::size_t offset,
                       const std::string& bytes) {
  std::string all = ReadBytes(path);
  all.replace(offset, bytes.size(), bytes);
  WriteBytes(path, all);
}

// Runs a shell command and gives what it printed on standard output.
inline std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  pclose(pipe);
  return output;
}

// A line list made of the given lines.
inline LineList Lines(std::initializer_list<std::string_view> lines) {
  LineList list;
  for (std::string_view line : lines) list.push_back(line);
  return list;
}

// The table file cut into header and records, as an independent writer
// sees it, and put back together with a count of its choosing.
struct RawTable {
  std::string header;
  std::vector<std::string> records;

  static RawTable Read(const std::filesystem::path& file) {
    const std::string bytes = ReadBytes(file);
    RawTable table;
    const std::size_t headerLength = bytes::GetU16(bytes.data() + 8);
    const std::size_t recordLength = bytes::GetU16(bytes.data() + 10);
    table.header = bytes.substr(0, headerLength);
    const std::uint32_t count = bytes::GetU32(bytes.data() + 4);
    for (std::uint32_t i = 0; i < count; ++i)
      table.records.push_back(bytes.substr(headerLength + i * recordLength, recordLength));
    return table;
  }
  // count: the header's record count (the records' own by default).
  void Write(const std::filesystem::path& file,
             std::optional<std::uint32_t> count = std::nullopt) const {
    std::string bytes = header;
    bytes::PutU32(bytes.data() + 4, count.value_or(static_cast<std::uint32_t>(records.size())));
    bytes[14] = 0;  // no in-doubt mark
    bytes[16] = 0;  // writers of other programs know no change count
    for (const std::string& record : records) bytes += record;
    WriteBytes(file, bytes + '\x1A');
  }
};

// Dialogs that show nothing and answer OK.
using NoDialogs = SilentDialogs;

}  // namespace zafirel::testing
