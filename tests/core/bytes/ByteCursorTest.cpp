#include "core/bytes/ByteCursor.h"

#include <gtest/gtest.h>

#include <array>

using namespace tabula;

TEST(ByteCursor, ReadsLittleEndianFields) {
    const std::array<uint8_t, 15> bytes = {0x50, 0x4B, 0x05, 0x06, 0x34, 0x12, 0xFF, 1,
                                           2,    3,    4,    5,    6,    7,    8};
    TByteCursor cursor(bytes);
    EXPECT_EQ(cursor.U32(), 0x06054b50u);
    EXPECT_EQ(cursor.U16(), 0x1234);
    EXPECT_EQ(cursor.U8(), 0xFF);
    EXPECT_EQ(cursor.U64(), 0x0807060504030201ull);
    EXPECT_TRUE(cursor.Ok());
    EXPECT_EQ(cursor.Remaining(), 0u);
}

TEST(ByteCursor, AReadPastTheEndFailsAndStaysFailed) {
    const std::array<uint8_t, 5> bytes = {1, 2, 3, 4, 5};
    TByteCursor cursor(bytes);
    EXPECT_EQ(cursor.U32(), 0x04030201u);
    EXPECT_EQ(cursor.U16(), 0) << "one byte left";
    EXPECT_FALSE(cursor.Ok());
    EXPECT_EQ(cursor.U8(), 0) << "the byte that is there is not read after a failure";
    EXPECT_TRUE(cursor.Bytes(1).empty());

    TByteCursor lengths(bytes);
    EXPECT_FALSE(lengths.Skip(SIZE_MAX)) << "a huge length cannot wrap around";
    TByteCursor strings(bytes);
    EXPECT_EQ(strings.String(5), std::string("\1\2\3\4\5", 5));
    EXPECT_EQ(strings.String(1), "");
    EXPECT_FALSE(strings.Ok());
    TByteCursor seek(bytes);
    EXPECT_TRUE(seek.Seek(5));
    EXPECT_FALSE(seek.Seek(6));
}
