#include "core/platform/PrivateDirectory.h"
#include "core/platform/CurrentDirectory.h"
#include "core/platform/EmergencyCleanup.h"

#include "tests/support/EnvironmentOverride.h"
#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace tabula;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

using TTmpDirOverride = test::TEnvironmentOverride;

TEST(PrivateDirectory, TemporaryDirectoryComesFromTmpdirElseTmp) {
    {
        const TTmpDirOverride tmp("TMPDIR", "/var/tmp/");
        EXPECT_EQ(TemporaryDirectory(), "/var/tmp");
    }
    const TTmpDirOverride tmp("TMPDIR", "");
    EXPECT_EQ(TemporaryDirectory(), "/tmp");
}

TEST(PrivateDirectory, IsMadeForUsAloneAndRemovedWithAllItHolds) {
    TScratchDirectory scratch;
    test::WriteBytes(scratch.File("outside.bin"), "keep me");
    std::string path;
    {
        const TPrivateDirectory dir(scratch.Path().string(), "tabula-x-");
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

TEST(PrivateDirectory, EmergencyCleanupRemovesWhatIsStillRegistered) {
    TScratchDirectory parent;
    std::string kept;
    {
        TPrivateDirectory done(parent.Path().string(), "done-");
        kept = done.Path();
    }
    // Made by a program that is ending at once: neither object ends.
    auto* live = new TPrivateDirectory(parent.Path().string(), "live-");
    std::filesystem::create_directory(live->Path() + "/member");
    WriteBytes(live->Path() + "/member/half.nes", "partial");
    const std::string temporary = parent.File(".tabula-x.tmp");
    WriteBytes(temporary, "half a datafile");
    EmergencyCleanup::AddFile(temporary);
    WriteBytes(parent.File("forgotten.tmp"), "removed by its owner's own code");
    EmergencyCleanup::AddFile(parent.File("forgotten.tmp"));
    EmergencyCleanup::Remove(parent.File("forgotten.tmp"));

    EmergencyCleanup::RunNow();
    EXPECT_EQ(parent.Entries(), std::vector<std::string>{"forgotten.tmp"});
    std::filesystem::create_directory(live->Path()); // so that its end finds it
    delete live;
}

TEST(PrivateDirectory, UnusableParentRaisesAnError) {
    TScratchDirectory scratch;
    EXPECT_THROW(TPrivateDirectory(scratch.File("absent"), "tabula-x-"), EPrivateDirectoryError);
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
