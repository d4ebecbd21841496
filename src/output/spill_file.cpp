#include "output/spill_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "output/output_file.h"

namespace korvane {
namespace {

// The most one system call is asked to move: Linux moves at most about
// 2 GiB per call anyway.
constexpr std::size_t kMostPerCall = std::size_t{1} << 30;

}  // namespace

SpillFile::SpillFile(const std::filesystem::path& path) : path_(path) {
  errno = 0;
  descriptor_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (descriptor_ < 0) Fail("cannot create", errno != 0 ? errno : EIO);
  // The open file keeps the data; without a name nothing can be left over.
  if (::unlink(path_.c_str()) != 0) {
    const int error = errno;
    Close();
    Fail("cannot remove", error);
  }
}

SpillFile::~SpillFile() { Close(); }

SpillFile::SpillFile(SpillFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      path_(std::move(other.path_)),
      size_(std::exchange(other.size_, 0)) {}

SpillFile& SpillFile::operator=(SpillFile&& other) noexcept {
  if (this != &other) {
    Close();
    descriptor_ = std::exchange(other.descriptor_, -1);
    path_ = std::move(other.path_);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SpillFile::Append(const void* data, std::size_t size) {
  if (descriptor_ < 0) Fail("write error", EBADF);
  const char* bytes = static_cast<const char*>(data);
  while (size != 0) {
    errno = 0;
    const ssize_t written = ::pwrite(descriptor_, bytes, std::min(size, kMostPerCall), static_cast<off_t>(size_));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) Fail("write error", written < 0 && errno != 0 ? errno : EIO);
    bytes += written;
    size -= static_cast<std::size_t>(written);
    size_ += static_cast<std::uint64_t>(written);
  }
}

void SpillFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
  if (descriptor_ < 0) Fail("read error", EBADF);
  char* bytes = static_cast<char*>(data);
  while (size != 0) {
    errno = 0;
    const ssize_t got = ::pread(descriptor_, bytes, std::min(size, kMostPerCall), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail("read error", errno != 0 ? errno : EIO);
    if (got == 0) {
      throw OutputError(fmt::format("{}: read error: the file ends at byte {}, before the {} bytes wanted there",
                                    path_.string(), offset, size));
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
}

void SpillFile::Close() noexcept {
  if (descriptor_ < 0) return;
  ::close(std::exchange(descriptor_, -1));
}

void SpillFile::Fail(const char* action, int error) const {
  throw OutputError(fmt::format("{}: {}: {}", path_.string(), action, std::generic_category().message(error)));
}

}  // namespace korvane
