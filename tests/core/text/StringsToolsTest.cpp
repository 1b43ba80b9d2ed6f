#include "core/text/StringsTools.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

using namespace tabula;
namespace fs = std::filesystem;

namespace {

struct TTextCase {
    std::string input;
    std::string expected;
};

} // namespace

TEST(StringsTools, SubStringCountsCharactersNotBytes) {
    const struct {
        std::string text;
        std::ptrdiff_t from, to;
        std::string expected;
    } cases[] = {
        {"abcdef", 1, 2, "ab"},
        {"abcdef", 1, 0, ""},
        {"abcdef", 1, 10, "abcdef"},
        {"abcdef", 3, 4, "cd"},
        {"abcdef", 7, 9, ""},
        {"abcdef", 0, 2, "ab"},
        {"", 1, 3, ""},
        {"Pok\xC3\xA9mon", 1, 4, "Pok\xC3\xA9"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", 2, 2, "\xE6\x9C\xAC"},
        {"\xF0\x9F\x8E\xAE!", 1, 1, "\xF0\x9F\x8E\xAE"},
        // A byte that starts no valid sequence is one character of its own.
        {"a\xC3z\xFF", 2, 3, "\xC3z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SubString(c.text, c.from, c.to), c.expected)
            << '"' << c.text << "\" " << c.from << ".." << c.to;
    }
    EXPECT_EQ(CharCount("Pok\xC3\xA9mon"), 7);
    EXPECT_EQ(CharCount("a\xC3"), 2);
}

TEST(StringsTools, ShortFileNameAndFileNamePartSplitAtEitherSlash) {
    const TTextCase cases[] = {
        {"C:\\roms\\game.smc", "game.smc"},
        {"folder/game.smc", "game.smc"},
        {"/home/me/roms/game.smc", "game.smc"},
        {"C:\\roms\\", ""},
        {"/home/me/roms/", ""},
        {"game.smc", "game.smc"},
        {"", ""},
        {"mixed/dir\\member.bin", "member.bin"},
        // ":" is part of the name: game titles hold colons.
        {"C:game.smc", "C:game.smc"},
        {"roms/Zelda: Link.smc", "Zelda: Link.smc"},
        {"roms/\xE6\x97\xA5\xE6\x9C\xAC.gb", "\xE6\x97\xA5\xE6\x9C\xAC.gb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShortFileName(c.input), c.expected) << c.input;
        EXPECT_EQ(FileNamePart(c.input), c.expected) << c.input;
    }
}

TEST(StringsTools, NameWithoutExtDropsTheExtensionWhateverItsLength) {
    const TTextCase cases[] = {
        {"Tetris (World).gb", "Tetris (World)"},
        {"Sonic (USA).md", "Sonic (USA)"},
        {"Four (U).unif", "Four (U)"},
        {"X (E).a", "X (E)"},
        {"game.7z", "game"},
        {"x.jpeg", "x"},
        {"a.b", "a"},
        {"abc.", "abc"},
        {"Disc.v2.chd", "Disc.v2"},
        {".hidden", ".hidden"},
        {"roms/.nes", ".nes"},
        {"dir.v2/game", "game"},
        {"README", "README"},
        {"C:\\roms\\game", "C:\\roms\\game"},
        {"/home/me/roms/game", "/home/me/roms/game"},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.gb", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameWithoutExt(c.input), c.expected) << c.input;
    }
    // A three-letter extension gives the set name the four-character cut gave.
    for (const char* name :
         {"Rally.smc", "Quest.zip", "/home/me/roms/Rally.smc", "dir\\sub\\Quest.zip",
          "Pok\xC3\xA9mon.smc", "Caf\xC3\xA9.nes", "a.b.c.bin", "x.ZIP"}) {
        const std::string shortName = ShortFileName(name);
        EXPECT_EQ(NameWithoutExt(name), shortName.substr(0, shortName.size() - 4)) << name;
    }
}

TEST(StringsTools, FileExtensionStartsAtALastDotAfterTheLastSeparator) {
    const TTextCase cases[] = {
        {"game.smc", ".smc"},
        {"archive.ZIP", ".ZIP"},
        {"game", ""},
        {"dir.v2\\game", ""},
        {"dir.v2/game", ""},
        {"game.", "."},
        {"/roms/set.tar.gz", ".gz"},
        {"Zelda: Link.smc", ".smc"},
        {"Title: Part.2", ".2"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileExtension(c.input), c.expected) << c.input;
    }
}

TEST(StringsTools, CaseMappingTouchesAsciiLettersOnly) {
    EXPECT_EQ(LowerCase("GAME.ZIP [!] 1-Z@["), "game.zip [!] 1-z@[");
    EXPECT_EQ(UpperCase("game.zip `a-z{"), "GAME.ZIP `A-Z{");
    EXPECT_EQ(LowerCase("\xC3\x89"
                        "COLE"),
              "\xC3\x89"
              "cole"); // É stays É
    EXPECT_EQ(UpperCase("\xC3\xA9t\xC3\xA9"), "\xC3\xA9T\xC3\xA9");
    EXPECT_EQ(LowerCase(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(StringsTools, NumbersAsText) {
    EXPECT_EQ(HexText(0), "00000000");
    EXPECT_EQ(HexText(0xCBF43926u), "CBF43926");
    EXPECT_EQ(HexText(0xABCDEu), "000ABCDE");
    EXPECT_EQ(HexText(0xFFFFFFFFu), "FFFFFFFF");
    EXPECT_EQ(LowerCase(HexText(0xABCDEu)), "000abcde");
    EXPECT_EQ(DecimalText(0), "0");
    EXPECT_EQ(DecimalText(1048576), "1048576");
    EXPECT_EQ(DecimalText(-1), "-1");
    EXPECT_EQ(DecimalText(std::numeric_limits<std::int32_t>::max()), "2147483647");
    EXPECT_EQ(DecimalText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}
