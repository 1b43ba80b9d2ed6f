#include "core/datafile/DatafileRead.h"
#include "core/datafile/DatafileStream.h"
#include "core/datafile/SizeCell.h"
#include "core/xml/XmlTree.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::TestDataFile;
using tabula::test::TScratchDirectory;

namespace {

struct TSaved {
    std::string Bytes;
    TDroppedNames Dropped;
};

TSaved Saved(const TOpenedDatafile& opened, TDatafileFormat format) {
    TScratchDirectory dir;
    TSaved saved;
    saved.Dropped = SaveDatafileAs(format, opened.Rows, opened.Extras,
                                   {opened.Credits, {}, opened.Header}, dir.File("out"));
    saved.Bytes = ReadBytes(dir.File("out"));
    return saved;
}

bool IsDigestKey(std::string_view key) {
    return key == "crc" || key == "md5" || key == "sha1" || key == "sha256";
}

// Digits compare as numbers: a CRC without its leading zeros, either case.
std::string Normal(std::string_view key, std::string value) {
    if (!IsDigestKey(key)) {
        return value;
    }
    if (key == "crc" && value.size() < 8) {
        value.insert(0, 8 - value.size(), '0');
    }
    std::transform(value.begin(), value.end(), value.begin(),
                   [](char c) { return static_cast<char>(std::toupper(c)); });
    return value;
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Element by element, attributes and text; whitespace between elements aside.
void ExpectSameTree(const TXmlElement& a, const TXmlElement& b, const std::string& path) {
    const std::string here = path + "/" + a.Name;
    ASSERT_EQ(a.Name, b.Name) << path;
    const auto attributes = [](const TXmlElement& e) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& [key, value] : e.Attributes) {
            out.emplace_back(key, Normal(key, value));
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(attributes(a), attributes(b)) << here;
    if (a.Children.empty() || !IsBlank(a.Text) || !IsBlank(b.Text)) {
        EXPECT_EQ(a.Text, b.Text) << here;
    }
    ASSERT_EQ(a.Children.size(), b.Children.size()) << here;
    for (std::size_t i = 0; i < a.Children.size(); ++i) {
        ExpectSameTree(a.Children[i], b.Children[i], here);
    }
}

// The ClrMamePro text token by token: a word and the quoted text of the same
// characters are the same token.
std::vector<std::string> Tokens(std::string_view text) {
    std::vector<std::string> tokens;
    std::size_t at = 0;
    while (true) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        if (at == text.size()) {
            return tokens;
        }
        std::string token;
        if (text[at] == '"') {
            for (++at; text[at] != '"'; ++at) {
                at += text[at] == '\\' ? 1 : 0;
                token += text[at];
            }
            ++at;
        } else {
            while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) {
                token += text[at++];
            }
        }
        tokens.push_back(Normal(tokens.empty() ? "" : tokens.back(), std::move(token)));
    }
}

void ExpectSameDocument(const std::string& a, const std::string& b, TDatafileFormat format) {
    if (format == TDatafileFormat::Logiqx) {
        ExpectSameTree(ReadXmlTree(a), ReadXmlTree(b), "");
    } else {
        EXPECT_EQ(Tokens(a), Tokens(b));
    }
}

const TXmlElement* Child(const TXmlElement& element, std::string_view name) {
    for (const TXmlElement& child : element.Children) {
        if (child.Name == name) {
            return &child;
        }
    }
    return nullptr;
}

} // namespace

TEST(KeptFields, CuratorsFilesShowEveryRomAndSaveBackTheSameDocument) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(TABULA_TEST_DATA_DIR) / "curated")) {
        SCOPED_TRACE(entry.path().string());
        const std::string bytes = ReadBytes(entry.path());
        const TOpenedDatafile opened = ReadDatafileText(bytes, entry.path().string());
        const TSaved saved = Saved(opened, opened.Format);
        EXPECT_TRUE(saved.Dropped.empty());
        ExpectSameDocument(bytes, saved.Bytes, opened.Format);
        // Read again, the rows are the same.
        const TOpenedDatafile again = ReadDatafileText(saved.Bytes, "again");
        EXPECT_EQ(again.Rows, opened.Rows);
        ++files;
        if (opened.Format != TDatafileFormat::Logiqx) {
            const std::vector<std::string> tokens = Tokens(bytes);
            std::size_t roms = 0;
            for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
                roms += tokens[i] == "rom" && tokens[i + 1] == "(" ? 1 : 0;
            }
            EXPECT_EQ(roms, opened.Rows.size());
            continue;
        }
        // Every rom is a row with its name, size and digests as the file has them.
        std::size_t row = 0;
        for (const TXmlElement& game : ReadXmlTree(bytes).Children) {
            for (const TXmlElement& rom : game.Children) {
                if (rom.Name != "rom") {
                    continue;
                }
                ASSERT_LT(row, opened.Rows.size());
                const auto attribute = [&rom](const char* key) {
                    const std::string* value = rom.Attribute(key);
                    return value != nullptr ? Normal(key, *value) : std::string();
                };
                EXPECT_EQ(opened.Rows[row][1], *game.Attribute("name"));
                EXPECT_EQ(opened.Rows[row][4], attribute("name"));
                EXPECT_EQ(opened.Rows[row][5], attribute("crc"));
                EXPECT_EQ(opened.Rows[row][6], attribute("size"));
                EXPECT_EQ(Normal("md5", opened.Extras[row].Md5), attribute("md5"));
                EXPECT_EQ(Normal("sha1", opened.Extras[row].Sha1), attribute("sha1"));
                EXPECT_EQ(Normal("sha256", opened.Extras[row].Sha256), attribute("sha256"));
                ++row;
            }
        }
        EXPECT_EQ(row, opened.Rows.size());
    }
    EXPECT_EQ(files, 4);
}

