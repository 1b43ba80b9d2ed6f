#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileRead.h"
#include "core/datafile/DatafileSave.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>

using namespace tabula;

namespace {

// The refusal's line and message; line 0 and "read" when the file opens.
std::pair<std::size_t, std::string> Refusal(std::string bytes) {
    std::replace(bytes.begin(), bytes.end(), '|', '\xAC'); // the separator
    try {
        ReadDatafileText(bytes, "x.dat");
    } catch (const EDatafileReadError& error) {
        return {error.Line, error.what()};
    }
    return {0, "read"};
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

TEST(SectionedReader, ALongLineIsRefusedInAShortMessageWithoutBeingSplit) {
    const std::string word(10'000'000, 'x');
    const std::string games = "[CREDITS]\r\n[GAMES]\r\n";
    const std::tuple<std::string, std::size_t, const char*> cases[] = {
        {games + std::string(10'000'000, '|') + "\r\n", 3, "holds 9999999 fields"},
        {"[CREDITS]\r\n" + word + "\r\n", 2, "is no key of the [CREDITS] section"},
        {"[CREDITS]\r\n[DAT]\r\n" + word + "=1\r\n", 3, "is no key of the [DAT] section"},
        {"[" + word + "]\r\n", 1, "is none of [CREDITS]"},
        {games + "|a|A|a|A|x|00000000|N|O|" + word + "|\r\n", 3, "is not a number"},
    };
    const long peak = PeakKilobytes();
    for (const auto& [bytes, line, says] : cases) {
        const auto [refusedLine, message] = Refusal(bytes);
        EXPECT_EQ(refusedLine, line) << says;
        EXPECT_NE(message.find(says), std::string::npos) << message.substr(0, 300);
        EXPECT_LT(message.size(), 300u);
    }
    // Splitting the separators' line took 40 bytes for each of its bytes.
    EXPECT_LT(PeakKilobytes() - peak, 300 * 1024);
}

// What the sectioned writer refuses in a credit opens no datafile, which
// could not be saved again; what it takes opens.
TEST(SectionedReader, ACreditTheWriterRefusesIsRefusedByLine) {
    using C = TDatafileCredits;
    const struct {
        std::string Credits, Emulator;
        std::size_t Line; // 0: opens
        const char* Says;
        std::string C::*Field;
        std::string Value; // as the writer has it
    } cases[] = {
        {"Author=a|", "", 2, "credit \"Author\" holds the separator", &C::Author, "a\xC2\xAC"},
        {"Version=\x01", "", 2, "credit \"Version\" holds the character U+0001", &C::Version,
         "\x01"},
        {"Comment=a\t", "", 2, "credit \"Comment\" holds the character U+0009", &C::Comment, "a\t"},
        {"Comment=a\r\n  [z", "", 3, "starts with \"[\"", &C::Comment, "a\r\n  [z"},
        {"Comment=a\r\n|z", "", 3, "starts with the separator", &C::Comment, "a\r\n\xC2\xACz"},
        {"Comment=a\r\nz\x7F", "", 3, "U+007F", &C::Comment, "a\r\nz\x7F"},
        {"", "refname=a|", 4, "key \"refname\" of the [EMULATOR] section holds the separator",
         &C::System, "a\xC2\xAC"},
        {"", "version=\x81", 4, "U+0081", &C::EmulVersion, "\xC2\x81"},
        {"Comment=[a|z\r\n z", "exe=|\x01", 0, "read", &C::Comment, "[a\xC2\xACz\r\n z"},
    };
    for (const auto& c : cases) {
        C credits;
        credits.*c.Field = c.Value;
        const auto [line, message] = Refusal("[CREDITS]\r\n" + c.Credits + "\r\n[EMULATOR]\r\n" +
                                             c.Emulator + "\r\n[GAMES]\r\n|a|A|a|A|x|0|N|O|1|\r\n");
        EXPECT_EQ(line, c.Line) << message;
        EXPECT_NE(message.find(c.Says), std::string::npos) << message;
        if (c.Line == 0) {
            EXPECT_NO_THROW(CheckDatafileCredits(credits));
        } else {
            EXPECT_THROW(CheckDatafileCredits(credits), EDatafileError);
        }
    }
}
