// The one way the program changes files and folders on disc: every removal,
// rename, whole-file write, copy and in-place write passes through
// BeforeFileChange() first, and replacing a file is made durable with the
// flushes a storage engine does (the file before its rename, the folder
// after it).
//
// BeforeFileChange() is also the seam the fault-injection tests use: a hook
// installed there can end the process or throw at the Nth change, so every
// write path can be interrupted at every step.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace zafirel {

// Called before every change to a file or folder. Without a hook it does
// nothing; the hook may throw, and the change is then not made.
void BeforeFileChange();
// Installs the hook (an empty function removes it). For tests.
void SetFileChangeHook(std::function<void()> hook);
// How many changes have been announced so far (for tests).
std::uint64_t FileChangesSoFar();

// Flushes an open file's data to the disc; false when the disc refused.
[[nodiscard]] bool SyncDescriptor(int fd);
// Flushes a folder's entries (a rename or removal inside it) to the disc.
[[nodiscard]] bool SyncFolder(const std::filesystem::path& folder);

// Removes a file; true when it is gone afterwards (a missing file counts).
[[nodiscard]] bool RemoveFile(const std::filesystem::path& file);
// Renames from over to (replacing it) and flushes the folder; false when the
// rename failed.
[[nodiscard]] bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace zafirel
