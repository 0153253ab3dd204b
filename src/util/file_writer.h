// The one way the program writes a whole file: the bytes go to a temporary
// file in the target's folder, which is then renamed over the target, so a
// crash or a full disc never leaves a half-written file in the target's place.
#pragma once

#include <filesystem>
#include <string_view>

namespace zafirel {

// Returns false (and leaves any existing target untouched) when the file
// cannot be written.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

}  // namespace zafirel
