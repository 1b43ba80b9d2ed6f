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

// Someone else's link in /tmp-like folders must not make us replace the file
// it points at; links that the system itself would follow still work.
TEST(AtomicFile, LinksInFoldersEveryoneWritesToAreFollowedOnlyAsTheSystemWould) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a link another owner (lchown) needs root";
    }
    constexpr uid_t Other = 12345;
    const uid_t me = ::geteuid();
    struct TCase {
        const char* Name;
        mode_t FolderMode;
        uid_t FolderOwner;
        uid_t LinkOwner;
        bool Followed;
    };
    const TCase cases[] = {
        {"another's link in a sticky shared folder", 01777, me, Other, false},
        {"my own link there", 01777, me, me, true},
        {"the folder owner's link there", 01777, Other, Other, true},
        {"another's link in a shared folder without the sticky bit", 0777, me, Other, true},
        {"another's link in a sticky folder only I write to", 01755, me, Other, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScratchDirectory dir;
        const std::filesystem::path shared = dir.Path() / "shared";
        std::filesystem::create_directory(shared);
        ::chmod(shared.c_str(), c.FolderMode);
        ASSERT_EQ(::chown(shared.c_str(), c.FolderOwner, static_cast<gid_t>(-1)), 0);
        WriteBytes(dir.Path() / "victim.dat", "someone's file");
        const std::string link = (shared / "out.dat").string();
        std::filesystem::create_symlink("../victim.dat", link);
        ASSERT_EQ(::lchown(link.c_str(), c.LinkOwner, static_cast<gid_t>(-1)), 0);
        if (c.Followed) {
            WriteFileAtomically(link, "datafile");
            EXPECT_EQ(ReadBytes(dir.Path() / "victim.dat"), "datafile");
        } else {
            try {
                WriteFileAtomically(link, "datafile");
                ADD_FAILURE() << "the link was followed";
            } catch (const tabula::EFileCreateError& error) {
                EXPECT_NE(std::string(error.what()).find("symbolic link \"" + link + "\""),
                          std::string::npos)
                    << error.what();
            }
            EXPECT_EQ(ReadBytes(dir.Path() / "victim.dat"), "someone's file");
        }
        EXPECT_TRUE(S_ISLNK(ModeOf(link)));
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"shared", "victim.dat"}));
        ::chmod(shared.c_str(), 0700);
    }
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
