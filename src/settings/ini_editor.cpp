#include "settings/ini_editor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "settings/ini_text.h"
#include "util/codepage.h"
#include "util/file_writer.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxText = 255;
constexpr std::string_view kNewLine = "\r\n";

std::string& ApplicationFolder() {
  static std::string folder;
  return folder;
}

std::string WithTrailingSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// This host has no Windows folder; the per-user configuration folder is
// where a Linux program keeps what it would have kept there.
std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return WithTrailingSlash(xdg);
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return WithTrailingSlash(std::string(home) + "/.config");
  return {};
}

// ---- Text helpers ---------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view Cut(std::string_view s) { return s.substr(0, std::min(s.size(), kMaxText)); }

// What a caller passes becomes one line: a line break inside a value would
// otherwise end the entry and let the rest of the text open a section.
std::string OneLine(std::string_view s, bool cut = true) {
  std::string line(cut ? Cut(s) : s);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

// Names are compared as the file's reader sees them: trimmed, cut.
std::string CleanName(std::string_view s) { return std::string(Trim(OneLine(s))); }

bool NameMatches(std::string_view stored, std::string_view wanted) {
  return EqualsNoCase(Cut(stored), wanted);
}

// ---- Lines of a profile ---------------------------------------------------

enum class LineKind { Other, Section, Entry };

struct Line {
  std::size_t begin = 0;  // first byte
  std::size_t end = 0;    // one past the content, before the line end
  std::size_t next = 0;   // first byte of the following line
  LineKind kind = LineKind::Other;
  std::string_view name;   // section name or key
  std::string_view value;  // trimmed, without surrounding quotes
  bool blank = false;
};

void Classify(std::string_view content, Line& line) {
  const std::string_view text = Trim(content);
  line.blank = text.empty();
  if (text.empty() || text.front() == ';') return;
  if (text.front() == '[') {
    const std::size_t close = text.rfind(']');
    if (close != std::string_view::npos && close > 0) {
      line.kind = LineKind::Section;
      line.name = Trim(text.substr(1, close - 1));
    }
    return;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return;
  line.kind = LineKind::Entry;
  line.name = Trim(text.substr(0, equals));
  std::string_view value = Trim(text.substr(equals + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  line.value = value;
}

// CR LF, LF and a lone CR all end a line, as files from any editor may hold them.
std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.begin = pos;
    line.end = std::min(text.find_first_of("\r\n", pos), text.size());
    line.next = line.end;
    if (line.next < text.size() && text[line.next] == '\r') ++line.next;
    if (line.next < text.size() && text[line.next] == '\n') ++line.next;
    Classify(text.substr(line.begin, line.end - line.begin), line);
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

// The first section of that name: its header line and one past its last line.
struct SectionSpan {
  std::size_t header = std::string_view::npos;
  std::size_t end = 0;
  bool found() const { return header != std::string_view::npos; }
};

SectionSpan FindSection(const std::vector<Line>& lines, std::string_view name, std::size_t from) {
  SectionSpan span;
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].kind != LineKind::Section) continue;
    if (span.found()) {
      span.end = i;
      return span;
    }
    if (NameMatches(lines[i].name, name)) span.header = i;
  }
  span.end = lines.size();
  return span;
}

std::size_t FindEntry(const std::vector<Line>& lines, SectionSpan span, std::string_view key) {
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    if (lines[i].kind == LineKind::Entry && NameMatches(lines[i].name, key)) return i;
  }
  return std::string_view::npos;
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
  const std::vector<Line> lines = SplitLines(text);
  const SectionSpan span = FindSection(lines, section, 0);
  if (!span.found()) return std::nullopt;
  const std::size_t entry = FindEntry(lines, span, key);
  if (entry == std::string_view::npos) return std::nullopt;
  return lines[entry].value;
}

// ---- Edits: each returns the whole new text -------------------------------

std::string Replace(std::string_view text, std::size_t from, std::size_t to,
                    std::string_view with) {
  std::string out;
  out.reserve(text.size() - (to - from) + with.size());
  out.append(text.substr(0, from)).append(with).append(text.substr(to));
  return out;
}

