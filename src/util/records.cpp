#include "util/records.h"

#include <cstdio>

namespace zafirel {

RecordWriter::RecordWriter(RecordFormat format, std::vector<std::string> names)
    : format_(format), names_(std::move(names)) {}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string RecordWriter::Header() const {
  if (format_ != RecordFormat::kCsv) return {};
  std::string line;
  for (std::size_t i = 0; i < names_.size(); ++i) line += (i ? "," : "") + CsvField(names_[i]);
  return line + "\r\n";
}

std::string RecordWriter::Record(const std::vector<FieldValue>& values) const {
  std::string line = format_ == RecordFormat::kJson ? "{" : "";
  for (std::size_t i = 0; i < values.size() && i < names_.size(); ++i) {
    if (i > 0) line += ',';
    if (format_ == RecordFormat::kJson) line += JsonString(names_[i]) + ':';
    if (const std::uint64_t* number = std::get_if<std::uint64_t>(&values[i]))
      line += std::to_string(*number);
    else if (format_ == RecordFormat::kJson)
      line += JsonString(std::get<std::string>(values[i]));
    else
      line += CsvField(std::get<std::string>(values[i]));
  }
  return line + (format_ == RecordFormat::kJson ? "}\n" : "\r\n");
}

}  // namespace zafirel
