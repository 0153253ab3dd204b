// What the nodes of the search results tree carry besides their text: a disc
// node holds its disc's number (its record); a hit node holds nothing.
#pragma once

#include <Qt>

namespace zafirel {

inline constexpr int kDiscNumberRole = Qt::UserRole + 1;

}  // namespace zafirel
