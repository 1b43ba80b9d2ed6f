#include "core/datafile/DatafileRead.h"
#include "core/xml/XmlTree.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace tabula;

namespace {

struct TPulled {
    std::string Read;  // the root's attributes as name=value; and its text;
    std::string Error; // "" when read through
    std::size_t Line = 0;
};

TPulled Pulled(std::string_view bytes) {
    TPulled out;
    try {
        const TXmlElement root = ReadXmlTree(bytes);
        for (const auto& [name, value] : root.Attributes) {
            out.Read += name + "=" + value + ";";
        }
        out.Read += root.Text + ";";
    } catch (const EXmlTreeError& error) {
        out.Error = error.what();
        out.Line = error.Line;
    }
    return out;
}

std::string Utf16(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += {c, '\0'};
    }
    return out;
}

const std::string Doctype =
    "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
    "\"http://www.logiqx.com/Dats/datafile.dtd\"";

} // namespace

TEST(XmlPull, EntitiesAreRefusedWithTheirLine) {
    const struct {
        std::string Bytes;
        std::size_t Line;
        const char* Says;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE d [\n<!ENTITY e \"x\">\n]>\n<d/>", 3, "declares"},
        {"<!DOCTYPE d [<!ELEMENT d ANY>\r\n\r<!ENTITY % p \"x\">]><d/>", 3, "declares"},
        {"<d>\n<g name=\"a&x;\"/></d>", 2, "the entity \"x\""},
        {Doctype + ">\n<d>\n<g name=\"&x;\"/></d>", 3, "the entity \"x\""},
        {Doctype + ">\n<d>&x;</d>", 2, "the entity \"x\""},
        {Doctype + " [%p;]>\n<d/>", 1, "the entity \"p\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bytes);
        const TPulled pulled = Pulled(c.Bytes);
        EXPECT_NE(pulled.Error.find(c.Says), std::string::npos) << pulled.Error;
        EXPECT_EQ(pulled.Line, c.Line);
    }
}

TEST(XmlPull, AnEntityMultipliedInAnAttributeIsRefusedQuicklyAndQuietly) {
    std::string refs;
    for (int i = 0; i < 3000; ++i) {
        refs += "&e;";
    }
    const std::string body = "<!DOCTYPE datafile [<!ENTITY e \"" + std::string(100000, 'A') +
                             "\">]>\n<datafile>\n<game name=\"" + refs + "\"/></datafile>\n";
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_THROW(ReadDatafileText("<?xml version=\"1.0\"?>\n" + body, "big.dat"),
                 EDatafileReadError);
    const TPulled wide = Pulled(Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + body));
    EXPECT_NE(wide.Error.find("entity"), std::string::npos) << wide.Error;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// The predefined entities and character references read; CR LF and a lone CR
// read as LF, as the XML rules say; an attribute list's defaults add nothing.
TEST(XmlPull, TextAndAttributesReadAsTheXmlRulesSay) {
    const std::pair<std::string, const char*> cases[] = {
        {"<?xml version=\"1.0\"?>\n" + Doctype + " [<!ATTLIST d a CDATA #IMPLIED>]>\n" +
             "<d a=\"&amp;&lt;&gt;&quot;&apos;&#233;&#xE9;\">&amp;&lt;&#233;&#xE9;</d>",
         "a=&<>\"'\xC3\xA9\xC3\xA9;&<\xC3\xA9\xC3\xA9;"},
        {"<!DOCTYPE d [<!ATTLIST d b (yes|no) \"no\" c CDATA \"x\">]><d a=\" 1\tb \"/>",
         "a= 1 b ;;"}, // defaults are not written, so not read
        {"<d>a\nb\r\nc</d>", "a\nb\nc;"},
        {"<d>a\r\nb\r\nc</d>", "a\nb\nc;"},
        {"<d>a\rb\r\nc</d>", "a\nb\nc;"},
    };
    for (const auto& [bytes, read] : cases) {
        const TPulled pulled = Pulled(bytes);
        EXPECT_EQ(pulled.Read, read) << pulled.Error;
    }
}

TEST(XmlPull, AnErrorSaysItsLineAndWhetherTheFileIsCutShort) {
    const struct {
        std::string Bytes;
        std::size_t Line;
        bool CutShort;
    } cases[] = {
        {"<d>\n<g>\n</d>\n</d>\n", 3, false},
        {"<d>\r<g>\r</d>\r</d>\r", 3, false},
        {"<d>\r\n<g>\r\n</d>\r\n</d>\r\n", 3, false},
        {"<d>\n</d>\ngarbage", 3, false},
        {"<d>\n</d>\n<d", 3, false},
        {"<d>\n</d>\n<!-- c", 3, false},
        {"<d>\n<g>\n</d>", 3, false}, // a wrong end tag at the very end
        {"<d>\n<g name=\"x\">\n", 2, true},
        {"<d>\r<g na", 2, true},
        {"<d>\n<" + std::string(40000, 'x') + ">\n</d>\n", 3, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bytes.substr(0, 40));
        const TPulled pulled = Pulled(c.Bytes);
        EXPECT_EQ(pulled.Line, c.Line) << pulled.Error;
        EXPECT_EQ(pulled.Error.find("cut short") != std::string::npos, c.CutShort) << pulled.Error;
        EXPECT_EQ(pulled.Error.find("not well-formed") != std::string::npos, !c.CutShort);
        EXPECT_LT(pulled.Error.size(), 300u);
    }
}

TEST(XmlPull, EveryCutOfADocumentSaysCutShort) {
    const std::string whole =
        "<?xml version=\"1.0\"?>\n" + Doctype +
        " [<!ELEMENT d ANY>]>\n<!-- c -->\n<?p x?>\n"
        "<d a='1' b=\"&amp;&#233;\">\n\t<g>t<![CDATA[<x>]]></g>\n\t<e/>\n</d>";
    for (std::size_t size = 1; size < whole.size(); ++size) {
        const TPulled pulled = Pulled(std::string_view(whole).substr(0, size));
        EXPECT_NE(pulled.Error.find("cut short"), std::string::npos)
            << size << ": " << pulled.Error;
    }
    EXPECT_EQ(Pulled(whole).Error, "");
}

// libxml2 is given the bytes in pieces: what crosses from one to the next
// still comes whole, in order, with its line, and a fault past many nodes
// comes after them.
TEST(XmlPull, WhatCrossesThePiecesComesWhole) {
    std::string text(200000, 'a');
    text.replace(65530, 5, "&amp;");
    std::string many;
    for (int i = 0; i < 30000; ++i) {
        many += "<e a=\"" + std::to_string(i) + "\"/>\n";
    }
    const TXmlElement longText = ReadXmlTree("<d>" + text + "</d>");
    EXPECT_EQ(longText.Text.size(), 199996u);
    EXPECT_EQ(longText.Text.substr(65529, 3), "a&a");
    const TXmlElement root = ReadXmlTree("<d>\n" + many + "</d>");
    ASSERT_EQ(root.Children.size(), 30000u);
    EXPECT_EQ(*root.Children.back().Attribute("a"), "29999");
    EXPECT_EQ(root.Children.back().Line, 30001u);
    const TPulled broken = Pulled("<d>\n" + many + "<e></d>");
    EXPECT_EQ(broken.Line, 30002u) << broken.Error;
    EXPECT_NE(broken.Error.find("not well-formed"), std::string::npos) << broken.Error;
}

TEST(XmlPull, AUtf16DatafileOpensByItsByteOrderMark) {
    const TOpenedDatafile opened = ReadDatafileText(
        Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<datafile><game name=\"Wide\">"
              "<rom name=\"w.bin\" size=\"1\" crc=\"0000000a\"/></game></datafile>\n"),
        "wide.xml");
    ASSERT_EQ(opened.Rows.size(), 1u);
    EXPECT_EQ(opened.Rows[0][1], "Wide");
    EXPECT_EQ(opened.Rows[0][5], "0000000A");
}
