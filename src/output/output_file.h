#pragma once

// A text output file whose every open, write and close is checked.
//
// Text is collected in a large buffer and handed to the system in big
// writes; a failure throws OutputError naming the path and the system's
// reason, so nothing reports success after a failed write. Lines are written
// with "\n"; in CRLF mode every "\n" is stored as carriage return + line feed,
// the bytes a Windows text-mode stream stores.

#include <cstdio>
#include <filesystem>
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

  OutputFile() = default;
  OutputFile(const std::filesystem::path& path, Mode mode, LineEnds lineEnds);
  ~OutputFile();  // closes without reporting; call Close() to have errors reported
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  const std::filesystem::path& Path() const { return path_; }

  void Write(std::string_view text);
  void Put(char c) { Write(std::string_view(&c, 1)); }
  // Hands the buffered text to the system.
  void Flush();
  // Flushes and closes; throws OutputError when any of it failed.
  void Close();

 private:
  // Hands the buffer to the system and empties it; throws on a failed write.
  void Drain();
  [[noreturn]] void Fail(const char* action, int error) const;

  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  LineEnds lineEnds_ = LineEnds::kLf;
  std::string buffer_;
};

}  // namespace korvane
