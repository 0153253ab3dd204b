#include "settings/language.h"

#include <vector>

#include "util/wildcard.h"

namespace zafirel {

Language::Language(const std::filesystem::path& initialFile)
    : shippedFolder_(initialFile.parent_path()) {
  leng_.SetFileLocation(TFileLocation::PathInFileName);
  leng_.SetFileName(initialFile.string());
  shipped_.SetFileLocation(TFileLocation::PathInFileName);
  shipped_.SetFileName(initialFile.string());
}

void Language::Use(const std::filesystem::path& dataFolder, std::string_view fileName) {
  // File names are matched without regard to case, as on the platform the
  // data folders come from: "espanol.len" serves for "Espanol.Len".
  std::string name(fileName);
  if (name.find_first_of("*?") == std::string::npos) {
    const std::vector<std::string> found = ListFiles(dataFolder, name);
    if (!found.empty()) name = found.front();
  }
  leng_.SetFileName((dataFolder / name).string());
  std::string shippedName(fileName);
  if (shippedName.find_first_of("*?") == std::string::npos) {
    const std::vector<std::string> found = ListFiles(shippedFolder_, shippedName);
    if (!found.empty()) shippedName = found.front();
  }
  shipped_.SetFileName((shippedFolder_ / shippedName).string());
}

std::string Language::Traduce(std::string_view key) const {
  // No text of a language file holds a byte 0x01: it stands for "no such key".
  static constexpr std::string_view kMissing = "\x01";
  std::string text = leng_.ReadStr("General", key, kMissing);
  if (text != kMissing) return text;
  return shipped_.ReadStr("General", key, "");
}

std::filesystem::path Language::CurrentFile() const { return leng_.FileName(); }

}  // namespace zafirel
