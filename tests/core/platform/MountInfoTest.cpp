#include "core/platform/MountInfo.h"
#include "core/platform/DriveInfo.h"
#include "core/platform/FileReader.h"
#include "core/platform/VolumeLabel.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tabula;
using namespace tabula::test;

namespace {

const char* const Table =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "30 22 8:17 / /media/user/My\\040Disk rw,nosuid shared:7 master:2 - vfat /dev/sdb1 rw\n"
    "31 22 0:45 / /net rw - nfs4 server:/export rw\n"
    "32 22 0:46 / /media/user/My\\040Disk/inner rw - tmpfs tmpfs rw\n"
    "33 22 0:47 / /net rw - cifs //host/share rw\n"
    "broken line\n";

} // namespace

TEST(MountInfo, ParsesFieldsAndDecodesEscapes) {
    const auto mounts = ParseMountInfo(Table);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[1].MountPoint, "/media/user/My Disk");
    EXPECT_EQ(mounts[1].FsType, "vfat") << "optional fields before the dash are skipped";
    EXPECT_EQ(mounts[1].Source, "/dev/sdb1");
    EXPECT_EQ(mounts[1].Major, 8u);
    EXPECT_EQ(mounts[1].Minor, 17u);
}

TEST(MountInfo, TheLongestAndLatestMountHoldsAPath) {
    const auto mounts = ParseMountInfo(Table);
    struct TCase {
        const char* Path;
        const char* MountPoint;
    };
    const TCase cases[] = {
        {"/home/user/roms/a.zip", "/"},
        {"/media/user/My Disk/a.zip", "/media/user/My Disk"},
        {"/media/user/My Disk/inner/a.zip", "/media/user/My Disk/inner"},
        {"/media/user/My Diskette/a.zip", "/"},
        {"/net/a.zip", "/net"},
    };
    for (const TCase& c : cases) {
        const auto found = FindMount(mounts, c.Path);
        ASSERT_TRUE(found) << c.Path;
        EXPECT_EQ(found->MountPoint, c.MountPoint) << c.Path;
    }
    EXPECT_EQ(FindMount(mounts, "/net/x")->FsType, "cifs") << "the later mount hides the earlier";
}

TEST(MountInfo, NetworkTypesAndLabelEscapes) {
    EXPECT_TRUE(IsNetworkFsType("nfs4"));
    EXPECT_TRUE(IsNetworkFsType("fuse.sshfs"));
    EXPECT_FALSE(IsNetworkFsType("ext4"));
    EXPECT_FALSE(IsNetworkFsType("vfat"));
    EXPECT_EQ(DecodeUdevEscapes("PKBACK#\\x20001"), "PKBACK# 001");
    EXPECT_EQ(DecodeUdevEscapes("odd\\x2"), "odd\\x2");
    EXPECT_EQ(DecodeUdevEscapes("x\\xZZ"), "x\\xZZ");
}

TEST(DriveInfo, AFileOnThisMachineHasADriveWithKnownSize) {
    const std::string root = DriveRootOf(TABULA_TEST_DATA_DIR "/../core/CMakeLists.txt");
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(root.back(), '/');
    const auto drive = QueryDrive(root);
    ASSERT_TRUE(drive);
    EXPECT_GT(drive->TotalSize, 0);
    EXPECT_GE(drive->FreeSize, 0);
    EXPECT_FALSE(QueryDrive(""));
    EXPECT_TRUE(DriveRootOf("/no/such/file").empty());
}

TEST(FileReader, OnlyRegularFilesOpen) {
    TFileReader reader;
    EXPECT_FALSE(reader.Open("/dev/null")) << "a device is not an archive";
    EXPECT_FALSE(reader.Open("/"));
    EXPECT_FALSE(IsExistingFile("/dev/null"));
    ASSERT_TRUE(reader.Open(TABULA_TEST_DATA_DIR "/zip/infozip.zip"));
    EXPECT_EQ(reader.Size(), 258u);
    char bytes[4] = {};
    EXPECT_EQ(reader.ReadAt(254, bytes, 10), 4u) << "a read stops at the end of the file";
    EXPECT_EQ(reader.ReadAt(1000, bytes, 4), 0u);
}

TEST(DriveKind, RemovableDisksAndTheirPartitionsNetworkAndVirtual) {
    TScratchDirectory sys;
    const auto root = sys.Path();
    std::filesystem::create_directories(root / "devices/sdb/sdb1");
    std::filesystem::create_directories(root / "devices/sda/sda2");
    std::filesystem::create_directories(root / "dev/block");
    WriteBytes(root / "devices/sdb/removable", "1\n");
    WriteBytes(root / "devices/sdb/sdb1/partition", "1\n");
    WriteBytes(root / "devices/sda/removable", "0\n");
    WriteBytes(root / "devices/sda/sda2/partition", "2\n");
    std::filesystem::create_directory_symlink("../../devices/sdb/sdb1", root / "dev/block/8:17");
    std::filesystem::create_directory_symlink("../../devices/sdb", root / "dev/block/8:16");
    std::filesystem::create_directory_symlink("../../devices/sda/sda2", root / "dev/block/8:2");

    const auto kind = [&](unsigned major, unsigned minor, const char* fsType) {
        TMountEntry mount;
        mount.Major = major;
        mount.Minor = minor;
        mount.FsType = fsType;
        return DriveKindOf(mount, root.string());
    };
    EXPECT_EQ(kind(8, 17, "vfat"), TDriveKind::Removable) << "a partition asks its disk";
    EXPECT_EQ(kind(8, 16, "vfat"), TDriveKind::Removable);
    EXPECT_EQ(kind(8, 2, "ext4"), TDriveKind::Fixed);
    EXPECT_EQ(kind(8, 99, "ext4"), TDriveKind::Fixed) << "unknown devices count as fixed";
    EXPECT_EQ(kind(0, 45, "nfs4"), TDriveKind::Network);
    EXPECT_EQ(kind(0, 46, "overlay"), TDriveKind::Fixed);
}
