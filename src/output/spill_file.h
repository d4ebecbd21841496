#pragma once

// A scratch file of binary data: what a writer cannot keep in memory until
// the replicate ends, stored beside the replicate's files and read back in
// pieces.
//
// The file is created under a name of its own and the name is removed at
// once, so no directory listing shows it and it leaves nothing behind,
// however the program ends: its space is given back when the file is closed
// (Close, the destructor, or the end of the process). Every failure to
// create it, remove its name, write or read it throws OutputError naming the
// path and the system's reason.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace korvane {

class SpillFile {
 public:
  SpillFile() = default;
  // Creates `path` (emptying a file of that name), for reading and writing.
  explicit SpillFile(const std::filesystem::path& path);
  ~SpillFile();  // closes without reporting
  SpillFile(SpillFile&& other) noexcept;
  SpillFile& operator=(SpillFile&& other) noexcept;
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  bool IsOpen() const { return descriptor_ >= 0; }
  const std::filesystem::path& Path() const { return path_; }
  // The bytes appended so far.
  std::uint64_t Size() const { return size_; }

  // Appends `size` bytes at the end of the file.
  void Append(const void* data, std::size_t size);
  // Reads `size` bytes from `offset`; the file must hold them.
  void ReadAt(std::uint64_t offset, void* data, std::size_t size) const;
  // Closes the file, giving its space back. Nothing is reported: the data
  // were checked as they were read.
  void Close() noexcept;

 private:
  [[noreturn]] void Fail(const char* action, int error) const;

  int descriptor_ = -1;
  std::filesystem::path path_;
  std::uint64_t size_ = 0;
};

}  // namespace korvane
