#pragma once

// An output file whose every open, write and close is checked.
//
// Its bytes are collected in a large buffer and handed to the system about
// one buffer per write, in whole pages of the file cache; a failure throws
// OutputError naming the path and the system's reason, so nothing reports
// success after a failed write.
//
// A file is text or binary. Text lines are written with "\n"; in CRLF mode
// every "\n" of a text file is stored as carriage return + line feed, the
// bytes a Windows text-mode stream stores (the translation is done a buffer
// at a time, when the text is handed over). A binary file stores its bytes
// as written, whatever the run's line ends: a 0x0A byte in it is data.
//
// Writers that format a lot of text put it straight into the buffer:
//   char* out = file.Reserve(most);  ... fill at most `most` bytes ...  file.Commit(out);

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane {

enum class LineEnds { kLf, kCrlf };

class OutputError : public std::runtime_error {
 public:
  explicit OutputError(const std::string& what) : std::runtime_error(what) {}
};

class OutputFile {
 public:
  enum class Mode { kTruncate, kAppend };
  enum class Kind { kText, kBinary };

  OutputFile() = default;
  // A text file, stored with the run's line ends.
  OutputFile(const std::filesystem::path& path, Mode mode, LineEnds lineEnds);
  // A binary file, stored byte for byte.
  static OutputFile Binary(const std::filesystem::path& path, Mode mode);
  ~OutputFile();  // closes without reporting; call Close() to have errors reported
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  const std::filesystem::path& Path() const { return path_; }
  Kind ContentKind() const { return kind_; }

  void Write(std::string_view text);
  void Put(char c) { Write(std::string_view(&c, 1)); }
  // Room for `most` more bytes at the end of the buffered text, handing the
  // buffered text to the system first when it would not fit. The room is
  // valid until the next call on the file.
  char* Reserve(std::size_t most);
  // Ends the buffered text at `end`, within the room of the last Reserve.
  void Commit(const char* end) { size_ = static_cast<std::size_t>(end - buffer_.get()); }
  // Hands the buffered text to the system.
  void Flush();
  // Flushes and closes; throws OutputError when any of it failed.
  void Close();

 private:
  OutputFile(const std::filesystem::path& path, Mode mode, Kind kind, LineEnds lineEnds);

  // Hands the buffer to the system and empties it; throws on a failed write.
  void Drain();
  // Whether "\n" is stored as carriage return + line feed: text in CRLF mode.
  bool TranslatesLineEnds() const { return kind_ == Kind::kText && lineEnds_ == LineEnds::kCrlf; }
  // Hands `size` bytes to the system, a text file's translated in CRLF mode;
  // false with errno set when the system took less.
  bool Store(const char* text, std::size_t size);
  // Hands the whole pages of the buffered text to the system and makes room
  // for `most` more bytes; throws on a failed write.
  void MakeRoom(std::size_t most);
  [[noreturn]] void Fail(const char* action, int error) const;

  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  Kind kind_ = Kind::kText;
  LineEnds lineEnds_ = LineEnds::kLf;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  // CRLF mode: the translated text of one buffer.
  std::unique_ptr<char[]> translated_;
  std::size_t translatedCapacity_ = 0;
};

}  // namespace korvane
