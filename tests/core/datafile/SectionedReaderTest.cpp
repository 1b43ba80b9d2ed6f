#include "core/datafile/DatafileRead.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace tabula;

namespace {

const std::string Head = "[CREDITS]\r\nAuthor=\r\nVersion=\r\nComment=\r\n[DAT]\r\nversion=1.90\r\n"
                         "[EMULATOR]\r\nrefname=\r\nversion=\r\nexe=\r\nruncmd=\r\nromspaths=\r\n"
                         "[GAMES]\r\n";

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

TEST(SectionedReader, ALongLineIsRefusedInAShortMessageWithoutBeingSplit) {
    const std::string word(10'000'000, 'x');
    const struct {
        std::string Bytes;
        std::size_t Line;
        const char* Says;
    } cases[] = {
        {Head + std::string(10'000'000, '\xAC') + "\r\n", 14, "holds 9999999 fields"},
        {"[CREDITS]\r\n" + word + "\r\n", 2, "is no key of the [CREDITS] section"},
        {"[CREDITS]\r\n[DAT]\r\n" + word + "=1\r\n", 3, "is no key of the [DAT] section"},
        {"[" + word + "]\r\n", 1, "is none of [CREDITS]"},
        {Head +
             "\xAC"
             "a\xAC"
             "A\xAC"
             "a\xAC"
             "A\xAC"
             "x\xAC"
             "00000000\xAC"
             "N\xAC"
             "O\xAC" +
             word + "\xAC\r\n",
         14, "is not a number"},
    };
    const long peak = PeakKilobytes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Says);
        try {
            ReadDatafileText(c.Bytes, "long.dat");
            ADD_FAILURE() << "read";
        } catch (const EDatafileReadError& error) {
            const std::string message = error.what();
            EXPECT_EQ(error.Line, c.Line);
            EXPECT_NE(message.find(c.Says), std::string::npos) << message.substr(0, 300);
            EXPECT_LT(message.size(), 300u);
        }
    }
    // Splitting the separators' line took 40 bytes for each of its bytes.
    EXPECT_LT(PeakKilobytes() - peak, 150 * 1024);
}
