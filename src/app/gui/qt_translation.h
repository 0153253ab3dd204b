// Qt's own texts (standard buttons, file pickers, key names in menus) in the
// language of the program's language file, from the catalogues Debian ships
// in qt6-translations-l10n.
#pragma once

#include <QTranslator>
#include <memory>
#include <string>
#include <string_view>

namespace zafirel {

// The language code of a language file, by its name ("Espanol.Len" -> "es",
// "Ingles.Len" -> "en"); empty for a name it does not know.
std::string QtLanguageOf(std::string_view languageFile);

class QtTranslation {
 public:
  QtTranslation() = default;
  QtTranslation(const QtTranslation&) = delete;
  QtTranslation& operator=(const QtTranslation&) = delete;
  ~QtTranslation();

  // Replaces the catalogue in use by the one for the file's language; with
  // none installed (or for English) Qt's own English stays. Key names the
  // language's keyboards print otherwise than Qt's catalogue (Spanish "Intro"
  // for Return and Enter) are named as on the keyboard, catalogue or not.
  void Use(std::string_view languageFile);

 private:
  std::unique_ptr<QTranslator> translator_, keyNames_;
};

}  // namespace zafirel