TEST(KeptFields, ClrMameProRowsAreTheFilesRoms) {
    const TOpenedDatafile opened =
        ReadDatafileText(ReadBytes(TestDataFile("curated/frontend.dat")), "frontend.dat");
    ASSERT_EQ(opened.Rows.size(), 2u);
    // A CRC without its leading zero; a bare word holding parentheses; a
    // tab kept in a text; no size is an empty cell.
    EXPECT_EQ(opened.Rows[0],
              (TRomTable::TRow{"alpha quest (usa)", "Alpha Quest (USA)", "alpha quest (usa)",
                               "Alpha Quest (USA)", "Alpha Quest (USA).gb", "0611E83F", "65536"}));
    EXPECT_EQ(opened.Extras[0].Md5, "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(opened.Rows[1][1], "Farmyfarm(v1.0)");
    EXPECT_EQ(opened.Rows[1][6], "");
    EXPECT_TRUE(opened.HasDigests);
    const TSaved logiqx = Saved(opened, TDatafileFormat::Logiqx);
    EXPECT_NE(logiqx.Bytes.find("<description>Farmyfarm\t(tabbed)</description>"),
              std::string::npos);
    EXPECT_NE(logiqx.Bytes.find("<rom name=\"Farmyfarm (v1.0).gb\" crc=\"0000ABCD\""),
              std::string::npos)
        << logiqx.Bytes;
    // The sectioned datafile needs a size.
    EXPECT_THROW(Saved(opened, TDatafileFormat::Sectioned), EConvertError);
}

TEST(KeptFields, ConversionsCarryTheKnownVocabularyAndSayWhatTheyDrop) {
    const struct {
        const char* File;
        TDatafileFormat To;
        TDroppedNames Dropped;
    } cases[] = {
        {"curated/arcade.xml",
         TDatafileFormat::ClrMamePro,
         {{"<device_ref> in <game>", 1},
          {"<feature> in <game>", 1},
          {"attribute \"ismechanical\" of <game>", 1},
          {"attribute \"offset\" of <rom>", 1},
          {"attribute \"region\" of <rom>", 1}}},
        {"curated/cartridge.xml", TDatafileFormat::ClrMamePro, {}},
        {"curated/frontend.dat",
         TDatafileFormat::Logiqx,
         {{"\"emulator\" block", 1}, {"\"forcezipping\" in clrmamepro", 1}}},
        {"curated/disc.xml",
         TDatafileFormat::Sectioned,
         {{"<category> in <game>", 2},
          {"<disk> in <game>", 1},
          {"<homepage> in <header>", 1},
          {"<url> in <header>", 1},
          {"MD5", 4},
          {"SHA-1", 4}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const TOpenedDatafile opened = ReadDatafileText(ReadBytes(TestDataFile(c.File)), c.File);
        const TSaved converted = Saved(opened, c.To);
        EXPECT_EQ(converted.Dropped, c.Dropped);
        if (c.To == TDatafileFormat::Sectioned) {
            continue;
        }
        // What came through is known to both: it goes back and forth unchanged.
        const TOpenedDatafile back = ReadDatafileText(converted.Bytes, "converted");
        const TSaved twice = Saved(back, opened.Format);
        EXPECT_TRUE(twice.Dropped.empty());
        const TOpenedDatafile thrice = ReadDatafileText(twice.Bytes, "twice");
        EXPECT_EQ(Saved(thrice, c.To).Bytes, converted.Bytes);
        EXPECT_EQ(thrice.Rows, opened.Rows);
    }
}

TEST(KeptFields, ArcadeElementsBecomeBlocksAndComeBack) {
    const TOpenedDatafile opened =
        ReadDatafileText(ReadBytes(TestDataFile("curated/arcade.xml")), "arcade.xml");
    const std::string text = Saved(opened, TDatafileFormat::ClrMamePro).Bytes;
    for (const char* line :
         {"\tinput ( players \"2\" buttons \"3\" coins \"2\" control ( type \"joy\" ways \"8\" ) "
          ")\n",
          "\tdriver ( status \"good\" emulation \"good\" savestate \"supported\" )\n",
          "\tsourcefile \"alpha.cpp\"\n", "\tforcenodump \"ignore\"\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    }
    const TXmlElement back =
        ReadXmlTree(Saved(ReadDatafileText(text, "a.dat"), TDatafileFormat::Logiqx).Bytes);
    const TXmlElement original = ReadXmlTree(ReadBytes(TestDataFile("curated/arcade.xml")));
    const TXmlElement* input = Child(original.Children[1], "input");
    ASSERT_NE(input, nullptr);
    ExpectSameTree(*Child(back.Children[1], "input"), *input, "");
    ExpectSameTree(*Child(back.Children[1], "dipswitch"), *Child(original.Children[1], "dipswitch"),
                   "");
}

TEST(KeptFields, EditedRowsKeepTheirGamesFields) {
    TOpenedDatafile opened =
        ReadDatafileText(ReadBytes(TestDataFile("curated/cartridge.xml")), "cartridge.xml");
    ASSERT_EQ(opened.Rows.size(), 3u);
    // Renamed: the description that said the name follows it. The clone's
    // parent renamed too; the middle row deleted.
    opened.Rows[0][1] = opened.Rows[0][3] = "Beta (Europe) (Rev 1)";
    opened.Rows[0][0] = opened.Rows[0][2] = "beta (europe) (rev 1)";
    opened.Rows.erase(opened.Rows.begin() + 1);
    opened.Extras.erase(opened.Extras.begin() + 1);
    opened.Rows[1][4] = "Gamma.sfc";
    for (const TDatafileFormat format : {TDatafileFormat::Logiqx, TDatafileFormat::ClrMamePro}) {
        const std::string saved = Saved(opened, format).Bytes;
        const TOpenedDatafile again = ReadDatafileText(saved, "again");
        EXPECT_EQ(again.Rows, opened.Rows);
        if (format == TDatafileFormat::Logiqx) {
            const TXmlElement root = ReadXmlTree(saved);
            ASSERT_EQ(root.Children.size(), 3u); // header and two machines
            const TXmlElement& beta = root.Children[1];
            EXPECT_EQ(beta.Name, "machine");
            EXPECT_EQ(*beta.Attribute("name"), "Beta (Europe) (Rev 1)");
            EXPECT_EQ(*beta.Attribute("id"), "0001");
            EXPECT_EQ(Child(beta, "description")->Text, "Beta (Europe) (Rev 1)");
            EXPECT_EQ(Child(beta, "game_id")->Text, "SNS-BE-EUR");
            EXPECT_EQ(*Child(beta, "rom")->Attribute("serial"), "SNS-BE-EUR");
            const TXmlElement& gamma = root.Children[2];
            EXPECT_EQ(*Child(gamma, "rom")->Attribute("name"), "Gamma.sfc");
            EXPECT_EQ(Child(gamma, "rom")->Attribute("size"), nullptr);
            EXPECT_EQ(*Child(gamma, "rom")->Attribute("status"), "nodump");
        } else {
            EXPECT_NE(saved.find(" sha256 "), std::string::npos);
            EXPECT_NE(saved.find("\tgame_id \"SNS-BE-EUR\"\n"), std::string::npos) << saved;
            EXPECT_NE(saved.find(" flags \"verified\""), std::string::npos);
        }
    }
}

TEST(KeptFields, Sha256IsReadAndWrittenByBothFormats) {
    const TOpenedDatafile opened =
        ReadDatafileText(ReadBytes(TestDataFile("curated/cartridge.xml")), "cartridge.xml");
    EXPECT_TRUE(opened.HasSha256);
    ASSERT_EQ(opened.Extras[0].Sha256.size(), 64u);
    const std::string text = Saved(opened, TDatafileFormat::ClrMamePro).Bytes;
    std::string upper = opened.Extras[0].Sha256;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_NE(text.find(" sha256 " + upper), std::string::npos) << text;
    EXPECT_EQ(ReadDatafileText(text, "x.dat").Extras[0].Sha256, opened.Extras[0].Sha256);
}
