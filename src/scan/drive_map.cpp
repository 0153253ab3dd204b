#include "scan/drive_map.h"

#include <algorithm>
#include <charconv>

#include "scan/volume_reader.h"
#include "settings/ini_editor.h"
#include "util/file_writer.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

// The kernel writes blanks, tabs, newlines and backslashes in mountinfo as
// a backslash and three octal digits.
std::string UndoOctalEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) &&
        octal(text[i + 3])) {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                               (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find(' ', start), line.size());
    fields.push_back(line.substr(start, end - start));
    at = end;
  }
  return fields;
}

bool ParseNumber(std::string_view text, std::uint32_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// "8:17" into its two numbers.
bool ParseDeviceNumber(std::string_view text, MountEntry& entry) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  return ParseNumber(text.substr(0, colon), entry.major) &&
         ParseNumber(text.substr(colon + 1), entry.minor);
}

// Fields: id, parent, major:minor, root, mount point, options, optional
// fields ended by "-", then type, source and the super-block options.
std::optional<MountEntry> ParseMountLine(std::string_view line) {
  const std::vector<std::string_view> fields = SplitBlanks(line);
  if (fields.size() < 9) return std::nullopt;
  std::size_t separator = 6;
  while (separator < fields.size() && fields[separator] != "-") ++separator;
  if (separator + 2 >= fields.size()) return std::nullopt;
  MountEntry entry;
  if (!ParseDeviceNumber(fields[2], entry) || fields[4].front() != '/') return std::nullopt;
  entry.mountPoint = UndoOctalEscapes(fields[4]);
  entry.fileSystem = UndoOctalEscapes(fields[separator + 1]);
  entry.source = UndoOctalEscapes(fields[separator + 2]);
  return entry;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The folder itself or anything below it.
bool AtOrUnder(std::string_view path, std::string_view folder) {
  return StartsWith(path, folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Places where the system keeps its own mounts, never offered as drives.
bool SystemPlace(std::string_view mountPoint) {
  if (AtOrUnder(mountPoint, "/run/media")) return false;
  for (std::string_view place : {"/proc", "/sys", "/dev", "/run", "/etc", "/boot", "/snap"})
    if (AtOrUnder(mountPoint, place)) return true;
  return false;
}

bool UserPlace(std::string_view mountPoint) {
  return AtOrUnder(mountPoint, "/media") || AtOrUnder(mountPoint, "/mnt") ||
         AtOrUnder(mountPoint, "/run/media");
}

// Letters from "D" in three rounds: optical media, removable media, the rest.
class LetterDealer {
 public:
  explicit LetterDealer(std::vector<MappedDrive>& drives) : drives_(drives) {}
  void Deal(const MountEntry& mount) {
    if (next_ > 'Z') return;
    for (const MappedDrive& drive : drives_)
      if (drive.folder == mount.mountPoint) return;
    drives_.push_back({next_++, mount.mountPoint});
  }

 private:
  std::vector<MappedDrive>& drives_;
  char next_ = 'D';
};

fs::path NormalFolder(const fs::path& folder) {
  std::error_code error;
  fs::path absolute = fs::absolute(folder, error);
  if (error) absolute = folder;
  std::string text = absolute.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    if (std::optional<MountEntry> entry = ParseMountLine(text.substr(0, end)))
      mounts.push_back(std::move(*entry));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return mounts;
}

std::vector<MountEntry> ReadMounts() {
  return ParseMountInfo(ReadWholeFile("/proc/self/mountinfo").value_or(std::string()));
}

std::vector<MappedDrive> DefaultDrives(const std::vector<MountEntry>& mounts) {
  return DefaultDrives(mounts, [](const MountEntry& mount) {
    return ReadBlockDevice(mount.major, mount.minor).removable;
  });
}

std::vector<MappedDrive> DefaultDrives(const std::vector<MountEntry>& mounts,
                                       const std::function<bool(const MountEntry&)>& removable) {
  std::vector<MappedDrive> drives{{'C', "/"}};
  std::vector<const MountEntry*> optical, portable, others;
  for (const MountEntry& mount : mounts) {
    const std::string point = mount.mountPoint.string();
    if (point == "/" || SystemPlace(point) || IsPseudoFileSystem(mount)) continue;
    if (IsOpticalMount(mount))
      optical.push_back(&mount);
    else if (removable(mount))
      portable.push_back(&mount);
    else if (UserPlace(point))
      others.push_back(&mount);
  }
  LetterDealer dealer(drives);
  for (const auto* round : {&optical, &portable, &others})
    for (const MountEntry* mount : *round) dealer.Deal(*mount);
  return drives;
}

DriveMap DriveMap::FromSystem(const Setting& settings) {
  DriveMap map;
  for (const MappedDrive& drive : DefaultDrives(ReadMounts())) map.Map(drive.letter, drive.folder);
  if (!settings) return map;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::optional<fs::path> value = settings(letter);
    if (!value) continue;
    if (value->empty())
      map.Unmap(letter);
    else
      map.Map(letter, *value);
  }
  return map;
}

void DriveMap::Map(char letter, std::filesystem::path folder) {
  letter = UpperAZChar(letter);
  if (letter < 'A' || letter > 'Z') return;
  const auto at = std::lower_bound(drives_.begin(), drives_.end(), letter,
                                   [](const MappedDrive& d, char l) { return d.letter < l; });
  if (at != drives_.end() && at->letter == letter)
    at->folder = std::move(folder);
  else
    drives_.insert(at, {letter, std::move(folder)});
}

void DriveMap::Unmap(char letter) {
  letter = UpperAZChar(letter);
  std::erase_if(drives_, [letter](const MappedDrive& d) { return d.letter == letter; });
}

std::optional<std::filesystem::path> DriveMap::FolderOf(char letter) const {
  letter = UpperAZChar(letter);
  for (const MappedDrive& drive : drives_)
    if (drive.letter == letter) return drive.folder;
  return std::nullopt;
}

std::optional<char> DriveMap::LetterOf(const std::filesystem::path& folder) const {
  const fs::path wanted = NormalFolder(folder);
  for (const MappedDrive& drive : drives_)
    if (NormalFolder(drive.folder) == wanted) return drive.letter;
  return std::nullopt;
}

std::vector<MappedDrive> DriveMap::Drives() const { return drives_; }

std::optional<char> DriveMap::MapFolder(const std::filesystem::path& folder, char wanted) {
  if (wanted == 0)
    if (const std::optional<char> mapped = LetterOf(folder)) return mapped;
  char letter = UpperAZChar(wanted);
  for (char c = 'D'; letter == 0 && c <= 'Z'; ++c)
    if (!FolderOf(c)) letter = c;
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  Map(letter, fs::absolute(folder).lexically_normal());
  return letter;
}

DriveMap::Setting DriveSettings(TIniEditor& ini1) {
  return [&ini1](char letter) { return ini1.ReadPath("Unidades", std::string(1, letter)); };
}

}  // namespace zafirel
