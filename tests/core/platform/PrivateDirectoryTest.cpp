#include "platform/PrivateDirectory.h"
#include "platform/CurrentDirectory.h"

#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

using namespace tabula;
using tabula::test::TScratchDirectory;
namespace fs = std::filesystem;

namespace {

// Points $TMPDIR somewhere for the test's lifetime.
class TTmpDirOverride {
public:
    explicit TTmpDirOverride(const std::string& value) {
        if (const char* old = std::getenv("TMPDIR")) {
            old_ = old;
        }
        ::setenv("TMPDIR", value.c_str(), 1);
    }
    ~TTmpDirOverride() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::optional<std::string> old_;
};

} // namespace

TEST(PrivateDirectory, TemporaryDirectoryComesFromTmpdirElseTmp) {
    {
        const TTmpDirOverride tmp("/var/tmp/");
        EXPECT_EQ(TemporaryDirectory(), "/var/tmp");
    }
    const TTmpDirOverride tmp("");
    EXPECT_EQ(TemporaryDirectory(), "/tmp");
}

TEST(PrivateDirectory, IsMadeForUsAloneAndRemovedWithAllItHolds) {
    TScratchDirectory scratch;
    const TTmpDirOverride tmp(scratch.Path().string());
    test::WriteBytes(scratch.File("outside.bin"), "keep me");
    std::string path;
    {
        const TPrivateDirectory dir("tabula-x-");
        path = dir.Path();
        EXPECT_EQ(fs::path(path).parent_path(), scratch.Path());
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_all);
        // A read-only folder, a read-only file and links out of the directory.
        fs::create_directory(path + "/sub");
        test::WriteBytes(path + "/sub/file", "x");
        fs::permissions(path + "/sub/file", fs::perms::owner_read);
        fs::permissions(path + "/sub", fs::perms::owner_read | fs::perms::owner_exec);
        fs::create_symlink(scratch.File("outside.bin"), path + "/link");
        fs::create_directory_symlink(scratch.Path(), path + "/dirlink");

        EXPECT_TRUE(dir.Empty());
        EXPECT_TRUE(DirectoryEntries(path).empty());
        EXPECT_TRUE(fs::is_directory(path));
        test::WriteBytes(path + "/left", "y");
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(test::ReadBytes(scratch.File("outside.bin")), "keep me");
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"outside.bin"});
}

TEST(PrivateDirectory, UnusableTemporaryDirectoryRaisesAnError) {
    TScratchDirectory scratch;
    const TTmpDirOverride tmp(scratch.File("absent"));
    EXPECT_THROW(TPrivateDirectory("tabula-x-"), EPrivateDirectoryError);
}

TEST(CurrentDirectory, ScopeReturnsToTheDirectoryItLeft) {
    TScratchDirectory scratch;
    fs::create_directory(scratch.File("a"));
    fs::create_directory(scratch.File("b"));
    const fs::path before = fs::current_path();
    {
        const TCurrentDirectoryScope first(scratch.File("a"));
        EXPECT_EQ(fs::current_path(), scratch.Path() / "a");
        EXPECT_EQ(AbsolutePath("x.zip"), (scratch.Path() / "a" / "x.zip").string());
        EXPECT_EQ(AbsolutePath("/y.zip"), "/y.zip");
        {
            const TCurrentDirectoryScope second(scratch.File("b"));
            EXPECT_EQ(fs::current_path(), scratch.Path() / "b");
        }
        EXPECT_EQ(fs::current_path(), scratch.Path() / "a");
        EXPECT_THROW(TCurrentDirectoryScope(scratch.File("absent")), ECurrentDirectoryError);
        EXPECT_EQ(fs::current_path(), scratch.Path() / "a");
    }
    EXPECT_EQ(fs::current_path(), before);
}
