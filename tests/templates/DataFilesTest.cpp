#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "templates/DataFiles.h"

namespace fs = std::filesystem;
using templates::DataFiles;

namespace {

// An installed tree: <root>/usr/bin, <root>/usr/share/levelbook, and a user data folder.
class DataFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "levelbook-data-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char* folder : {"usr/bin", "usr/share/levelbook", "home/data"}) fs::create_directories(root_ / folder);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Put(const char* folder) { std::ofstream(root_ / folder / "work.xlsx") << "x"; }
  fs::path Bin() const { return root_ / "usr/bin"; }
  std::vector<fs::path> Folders() const { return DataFiles::Folders(Bin(), {root_ / "home/data"}); }

  fs::path root_;
};

}  // namespace

TEST_F(DataFilesTest, SearchesShareThenProgramFolderThenTheCallersFolders) {
  const std::vector<fs::path> folders = Folders();
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_EQ(folders[0], root_ / "usr/share/levelbook");  // normalised, no "bin/.."
  EXPECT_EQ(folders[1], Bin());
  EXPECT_EQ(folders[2], root_ / "home/data");
  EXPECT_TRUE(DataFiles::Folders({}).empty());
}

TEST_F(DataFilesTest, FindsTheFirstFolderHoldingTheFile) {
  struct Case {
    std::vector<const char*> holding;
    const char* found;  // nullptr: none
  };
  const Case cases[] = {
      {{}, nullptr},
      {{"home/data"}, "home/data"},
      {{"usr/bin", "home/data"}, "usr/bin"},
      {{"usr/share/levelbook", "usr/bin", "home/data"}, "usr/share/levelbook"},
  };
  for (const Case& c : cases) {
    for (const char* folder : {"usr/bin", "usr/share/levelbook", "home/data"}) fs::remove(root_ / folder / "work.xlsx");
    for (const char* folder : c.holding) Put(folder);
    const auto found = DataFiles::Find(DataFiles::kTemplate, Folders());
    if (c.found == nullptr) {
      EXPECT_FALSE(found.has_value()) << *found;
    } else {
      ASSERT_TRUE(found.has_value()) << c.found;
      EXPECT_EQ(*found, root_ / c.found / "work.xlsx");
    }
  }
}

TEST_F(DataFilesTest, SkipsAFolderNamedLikeTheFileAndFollowsLinks) {
  fs::create_directory(root_ / "usr/share/levelbook/work.xlsx");
  Put("home/data");
  fs::create_symlink(root_ / "home/data/work.xlsx", Bin() / "work.xlsx");
  EXPECT_EQ(DataFiles::Find(DataFiles::kTemplate, Folders()), Bin() / "work.xlsx");
}

// The test program lives in the build tree's bin/, beside the generated data files.
TEST(DataFiles, TheRunningProgramFindsTheBuildTreesFiles) {
  EXPECT_EQ(DataFiles::ProgramFolder(), fs::path(LEVELBOOK_BIN_DIR));
  EXPECT_EQ(DataFiles::Locate(DataFiles::kSample), fs::path(LEVELBOOK_BIN_DIR) / "sample.xlsx");
  EXPECT_EQ(DataFiles::Locate("missing.xlsx"), fs::path(LEVELBOOK_BIN_DIR).parent_path() / "share/levelbook/missing.xlsx");
}
