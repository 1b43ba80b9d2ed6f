#include "core/platform/DirectoryListing.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace tabula;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

TEST(DirectoryListing, OrderFoldsAsciiLettersToUpperCaseThenTakesRawBytes) {
    std::vector<std::string> names = {
        "b.smc", "_x.smc", "a.smc", "Z.smc", "A.smc", "ab", "a", "[1]", "\xC3\xA9t\xC3\xA9", "A"};
    std::sort(names.begin(), names.end(), ListingNameLess);
    // "_" (0x5F) and "[" (0x5B) come after the upper-case letters; a prefix
    // first; bytes above 0x7F last; "A" before "a" only because its byte is lower.
    const std::vector<std::string> expected = {
        "A", "a", "A.smc", "a.smc", "ab", "b.smc", "Z.smc", "[1]", "_x.smc", "\xC3\xA9t\xC3\xA9"};
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(ListingNameLess("a", "a"));

    // Long shared prefixes are passed eight bytes at a time; case still folds
    // inside them and after them.
    const struct {
        const char* Less;
        const char* More;
    } pairs[] = {
        {"Game Title 00001 (E).zip", "Game Title 00002 (E).zip"},
        {"game title 00001 (e).zip", "GAME TITLE 00002 (E).zip"},
        {"GAME TITLE 00001 (E).ZIP", "game title 00001 (e).zip"}, // equal but for case
        {"Game Title 0000", "game title 00001"},                  // a prefix, folded
        {"Game Title 12345678a", "GAME TITLE 12345678B"},
    };
    for (const auto& [less, more] : pairs) {
        EXPECT_TRUE(ListingNameLess(less, more)) << less << " < " << more;
        EXPECT_FALSE(ListingNameLess(more, less)) << more << " < " << less;
    }
}

TEST(DirectoryListing, ListsRegularFilesAndLinksToThemOnly) {
    TScratchDirectory dir;
    WriteBytes(dir.Path() / "game.smc", "x");
    WriteBytes(dir.Path() / ".hidden", "x");
    WriteBytes(dir.Path() / "Readonly.nes", "x");
    fs::permissions(dir.Path() / "Readonly.nes", fs::perms::owner_read);
    fs::create_directory(dir.Path() / "sub");
    WriteBytes(dir.Path() / "sub" / "inner.smc", "x");
    fs::create_symlink("game.smc", dir.Path() / "link.smc");
    fs::create_symlink("sub", dir.Path() / "dirlink");
    fs::create_symlink("missing", dir.Path() / "dangling.smc");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);

    const std::vector<std::string> expected = {".hidden", "game.smc", "link.smc", "Readonly.nes"};
    EXPECT_EQ(ListFiles(dir.Path().string()), expected);
    EXPECT_EQ(ListFiles(dir.Path().string() + "/"), expected);
}

TEST(DirectoryListing, MissingOrNonDirectoryPathsAreRefused) {
    TScratchDirectory dir;
    WriteBytes(dir.Path() / "file", "x");
    EXPECT_TRUE(IsDirectory(dir.Path().string()));
    EXPECT_FALSE(IsDirectory(dir.File("file")));
    EXPECT_FALSE(IsDirectory(dir.File("none")));
    EXPECT_FALSE(IsDirectory(""));
    try {
        ListFiles(dir.File("none"));
        FAIL() << "no exception";
    } catch (const EDirectoryError& error) {
        EXPECT_NE(std::string(error.what()).find(dir.File("none")), std::string::npos);
    }
    EXPECT_THROW(ListFiles(dir.File("file")), EDirectoryError);
}

// One level of a tree: the files as ListFiles lists them, the real folders
// (hidden ones too; links to folders are neither), both in the listing's
// order, and the directory's own identity.
TEST(DirectoryListing, ListLevelGivesFilesRealFoldersAndTheDirectorysIdentity) {
    TScratchDirectory dir;
    WriteBytes(dir.Path() / "b.smc", "x");
    WriteBytes(dir.Path() / "A.smc", "x");
    for (const char* folder : {"snes", "NES", ".git", "Empty"}) {
        fs::create_directory(dir.Path() / folder);
    }
    fs::create_directory_symlink(dir.Path(), dir.Path() / "loop");
    fs::create_symlink("b.smc", dir.Path() / "link.smc");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);

    const TDirectoryLevel level = ListLevel(dir.Path().string() + "/");
    EXPECT_EQ(level.Files, (std::vector<std::string>{"A.smc", "b.smc", "link.smc"}));
    EXPECT_EQ(level.Folders, (std::vector<std::string>{".git", "Empty", "NES", "snes"}));
    struct stat info {};
    ASSERT_EQ(::stat(dir.Path().c_str(), &info), 0);
    EXPECT_EQ(level.Device, info.st_dev);
    EXPECT_EQ(level.Inode, info.st_ino);
    EXPECT_NE(ListLevel(dir.File("NES")).Inode, level.Inode);
    EXPECT_THROW(ListLevel(dir.File("none")), EDirectoryError);
}
