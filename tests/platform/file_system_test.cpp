#include "platform/file_system.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

struct TreeCase {
  const char* name;
  std::vector<std::string> folders;    // made under the root, in this order
  std::vector<std::string> files;      // made under the root
  std::vector<std::string> readOnly;   // of the files, the ones made read-only
  std::vector<std::string> survivors;  // what must still exist afterwards ("" is the root)
};

class DeleteTreeTest : public testing::TestWithParam<TreeCase> {};

TEST_P(DeleteTreeTest, RemovesWhatCanGoAndKeepsTheRest) {
  const TreeCase& tree = GetParam();
  TempDir dir;
  const fs::path root = dir / "temp";
  fs::create_directory(root);
  for (const auto& folder : tree.folders) fs::create_directory(root / folder);
  for (const auto& file : tree.files) WriteFileText(root / file, "x");
  for (const auto& file : tree.readOnly) chmod((root / file).c_str(), 0444);

  DeleteTree(root.c_str());

  std::vector<std::string> left;
  if (fs::exists(root)) {
    left.push_back("");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      left.push_back(fs::relative(entry.path(), root).string());
    }
  }
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = tree.survivors;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, DeleteTreeTest,
    testing::Values(
        TreeCase{"Empty", {}, {}, {}, {}},
        TreeCase{"NestedFoldersWithFiles",
                 {"a", "a/b", "c"},
                 {"1.jpg", "a/2.bmp", "a/b/3", "a/b/.hidden", "c/4"},
                 {},
                 {}},
        TreeCase{"ReadOnlyFileKeepsItsFoldersUpToTheRoot",
                 {"a", "a/b", "c"},
                 {"1.jpg", "a/b/locked", "a/b/free", "c/4"},
                 {"a/b/locked"},
                 {"", "a", "a/b", "a/b/locked"}}),
    [](const testing::TestParamInfo<TreeCase>& info) { return std::string(info.param.name); });

TEST(DeleteTree, LeavesAMissingPathAndAPlainFileAlone) {
  TempDir dir;
  DeleteTree((dir / "missing").c_str());
  EXPECT_FALSE(fs::exists(dir / "missing"));

  WriteFileText(dir / "temp", "user's file");
  DeleteTree((dir / "temp").c_str());
  EXPECT_EQ(testing_support::ReadFileText(dir / "temp"), "user's file");
}

TEST(DeleteTree, RemovesLinksWithoutFollowingThem) {
  TempDir dir;
  fs::create_directory(dir / "outside");
  WriteFileText(dir / "outside" / "keep", "x");
  fs::create_directory(dir / "temp");
  fs::create_directory_symlink(dir / "outside", dir / "temp" / "link");

  DeleteTree((dir / "temp").c_str());
  EXPECT_FALSE(fs::exists(dir / "temp"));
  EXPECT_TRUE(fs::exists(dir / "outside" / "keep"));

  // A link given as the folder itself is not a folder: nothing behind it goes.
  fs::create_directory_symlink(dir / "outside", dir / "alias");
  DeleteTree((dir / "alias").c_str());
  EXPECT_TRUE(fs::exists(dir / "outside" / "keep"));
}

}  // namespace
