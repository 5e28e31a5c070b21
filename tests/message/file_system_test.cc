// The real file system behind the attachment store: a new file never
// replaces an old one, a failed create leaves nothing, contents come back
// byte for byte, and each failure is reported by its errno.
#include "message/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace korimba::testing {
namespace {

class SystemFileSystemTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }
  std::string Read(const std::string& name) {
    std::string data;
    EXPECT_EQ(files_.ReadFile(Path(name), &data), 0) << name;
    return data;
  }

  ScratchDir dir_{"h4files"};
  FileSystem& files_ = *SystemFileSystem();
};

TEST_F(SystemFileSystemTest, CreateNeverReplacesAndFailsWithoutLeavingAFile) {
  ASSERT_EQ(files_.CreateFile(Path("12"), "old").error, 0);
  const FileSystem::CreateResult again = files_.CreateFile(Path("12"), "new");
  EXPECT_EQ(again.error, EEXIST);
  EXPECT_FALSE(again.opened);
  EXPECT_EQ(Read("12"), "old");

  const FileSystem::CreateResult missing = files_.CreateFile(Path("no/such/dir/13"), "x");
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_FALSE(missing.opened);
  EXPECT_EQ(Listing(dir_.path()), std::vector<std::string>{"12"});
}

// Bytes of every value, NULs included, in a file larger than any one read.
TEST_F(SystemFileSystemTest, ContentsComeBackByteForByte) {
  std::string data;
  for (int i = 0; i < 300000; ++i) data.push_back(static_cast<char>(i * 7 % 256));
  ASSERT_EQ(files_.CreateFile(Path("big"), data).error, 0);
  EXPECT_EQ(Read("big"), data);
  ASSERT_EQ(files_.CreateFile(Path("empty"), "").error, 0);
  EXPECT_EQ(Read("empty"), "");
}

TEST_F(SystemFileSystemTest, RenameReplacesWholeAndMissingFilesAreEnoent) {
  ASSERT_EQ(files_.CreateFile(Path("target"), std::string(1000, 'o')).error, 0);
  ASSERT_EQ(files_.CreateFile(Path("tmp"), "short").error, 0);
  EXPECT_EQ(files_.Rename(Path("tmp"), Path("target")), 0);
  EXPECT_EQ(Read("target"), "short");
  EXPECT_EQ(Listing(dir_.path()), std::vector<std::string>{"target"});

  std::string data;
  EXPECT_EQ(files_.ReadFile(Path("gone"), &data), ENOENT);
  EXPECT_EQ(files_.Rename(Path("gone"), Path("target")), ENOENT);
  EXPECT_EQ(files_.Remove(Path("target")), 0);
  EXPECT_EQ(files_.Remove(Path("target")), ENOENT);
}

}  // namespace
}  // namespace korimba::testing
