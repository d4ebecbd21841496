#include "output/output_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_files.h"

namespace korvane {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;
using ::testing::StartsWith;
using testing::TempDir;
using testing::WriteFile;

std::string CrlfOf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Text of `size` bytes with line ends at irregular places, so that some fall
// on the buffer's boundary.
std::string LinesOfSize(std::size_t size) {
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; text.size() < size; ++i) {
    text.append(i % 97, static_cast<char>('a' + i % 26));
    text += '\n';
  }
  text.resize(size);
  return text;
}

template <typename Call>
std::string MessageOf(Call call) {
  try {
    call();
  } catch (const OutputError& error) {
    return error.what();
  }
  return "(no OutputError)";
}

TEST(OutputFileTest, LfModeStoresTheTextAsGiven) {
  TempDir dir;
  OutputFile file(dir / "a.txt", OutputFile::Mode::kTruncate, LineEnds::kLf);
  EXPECT_TRUE(file.IsOpen());
  file.Write("one\ntwo\r\n");
  file.Put('x');
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadFile(dir / "a.txt"), "one\ntwo\r\nx");
  file.Close();  // a second close does nothing
}

TEST(OutputFileTest, CrlfModeTranslatesEveryLineFeed) {
  TempDir dir;
  OutputFile file(dir / "a.txt", OutputFile::Mode::kTruncate, LineEnds::kCrlf);
  file.Write("a\nb\n\nc");
  file.Put('\n');
  file.Write("");
  file.Close();
  EXPECT_EQ(ReadFile(dir / "a.txt"), "a\r\nb\r\n\r\nc\r\n");
}

TEST(OutputFileTest, LargeTextCrossesTheBufferIntact) {
  // Many small pieces, and pieces larger than the buffer, in both modes.
  const std::string text = LinesOfSize((std::size_t{5} << 20) + 12345);
  for (LineEnds ends : {LineEnds::kLf, LineEnds::kCrlf}) {
    TempDir dir;
    OutputFile file(dir / "a.txt", OutputFile::Mode::kTruncate, ends);
    std::size_t at = 0;
    for (std::size_t piece = 1; at < text.size(); piece = piece * 7 % 3000001 + 1) {
      const std::size_t length = std::min(piece, text.size() - at);
      file.Write(std::string_view(text).substr(at, length));
      at += length;
    }
    file.Close();
    const std::string expected = ends == LineEnds::kLf ? text : CrlfOf(text);
    const std::string stored = ReadFile(dir / "a.txt");
    EXPECT_EQ(stored.size(), expected.size());
    EXPECT_TRUE(stored == expected);
  }
}

// Every byte value, line feeds and carriage returns among them, in a block
// of `size` bytes.
std::string BytesOfSize(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 256) % 256);
  return bytes;
}

TEST(OutputFileTest, ABinaryFileKeepsItsBytesWhateverTheLineEnds) {
  // Small writes, reserved room, and blocks larger than the buffer: no 0x0A
  // byte gains a carriage return, also in a run that writes CRLF text.
  const std::string small = BytesOfSize(1000);
  const std::string large = BytesOfSize((std::size_t{3} << 20) + 7);
  TempDir dir;
  OutputFile file = OutputFile::Binary(dir / "a.bin", OutputFile::Mode::kTruncate);
  EXPECT_EQ(file.ContentKind(), OutputFile::Kind::kBinary);
  file.Write(small);
  file.Put('\n');
  char* out = file.Reserve(small.size());
  std::memcpy(out, small.data(), small.size());
  file.Commit(out + small.size());
  file.Write(large);
  // A moved file stays binary.
  OutputFile moved = std::move(file);
  EXPECT_EQ(moved.ContentKind(), OutputFile::Kind::kBinary);
  moved.Write("\n\r\n");
  moved.Close();
  const std::string stored = ReadFile(dir / "a.bin");
  const std::string expected = small + '\n' + small + large + "\n\r\n";
  EXPECT_EQ(stored.size(), expected.size());
  EXPECT_TRUE(stored == expected);
}