std::string AppendSection(std::string_view text, const std::vector<Line>& lines,
                          std::string_view section, std::string_view entry) {
  std::string out(text);
  if (!lines.empty() && lines.back().next == lines.back().end) out += kNewLine;
  if (!lines.empty() && !lines.back().blank) out += kNewLine;
  out.append("[").append(section).append("]").append(kNewLine);
  out.append(entry).append(kNewLine);
  return out;
}

std::string SetEntry(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  const SectionSpan span = FindSection(lines, section, 0);
  if (!span.found())
    return AppendSection(text, lines, section, std::string(key) + "=" + std::string(value));
  const std::size_t entry = FindEntry(lines, span, key);
  if (entry != std::string_view::npos) {
    const Line& line = lines[entry];
    std::string replacement(line.name);
    replacement.append("=").append(value).append(text.substr(line.end, line.next - line.end));
    return Replace(text, line.begin, line.next, replacement);
  }
  // A new entry goes after the section's last non-blank line, so the blank
  // lines that separate it from the next section stay where they are.
  std::size_t last = span.header;
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    if (!lines[i].blank) last = i;
  }
  const Line& after = lines[last];
  std::string insertion(after.next == after.end ? kNewLine : std::string_view{});
  insertion.append(key).append("=").append(value).append(kNewLine);
  return Replace(text, after.next, after.next, insertion);
}

std::string RemoveLines(std::string_view text, const std::vector<Line>& lines,
                        const std::vector<bool>& remove) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!remove[i]) out.append(text.substr(lines[i].begin, lines[i].next - lines[i].begin));
  }
  return out;
}

// Every copy of the key in the section goes: a later duplicate left behind
// would otherwise reappear on the next read.
std::string DeleteEntry(std::string_view text, std::string_view section, std::string_view key) {
  const std::vector<Line> lines = SplitLines(text);
  const SectionSpan span = FindSection(lines, section, 0);
  if (!span.found()) return std::string(text);
  std::vector<bool> remove(lines.size(), false);
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    remove[i] = lines[i].kind == LineKind::Entry && NameMatches(lines[i].name, key);
  }
  return RemoveLines(text, lines, remove);
}

// Every section of that name goes, with all its lines up to the next header.
std::string DeleteSection(std::string_view text, std::string_view section) {
  const std::vector<Line> lines = SplitLines(text);
  std::vector<bool> remove(lines.size(), false);
  for (SectionSpan span = FindSection(lines, section, 0); span.found();
       span = FindSection(lines, section, span.end)) {
    for (std::size_t i = span.header; i < span.end; ++i) remove[i] = true;
  }
  return RemoveLines(text, lines, remove);
}

// ---- Numbers --------------------------------------------------------------

struct NumberText {
  std::string normalized;  // for from_chars: no "+", "." as decimal point
  std::string integer;     // sign and integer digits only
  bool exponent = false;
};

std::size_t TakeDigits(std::string_view s, std::size_t i, std::string& out) {
  const std::size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') out += s[i++];
  return i - start;
}

std::optional<NumberText> ScanNumber(std::string_view s) {
  s = Trim(s);
  NumberText number;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i++] == '-') number.normalized += '-';
  }
  std::size_t digits = TakeDigits(s, i, number.normalized);
  number.integer = number.normalized;
  i += digits;
  if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
    number.normalized += '.';
    const std::size_t fraction = TakeDigits(s, ++i, number.normalized);
    digits += fraction;
    i += fraction;
  }
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    number.exponent = true;
    number.normalized += 'e';
    if (++i < s.size() && (s[i] == '+' || s[i] == '-')) number.normalized += s[i++];
    const std::size_t exponent = TakeDigits(s, i, number.normalized);
    if (exponent == 0) return std::nullopt;
    i += exponent;
  }
  if (i != s.size()) return std::nullopt;
  return number;
}

