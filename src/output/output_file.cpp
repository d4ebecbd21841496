#include "output/output_file.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace korvane {
namespace {

// The text of one write to the system: large enough that the calls cost
// nothing beside the copying (measured best at 1 MiB against 64 KiB to 4 MiB).
constexpr std::size_t kBufferSize = std::size_t{1} << 20;
// The page size of the system's file cache (or a multiple of it).
constexpr std::size_t kPage = 4096;
// CRLF mode translates this much text at a time into a buffer twice its size.
constexpr std::size_t kTranslatedPiece = std::size_t{1} << 18;

// Writes all of `data`; false with errno set when the system took less.
bool WriteAll(std::FILE* file, const char* data, std::size_t size) {
  if (size == 0) return true;
  errno = 0;
  const std::size_t written = std::fwrite(data, 1, size, file);
  if (written == size) return true;
  if (errno == 0) errno = EIO;
  return false;
}

// Copies `size` bytes of text to `out` with every "\n" as "\r\n"; returns the new end.
char* TranslateLineEnds(const char* text, std::size_t size, char* out) {
  const char* const end = text + size;
  while (text < end) {
    const auto* found = static_cast<const char*>(std::memchr(text, '\n', static_cast<std::size_t>(end - text)));
    const std::size_t length = static_cast<std::size_t>((found != nullptr ? found : end) - text);
    std::memcpy(out, text, length);
    out += length;
    if (found == nullptr) break;
    out[0] = '\r';
    out[1] = '\n';
    out += 2;
    text = found + 1;
  }
  return out;
}

}  // namespace

OutputFile::OutputFile(const std::filesystem::path& path, Mode mode, LineEnds lineEnds)
    : OutputFile(path, mode, Kind::kText, lineEnds) {}

OutputFile OutputFile::Binary(const std::filesystem::path& path, Mode mode) {
  return OutputFile(path, mode, Kind::kBinary, LineEnds::kLf);
}

OutputFile::OutputFile(const std::filesystem::path& path, Mode mode, Kind kind, LineEnds lineEnds)
    : path_(path), kind_(kind), lineEnds_(lineEnds) {
  errno = 0;
  file_ = std::fopen(path_.c_str(), mode == Mode::kAppend ? "ab" : "wb");
  if (file_ == nullptr) {
    const int error = errno != 0 ? errno : EIO;
    Fail(mode == Mode::kAppend ? "cannot open for appending" : "cannot create", error);
  }
  // The file keeps its own buffer; the stream's would only copy it once more.
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

OutputFile::~OutputFile() {
  if (file_ == nullptr) return;
  Store(buffer_.get(), size_);
  std::fclose(file_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      path_(std::move(other.path_)),
      kind_(other.kind_),
      lineEnds_(other.lineEnds_),
      buffer_(std::move(other.buffer_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      translated_(std::move(other.translated_)),
      translatedCapacity_(std::exchange(other.translatedCapacity_, 0)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (file_ != nullptr) {
      Store(buffer_.get(), size_);
      std::fclose(file_);
    }
    file_ = std::exchange(other.file_, nullptr);
    path_ = std::move(other.path_);
    kind_ = other.kind_;
    lineEnds_ = other.lineEnds_;
    buffer_ = std::move(other.buffer_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    translated_ = std::move(other.translated_);
    translatedCapacity_ = std::exchange(other.translatedCapacity_, 0);
  }
  return *this;
}

void OutputFile::Write(std::string_view text) {
  if (file_ == nullptr) Fail("write error", EBADF);
  if (text.empty()) return;
  if (text.size() <= capacity_ - size_) {
    std::memcpy(buffer_.get() + size_, text.data(), text.size());
    size_ += text.size();
    return;
  }
  if (text.size() >= kBufferSize) {
    // A large block goes to the system directly, after what was buffered.
    Drain();
    if (!Store(text.data(), text.size())) Fail("write error", errno);
    return;
  }
  MakeRoom(text.size());
  std::memcpy(buffer_.get() + size_, text.data(), text.size());
  size_ += text.size();
}

char* OutputFile::Reserve(std::size_t most) {
  if (file_ == nullptr) Fail("write error", EBADF);
  if (most > capacity_ - size_) MakeRoom(most);
  return buffer_.get() + size_;
}

void OutputFile::MakeRoom(std::size_t most) {
  // Whole pages go to the system, so that the file grows by whole pages of
  // the page cache; the rest of the last page moves to the front.
  const std::size_t whole = size_ >= kPage ? size_ / kPage * kPage : size_;
  const bool ok = Store(buffer_.get(), whole);
  const int error = errno;
  // What the system refused is dropped: the error is reported once, here.
  size_ -= whole;
  if (size_ != 0) std::memmove(buffer_.get(), buffer_.get() + whole, size_);
  if (!ok) Fail("write error", error);
  if (most > capacity_ - size_) {
    auto larger = std::make_unique_for_overwrite<char[]>(std::max(size_ + most, kBufferSize));
    if (size_ != 0) std::memcpy(larger.get(), buffer_.get(), size_);
    buffer_ = std::move(larger);
    capacity_ = std::max(size_ + most, kBufferSize);
  }
}

void OutputFile::Flush() {
  if (file_ == nullptr) Fail("write error", EBADF);
  Drain();
  errno = 0;
  if (std::fflush(file_) != 0) Fail("write error", errno != 0 ? errno : EIO);
}

void OutputFile::Drain() {
  if (size_ == 0) return;
  const bool ok = Store(buffer_.get(), size_);
  const int error = errno;
  // What the system refused is dropped: the error is reported once, here.
  size_ = 0;
  if (!ok) Fail("write error", error);
}

bool OutputFile::Store(const char* text, std::size_t size) {
  if (size == 0) return true;
  if (!TranslatesLineEnds()) return WriteAll(file_, text, size);
  // Each piece grows to at most twice its size.
  if (translatedCapacity_ < 2 * kTranslatedPiece) {
    translated_ = std::make_unique_for_overwrite<char[]>(2 * kTranslatedPiece);
    translatedCapacity_ = 2 * kTranslatedPiece;
  }
  while (size != 0) {
    const std::size_t piece = std::min(size, kTranslatedPiece);
    const char* end = TranslateLineEnds(text, piece, translated_.get());
    if (!WriteAll(file_, translated_.get(), static_cast<std::size_t>(end - translated_.get()))) return false;
    text += piece;
    size -= piece;
  }
  return true;
}

void OutputFile::Close() {
  if (file_ == nullptr) return;
  const char* action = nullptr;
  int error = 0;
  if (!Store(buffer_.get(), size_)) {
    action = "write error";
    error = errno;
  }
  size_ = 0;
  capacity_ = 0;
  buffer_.reset();
  translated_.reset();
  translatedCapacity_ = 0;
  std::FILE* file = std::exchange(file_, nullptr);
  errno = 0;
  if (std::fclose(file) != 0 && action == nullptr) {
    action = "close error";
    error = errno != 0 ? errno : EIO;
  }
  if (action != nullptr) Fail(action, error);
}

void OutputFile::Fail(const char* action, int error) const {
  throw OutputError(fmt::format("{}: {}: {}", path_.string(), action, std::generic_category().message(error)));
}

}  // namespace korvane