TEST(OutputFileTest, TextAndBinaryFilesOfOneCrlfRunKeepTheirOwnBytes) {
  TempDir dir;
  OutputFile text(dir / "a.txt", OutputFile::Mode::kTruncate, LineEnds::kCrlf);
  OutputFile binary = OutputFile::Binary(dir / "a.bin", OutputFile::Mode::kTruncate);
  EXPECT_EQ(text.ContentKind(), OutputFile::Kind::kText);
  for (OutputFile* file : {&text, &binary}) file->Write("a\nb\n");
  text.Close();
  binary.Close();
  EXPECT_EQ(ReadFile(dir / "a.txt"), "a\r\nb\r\n");
  EXPECT_EQ(ReadFile(dir / "a.bin"), "a\nb\n");
  // Appending to a binary file keeps what it held.
  OutputFile again = OutputFile::Binary(dir / "a.bin", OutputFile::Mode::kAppend);
  again.Write("\n");
  again.Close();
  EXPECT_EQ(ReadFile(dir / "a.bin"), "a\nb\n\n");
}

TEST(OutputFileTest, ReservedRoomAndWritesKeepTheirOrder) {
  // Text formatted into reserved room, small and beyond the buffer's size,
  // between ordinary writes; only what is committed is stored.
  for (LineEnds ends : {LineEnds::kLf, LineEnds::kCrlf}) {
    TempDir dir;
    std::string expected;
    OutputFile file(dir / "a.txt", OutputFile::Mode::kTruncate, ends);
    for (std::size_t size : {std::size_t{10}, std::size_t{1} << 20, std::size_t{3} << 20, std::size_t{5},
                             std::size_t{0}, (std::size_t{1} << 20) - 3, std::size_t{777777}}) {
      const std::string text = LinesOfSize(size);
      char* out = file.Reserve(size + 100);
      std::memcpy(out, text.data(), text.size());
      std::memset(out + text.size(), 'X', 100);  // room used but not committed
      file.Commit(out + text.size());
      expected += text;
      file.Write("|\n");
      expected += "|\n";
    }
    file.Close();
    const std::string stored = ReadFile(dir / "a.txt");
    const std::string wanted = ends == LineEnds::kLf ? expected : CrlfOf(expected);
    EXPECT_EQ(stored.size(), wanted.size());
    EXPECT_TRUE(stored == wanted);
  }
}

TEST(OutputFileTest, TruncateEmptiesAndAppendKeeps) {
  TempDir dir;
  WriteFile(dir / "a.txt", "old\n");
  WriteFile(dir / "b.txt", "old\n");
  {
    OutputFile a(dir / "a.txt", OutputFile::Mode::kTruncate, LineEnds::kLf);
    OutputFile b(dir / "b.txt", OutputFile::Mode::kAppend, LineEnds::kCrlf);
    a.Write("new\n");
    b.Write("new\n");
    a.Close();
    b.Close();
  }
  EXPECT_EQ(ReadFile(dir / "a.txt"), "new\n");
  EXPECT_EQ(ReadFile(dir / "b.txt"), "old\nnew\r\n");
}

TEST(OutputFileTest, FlushHandsTheTextToTheSystem) {
  TempDir dir;
  OutputFile file(dir / "a.txt", OutputFile::Mode::kTruncate, LineEnds::kLf);
  file.Write("line\n");
  EXPECT_EQ(ReadFile(dir / "a.txt"), "");
  file.Flush();
  EXPECT_EQ(ReadFile(dir / "a.txt"), "line\n");
  file.Close();
}

TEST(OutputFileTest, DestructorAndMoveKeepTheText) {
  TempDir dir;
  {
    OutputFile first(dir / "a.txt", OutputFile::Mode::kTruncate, LineEnds::kLf);
    first.Write("one ");
    OutputFile second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(second.Path(), dir / "a.txt");
    second.Write("two ");
    OutputFile third;
    third = std::move(second);
    third.Write("three");
  }
  EXPECT_EQ(ReadFile(dir / "a.txt"), "one two three");
}

