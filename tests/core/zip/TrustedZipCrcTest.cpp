#include "core/zip/TrustedZipCrc.h"

#include "core/zip/ZipComponent.h"
#include "tests/support/Deflate.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <string>

using namespace tabula;
using tabula::test::TScratchDirectory;

// A member's header is read with its local header in one read when it fits
// and apart when a long name pushes the data further: the CRC without the
// header is right either way, stored or deflated, read from the very file
// the listing kept open.
TEST(TrustedZipCrc, HeaderFromTheListedFileWhereverTheDataStarts) {
    TScratchDirectory dir;
    for (const size_t nameLength : {8u, 700u, 3000u}) {
        for (const bool deflate : {false, true}) {
            for (const uint32_t header : {16u, 512u}) {
                const std::string data = test::PatternBytes(20000 + header, 'r');
                const std::string name = std::string(nameLength - 4, 'n') + ".nes";
                test::TTestMember member(name, deflate ? test::Deflated(data) : data);
                if (deflate) {
                    member.Deflated(static_cast<uint32_t>(data.size()), test::TestCrc32(data));
                }
                const std::string path =
                    test::WriteTestFile(dir, "a.zip", test::BuildZip({member}).Bytes);
                const std::string where = std::to_string(nameLength) +
                                          (deflate ? " deflated " : " stored ") +
                                          std::to_string(header);

                TZipComponent zip;
                zip.KeepListedArchiveOpen(true);
                ASSERT_TRUE(zip.ListArchive(path).Ok()) << where;
                const std::unique_ptr<TFileReader> file = zip.TakeListedArchive();
                ASSERT_NE(file, nullptr) << where;
                EXPECT_EQ(zip.TakeListedArchive(), nullptr) << where; // handed over once
                const std::optional<uint32_t> crc =
                    TrustedCrcWithoutHeader(*file, zip.DirEntries()[0], header,
                                            static_cast<uint64_t>(zip.DirectoryOffset()));
                EXPECT_EQ(crc, test::TestCrc32(data.substr(header))) << where;
            }
        }
    }
}

// Nothing is kept open unless asked for, nor after a listing that failed.
TEST(TrustedZipCrc, TheListedFileIsKeptOnlyWhenAskedAndListed) {
    TScratchDirectory dir;
    const std::string good = test::WriteTestFile(
        dir, "good.zip", test::BuildZip({{"a.nes", test::PatternBytes(100, 'a')}}).Bytes);
    const std::string bad = test::WriteTestFile(dir, "bad.zip", "PK not an archive at all");
    TZipComponent plain;
    ASSERT_TRUE(plain.ListArchive(good).Ok());
    EXPECT_EQ(plain.TakeListedArchive(), nullptr);
    TZipComponent keeping;
    keeping.KeepListedArchiveOpen(true);
    EXPECT_FALSE(keeping.ListArchive(bad).Ok());
    EXPECT_EQ(keeping.TakeListedArchive(), nullptr);
}