std::optional<double> ParseReal(std::string_view s) {
  const std::optional<NumberText> number = ScanNumber(s);
  if (!number) return std::nullopt;
  const std::string& text = number->normalized;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<long> ParseInt(std::string_view s) {
  const std::optional<NumberText> number = ScanNumber(s);
  if (!number) return std::nullopt;
  if (number->exponent) {
    const std::optional<double> real = ParseReal(s);
    if (!real) return std::nullopt;
    const double whole = std::trunc(*real);
    // 2^63 bounds a 64-bit long exactly; both limits are representable.
    if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0)) return std::nullopt;
    return static_cast<long>(whole);
  }
  // Without an exponent the integer digits are the truncated value, exactly.
  const std::string& digits = number->integer;
  if (digits.empty() || digits == "-") return 0L;
  long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// ---- Host files -----------------------------------------------------------

// The existing file whose name matches without regard to ASCII case, so a
// folder copied from a case-blind file system keeps working; the path itself
// when there is none (the spelling a new file gets).
fs::path HostFile(const std::string& resolved) {
  const fs::path path(resolved);
  std::error_code error;
  if (fs::exists(fs::symlink_status(path, error))) return path;
  const fs::path folder = path.parent_path();
  const std::string name = path.filename().string();
  fs::path match;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), stop;
       !error && it != stop; it.increment(error)) {
    const fs::path candidate = it->path().filename();
    if (EqualsNoCase(candidate.string(), name) && (match.empty() || candidate < match)) {
      match = candidate;
    }
  }
  return match.empty() ? path : folder / match;
}

// Empty text for a missing file; nothing when it exists but cannot be read,
// which a write must not mistake for "empty" and overwrite.
std::optional<std::string> ReadSettingsText(const fs::path& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text && (errno == ENOENT || errno == ENOTDIR)) return std::string();
  return text;
}

// Replacing by rename would bypass a read-only file's protection, so it is
// checked first; the mode bits count too, since the superuser passes access().
bool MayReplace(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  return ::access(path.c_str(), W_OK) == 0;
}

// The errno value of a write that was lost, 0 when it landed.
template <typename Edit>
int EditFile(const std::string& resolved, Edit edit) {
  fs::path path = HostFile(resolved);
  std::error_code error;
  if (fs::is_symlink(path, error)) {
    path = fs::canonical(path, error);  // write the link's target, keep the link
    if (error) return error.value();
  }
  const std::optional<std::string> text = ReadSettingsText(path);
  if (!text) return errno != 0 ? errno : EIO;
  errno = 0;
  if (!MayReplace(path)) return errno != 0 ? errno : EACCES;  // a file without write bits
  const std::string edited = edit(std::string_view(*text));
  if (edited != *text && !WriteFileAtomically(path, edited)) return errno;
  return 0;
}

}  // namespace

namespace ini_text {

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
  return zafirel::FindValue(text, section, key);
}
std::string SetEntry(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
  return zafirel::SetEntry(text, section, key, value);
}
std::string DeleteEntry(std::string_view text, std::string_view section, std::string_view key) {
  return zafirel::DeleteEntry(text, section, key);
}
std::string DeleteSection(std::string_view text, std::string_view section) {
  return zafirel::DeleteSection(text, section);
}
std::optional<double> ParseReal(std::string_view text) { return zafirel::ParseReal(text); }
std::optional<long> ParseInt(std::string_view text) { return zafirel::ParseInt(text); }

}  // namespace ini_text

// ---- TIniEditor -------------------------------------------------------------

TIniEditor::TIniEditor() { SetFileLocation(TFileLocation::ApplicationPath); }

void TIniEditor::SetApplicationFolder(std::string folder) {
  ApplicationFolder() = WithTrailingSlash(std::move(folder));
}

void TIniEditor::SetFileLocation(TFileLocation location) {
  location_ = location;
  switch (location) {
    case TFileLocation::ApplicationPath:
      base_folder_ = ApplicationFolder();
      break;
    case TFileLocation::WindowsPath:
      base_folder_ = ConfigFolder();
      break;
    case TFileLocation::PathInFileName:
      base_folder_.clear();
      break;
  }
}

std::string TIniEditor::ResolvedPath() const {
  if (file_name_.empty()) return {};
  const bool drive = file_name_.size() >= 2 && file_name_[1] == ':';
  std::string path;
  if (base_folder_.empty() || drive || file_name_.front() == '/') {
    path = file_name_;
  } else if (file_name_.front() == '\\') {
    path = base_folder_ + file_name_.substr(1);
  } else {
    path = base_folder_ + file_name_;
  }
  const std::size_t separator = path.find_last_of("/\\");
  const std::size_t name_start = separator == std::string::npos ? 0 : separator + 1;
  if (path.find('.', name_start) == std::string::npos) path += ".INI";
  return path;
}

