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

namespace {

// The names Spanish keyboards print on keys Qt's catalogue names otherwise.
class SpanishKeyNames : public QTranslator {
 public:
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char*, int) const override {
    if (qstrcmp(context, "QShortcut") == 0 &&
        (qstrcmp(source, "Return") == 0 || qstrcmp(source, "Enter") == 0))
      return QStringLiteral("Intro");
    return {};
  }
};

}  // namespace

QtTranslation::~QtTranslation() {
  for (QTranslator* translator : {translator_.get(), keyNames_.get()})
    if (translator) QCoreApplication::removeTranslator(translator);
}

void QtTranslation::Use(std::string_view languageFile) {
  for (std::unique_ptr<QTranslator>* translator : {&translator_, &keyNames_}) {
    if (*translator) QCoreApplication::removeTranslator(translator->get());
    translator->reset();
  }
  const std::string code = QtLanguageOf(languageFile);
  if (code.empty() || code == "en") return;
  auto translator = std::make_unique<QTranslator>();
  if (translator->load(QStringLiteral("qt_") + QString::fromStdString(code),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator.get());
    translator_ = std::move(translator);
  }
  // Installed last, so asked before Qt's catalogue.
  if (code == "es") {
    keyNames_ = std::make_unique<SpanishKeyNames>();
    QCoreApplication::installTranslator(keyNames_.get());
  }
}

}  // namespace zafirel
