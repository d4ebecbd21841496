#include "output/replicate_folders.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

#include "output/output_file.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& path, const std::string& what, int error) {
  throw OutputError(fmt::format("{}: {}: {}", path, what, std::generic_category().message(error)));
}

// The replicate number a folder name stands for: decimal digits without a
// leading zero, up to what an int holds; 0 for any other name.
int ReplicateNumberOf(std::string_view name) {
  if (name.empty() || name.front() == '0') return 0;
  int n = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), n);
  if (error != std::errc() || end != name.data() + name.size()) return 0;
  return n;
}

}  // namespace

std::string ReplicateFolderPath(const std::string& outputDirectory, int n) {
  return fmt::format("{}/{}", outputDirectory, n);
}

std::string PartialFolderPath(const std::string& outputDirectory, int n) {
  return fmt::format("{}/.{}.partial", outputDirectory, n);
}

std::optional<OutputDirectoryLock> OutputDirectoryLock::TryAcquire(const std::string& outputDirectory) {
  const fs::path path = fs::path(outputDirectory) / kFileName;
  // The lock file may be removed by the run that holds it just as this one
  // opens it; a lock on a removed file guards nothing, so the lock counts
  // only once the locked file is still the one under the name.
  for (int tries = 0; tries < 100; ++tries) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) Fail(path.string(), "cannot create the lock file", errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) return std::nullopt;
      Fail(path.string(), "cannot lock the output directory", error);
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev) {
      return OutputDirectoryLock(fd, path);
    }
    ::close(fd);
  }
  throw OutputError(fmt::format("{}: the lock file keeps being replaced", path.string()));
}

OutputDirectoryLock::OutputDirectoryLock(OutputDirectoryLock&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

OutputDirectoryLock& OutputDirectoryLock::operator=(OutputDirectoryLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

OutputDirectoryLock::~OutputDirectoryLock() { Release(); }

void OutputDirectoryLock::Release() noexcept {
  if (fd_ < 0) return;
  // Removed while still held: a run that opened the file before the removal
  // finds it locked, or finds it is no longer the file under the name.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

ReplicateFolderScan ScanReplicateFolders(const std::string& outputDirectory, int first, int last) {
  ReplicateFolderScan scan;
  std::error_code ec;
  for (fs::directory_iterator it(outputDirectory, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    const int n = ReplicateNumberOf(entry.path().filename().native());
    if (n == 0) continue;
    std::error_code entryError;
    const bool isEmptyFolder = entry.is_directory(entryError) && fs::is_empty(entry.path(), entryError);
    if (isEmptyFolder) continue;
    if (n >= scan.nextFree) scan.nextFree = n == std::numeric_limits<int>::max() ? n : n + 1;
    if (n >= first && n <= last && (scan.firstTaken == 0 || n < scan.firstTaken)) scan.firstTaken = n;
  }
  return scan;
}

std::string StartPartialFolder(const std::string& outputDirectory, int n) {
  std::string path = PartialFolderPath(outputDirectory, n);
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec) throw OutputError(fmt::format("{}: cannot remove what an earlier run left: {}", path, ec.message()));
  if (::mkdir(path.c_str(), 0777) != 0) Fail(path, "cannot create the folder", errno);
  return path;
}

void PublishReplicate(const std::string& outputDirectory, int n, bool replace) {
  const std::string partial = PartialFolderPath(outputDirectory, n);
  const std::string folder = ReplicateFolderPath(outputDirectory, n);
  std::error_code ec;
  const bool taken = fs::exists(fs::symlink_status(folder, ec));
  if (taken && replace) {
    // Swapped in one step where the file system can; the old replicate then
    // sits under the partial name and is removed.
    if (::renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) == 0) {
      fs::remove_all(partial, ec);
      if (ec) throw OutputError(fmt::format("{}: cannot remove the replaced replicate: {}", partial, ec.message()));
      return;
    }
    const std::string aside = fmt::format("{}/.{}.replaced", outputDirectory, n);
    fs::remove_all(aside, ec);
    if (::rename(folder.c_str(), aside.c_str()) != 0) Fail(folder, "cannot move the replaced replicate aside", errno);
    if (::rename(partial.c_str(), folder.c_str()) != 0) Fail(folder, "cannot rename the finished replicate", errno);
    fs::remove_all(aside, ec);
    if (ec) throw OutputError(fmt::format("{}: cannot remove the replaced replicate: {}", aside, ec.message()));
    return;
  }
  // Without replace a folder that appeared meanwhile is kept: renaming a
  // folder onto an empty one would replace it, so the name is checked first.
  if (taken && !(fs::is_directory(folder, ec) && fs::is_empty(folder, ec))) {
    throw OutputError(fmt::format("{}: exists already; the finished replicate stays in {}", folder, partial));
  }
  if (::rename(partial.c_str(), folder.c_str()) != 0) Fail(folder, "cannot rename the finished replicate", errno);
}

void DiscardPartialFolder(const std::string& outputDirectory, int n) noexcept {
  std::error_code ec;
  fs::remove_all(PartialFolderPath(outputDirectory, n), ec);
}

std::uintmax_t FolderBytes(const std::string& folder) noexcept {
  std::uintmax_t bytes = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code sizeError;
    const std::uintmax_t size = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
    if (!sizeError) bytes += size;
  }
  return bytes;
}

}  // namespace korvane
