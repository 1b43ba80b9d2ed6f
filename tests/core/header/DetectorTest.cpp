#include "core/header/Detector.h"
#include "core/checksum/CrcUpdate.h"
#include "core/scan/CutFeed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tabula;

namespace {

std::string Failure(const std::string& xml) {
    try {
        ReadDetector(xml, "t.xml");
    } catch (const EDetectorError& error) {
        return error.what();
    }
    return "read";
}

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::optional<TCut> Cut(const TDetectorSet& set, const std::vector<uint8_t>& file) {
    return set.Match(file.size(), file, file);
}

} // namespace

// Whatever the format does not hold is refused with the file's name, the
// line and what is wrong, never read half.
TEST(Detector, WhatTheFormatDoesNotHoldIsRefusedByLine) {
    const struct {
        const char* Xml;
        const char* Message;
    } cases[] = {
        {"<detector>\n<rule>\n<data offset=\"0\" value=\"4E\"/>\n",
         "line 3: the file ends before its elements are closed"},
        {"<detector>\n<rule></detector>\n\n", "line 2: the XML is not well-formed"},
        {"<detectors><rule/></detectors>", "line 1: the root element is <detectors>"},
        {"<detector>\n<name>a</name>\n<colour/>\n<rule/></detector>",
         "line 3: unknown element <colour>"},
        {"<detector>\n<rule>\n<data offset=\"0\" value=\"4E\" size=\"2\"/></rule></detector>",
         "line 3: unknown attribute \"size\" of <data>"},
        {"<detector><rule start_offset=\"1G\"/></detector>",
         "line 1: the start_offset \"1G\" of <rule> is not a hexadecimal number"},
        {"<detector><rule><data value=\"4E4\"/></rule></detector>",
         "the value \"4E4\" of <data> is not an even number of hexadecimal digits"},
        {"<detector><rule><and offset=\"0\" mask=\"FF\" value=\"0102\"/></rule></detector>",
         "the mask and the value of <and> are not of the same length"},
        {"<detector><rule operation=\"rotate\"/></detector>", "unknown operation \"rotate\""},
        {"<detector><rule><file size=\"10\" operator=\"about\"/></rule></detector>",
         "unknown operator \"about\""},
        {"<detector><rule><data value=\"4E\" result=\"maybe\"/></rule></detector>",
         "the result \"maybe\" of <data> is neither true nor false"},
        {"<detector><name>only a name</name></detector>", "the detector has no <rule>"},
        {"<!DOCTYPE d [<!ENTITY e \"x\">]><detector><name>&e;</name><rule/></detector>", "entity"},
    };
    for (const auto& [xml, message] : cases) {
        const std::string failure = Failure(xml);
        EXPECT_TRUE(failure.starts_with("Cannot read the detector \"t.xml\": ")) << failure;
        EXPECT_NE(failure.find(message), std::string::npos) << xml << "\n -> " << failure;
    }
}

// A detector written as users write them: a negative offset, a mask, a size
// test and a byte-order rule, tried in order.
TEST(Detector, RulesAreAppliedAsWritten) {
    const TDetectorSet set({ReadDetector(R"(<?xml version="1.0"?>
<detector>
	<name>Test system</name>
	<author>tests</author>
	<version>2</version>
	<rule start_offset="4" end_offset="-2" operation="none">
		<data offset="-2" value="5A5A" result="true"/>
	</rule>
	<rule start_offset="2" end_offset="EOF" operation="byteswap">
		<and offset="0" mask="F0" value="A0"/>
		<file size="8" operator="greater"/>
	</rule>
	<rule start_offset="1">
		<xor offset="1" mask="FF" value="00"/>
		<file size="PO2" result="false"/>
	</rule>
	<rule start_offset="0" end_offset="4" operation="wordbyteswap">
		<or offset="0" mask="0F" value="1F"/>
		<file size="6" modulus="8"/>
	</rule>
</detector>)",
                                         "test.xml")});
    const struct {
        const char* File;
        std::optional<TCut> Expected;
    } cases[] = {
        // The last two bytes decide the first rule; its range ends 2 from the end.
        {"abcdefghZZ", TCut{4, 8, TByteOperation::None}},
        // High nibble A0 and more than 8 bytes: swapped from offset 2.
        {"\xA7"
         "bcdefghij",
         TCut{2, 10, TByteOperation::Byteswap}},
        // Too short for the second rule, not a power of two, FFh at offset 1.
        {"\xA7\xFF"
         "cdefg",
         TCut{1, 7, TByteOperation::None}},
        // 14 bytes leave 6 over 8 and the low nibble is set to F: 4 bytes reversed.
        {"\x12"
         "bcdefghijklmn",
         TCut{0, 4, TByteOperation::WordByteswap}},
        // No rule passes: hashed whole.
        {"\x12"
         "bcdefgh",
         std::nullopt},
    };
    for (const auto& [file, expected] : cases) {
        const std::optional<TCut> cut = Cut(set, Bytes(file));
        ASSERT_EQ(cut.has_value(), expected.has_value()) << file;
        if (cut) {
            EXPECT_EQ(cut->Start, expected->Start) << file;
            EXPECT_EQ(cut->End, expected->End) << file;
            EXPECT_EQ(cut->Operation, expected->Operation) << file;
            EXPECT_EQ(cut->From->FileName, "test.xml");
        }
    }
    EXPECT_EQ(set.PrefixNeeded(), 2u);
    EXPECT_EQ(set.SuffixNeeded(), 2u);
}

