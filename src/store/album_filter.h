// The album filter of the disc list: the distinct albums of the disc table,
// and confining the main cursor's "Filtro" tag to one album's discs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zafirel {

class TTablas;

// The distinct non-empty albums, upper-cased (accented letters too), in
// ascending order, read through the second cursor so the main cursor stays where it is.
// The second cursor is closed again in every case.
std::vector<std::string> ListAlbums(TTablas& tablas);

// Makes "Filtro" the main cursor's tag with its range lifted; for a non-empty
// album, confines it to the keys that begin with the album upper-cased as the
// index raises it and padded to 50 characters. The disc list then reads it with "FiltroAlbum".
void ApplyAlbumFilter(TTablas& tablas, std::string_view album);

}  // namespace zafirel
