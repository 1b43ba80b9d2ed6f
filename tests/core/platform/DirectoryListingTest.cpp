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
