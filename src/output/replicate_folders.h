#pragma once

// The replicate folders of an output directory D, and the lock that gives one
// run at a time the right to write them.
//
// D/n (the replicate number in decimal, no leading zeros) always holds a
// complete replicate: a replicate is written into D/.n.partial, a name that
// cannot be taken for a replicate, and renamed to D/n only once every file of
// it is closed. A run that stops or fails removes the partial folder of the
// replicate it was writing (or keeps it under its partial name when asked),
// so an interrupted run never leaves a truncated Plink.ped under a number.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace korvane {

// "D/n" and "D/.n.partial", joined as text: a directory that ends in "/"
// gives a doubled separator, harmless on POSIX.
std::string ReplicateFolderPath(const std::string& outputDirectory, int n);
std::string PartialFolderPath(const std::string& outputDirectory, int n);

// An exclusive advisory lock on the lock file ".korvane.lock" of an output
// directory, held for as long as the object lives. The system releases it
// when the process ends, however it ends; a lock file left by a killed run is
// taken over by the next. The file is removed, while still locked, when the
// lock is released, so a finished run leaves nothing behind.
class OutputDirectoryLock {
 public:
  static constexpr const char* kFileName = ".korvane.lock";

  // Takes the lock of `outputDirectory`, which must exist. Returns nullopt
  // when another run (of this or another process) holds it; throws
  // OutputError when the lock file cannot be created or locked.
  static std::optional<OutputDirectoryLock> TryAcquire(const std::string& outputDirectory);

  OutputDirectoryLock(OutputDirectoryLock&& other) noexcept;
  OutputDirectoryLock& operator=(OutputDirectoryLock&& other) noexcept;
  OutputDirectoryLock(const OutputDirectoryLock&) = delete;
  OutputDirectoryLock& operator=(const OutputDirectoryLock&) = delete;
  ~OutputDirectoryLock();

 private:
  OutputDirectoryLock(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  void Release() noexcept;

  int fd_ = -1;
  std::filesystem::path path_;
};

// What an output directory already holds of the replicates first..last.
struct ReplicateFolderScan {
  int firstTaken = 0;  // the lowest of first..last whose folder exists and is not empty; 0 if none
  int nextFree = 1;    // one above the highest replicate folder of any number in the directory
};

// Looks at the entries of the directory once (a run may number a million
// replicates). An empty folder holds nothing to lose and does not count as
// taken; a file named like a replicate does. A directory that does not exist
// holds nothing.
ReplicateFolderScan ScanReplicateFolders(const std::string& outputDirectory, int first, int last);

// The folder a replicate is written into: D/.n.partial, emptied of what a
// killed run may have left. Throws OutputError.
std::string StartPartialFolder(const std::string& outputDirectory, int n);

// Renames D/.n.partial to D/n. With `replace`, a D/n that exists is removed
// first (its removal follows the rename of the new folder into place, so the
// replicate's number never goes missing); without, an existing D/n is an
// error. Throws OutputError naming the folder and the system's reason.
void PublishReplicate(const std::string& outputDirectory, int n, bool replace);

// Removes D/.n.partial and everything in it; reports nothing (the run is
// already ending with the reason that matters).
void DiscardPartialFolder(const std::string& outputDirectory, int n) noexcept;

// The bytes of the files in a folder (not recursive); 0 for what cannot be read.
std::uintmax_t FolderBytes(const std::string& folder) noexcept;

}  // namespace korvane
