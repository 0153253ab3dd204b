// The disc table's ten index files: one tag per file, named like the file,
// in the fixed order in which they are checked, built and attached; and the
// disc list's sort keys with the tag each one selects.
#pragma once

#include <array>
#include <string_view>

namespace zafirel {

struct IndexFile {
  std::string_view file;  // in the data folder
  std::string_view tag;
  std::string_view expression;
  bool unique;
};

inline constexpr std::array<IndexFile, 10> kIndexFiles = {{
    {"Titulo.Mdx", "Titulo", "Upper(TituloCD)", false},
    {"Tamanio.Mdx", "Tamanio", "STR(VAL(LEFT(BytesCD, 4)))", false},
    {"Etiqueta.Mdx", "Etiqueta", "Etiqueta", false},
    {"NSerie.Mdx", "NSerie", "NSerieCD", false},
    {"Archivos.Mdx", "Archivos", "STR(VAL(TotFiles))", false},
    {"Numero.Mdx", "Numero", "STR(VAL(NumeroCD))", false},
    {"Album.Mdx", "Album", "Album", false},
    {"AlbumUn.Mdx", "AlbumUn", "Upper(Album)", true},
    {"Auto.Mdx", "Auto", "Auto", false},
    {"Filtro.Mdx", "Filtro", "Upper(Album)+TituloCD", false},
}};

struct SortKey {
  std::string_view key;  // as stored in General/Indice
  std::string_view tag;
  int column;  // of the disc list whose header carries the sort mark
};

// "FiltroAlbum" keeps the tag the album filter set; any other text means
// record order with no column marked.
inline constexpr std::string_view kAlbumFilterKey = "FiltroAlbum";
inline constexpr std::array<SortKey, 7> kSortKeys = {{
    {"TituloCD", "Titulo", 0},
    {"STR(VAL(LEFT(BytesCD, 4)))", "Tamanio", 1},
    {"Etiqueta", "Etiqueta", 2},
    {"NSerieCD", "NSerie", 3},
    {"STR(VAL(TotFiles))", "Archivos", 4},
    {"STR(VAL(NumeroCD))", "Numero", 5},
    {"Album", "Album", 6},
}};

// The sort key compared with case, as the settings hold it; nullptr for
// record order.
inline const SortKey* FindSortKey(std::string_view key) {
  for (const SortKey& sort : kSortKeys)
    if (sort.key == key) return &sort;
  return nullptr;
}

}  // namespace zafirel
