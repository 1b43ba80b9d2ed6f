#include "core/text/ErrorText.h"

#include <gtest/gtest.h>

TEST(ErrorText, DotAppendedOnlyAfterCharactersThatSortAfterIt) {
    struct Case {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Bad crc", "Bad crc."},
        {"Done.", "Done."},
        {"Really?", "Really?."}, // '?' sorts after '.'
        {"50%", "50%"},          // '%' sorts before '.'
        {"Name -", "Name -"},
        {"", ""},
        {"Fin \xC3\xA9", "Fin \xC3\xA9."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tabula::ErrorBoxText(c.message), c.shown) << c.message;
    }
}
