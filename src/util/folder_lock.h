// Advisory locks on a data folder, so that several programs may use one
// data folder at once (two windows, a window and the command line, two runs
// of the command line, on a shared folder) without their changes
// interleaving. They are open-file-description locks on the file
// "Zafirel.lock" beside the disc table, released by the system when the
// program holding them ends, however it ends:
//
// - byte 0 is the write lock, held around every change of the disc table,
//   its index files and its catalogue files. Readers do not take it.
// - byte kRunClaimBase + N is held by a catalogue run of disc N from the
//   moment its record is appended until the run ends, so a record without
//   a file count belongs to a live run exactly while its byte is held.
//
// Within one program the write lock nests: an inner FolderLock on a folder
// whose lock is held already just counts. A folder where the lock file can
// be neither created nor opened for writing (a read-only copy) is not
// locked: nothing can be changed there anyway.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "util/file_handle.h"

namespace zafirel {

inline constexpr const char* kLockFileName = "Zafirel.lock";
inline constexpr std::chrono::milliseconds kLockWait{5000};

// Another program keeps the write lock for longer than the wait.
class FolderBusy : public std::runtime_error {
 public:
  explicit FolderBusy(const std::filesystem::path& folder);
};

class FolderLock {
 public:
  // Waits up to wait for the write lock; throws FolderBusy after that.
  explicit FolderLock(const std::filesystem::path& folder,
                      std::chrono::milliseconds wait = kLockWait);
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

  // True when this program holds the lock of this folder, here or further out.
  static bool HeldHere(const std::filesystem::path& folder);
  // Counts the outermost acquisitions of any write lock in this program.
  // What a program read before it took the lock may have been changed by
  // another one: caches of file contents compare this number.
  static std::uint64_t Epoch();

 private:
  std::string key_;
};

class RunClaim {
 public:
  RunClaim() = default;
  RunClaim(const RunClaim&) = delete;
  RunClaim& operator=(const RunClaim&) = delete;
  ~RunClaim() { Release(); }

  // Claims disc number for a run; false when a live run holds it already.
  // A folder without a lock file that can be written is claimed as well.
  bool Claim(const std::filesystem::path& folder, std::uint64_t number);
  void Release();
  bool Holds() const { return fd_.valid() || unlocked_; }

  // True when a live run (of any program, this one included) holds the number.
  static bool Claimed(const std::filesystem::path& folder, std::uint64_t number);

 private:
  FileDescriptor fd_;
  bool unlocked_ = false;
};

}  // namespace zafirel
