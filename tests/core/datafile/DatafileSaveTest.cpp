#include "core/datafile/DatafileSave.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileStream.h"
#include "core/datafile/SizeCell.h"
#include "core/platform/AtomicFile.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;

namespace {

const std::string OldContent = "old datafile\r\n\xAC"
                               "kept\xAC\r\n";

using TRows = std::vector<TRomTable::TRow>;

const TRows GoodRows = {{"a", "A", "", "", "a.bin", "0123ABCD", "16"}};

struct TFailureCase {
    const char* name;
    TRows rows;
    TDatafileCredits credits;
    std::optional<TAtomicFileCalls> calls; // a system that fails
    std::string message;
};

long FullDisk(int fd, const char* data, std::size_t size) {
    // Half of the first write lands, then the device is full.
    static bool first = true;
    if (first && size > 1) {
        first = false;
        return static_cast<long>(::write(fd, data, size / 2));
    }
    first = true;
    errno = ENOSPC;
    return -1;
}

std::vector<TFailureCase> FailureCases() {
    const std::string noSpace = std::system_category().message(ENOSPC);
    return {
        {"name but empty size",
         {{"smb", "", "", "", "", "", ""}},
         {},
         {},
         "'' n'est pas une valeur entière correcte"},
        {"bad size in a later row",
         {GoodRows[0], {"b", "", "", "", "", "", "16 "}},
         {},
         {},
         "'16 ' n'est pas une valeur entière correcte"},
        {"single blank cell is not a blank row",
         {{"", "", "", "", "", " ", ""}},
         {},
         {},
         "'' n'est pas une valeur entière correcte"},
        {"character outside Windows-1252",
         {GoodRows[0], {"b", "Pokémon 日本", "", "", "b.gb", "00000000", "1"}},
         {},
         {},
         "Row 2, column \"Set full name\" holds the character \"日\" (U+65E5), which the "
         "datafile's code page (Windows-1252) cannot hold"},
        {"control character outside Windows-1252",
         {{"b", "", "", "", "b\xC2\x80.gb", "00000000", "1"}},
         {},
         {},
         "Row 1, column \"Rom name\" holds the character U+0080, which the datafile's code "
         "page (Windows-1252) cannot hold"},
        {"separator in a game field",
         {{"a", "A", "a", "A", "x¬y.bin", "0123ABCD", "16"}},
         {},
         {},
         "Row 1, column \"Rom name\" holds the separator \"¬\" of the datafile's game lines"},
        {"line feed in a game field",
         {{"a", "A\nB", "", "", "x.bin", "0123ABCD", "16"}},
         {},
         {},
         "Row 1, column \"Set full name\" holds a line break, which would split its game line"},
        {"carriage return in the crc",
         {{"a", "", "", "", "x.bin", "0123ABCD\r", "16"}},
         {},
         {},
         "Row 1, column \"Rom crc\" holds a line break, which would split its game line"},
        {"credit outside Windows-1252",
         GoodRows,
         {"A", "1", "ok\r\nΩ", "snes", "2"},
         {},
         "The credit \"Comment\" holds the character \"Ω\" (U+03A9), which the datafile's "
         "code page (Windows-1252) cannot hold"},
        // Credits that would write lines of their own, or terminal controls.
        {"line break in the author",
         GoodRows,
         {"me\r\n[GAMES]\n\xC2\xAC"
          "evil\xC2\xAC"
          "evil",
          "1", "", "", ""},
         {},
         "The credit \"Author\" holds a line break; it is written on one line"},
        {"line feed in the datafile version",
         GoodRows,
         {"A", "1\n2", "", "", ""},
         {},
         "The credit \"Datafile Version\" holds a line break; it is written on one line"},
        {"separator in the system",
         GoodRows,
         {"A", "1", "",
          "sn\xC2\xAC"
          "es",
          ""},
         {},
         "The credit \"System\" holds the separator \"\xC2\xAC\" of the datafile's game lines"},
        {"escape in the emulator version",
         GoodRows,
         {"A", "1", "", "snes", "2\x1B[2J"},
         {},
         "The credit \"Emulator version\" holds the character U+001B, a control character"},
        {"comment line that reads as a section",
         GoodRows,
         {"A", "1", "first\r\n [GAMES]", "snes", "2"},
         {},
         "Line 2 of the credit \"Comment\" starts with \"[\", which would read as a section of "
         "the datafile"},
        {"comment line that reads as a game line",
         GoodRows,
         {"A", "1",
          "first\r\rthird\n\xC2\xAC"
          "a\xC2\xAC",
          "snes", "2"},
         {},
         "Line 4 of the credit \"Comment\" starts with the separator \"\xC2\xAC\", which would "
         "read as a game line"},
        {"control character in the comment",
         GoodRows,
         {"A", "1", "a\tb", "snes", "2"},
         {},
         "Line 1 of the credit \"Comment\" holds the character U+0009, a control character"},
        {"full disk",
         GoodRows,
         {},
         TAtomicFileCalls{FullDisk, {}, {}},
         "Erreur d'écriture dans le flux du fichier %s (" + noSpace + ")"},
        {"flush fails",
         GoodRows,
         {},
         TAtomicFileCalls{{}, [](int) { return errno = EIO, -1; }, {}},
         "Erreur d'écriture dans le flux du fichier %s (" + std::system_category().message(EIO) +
             ")"},
        {"rename refused",
         GoodRows,
         {},
         TAtomicFileCalls{{}, {}, [](const char*, const char*) { return errno = EACCES, -1; }},
         "Impossible de créer le fichier %s (" + std::system_category().message(EACCES) + ")"},
    };
}

std::string WithPath(std::string message, const std::string& path) {
    const size_t at = message.find("%s");
    if (at != std::string::npos) {
        message.replace(at, 2, path);
    }
    return message;
}

} // namespace