std::optional<std::string> TIniEditor::ReadWholeValue(std::string_view section,
                                                      std::string_view key) const {
  const std::string wanted_section = CleanName(section);
  const std::string wanted_key = CleanName(key);
  if (wanted_section.empty() || wanted_key.empty() || file_name_.empty()) return std::nullopt;
  const std::optional<std::string> text = ReadSettingsText(HostFile(ResolvedPath()));
  if (!text) return std::nullopt;
  const std::optional<std::string_view> value = FindValue(*text, wanted_section, wanted_key);
  if (!value) return std::nullopt;
  return std::string(*value);
}

std::optional<std::string> TIniEditor::ReadValue(std::string_view section,
                                                 std::string_view key) const {
  std::optional<std::string> value = ReadWholeValue(section, key);
  if (value) value->resize(Cut(*value).size());
  return value;
}

std::string TIniEditor::ReadStr(std::string_view section, std::string_view key,
                                std::string_view def) const {
  return ReadValue(section, key).value_or(std::string(Cut(def)));
}

void TIniEditor::WriteStr(std::string_view section, std::string_view key, std::string_view value) {
  WriteValue(section, key, OneLine(value));
}

void TIniEditor::WriteValue(std::string_view section, std::string_view key,
                            const std::string& entry_value) {
  const std::string name = CleanName(section);
  if (name.empty() || file_name_.empty()) return;
  const std::string entry_key = CleanName(key);
  last_write_cause_ = EditFile(ResolvedPath(), [&](std::string_view text) {
    if (entry_key.empty()) return DeleteSection(text, name);
    if (entry_value.empty()) return DeleteEntry(text, name, entry_key);
    return SetEntry(text, name, entry_key, entry_value);
  });
}

std::optional<fs::path> TIniEditor::ReadPath(std::string_view section, std::string_view key) const {
  const std::optional<std::string> text = ReadWholeValue(section, key);
  if (!text) return std::nullopt;
  return fs::path(HostPathFromSetting(*text));
}

void TIniEditor::WritePath(std::string_view section, std::string_view key, const fs::path& path) {
  std::string value = OneLine(HostPathToSetting(path.string()), false);
  // The reader trims blanks and drops one pair of quotes: a path that would
  // lose either is quoted.
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  if (quoted || Trim(value).size() != value.size()) value = '"' + value + '"';
  WriteValue(section, key, value);
}

bool TIniEditor::ReadBool(std::string_view section, std::string_view key, bool def) const {
  const std::string text = ReadStr(section, key, def ? "True" : "False");
  return EqualsNoCase(text, "TRUE") || EqualsNoCase(text, "YES") || text == "1";
}

void TIniEditor::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteStr(section, key, value ? "True" : "False");
}

char TIniEditor::ReadChar(std::string_view section, std::string_view key, char def) const {
  const std::optional<std::string> text = ReadValue(section, key);
  return text && !text->empty() ? text->front() : def;
}

void TIniEditor::WriteChar(std::string_view section, std::string_view key, char value) {
  WriteStr(section, key, std::string_view(&value, 1));
}

// The default is returned as it is rather than through its text form, which
// would round it to 15 digits.
double TIniEditor::ReadReal(std::string_view section, std::string_view key, double def) const {
  const std::optional<std::string> text = ReadValue(section, key);
  return text ? ParseReal(*text).value_or(def) : def;
}

void TIniEditor::WriteReal(std::string_view section, std::string_view key, double value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  WriteStr(section, key, std::string_view(buffer, result.ptr - buffer));
}

long TIniEditor::ReadInt(std::string_view section, std::string_view key, long def) const {
  const std::optional<std::string> text = ReadValue(section, key);
  return text ? ParseInt(*text).value_or(def) : def;
}

void TIniEditor::WriteInt(std::string_view section, std::string_view key, long value) {
  WriteStr(section, key, std::to_string(value));
}

}  // namespace zafirel
