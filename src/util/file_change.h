// The one way the program changes files and folders on disc: every removal,
// rename, whole-file write, copy and in-place write asks MayChangeFile()
// first, and replacing a file is made durable with the flushes a storage
// engine does (the file before its rename, the folder after it).
//
// MayChangeFile() is also the seam the fault-injection tests use: a hook
// installed there can end the process (as a kill would) or refuse the Nth
// change (as a full or failing disc would), so every write path can be
// interrupted at every step.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace zafirel {

// Asked before every change to a file or folder: false means the change
// fails (the caller reports it as the system's own failure would be), with
// errno set to the hook's reason (EIO when it gave none). Without a hook it
// always allows.
[[nodiscard]] bool MayChangeFile();
// Installs the hook (an empty function removes it). For tests.
void SetFileChangeHook(std::function<bool()> hook);
// How many changes have been announced so far (for tests).
std::uint64_t FileChangesSoFar();

// Flushes an open file's data to the disc; false when the disc refused.
[[nodiscard]] bool SyncDescriptor(int fd);
// Flushes a folder's entries (a rename or removal inside it) to the disc.
[[nodiscard]] bool SyncFolder(const std::filesystem::path& folder);

// Removes a file; true when it is gone afterwards (a missing file counts).
[[nodiscard]] bool RemoveFile(const std::filesystem::path& file);
// Renames from over to (replacing it) and flushes the folder unless told not
// to; false when the rename (or the flush) failed.
[[nodiscard]] bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to,
                              bool flushFolder = true);

}  // namespace zafirel
