#include "core/zip/ZipComponent.h"
#include "core/zip/ZipMessages.h"

#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

using namespace tabula;
using namespace tabula::test;

namespace {

std::string Zip64Extra(std::initializer_list<uint64_t> values) {
    std::string extra;
    AppendU16(extra, 0x0001);
    AppendU16(extra, static_cast<uint16_t>(values.size() * 8));
    for (const uint64_t v : values) {
        AppendU64(extra, v);
    }
    return extra;
}

// Saturates the sizes of the first member and the end record's fields, adding
// a Zip64 end record and locator as a Zip64 writer does.
std::string Zip64Archive(uint64_t realSize, bool withExtra, const std::string& prefix = "") {
    TBuiltZip zip = BuildZip({TTestMember("big.bin", "12345")
                                  .WithExtra(withExtra ? Zip64Extra({realSize, realSize}) : ""),
                              TTestMember("small.bin", "abc")});
    const size_t header = zip.CentralHeaders[0];
    PutU32(zip.Bytes, header + 20, 0xFFFFFFFF);
    PutU32(zip.Bytes, header + 24, 0xFFFFFFFF);
    std::string out = zip.Bytes.substr(0, zip.EndRecord);
    const uint64_t dirSize = zip.EndRecord - zip.DirectoryOffset;
    const size_t zip64End = out.size();
    AppendU32(out, 0x06064b50);
    AppendU64(out, 44);
    AppendU16(out, 45);
    AppendU16(out, 45);
    AppendU32(out, 0);
    AppendU32(out, 0);
    AppendU64(out, 2);
    AppendU64(out, 2);
    AppendU64(out, dirSize);
    AppendU64(out, zip.DirectoryOffset);
    AppendU32(out, 0x07064b50);
    AppendU32(out, 0);
    AppendU64(out, zip64End);
    AppendU32(out, 1);
    AppendU32(out, 0x06054b50);
    AppendU16(out, 0);
    AppendU16(out, 0);
    AppendU16(out, 0xFFFF);
    AppendU16(out, 0xFFFF);
    AppendU32(out, 0xFFFFFFFF);
    AppendU32(out, 0xFFFFFFFF);
    AppendU16(out, 0);
    return prefix + out;
}

} // namespace

TEST(Zip64, RecordsAreReadAndRealSizesReported) {
    TScratchDirectory dir;
    TZipComponent zip;
    zip.SetZipFilename(WriteTestFile(dir, "z64.zip", Zip64Archive(5, true)));
    EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.DirEntry(0).UncompressedSize, 5u);
    EXPECT_EQ(zip.DirEntry(0).CompressedSize, 5u);
    EXPECT_EQ(zip.DirEntry(1).FileName, "small.bin");
}

TEST(Zip64, PrependedDataIsFoundThroughTheRecordsToo) {
    TScratchDirectory dir;
    TZipComponent zip;
    zip.SetZipFilename(WriteTestFile(dir, "z64.zip", Zip64Archive(5, true, std::string(64, 'S'))));
    EXPECT_EQ(zip.ErrCode(), ZipMsg::StructureWarning);
    EXPECT_EQ(zip.Count(), 2);
}

TEST(Zip64, SizesBeyond32BitsOrWithoutTheirFieldFailClearly) {
    for (const auto& [size, extra] :
         {std::pair{uint64_t{0x100000000}, true}, std::pair{uint64_t{5}, false}}) {
        TScratchDirectory dir;
        TZipComponent zip;
        zip.SetZipFilename(WriteTestFile(dir, "z64.zip", Zip64Archive(size, extra)));
        EXPECT_EQ(zip.ErrCode(), ZipMsg::Zip64TooLarge);
        EXPECT_EQ(zip.Count(), 0);
    }
}