TEST(OutputFileTest, LongPathsAreNotCut) {
  TempDir dir;
  std::filesystem::path folder = dir.path();
  for (int i = 0; i < 6; ++i) folder /= std::string(100, static_cast<char>('a' + i));
  std::filesystem::create_directories(folder);
  OutputFile file(folder / "Origin.txt", OutputFile::Mode::kTruncate, LineEnds::kLf);
  file.Write("x");
  file.Close();
  EXPECT_EQ(ReadFile(folder / "Origin.txt"), "x");
}

TEST(OutputFileTest, AFileThatCannotBeCreatedNamesThePath) {
  TempDir dir;
  WriteFile(dir / "plain", "");
  const std::filesystem::path path = dir / "plain" / "Origin.txt";
  EXPECT_EQ(MessageOf([&] { OutputFile(path, OutputFile::Mode::kTruncate, LineEnds::kLf); }),
            path.string() + ": cannot create: Not a directory");
  EXPECT_EQ(MessageOf([&] { OutputFile(path, OutputFile::Mode::kAppend, LineEnds::kLf); }),
            path.string() + ": cannot open for appending: Not a directory");
  EXPECT_THAT(MessageOf([&] { OutputFile(dir.path(), OutputFile::Mode::kTruncate, LineEnds::kLf); }),
              StartsWith(dir.path().string() + ": cannot create: "));
  EXPECT_THAT(MessageOf([] { OutputFile("/proc/korvane/Origin.txt", OutputFile::Mode::kTruncate, LineEnds::kLf); }),
              StartsWith("/proc/korvane/Origin.txt: cannot create: "));
}

TEST(OutputFileTest, AFailedWriteIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  {
    OutputFile file("/dev/full", OutputFile::Mode::kTruncate, LineEnds::kLf);
    file.Write("lost\n");
    EXPECT_EQ(MessageOf([&] { file.Close(); }), "/dev/full: write error: No space left on device");
    EXPECT_FALSE(file.IsOpen());
  }
  {
    OutputFile file("/dev/full", OutputFile::Mode::kTruncate, LineEnds::kCrlf);
    file.Write("lost\n");
    EXPECT_THAT(MessageOf([&] { file.Flush(); }), HasSubstr("write error"));
    // Text beyond the buffer reaches the system, and the failure, at once.
    EXPECT_THAT(MessageOf([&] { file.Write(LinesOfSize(std::size_t{3} << 20)); }), HasSubstr("write error"));
  }
}

TEST(OutputFileTest, AFailedWriteOfReservedTextIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  OutputFile file("/dev/full", OutputFile::Mode::kTruncate, LineEnds::kLf);
  char* out = file.Reserve(4);
  std::memcpy(out, "lost", 4);
  file.Commit(out + 4);
  // Room beyond what is buffered hands the buffer to the system first.
  EXPECT_THAT(MessageOf([&] { file.Reserve(std::size_t{2} << 20); }), HasSubstr("write error"));
  out = file.Reserve(4);
  std::memcpy(out, "more", 4);
  file.Commit(out + 4);
  EXPECT_EQ(MessageOf([&] { file.Close(); }), "/dev/full: write error: No space left on device");
}

TEST(OutputFileTest, WritingToAClosedFileIsAnError) {
  TempDir dir;
  OutputFile file(dir / "a.txt", OutputFile::Mode::kTruncate, LineEnds::kLf);
  file.Close();
  EXPECT_THAT(MessageOf([&] { file.Write("x"); }), HasSubstr("a.txt: write error"));
  EXPECT_THAT(MessageOf([&] { file.Reserve(1); }), HasSubstr("a.txt: write error"));
}

}  // namespace
}  // namespace korvane
