#include "app/gui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <array>
#include <utility>

#include "util/text.h"

namespace zafirel {

std::string QtLanguageOf(std::string_view languageFile) {
  // Names as language files are spelt, with and without accents (ANSI).
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 16> kNames = {{
      {"ESPANOL", "es"},
      {"ESPA\xD1OL", "es"},
      {"CASTELLANO", "es"},
      {"SPANISH", "es"},
      {"INGLES", "en"},
      {"INGL\xC9S", "en"},
      {"ENGLISH", "en"},
      {"CATALAN", "ca"},
      {"CATAL\xC0", "ca"},
      {"PORTUGUES", "pt_PT"},
      {"PORTUGU\xCAS", "pt_PT"},
      {"FRANCES", "fr"},
      {"FRAN\xC7"
       "AIS",
       "fr"},
      {"ALEMAN", "de"},
      {"DEUTSCH", "de"},
      {"ITALIANO", "it"},
  }};
  std::string_view stem = languageFile;
  if (const std::size_t dot = stem.rfind('.'); dot != std::string_view::npos)
    stem = stem.substr(0, dot);
  const std::string wanted = UpperAnsi(stem);
  for (const auto& [name, code] : kNames)
    if (wanted == name) return std::string(code);
  return {};
}

QtTranslation::~QtTranslation() {
  if (translator_) QCoreApplication::removeTranslator(translator_.get());
}

void QtTranslation::Use(std::string_view languageFile) {
  if (translator_) {
    QCoreApplication::removeTranslator(translator_.get());
    translator_.reset();
  }
  const std::string code = QtLanguageOf(languageFile);
  if (code.empty() || code == "en") return;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qt_") + QString::fromStdString(code),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return;
  QCoreApplication::installTranslator(translator.get());
  translator_ = std::move(translator);
}

}  // namespace zafirel
