// The one way the program writes a whole file: the bytes go to a temporary
// file in the target's folder, which is flushed to the disc and then renamed
// over the target, and the folder is flushed after the rename. A crash, a
// power cut or a full disc therefore leaves either the old file or the new
// one in the target's place, never a half-written or empty one.
//
// Temporary files carry kTempMarker and six random characters after the
// target's name; one left by an interrupted write is recognised by
// IsLeftoverTempFile and removed at the next start.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zafirel {

inline constexpr std::string_view kTempMarker = ".tmp-";

// Returns false (and leaves any existing target untouched) when the file
// cannot be written whole; errno then tells why. So do the two below.
[[nodiscard]] bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The same without the flushes, for transient copies in the temporary
// folder that nothing relies on after the program ends.
[[nodiscard]] bool WriteTransientFile(const std::filesystem::path& target, std::string_view bytes);

// The same for a file written piece by piece: write gets the temporary
// file's descriptor and returns false (errno saying why) when it cannot
// write; flush as WriteFileAtomically (true) or WriteTransientFile (false).
[[nodiscard]] bool WriteFileThrough(const std::filesystem::path& target,
                                    const std::function<bool(int fd)>& write, bool flush = true);

// Copies source over target the same way (through a flushed temporary file
// renamed over the target), keeping the source's modification time.
[[nodiscard]] bool CopyFileAtomically(const std::filesystem::path& source,
                                      const std::filesystem::path& target);

// The whole contents of a file, read in one pass; nothing when the file
// cannot be opened (errno then tells why) or a read fails.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// A name WriteFileAtomically gives its temporary files.
bool IsLeftoverTempFile(std::string_view fileName);

}  // namespace zafirel
