#include "output/output_file.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace korvane {
namespace {

// Text is handed to the system once this much has been collected.
constexpr std::size_t kBufferLimit = std::size_t{1} << 20;

// Writes all of `data`; false with errno set when the system took less.
bool WriteAll(std::FILE* file, const char* data, std::size_t size) {
  if (size == 0) return true;
  errno = 0;
  const std::size_t written = std::fwrite(data, 1, size, file);
  if (written == size) return true;
  if (errno == 0) errno = EIO;
  return false;
}

}  // namespace

OutputFile::OutputFile(const std::filesystem::path& path, Mode mode, LineEnds lineEnds)
    : path_(path), lineEnds_(lineEnds) {
  errno = 0;
  file_ = std::fopen(path_.c_str(), mode == Mode::kAppend ? "ab" : "wb");
  if (file_ == nullptr) {
    const int error = errno != 0 ? errno : EIO;
    Fail(mode == Mode::kAppend ? "cannot open for appending" : "cannot create", error);
  }
  // The file keeps its own buffer; the stream's would only copy it once more.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.reserve(kBufferLimit + 4096);
}

OutputFile::~OutputFile() {
  if (file_ == nullptr) return;
  WriteAll(file_, buffer_.data(), buffer_.size());
  std::fclose(file_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      path_(std::move(other.path_)),
      lineEnds_(other.lineEnds_),
      buffer_(std::move(other.buffer_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (file_ != nullptr) {
      WriteAll(file_, buffer_.data(), buffer_.size());
      std::fclose(file_);
    }
    file_ = std::exchange(other.file_, nullptr);
    path_ = std::move(other.path_);
    lineEnds_ = other.lineEnds_;
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

void OutputFile::Write(std::string_view text) {
  if (file_ == nullptr) Fail("write error", EBADF);
  if (lineEnds_ == LineEnds::kLf) {
    if (text.size() >= kBufferLimit) {
      // A large block goes to the system directly, after what is buffered.
      Drain();
      if (!WriteAll(file_, text.data(), text.size())) Fail("write error", errno);
      return;
    }
    buffer_.append(text);
  } else {
    while (!text.empty()) {
      const auto* found = static_cast<const char*>(std::memchr(text.data(), '\n', text.size()));
      if (found == nullptr) {
        buffer_.append(text);
        break;
      }
      const std::size_t length = static_cast<std::size_t>(found - text.data());
      buffer_.append(text.data(), length);
      buffer_.append("\r\n", 2);
      text.remove_prefix(length + 1);
      if (buffer_.size() >= kBufferLimit) Drain();
    }
  }
  if (buffer_.size() >= kBufferLimit) Drain();
}

void OutputFile::Flush() {
  if (file_ == nullptr) Fail("write error", EBADF);
  Drain();
  errno = 0;
  if (std::fflush(file_) != 0) Fail("write error", errno != 0 ? errno : EIO);
}

void OutputFile::Drain() {
  const bool ok = WriteAll(file_, buffer_.data(), buffer_.size());
  const int error = errno;
  // What the system refused is dropped: the error is reported once, here.
  buffer_.clear();
  if (!ok) Fail("write error", error);
}

void OutputFile::Close() {
  if (file_ == nullptr) return;
  const char* action = nullptr;
  int error = 0;
  if (!WriteAll(file_, buffer_.data(), buffer_.size())) {
    action = "write error";
    error = errno;
  }
  buffer_.clear();
  buffer_.shrink_to_fit();
  std::FILE* file = std::exchange(file_, nullptr);
  errno = 0;
  if (std::fclose(file) != 0 && action == nullptr) {
    action = "close error";
    error = errno != 0 ? errno : EIO;
  }
  if (action != nullptr) Fail(action, error);
}

void OutputFile::Fail(const char* action, int error) const {
  throw OutputError(fmt::format("{}: {}: {}", path_.string(), action, std::strerror(error)));
}

}  // namespace korvane
