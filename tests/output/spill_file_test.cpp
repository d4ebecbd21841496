#include "output/spill_file.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "output/output_file.h"
#include "test_files.h"

namespace korvane {
namespace {

using testing::TempDir;

bool IsEmptyFolder(const std::filesystem::path& folder) {
  return std::filesystem::directory_iterator(folder) == std::filesystem::directory_iterator();
}

TEST(SpillFileTest, KeepsItsDataWithoutANameInTheFolder) {
  TempDir dir;
  SpillFile file(dir / ".scratch");
  EXPECT_TRUE(IsEmptyFolder(dir.path()));
  std::vector<std::uint32_t> data(1 << 20);
  std::iota(data.begin(), data.end(), 7u);
  file.Append(data.data(), 4);
  file.Append(data.data() + 1, (data.size() - 1) * 4);
  EXPECT_EQ(file.Size(), data.size() * 4);
  std::vector<std::uint32_t> back(1000);
  file.ReadAt(4 * 500'000, back.data(), back.size() * 4);
  EXPECT_EQ(back.front(), 500'007u);
  EXPECT_EQ(back.back(), 501'006u);
  // Reading past the end is an error, not a short buffer.
  try {
    file.ReadAt(file.Size() - 4, back.data(), 8);
    ADD_FAILURE() << "read past the end";
  } catch (const OutputError& error) {
    EXPECT_EQ(std::string(error.what()), (dir / ".scratch").string() + ": read error: the file ends at byte " +
                                             std::to_string(file.Size()) + ", before the 4 bytes wanted there");
  }
  file.Close();
  EXPECT_THROW(file.Append(data.data(), 4), OutputError);
  EXPECT_TRUE(IsEmptyFolder(dir.path()));
}

}  // namespace
}  // namespace korvane
