#include "core/datafile/DatafileRead.h"
#include "core/datafile/XmlTree.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>

using namespace tabula;

namespace {

struct TPulled {
    std::string Read;  // attributes as name=value; and texts, each ended by ";"
    std::string Error; // the refusal, "" when read through
    std::size_t Line = 0;
};

void Flatten(const TXmlElement& element, std::string& out) {
    for (const auto& [name, value] : element.Attributes) {
        out += name + "=" + value + ";";
    }
    out += element.Text.empty() ? "" : element.Text + ";";
    for (const TXmlElement& child : element.Children) {
        Flatten(child, out);
    }
}

// Read through the pull reader as the detector reader reads.
TPulled Pulled(std::string_view bytes) {
    TPulled out;
    try {
        Flatten(ReadXmlTree(bytes), out.Read);
    } catch (const EXmlTreeError& error) {
        out.Error = error.what();
        out.Line = error.Line;
    }
    return out;
}

std::string Utf16(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

const std::string Doctype =
    "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
    "\"http://www.logiqx.com/Dats/datafile.dtd\"";

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

TEST(XmlPull, EntitiesAreRefusedWithTheirLine) {
    const struct {
        std::string Bytes;
        std::size_t Line; // 0: not checked
        const char* Says;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE d [\n<!ENTITY e \"x\">\n]>\n<d/>", 3, "declares"},
        {"<!DOCTYPE d [<!ELEMENT d ANY>\r\n\r<!ENTITY % p \"x\">]><d/>", 3, "declares"},
        {"<d>\n<g name=\"a&x;\"/></d>", 2, "the entity \"x\""},
        {Doctype + ">\n<d>\n<g name=\"&x;\"/></d>", 3, "the entity \"x\""},
        {Doctype + ">\n<d>&x;</d>", 2, "the entity \"x\""},
        {Doctype + " [%p;]>\n<d/>", 1, "the entity \"p\""},
        {Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!DOCTYPE d [<!ENTITY e \"x\">]>\n"
               "<d a=\"&e;\"/>"),
         0, "entity"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bytes);
        const TPulled pulled = Pulled(c.Bytes);
        EXPECT_NE(pulled.Error.find(c.Says), std::string::npos) << pulled.Error;
        EXPECT_TRUE(c.Line == 0 || pulled.Line == c.Line) << pulled.Line;
    }
}

TEST(XmlPull, AnEntityMultipliedInAnAttributeIsRefusedQuicklyAndQuietly) {
    std::string refs;
    for (int i = 0; i < 3000; ++i) {
        refs += "&e;";
    }
    const std::string body = "<!DOCTYPE datafile [<!ENTITY e \"" + std::string(100000, 'A') +
                             "\">]>\n<datafile>\n<game name=\"" + refs + "\"/></datafile>\n";
    const long peak = PeakKilobytes();
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    try {
        ReadDatafileText("<?xml version=\"1.0\"?>\n" + body, "big.dat");
        ADD_FAILURE() << "read";
    } catch (const EDatafileReadError& error) {
        EXPECT_EQ(error.Line, 2u);
    }
    const TPulled wide = Pulled(Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + body));
    EXPECT_NE(wide.Error.find("entity"), std::string::npos) << wide.Error;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LT(PeakKilobytes() - peak, 100 * 1024); // the value alone would be 300 MB
}

TEST(XmlPull, PredefinedEntitiesAndCharacterReferencesRead) {
    const TPulled pulled =
        Pulled("<?xml version=\"1.0\"?>\n" + Doctype +
               " [<!ELEMENT d ANY><!ATTLIST d a CDATA #IMPLIED>]>\n"
               "<d a=\"&amp;&lt;&gt;&quot;&apos;&#233;&#xE9;\">&amp;&lt;&#233;&#xE9;</d>");
    EXPECT_EQ(pulled.Error, "");
    EXPECT_EQ(pulled.Read, "a=&<>\"'\xC3\xA9\xC3\xA9;&<\xC3\xA9\xC3\xA9;");
}

// libxml2 counts lines by LF alone; the XML rules read CR LF and a lone CR as LF.
TEST(XmlPull, TextReadsEachLineEndAsLf) {
    for (const char* end : {"\n", "\r\n", "\r"}) {
        const std::string e = end;
        const TPulled pulled = Pulled("<d>a" + e + "b\r\nc</d>");
        EXPECT_EQ(pulled.Read, "a\nb\nc;") << pulled.Error;
    }
}

TEST(XmlPull, AnErrorSaysItsLineAndWhetherTheFileIsCutShort) {
    const std::string mismatch = "<d>|<g>|</d>|</d>|";
    const auto ended = [&](char end) {
        std::string text = mismatch;
        std::replace(text.begin(), text.end(), '|', end);
        return text;
    };
    const struct {
        std::string Bytes;
        std::size_t Line;
        bool CutShort;
    } cases[] = {
        {ended('\n'), 3, false},
        {ended('\r'), 3, false},
        {"<d>\r\n<g>\r\n</d>\r\n</d>\r\n", 3, false},
        {"<d>\n</d>\ngarbage", 3, false},
        {"<d>\n</d>\n<d/>", 3, false},
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
