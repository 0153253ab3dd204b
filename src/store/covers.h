// A disc's cover picture in the picture table: the first record whose code is
// the disc's number holds its JPEG file in the memo, byte for byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zafirel {
namespace dbf {
class Table;
}

// The stored picture bytes of the disc, or nothing when it has no record.
// The table must be open.
std::optional<std::string> FindCover(dbf::Table& covers, std::string_view number);

// Stores the picture for the disc: its first record takes the new bytes and
// any further records of that disc go, so a disc keeps one picture.
void StoreCover(dbf::Table& covers, std::string_view number, std::string_view jpeg);

// Deletes every picture record of the disc; how many went.
int DeleteCovers(dbf::Table& covers, std::string_view number);

}  // namespace zafirel
