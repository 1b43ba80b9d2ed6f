#include "core/datafile/SizeCell.h"

#include <gtest/gtest.h>

#include <optional>

using tabula::EConvertError;
using tabula::SizeCellToInt;

namespace {

struct TSizeCase {
    const char* text;
    std::optional<std::int32_t> value; // empty: the text must be refused
};

const TSizeCase SizeCases[] = {
    // decimal, with sign and leading blanks
    {"16", 16},
    {"007", 7},
    {"+42", 42},
    {"-42", -42},
    {"   1024", 1024},
    {"0", 0},
    {"-0", 0},
    {"2147483647", 2147483647},
    {"-2147483648", INT32_MIN},
    {"000000000000002147483647", 2147483647},
    // hexadecimal after each prefix, up to eight digits as a 32-bit pattern
    {"$10", 16},
    {"x1f", 31},
    {"X1F", 31},
    {"0x100000", 1048576},
    {"0XaBcD", 0xABCD},
    {"  $FF", 255},
    {"$7FFFFFFF", 2147483647},
    {"$FFFFFFFF", -1},
    {"0x80000000", INT32_MIN},
    {"$00000001", 1},
    // refused
    {"", std::nullopt},
    {"   ", std::nullopt},
    {"abc", std::nullopt},
    {"16 ", std::nullopt},
    {"16a", std::nullopt},
    {"1 6", std::nullopt},
    {"\t16", std::nullopt},
    {"+", std::nullopt},
    {"-", std::nullopt},
    {"+-1", std::nullopt},
    {"- 1", std::nullopt},
    {"2147483648", std::nullopt},
    {"-2147483649", std::nullopt},
    {"99999999999999999999999", std::nullopt},
    {"1.5", std::nullopt},
    {"1e3", std::nullopt},
    {"$", std::nullopt},
    {"0x", std::nullopt},
    {"$123456789", std::nullopt},
    {"$G", std::nullopt},
    {"-$10", std::nullopt},
    {"+0x10", std::nullopt},
    {"$ 10", std::nullopt},
    {"0x1F ", std::nullopt},
    {"00x10", std::nullopt},
    {"１６", std::nullopt}, // full-width digits are not digits
};

} // namespace

TEST(SizeCell, ConvertsTheIntegerFormsAndRefusesEverythingElse) {
    for (const TSizeCase& c : SizeCases) {
        SCOPED_TRACE(std::string("cell '") + c.text + "'");
        if (c.value) {
            EXPECT_EQ(SizeCellToInt(c.text), *c.value);
            continue;
        }
        try {
            SizeCellToInt(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError& error) {
            EXPECT_EQ(std::string(error.what()),
                      std::string("'") + c.text + "' n'est pas une valeur entière correcte");
        }
    }
}

// The formats that hold any size: decimal byte counts up to 2^63 - 1 only.
TEST(SizeCell, ByteCountsReachPastFourGibibytesAndStayNonNegative) {
    const struct {
        const char* text;
        std::optional<std::int64_t> value;
    } cases[] = {
        {" 16", 16},
        {"+5368709120", 5368709120},
        {"9223372036854775807", INT64_MAX},
        {"-0", 0},
        {"9223372036854775808", std::nullopt},
        {"-1", std::nullopt},
        {"$10", std::nullopt},
        {"", std::nullopt},
        {"16 ", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("cell '") + c.text + "'");
        if (c.value) {
            EXPECT_EQ(tabula::SizeCellToByteCount(c.text), *c.value);
        } else {
            EXPECT_THROW(tabula::SizeCellToByteCount(c.text), EConvertError);
        }
    }
}
