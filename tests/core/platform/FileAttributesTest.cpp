#include "core/platform/FileAttributes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tabula;
namespace fs = std::filesystem;

namespace {

class ClearReadOnlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh directory per run: other checkouts may run these tests at the same time.
        std::string pattern = (fs::temp_directory_path() / "tabula-clearreadonly-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string MakeFile(const std::string& name, fs::perms perms) {
        const fs::path path = dir / name;
        std::ofstream(path) << "rom";
        fs::permissions(path, perms);
        return path.string();
    }
    fs::path dir;
};

TEST_F(ClearReadOnlyTest, ReadOnlyFileBecomesOwnerWritableAndKeepsItsOtherBits) {
    using P = fs::perms;
    const std::string path =
        MakeFile("game.smc", P::owner_read | P::group_read | P::others_read | P::owner_exec);
    ASSERT_TRUE(ClearReadOnly(path));
    EXPECT_EQ(fs::status(path).permissions(), P::owner_all | P::group_read | P::others_read);
    EXPECT_TRUE(ClearReadOnly(path)) << "already writable: written back as it is";
    EXPECT_EQ(fs::status(path).permissions(), P::owner_all | P::group_read | P::others_read);
    EXPECT_TRUE(fs::remove(path));
}

TEST_F(ClearReadOnlyTest, NoFileMeansFalseAndNothingChanged) {
    const auto before = fs::status(dir).permissions();
    EXPECT_FALSE(ClearReadOnly((dir / "missing.smc").string()));
    EXPECT_FALSE(fs::exists(dir / "missing.smc"));
    EXPECT_FALSE(ClearReadOnly(dir.string())) << "a directory is not a file";
    EXPECT_EQ(fs::status(dir).permissions(), before);
    fs::create_symlink(dir / "gone.smc", dir / "dangling.smc");
    EXPECT_FALSE(ClearReadOnly((dir / "dangling.smc").string()));
}

} // namespace
