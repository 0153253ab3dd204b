#include "settings/language.h"

#include <vector>

#include "util/wildcard.h"

namespace zafirel {

Language::Language(const std::filesystem::path& initialFile) {
  leng_.SetFileLocation(TFileLocation::PathInFileName);
  leng_.SetFileName(initialFile.string());
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
}

std::string Language::Traduce(std::string_view key) const {
  return leng_.ReadStr("General", key, "");
}

std::filesystem::path Language::CurrentFile() const { return leng_.FileName(); }

}  // namespace zafirel
