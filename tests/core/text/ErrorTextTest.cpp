#include "core/text/ErrorText.h"

#include <gtest/gtest.h>

TEST(ErrorText, DotAppendedOnlyAfterCharactersThatSortAfterIt) {
    struct Case {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Bad crc", "Bad crc."}, {"Done.", "Done."}, {"Really?", "Really?."}, // '?' sorts after '.'
        {"50%", "50%"}, // '%' sorts before '.'
        {"Name -", "Name -"},    {"", ""},           {"Fin \xC3\xA9", "Fin \xC3\xA9."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tabula::ErrorBoxText(c.message), c.shown) << c.message;
    }
}

TEST(ErrorText, LongQuotedTextsKeepTheirStartAndSayTheirLength) {
    EXPECT_EQ(tabula::QuotedForMessage("short"), "\"short\"");
    const std::string exact(tabula::MaxQuoted, 'a');
    EXPECT_EQ(tabula::QuotedForMessage(exact), "\"" + exact + "\"");
    const std::string quoted = tabula::QuotedForMessage(std::string(50'000'000, 'w'));
    EXPECT_LT(quoted.size(), 2 * tabula::MaxQuoted);
    EXPECT_NE(quoted.find("(a text of 50000000 bytes)"), std::string::npos) << quoted;
    // The cut never leaves half of a two-byte sequence.
    std::string twoByte = std::string(59, 'x');
    for (int i = 0; i < 40; ++i) {
        twoByte += "\xC3\xA9"; // the cut at byte 60 falls inside the first one
    }
    EXPECT_EQ(tabula::QuotedForMessage(twoByte).substr(0, 64),
              "\"" + std::string(59, 'x') + "...\"");
}
