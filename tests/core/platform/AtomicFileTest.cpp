#include "core/platform/AtomicFile.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using tabula::EFileWriteError;
using tabula::TAtomicFileCalls;
using tabula::TScopedAtomicFileCalls;
using tabula::WriteFileAtomically;
using tabula::test::ReadBytes;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    return info.st_mode;
}

} // namespace

TEST(AtomicFile, ShortAndInterruptedWritesStillWriteEveryByte) {
    TScratchDirectory dir;
    const std::string bytes(100000, '\xAC');
    int calls = 0;
    TScopedAtomicFileCalls slow(TAtomicFileCalls{
        [&](int fd, const char* data, std::size_t size) -> long {
            if (++calls % 3 == 0) {
                errno = EINTR;
                return -1;
            }
            return static_cast<long>(::write(fd, data, std::min<std::size_t>(size, 777)));
        },
        {},
        {}});
    WriteFileAtomically(dir.File("a.dat"), bytes);
    EXPECT_EQ(ReadBytes(dir.File("a.dat")), bytes);
    EXPECT_GT(calls, 100);
}

TEST(AtomicFile, AWriteThatMakesNoProgressIsAFullDisk) {
    TScratchDirectory dir;
    WriteBytes(dir.File("a.dat"), "old");
    TScopedAtomicFileCalls stuck(
        TAtomicFileCalls{[](int, const char*, std::size_t) { return 0L; }, {}, {}});
    EXPECT_THROW(WriteFileAtomically(dir.File("a.dat"), "new"), EFileWriteError);
    EXPECT_EQ(ReadBytes(dir.File("a.dat")), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.dat"});
}

TEST(AtomicFile, ReplacedFileKeepsItsPermissionsAndANewOneFollowsTheUmask) {
    TScratchDirectory dir;
    const std::string existing = dir.File("kept.dat");
    WriteBytes(existing, "old");
    ::chmod(existing.c_str(), 0640);
    WriteFileAtomically(existing, "new");
    EXPECT_EQ(ModeOf(existing) & 07777, 0640u);
    // Set-user-ID and set-group-ID never come across to a datafile.
    ::chmod(existing.c_str(), 06755);
    WriteFileAtomically(existing, "newer");
    EXPECT_EQ(ModeOf(existing) & 07777, 0755u);

    const mode_t mask = ::umask(022);
    WriteFileAtomically(dir.File("fresh.dat"), "new");
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir.File("fresh.dat")) & 07777, 0644u);
}

TEST(AtomicFile, SymbolicLinkStaysALinkAndItsTargetIsReplaced) {
    TScratchDirectory dir;
    std::filesystem::create_directory(dir.Path() / "real");
    WriteBytes(dir.Path() / "real" / "games.dat", "old");
    std::filesystem::create_symlink("real/games.dat", dir.Path() / "link.dat");
    WriteFileAtomically(dir.File("link.dat"), "new");
    EXPECT_TRUE(S_ISLNK(ModeOf(dir.File("link.dat"))));
    EXPECT_EQ(ReadBytes(dir.Path() / "real" / "games.dat"), "new");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link.dat", "real"}));
}

TEST(AtomicFile, RelativeNameIsWrittenInTheCurrentDirectory) {
    TScratchDirectory dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    WriteFileAtomically("plain.dat", "bytes");
    std::filesystem::current_path(previous);
    EXPECT_EQ(ReadBytes(dir.File("plain.dat")), "bytes");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"plain.dat"});
}
