// The language store: every user-visible text is looked up by key in the
// current language file (an INI file, section "General"). Lookups read the
// file anew, so an edited file takes effect at the next lookup. A key the
// data folder's file lacks (a copy made by an earlier version of the
// program) comes from the shipped file of the same name; a missing file or
// key gives the empty text, with no fallback to another language.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/ini_editor.h"
#include "util/failure.h"

namespace zafirel {

class Language {
 public:
  // Before any language is applied, texts come from this file (the English
  // file beside the executable); its folder holds the shipped files.
  explicit Language(const std::filesystem::path& initialFile);

  // Makes dataFolder/fileName the current language file.
  void Use(const std::filesystem::path& dataFolder, std::string_view fileName);

  std::string Traduce(std::string_view key) const;
  // Traduce as a function, for the texts of failures (FailureText).
  Translate Translator() const {
    return [this](std::string_view key) { return Traduce(key); };
  }
  std::filesystem::path CurrentFile() const;

 private:
  TIniEditor leng_;
  std::filesystem::path shippedFolder_;
  TIniEditor shipped_;  // the shipped file of the current file's name
};

}  // namespace zafirel