// The operations on units from the cut's start, a last partial unit kept;
// fed in blocks split anywhere, the checksummed bytes are the same.
TEST(Detector, ByteOrderOperationsAcrossAnyBlocks) {
    const struct {
        TByteOperation Operation;
        const char* Expected;
    } cases[] = {
        {TByteOperation::None, "0123456789"},
        {TByteOperation::Byteswap, "1032547698"},
        {TByteOperation::Wordswap, "2301674589"},
        {TByteOperation::WordByteswap, "3210765489"},
    };
    for (const auto& [operation, expected] : cases) {
        std::vector<uint8_t> bytes = Bytes("0123456789");
        ApplyByteOperation(operation, bytes);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
        // The same through the feed, from a file with 3 bytes before the cut
        // and 2 after it, in blocks of every size.
        const std::string file = "xyz0123456789uv";
        const uint32_t wanted =
            ~CrcContinue(CrcInit, std::as_bytes(std::span(std::string_view(expected))));
        for (std::size_t block = 1; block <= file.size(); ++block) {
            uint32_t crc = CrcInit;
            TCutFeed feed(3, 13, operation, crc, nullptr);
            for (std::size_t at = 0; at < file.size(); at += block) {
                feed.Feed(
                    std::as_bytes(std::span(file.data() + at, std::min(block, file.size() - at))));
            }
            feed.Finish();
            EXPECT_EQ(~crc, wanted) << expected << " in blocks of " << block;
        }
    }
    std::vector<uint8_t> bits = {0x01, 0x80, 0xF0, 0x35};
    ApplyByteOperation(TByteOperation::Bitswap, bits);
    EXPECT_EQ(bits, (std::vector<uint8_t>{0x80, 0x01, 0x0F, 0xAC}));
}

// The shipped detectors read, and each finds its own header and leaves a
// file without one whole.
TEST(Detector, BuiltInRulesFindTheirHeaders) {
    const TDetectorSet set(BuiltInDetectors());
    std::vector<std::string> names;
    for (const TDetector& detector : set.Detectors()) {
        names.push_back(detector.FileName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"atari7800.xml", "fds.xml", "lynx.xml", "nes.xml",
                                               "snes.xml"}));
    const auto file = [](std::string head, std::size_t size) {
        head.resize(size, '\x11');
        return Bytes(head);
    };
    const std::string swc("\x10\0\0\0\0\0\0\0\xAA\xBB\x04", 11);
    const std::string blank("\x10\0\0", 3);
    const struct {
        std::vector<uint8_t> File;
        uint64_t Start;
        const char* From;
    } cases[] = {
        {file("NES\x1a", 40976), 16, "nes.xml"},
        {file(std::string("FDS\x1a\x02", 5) + std::string(11, '\0'), 131016), 16, "fds.xml"},
        {file(std::string("FDS\x1a\x05", 5) + std::string(11, '\0'), 131016), 0, nullptr},
        {file("\x01"
              "ATARI7800",
              32896),
         128, "atari7800.xml"},
        {file("LYNX", 131136), 64, "lynx.xml"},
        {file(swc, 524800), 512, "snes.xml"},
        {file(blank + std::string(509, '\0'), 524800), 512, "snes.xml"},
        {file("GAME DOCTOR SF 3", 1049088), 512, "snes.xml"},
        {file(swc, 524288), 0, nullptr}, // a multiple of 1024: no copier header
        {file("NEZ\x1a", 40976), 0, nullptr},
    };
    for (const auto& [bytes, start, from] : cases) {
        const std::optional<TCut> cut = Cut(set, bytes);
        EXPECT_EQ(cut ? cut->Start : 0, start) << bytes.size();
        EXPECT_EQ(cut ? cut->From->FileName : std::string(), from ? from : "") << bytes.size();
        if (cut) { // only the first Start bytes are left out
            EXPECT_EQ(cut->End, bytes.size());
            EXPECT_EQ(cut->Operation, TByteOperation::None);
        }
    }
}