// The whole table at once, as the window saves, or row by row as a scan
// writes them.
using TSave = std::function<void(const TRows&, const TDatafileCredits&, const std::string&)>;

void SaveByStream(const TRows& rows, const TDatafileCredits& credits, const std::string& file) {
    TDatafileStream stream(file, TDatafileFormat::Sectioned, TDatafileInfo{credits, "", {}});
    for (const TRomTable::TRow& row : rows) {
        stream.Add(row);
    }
    EXPECT_TRUE(stream.Finish());
}

const std::pair<const char*, TSave> SaveRoutes[] = {
    {"whole", [](const TRows& rows, const TDatafileCredits& credits,
                 const std::string& file) { SaveDatafile(rows, credits, file); }},
    {"stream", SaveByStream},
};

TEST(DatafileSave, EveryFailedSaveLeavesTheOldFileAndNoTemporary) {
    for (const auto& [route, save] : SaveRoutes) {
        for (const TFailureCase& c : FailureCases()) {
            SCOPED_TRACE(std::string(route) + ": " + c.name);
            TScratchDirectory dir;
            const std::string target = dir.File("games.dat");
            WriteBytes(target, OldContent);
            std::optional<TScopedAtomicFileCalls> failing;
            if (c.calls) {
                failing.emplace(*c.calls);
            }
            try {
                save(c.rows, c.credits, target);
                ADD_FAILURE() << "saved";
            } catch (const std::exception& error) {
                EXPECT_EQ(std::string(error.what()), WithPath(c.message, target));
            }
            EXPECT_EQ(ReadBytes(target), OldContent);
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{"games.dat"});

            // The same failure where there was no file creates none.
            const std::string fresh = dir.File("fresh.dat");
            EXPECT_ANY_THROW(save(c.rows, c.credits, fresh));
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{"games.dat"});
        }
    }
}

TEST(DatafileSave, RowsWrittenAsTheyComeGiveTheBytesOfTheWholeSave) {
    TRows rows;
    for (int i = 0; i < 30000; ++i) { // past one flush of the stream
        const std::string n = std::to_string(i);
        rows.push_back({"s" + n, "Set é " + n, "s", "Set", "r" + n + ".bin", "0000ABCD", n});
    }
    rows.insert(rows.begin() + 5, TRomTable::TRow{}); // a blank row is no game
    // A comment's first line may start with "[", and a later line may hold
    // the separator after its start.
    const TDatafileCredits credits{"me", "1", "[first]\r\nsecond \xC2\xAC line", "nes", "2"};
    TScratchDirectory dir;
    SaveDatafile(rows, credits, dir.File("whole.dat"));
    SaveByStream(rows, credits, dir.File("stream.dat"));
    const std::string whole = ReadBytes(dir.File("whole.dat"));
    EXPECT_EQ(whole.substr(0, 56),
              "[CREDITS]\r\nAuthor=me\r\nVersion=1\r\nComment=[first]\r\nsecond");
    EXPECT_EQ(ReadBytes(dir.File("stream.dat")), whole);
}

TEST(DatafileSave, UnwritablePlacesFailWithTheCreateMessageAndTouchNothing) {
    TScratchDirectory dir;
    std::filesystem::create_directory(dir.Path() / "sub");
    WriteBytes(dir.Path() / "sub" / "inside", "x");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    const struct {
        std::string target;
        std::string reason;
    } cases[] = {
        {dir.File("missing/games.dat"), std::system_category().message(ENOENT)},
        {dir.File("sub"), std::system_category().message(EISDIR)},
        {dir.File("pipe"), "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        try {
            SaveDatafile(GoodRows, {}, c.target);
            ADD_FAILURE() << "saved";
        } catch (const EFileCreateError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Impossible de créer le fichier " + c.target + " (" + c.reason + ")");
        }
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"pipe", "sub"}));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.Path() / "pipe"));
    EXPECT_EQ(ReadBytes(dir.Path() / "sub" / "inside"), "x");
}

TEST(DatafileSave, ReadOnlyFileOrDirectoryIsNotReplaced) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser may write anywhere";
    }
    TScratchDirectory dir;
    const std::string target = dir.File("games.dat");
    WriteBytes(target, OldContent);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read);
    EXPECT_THROW(SaveDatafile(GoodRows, {}, target), EFileCreateError);
    EXPECT_EQ(ReadBytes(target), OldContent);

    std::filesystem::permissions(target, std::filesystem::perms::owner_all);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
    EXPECT_THROW(SaveDatafile(GoodRows, {}, target), EFileCreateError);
    EXPECT_EQ(ReadBytes(target), OldContent);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"games.dat"});
}

TEST(DatafileSave, ASuccessfulSaveReplacesTheOldFileWhole) {
    TScratchDirectory dir;
    const std::string target = dir.File("games.dat");
    WriteBytes(target, OldContent + std::string(5000, 'x'));
    SaveDatafile(GoodRows, {"A", "1", "", "snes", "2"}, target);
    const std::string saved = ReadBytes(target);
    EXPECT_EQ(saved.substr(0, 11), "[CREDITS]\r\n");
    const std::string line = "\xAC"
                             "a\xAC"
                             "A\xAC\xAC\xAC"
                             "a.bin\xAC"
                             "0123ABCD\xACN\xACO\xAC"
                             "16\xAC\r\n";
    EXPECT_EQ(saved.substr(saved.size() - line.size()), line);
    EXPECT_EQ(saved.size(), 167u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"games.dat"});
}
