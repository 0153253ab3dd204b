#include "store/album_filter.h"

#include "store/dbf/mdx.h"
#include "store/tablas.h"
#include "util/codepage.h"
#include "util/scope_guard.h"
#include "util/text.h"

namespace zafirel {

namespace {

constexpr std::size_t kAlbumWidth = 50;

// An album as the index keys hold it: in the table's code page, raised by
// that code page's rule, so "música" and "MÚSICA" are one album.
std::string AlbumKey(std::string_view ansi) { return UpperOem(AnsiToOem(ansi)); }

}  // namespace

std::vector<std::string> ListAlbums(TTablas& tablas) {
  std::vector<std::string> albums;
  dbf::Table& temp = tablas.TablaCDRomTemp;
  const ScopeGuard closer([&] {
    try {
      tablas.IndicesCDRomTemp.Detach(temp);
      temp.Close();
    } catch (const std::exception&) {
    }
  });
  temp.SetFolder(tablas.Folder());
  temp.SetTableName(TTablas::kDiscTableName);
  temp.Open();
  tablas.IndicesCDRomTemp.Attach(temp, tablas.Folder());
  tablas.IndicesCDRomTemp.Select(temp, "AlbumUn");
  for (temp.First(); !temp.Eof(); temp.Next()) {
    std::string album = temp.AsString("ALBUM");
    if (!TrimBlanks(album).empty()) albums.push_back(OemToAnsi(AlbumKey(album)));
  }
  return albums;
}

void ApplyAlbumFilter(TTablas& tablas, std::string_view album) {
  tablas.IndicesCDRom.Select(tablas.TablaCDRom, "Filtro");
  std::shared_ptr<dbf::MdxTag> tag = tablas.IndicesCDRom.CurrentTag();
  if (!tag) return;
  tag->SetRange(std::nullopt);
  if (album.empty()) return;
  std::string prefix = AlbumKey(album.substr(0, kAlbumWidth));
  prefix.resize(kAlbumWidth, ' ');
  tag->SetRange(std::move(prefix));
}

}  // namespace zafirel
