// Records with named fields written for spreadsheets and scripts: CSV as RFC
// 4180 has it (a header line, CRLF line ends, fields quoted where they hold a
// comma, a quote or a line end), or JSON Lines (one object per line, the
// fields by name, numbers as numbers). Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zafirel {

enum class RecordFormat { kCsv, kJson };

using FieldValue = std::variant<std::string, std::uint64_t>;

class RecordWriter {
 public:
  RecordWriter(RecordFormat format, std::vector<std::string> names);
  // The header (CSV), before the first record.
  std::string Header() const;
  // One record, its values in the order of the names, line end included.
  std::string Record(const std::vector<FieldValue>& values) const;

 private:
  RecordFormat format_;
  std::vector<std::string> names_;
};

std::string CsvField(std::string_view text);
std::string JsonString(std::string_view utf8);

}  // namespace zafirel
