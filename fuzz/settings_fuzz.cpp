// Settings and language files: any text read for every key the program asks
// for, and edited as the program edits it; an edit reads back as written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/ini_text.h"
#include "settings/language_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zafirel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // Every read parses the whole text the same way: one key a language file
  // holds and the settings' own keys, whose values are read as numbers too.
  ini_text::FindValue(text, "General", kLanguageKeys.front());
  for (std::string_view key : {"Directorio", "Lenguaje", "Indice", "Zip", "Busqueda"}) {
    if (auto value = ini_text::FindValue(text, "General", key)) {
      ini_text::ParseInt(*value);
      ini_text::ParseReal(*value);
    }
  }
  const std::string edited = ini_text::SetEntry(text, "General", "Indice", "TituloCD");
  const auto back = ini_text::FindValue(edited, "General", "Indice");
  if (!back || *back != "TituloCD") __builtin_trap();
  ini_text::DeleteEntry(edited, "General", "Indice");
  ini_text::DeleteSection(text, "Posicion");
  return 0;
}
