#include "core/text/CodePages.h"

#include <gtest/gtest.h>

using namespace tabula;

TEST(CodePages, Cp437HighBytesBecomeTheirUnicodeCharacters) {
    EXPECT_EQ(Cp437ToUtf8("abc"), "abc");
    EXPECT_EQ(Cp437ToUtf8("\x82\x9A\xE1\xB0\xFF"), "\xC3\xA9\xC3\x9C\xC3\x9F\xE2\x96\x91\xC2\xA0");
}

TEST(CodePages, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const std::string utf8 = Windows1252ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    std::string back;
    ASSERT_TRUE(Utf8ToWindows1252(utf8, back));
    EXPECT_EQ(back, all);
    EXPECT_EQ(Windows1252ToUtf8("\x80\xAC"), "\xE2\x82\xAC\xC2\xAC");
}

TEST(CodePages, UnmappableAndMalformedTextIsRefusedAndNamed) {
    std::string out = "kept";
    char32_t bad = 0;
    EXPECT_FALSE(Utf8ToWindows1252("Pok\xC3\xA9mon \xE6\x97\xA5", out, &bad));
    EXPECT_EQ(bad, U'\u65E5');
    EXPECT_EQ(out, "kept");
    EXPECT_FALSE(Utf8ToWindows1252("a\xC3", out, &bad)) << "truncated sequence";
    EXPECT_EQ(bad, U'\uFFFD');
    ASSERT_TRUE(Utf8ToWindows1252("Pok\xC3\xA9mon \xE2\x80\x94", out));
    EXPECT_EQ(out, "Pok\xE9mon \x97");
}

TEST(CodePages, Utf8ValidationRejectsOverlongsSurrogatesAndStrayBytes) {
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xF0\x9F\x8E\xAE \xEF\xBF\xBD"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(IsValidUtf8("caf\xE9"));
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));
}

TEST(CodePages, NamesOnDiskBecomeTextThatSavesBackToTheirBytes) {
    struct TCase {
        const char* bytes;
        const char* name;  // FileNameText
        const char* path;  // PathText of "dir/" + bytes
        const char* mixed; // ValidUtf8Text
    };
    const TCase cases[] = {
        {"ok.bin", "ok.bin", "dir/ok.bin", "ok.bin"},
        {"bad\xFFname", "bad\xC3\xBFname", "dir/bad\xC3\xBFname", "bad\xC3\xBFname"},
        // The five bytes 1252 leaves undefined read as their C1 controls.
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D",
         "dir/\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D",
         "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        // A name with valid and stray bytes: the name is read whole as 1252,
        // free text keeps its valid sequences.
        {"\xC3\xA9\xE9", "\xC3\x83\xC2\xA9\xC3\xA9", "dir/\xC3\x83\xC2\xA9\xC3\xA9",
         "\xC3\xA9\xC3\xA9"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(FileNameText(c.bytes), c.name);
        EXPECT_EQ(PathText(std::string("dir/") + c.bytes), c.path);
        EXPECT_EQ(ValidUtf8Text(c.bytes), c.mixed);
        std::string back;
        ASSERT_TRUE(Utf8ToWindows1252(FileNameText(c.bytes), back));
        if (!IsValidUtf8(c.bytes)) {
            EXPECT_EQ(back, c.bytes);
        }
    }
    // Each folder of a path is its own name.
    EXPECT_EQ(PathText("caf\xC3\xA9/x\xE9/"), "caf\xC3\xA9/x\xC3\xA9/");
}
