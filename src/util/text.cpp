#include "util/text.h"

#include <algorithm>

namespace zafirel {
namespace {

void ApplyTable(std::string& text, const std::array<unsigned char, 256>& table) {
  for (char& c : text) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string UpperAZ(std::string_view text) {
  std::string out(text);
  UpperAZInPlace(out);
  return out;
}

std::string UpperAnsi(std::string_view text) {
  std::string out(text);
  UpperAnsiInPlace(out);
  return out;
}

int CompareNamesNoCase(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const auto x = static_cast<unsigned char>(UpperAnsiChar(a[i]));
    const auto y = static_cast<unsigned char>(UpperAnsiChar(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

void UpperAZInPlace(std::string& text) { ApplyTable(text, text_tables::kUpperAZ); }

void UpperAnsiInPlace(std::string& text) { ApplyTable(text, text_tables::kUpperAnsi); }

bool EqualsNoCaseAZ(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAZChar(a[i]) != UpperAZChar(b[i])) return false;
  return true;
}

int CuentaTrozos(std::string_view text, char separator) {
  if (text.empty()) return 0;
  // Each separator closes one piece; text after the last one is one more.
  const auto closed = std::count(text.begin(), text.end(), separator);
  return static_cast<int>(closed) + (text.back() == separator ? 0 : 1);
}

std::string_view Trozo(std::string_view text, char separator, int n) {
  if (n < 0) return {};
  std::size_t start = 0;
  for (int i = 0; i < n; ++i) {
    const std::size_t cut = text.find(separator, start);
    if (cut == std::string_view::npos) return {};
    start = cut + 1;
  }
  if (start >= text.size()) return {};
  const std::size_t end = text.find(separator, start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string Capitaliza(std::string_view text) {
  std::string out(text);
  bool wordStart = true;
  for (char& c : out) {
    if (wordStart) c = UpperAnsiChar(c);
    wordStart = c == ' ' || c == '-' || c == '.';
  }
  return out;
}

std::string_view TrimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

std::string_view TrimLeft(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  return text.substr(start);
}

std::string_view TrimBlanks(std::string_view text) { return TrimLeft(TrimRight(text)); }

std::uint64_t DigitsOf(std::string_view text) {
  std::uint64_t value = 0;
  for (char c : text)
    if (c >= '0' && c <= '9') value = value * 10 + static_cast<std::uint64_t>(c - '0');
  return value;
}

}  // namespace zafirel
