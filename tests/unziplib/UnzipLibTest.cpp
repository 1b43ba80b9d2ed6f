// The unzip library through its C entry points: what it writes, where, and
// what it refuses.
#include "unziplib.h"
#include "tests/unziplib/ArchiveBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using tabula::test::TArchiveBuilder;

namespace {

struct TEvent {
    int32_t Action;
    int32_t Code;
    uint32_t Size;
    std::string Text;
};

struct TRun {
    int32_t Count = 0;
    std::vector<TEvent> Events;
    int32_t StopAtAction = 0; // answer "stop" to the first callback of this action

    std::vector<TEvent> Errors() const {
        std::vector<TEvent> out;
        for (const TEvent& e : Events)
            if (e.Action == UNZIPLIB_ACTION_MESSAGE && e.Code != 0)
                out.push_back(e);
        return out;
    }
};

int32_t Record(UnzipCallbackInfo* info) {
    auto* run = static_cast<TRun*>(info->Caller);
    run->Events.push_back({info->ActionCode, info->ErrorCode, info->Size, info->Text});
    return run->StopAtAction == info->ActionCode ? UNZIPLIB_TRUE : UNZIPLIB_FALSE;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

class UnzipLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/unziplib-test-XXXXXX";
        root_ = mkdtemp(pattern);
        work_ = root_ / "work";
        fs::create_directory(work_);
        previous_ = fs::current_path();
        fs::current_path(work_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(root_);
    }

    TRun Run(const std::string& archive, const std::vector<std::string>& specs, bool test = false,
             int32_t stopAt = 0) {
        TRun run;
        run.StopAtAction = stopAt;
        std::vector<UnzipFileSpec> records(specs.size());
        for (size_t i = 0; i < specs.size(); ++i)
            records[i].FileSpec = specs[i].c_str();
        char password[81] = {};
        UnzipExecParamsNewer block{};
        block.Head.Caller = &run;
        block.Head.StructVersion = UNZIPLIB_STRUCT_VERSION;
        block.Head.Callback = &Record;
        block.Head.Password = password;
        block.Head.Test = test ? UNZIPLIB_TRUE : UNZIPLIB_FALSE;
        block.Head.Reserved40 = UNZIPLIB_TRUE;
        block.Head.SpecCount = static_cast<int32_t>(specs.size());
        block.Head.ZipFilename = archive.c_str();
        block.FileSpecs = records.data();
        block.Tail = UNZIPLIB_TAIL_VALUE;
        run.Count = UnzipLibExec(&block.Head);
        return run;
    }

    // Builds an archive beside the working directory and extracts one spec.
    TRun RunBuilt(const TArchiveBuilder& builder, const std::string& spec, bool test = false) {
        const std::string path = (root_ / "built.zip").string();
        EXPECT_TRUE(builder.WriteTo(path));
        return Run(path, {spec}, test);
    }

    std::vector<std::string> WorkFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(work_))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path root_;
    fs::path work_;
    fs::path previous_;
};

const std::string Rom = "games/Hero Quest (E).nes";
const std::string RomSpec = "games\\hero quest (e).nes"; // as the collector asks for it

std::string DataDir() {
    return std::string(TABULA_TEST_DATA_DIR) + "/unzip/";
}

class RealArchiveTest : public UnzipLibTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealArchiveTest, ExtractsMembersByteIdenticalUnderBareNames) {
    const TRun run = Run(DataDir() + GetParam(), {RomSpec, "README.TXT"});
    EXPECT_TRUE(run.Errors().empty()) << run.Errors().front().Text;
    EXPECT_EQ(run.Count, 2);
    EXPECT_EQ(ReadFile("Hero Quest (E).nes"), ReadFile(DataDir() + "src/" + Rom));
    EXPECT_EQ(ReadFile("readme.txt"), ReadFile(DataDir() + "src/readme.txt"));
    EXPECT_EQ(WorkFiles().size(), 2u);

    // Count and total first, then each member with its bytes, then the end.
    ASSERT_GE(run.Events.size(), 5u);
    EXPECT_EQ(run.Events[0].Action, UNZIPLIB_ACTION_FILE_COUNT);
    EXPECT_EQ(run.Events[0].Size, 2u);
    EXPECT_EQ(run.Events[1].Action, UNZIPLIB_ACTION_BYTE_TOTAL);
    EXPECT_EQ(run.Events[1].Size, 40960u + 4690u);
    EXPECT_EQ(run.Events[2].Action, UNZIPLIB_ACTION_FILE_START);
    EXPECT_EQ(run.Events[2].Text, Rom);
    EXPECT_EQ(run.Events.back().Action, UNZIPLIB_ACTION_BATCH_END);
    uint64_t bytes = 0;
    for (const TEvent& e : run.Events)
        if (e.Action == UNZIPLIB_ACTION_BYTES)
            bytes += e.Size;
    EXPECT_EQ(bytes, 40960u + 4690u);
}

INSTANTIATE_TEST_SUITE_P(Tools, RealArchiveTest,
                         ::testing::Values("infozip-deflated.zip", "infozip-stored.zip",
                                           "7z-deflated.zip", "7z-stored.zip",
                                           "python-deflated.zip", "python-stored.zip"));

TEST_F(UnzipLibTest, LargeMemberIsStreamedInPieces) {
    std::string data;
    for (int i = 0; data.size() < 3 * 1024 * 1024; ++i)
        data += "block " + std::to_string(i * 7919 % 100003) + "\n";
    TArchiveBuilder builder;
    builder.Add("big.bin", data);
    const TRun run = RunBuilt(builder, "big.bin");
    EXPECT_EQ(run.Count, 1);
    EXPECT_EQ(ReadFile("big.bin"), data);
    size_t pieces = 0;
    for (const TEvent& e : run.Events)
        pieces += e.Action == UNZIPLIB_ACTION_BYTES;
    EXPECT_GT(pieces, 4u);
}

TEST_F(UnzipLibTest, DirectoryPartsNeverLeaveTheWorkingDirectory) {
    for (const std::string name : {"../up.bin", "/tmp/../abs.bin", "..\\..\\back.bin"}) {
        SCOPED_TRACE(name);
        TArchiveBuilder builder;
        builder.Add(name, "payload", 0);
        const TRun run = RunBuilt(builder, name);
        EXPECT_EQ(run.Count, 1);
        const std::string bare = name.substr(name.find_last_of("/\\") + 1);
        EXPECT_EQ(ReadFile(bare), "payload");
        EXPECT_FALSE(fs::exists(root_ / bare));
        fs::remove(bare);
    }
}

TEST_F(UnzipLibTest, NamesWithoutAFileNameAreRefused) {
    for (const std::string name : {"dir/", "..", "dir\\..", "a/."}) {
        SCOPED_TRACE(name);
        TArchiveBuilder builder;
        builder.Add(name, "", 0);
        const TRun run = RunBuilt(builder, name);
        EXPECT_EQ(run.Count, 0);
        ASSERT_EQ(run.Errors().size(), 1u);
        EXPECT_EQ(run.Errors()[0].Code, UNZIPLIB_ERR_UNSAFE_NAME);
        EXPECT_TRUE(WorkFiles().empty());
    }
}

// A message longer than the callback's text field loses part of the name,
// never the reason at its end, and is never cut inside a character.
TEST_F(UnzipLibTest, LongNamesAreCutInsideTheMessageNotTheReason) {
    std::string name = "d/";
    for (int i = 0; i < 300; ++i)
        name += "\xC3\xA9"; // 600 bytes: past the system's 255 and the text field
    name += ".nes";
    TArchiveBuilder builder;
    builder.Add(name, "data", 0);
    const TRun run = RunBuilt(builder, name);
    ASSERT_EQ(run.Errors().size(), 1u);
    const std::string text = run.Errors()[0].Text;
    EXPECT_LT(text.size(), size_t{UNZIPLIB_TEXT_SIZE});
    const std::string reason = ": File name too long";
    ASSERT_GE(text.size(), reason.size());
    EXPECT_EQ(text.substr(text.size() - reason.size()), reason);
    EXPECT_NE(text.find("\xC3\xA9...\xC3\xA9"), std::string::npos) << text;
}

TEST_F(UnzipLibTest, ExistingFileIsNotReplaced) {
    std::ofstream("rom.bin") << "keep";
    TArchiveBuilder builder;
    builder.Add("sub/rom.bin", "new data");
    const TRun run = RunBuilt(builder, "SUB\\ROM.BIN");
    EXPECT_EQ(run.Count, 0);
    ASSERT_EQ(run.Errors().size(), 1u);
    EXPECT_EQ(run.Errors()[0].Code, UNZIPLIB_ERR_EXISTS);
    EXPECT_EQ(ReadFile("rom.bin"), "keep");
}

TEST_F(UnzipLibTest, LinksAreNeitherFollowedNorReplaced) {
    const fs::path target = root_ / "target.bin";
    for (bool targetExists : {false, true}) {
        SCOPED_TRACE(targetExists);
        if (targetExists)
            std::ofstream(target) << "outside";
        fs::create_symlink(target, "rom.bin");
        TArchiveBuilder builder;
        builder.Add("rom.bin", "new data");
        const TRun run = RunBuilt(builder, "rom.bin");
        EXPECT_EQ(run.Count, 0);
        ASSERT_EQ(run.Errors().size(), 1u);
        EXPECT_EQ(run.Errors()[0].Code, UNZIPLIB_ERR_EXISTS);
        EXPECT_TRUE(fs::is_symlink("rom.bin"));
        EXPECT_EQ(fs::exists(target), targetExists);
        if (targetExists) {
            EXPECT_EQ(ReadFile(target), "outside");
        }
        fs::remove("rom.bin");
    }
}

// A member whose data is not what the directory says: an error message, and
// no file left behind.
TEST_F(UnzipLibTest, DamagedMembersLeaveNoFile) {
    const std::string data(100000, 'x');
    struct TCase {
        const char* Name;
        uint16_t Method;
        int64_t Crc;
        int64_t Size;
        std::vector<size_t> Flip;
        const char* Expect;
    };
    const TCase cases[] = {
        {"stored, wrong crc", 0, 0x12345678, -1, {}, "CRC error"},
        {"deflated, wrong crc", 8, 0x12345678, -1, {}, "CRC error"},
        {"stored, flipped byte", 0, -1, -1, {500}, "CRC error"},
        {"deflated, flipped bytes", 8, -1, -1, {2, 3, 4}, "CRC error"},
        {"deflated, stated too small", 8, -1, 1000, {}, "longer than its stated size"},
        {"deflated, stated too large", 8, -1, 200000, {}, "shorter than its stated size"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TArchiveBuilder builder;
        auto& member = builder.Add("rom.bin", data, c.Method);
        member.StatedCrc = c.Crc;
        member.StatedSize = c.Size;
        member.Flip = c.Flip;
        const TRun run = RunBuilt(builder, "rom.bin");
        EXPECT_EQ(run.Count, 0);
        ASSERT_EQ(run.Errors().size(), 1u);
        EXPECT_NE(run.Errors()[0].Text.find(c.Expect), std::string::npos) << run.Errors()[0].Text;
        EXPECT_TRUE(WorkFiles().empty());
    }
}

TEST_F(UnzipLibTest, NeverWritesMoreThanTheStatedSize) {
    // Testing mode reports the same check without a file to look at, so
    // watch the byte counts the library announces instead.
    TArchiveBuilder builder;
    builder.Add("rom.bin", std::string(1 << 20, 'y')).StatedSize = 4096;
    const TRun run = RunBuilt(builder, "rom.bin");
    uint64_t bytes = 0;
    for (const TEvent& e : run.Events)
        if (e.Action == UNZIPLIB_ACTION_BYTES)
            bytes += e.Size;
    EXPECT_LE(bytes, 4096u);
    EXPECT_TRUE(WorkFiles().empty());
}

TEST_F(UnzipLibTest, ASpecTakesTheMemberOfItsExactNameBeforeAFoldedOne) {
    TArchiveBuilder builder;
    builder.Add("d/r.nes", "slash");
    builder.Add("d\\r.nes", "backslash");
    builder.Add("a.nes", "lower");
    builder.Add("A.nes", "upper");
    const std::string path = (root_ / "built.zip").string();
    ASSERT_TRUE(builder.WriteTo(path));
    const std::pair<const char*, const char*> cases[] = {
        {"A.nes", "upper"},   {"a.nes", "lower"}, {"d\\r.nes", "backslash"},
        {"d/r.nes", "slash"}, {"A.NES", "lower"}, // no exact match: the first folded one
    };
    for (const auto& [spec, data] : cases) {
        SCOPED_TRACE(spec);
        const TRun run = Run(path, {spec});
        EXPECT_TRUE(run.Errors().empty());
        const std::vector<std::string> files = WorkFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(ReadFile(work_ / files[0]), data);
        fs::remove(work_ / files[0]);
    }
}

TEST_F(UnzipLibTest, OverlappingMembersAreNeverExtracted) {
    // Central headers patched after building: every member pointing at the
    // first one's header, or the first one's data running over the others.
    struct TCase {
        const char* Name;
        bool SameOffset;
    };
    for (const TCase c : {TCase{"one stream for all", true}, TCase{"data over headers", false}}) {
        SCOPED_TRACE(c.Name);
        TArchiveBuilder builder;
        for (const char* name : {"a.bin", "b.bin", "c.bin"})
            builder.Add(name, std::string(4096, 'z'));
        std::string bytes = builder.Build();
        std::vector<size_t> central;
        for (size_t at = bytes.find("PK\x01\x02"); at != std::string::npos;
             at = bytes.find("PK\x01\x02", at + 4))
            central.push_back(at);
        ASSERT_EQ(central.size(), 3u);
        const size_t directory = central[0];
        if (c.SameOffset) {
            for (size_t k = 1; k < 3; ++k)
                bytes.replace(central[k] + 42, 4, bytes, central[0] + 42, 4);
        } else {
            // The first member's stated data ends where the directory starts.
            const uint32_t size = static_cast<uint32_t>(directory - 30 - 5);
            for (int i = 0; i < 4; ++i)
                bytes[central[0] + 20 + i] = static_cast<char>(size >> (8 * i));
        }
        const std::string path = (root_ / "overlap.zip").string();
        std::ofstream(path, std::ios::binary) << bytes;
        const TRun run = Run(path, {"a.bin", "b.bin", "c.bin"});
        EXPECT_EQ(run.Count, 0);
        ASSERT_EQ(run.Errors().size(), 3u);
        for (const TEvent& e : run.Errors()) {
            EXPECT_EQ(e.Code, UNZIPLIB_ERR_FORMAT);
            EXPECT_NE(e.Text.find("overlapping entries"), std::string::npos) << e.Text;
            EXPECT_NE(e.Text.find("overlap.zip"), std::string::npos) << e.Text;
        }
        EXPECT_TRUE(WorkFiles().empty());
    }
}

TEST_F(UnzipLibTest, UnsupportedMembersGetAClearMessage) {
    struct TCase {
        uint16_t Method;
        uint16_t Flags;
        int32_t Code;
        const char* Expect;
    };
    for (const TCase& c : {TCase{12, 0, UNZIPLIB_ERR_UNSUPPORTED, "compression method 12"},
                           TCase{8, 1, UNZIPLIB_ERR_ENCRYPTED, "encrypted"}}) {
        SCOPED_TRACE(c.Expect);
        TArchiveBuilder builder;
        auto& member = builder.Add("rom.bin", "data", 0);
        member.Method = c.Method;
        member.Flags = c.Flags;
        const TRun run = RunBuilt(builder, "rom.bin");
        EXPECT_EQ(run.Count, 0);
        ASSERT_EQ(run.Errors().size(), 1u);
        EXPECT_EQ(run.Errors()[0].Code, c.Code);
        EXPECT_NE(run.Errors()[0].Text.find(c.Expect), std::string::npos);
        EXPECT_TRUE(WorkFiles().empty());
    }
}

TEST_F(UnzipLibTest, BadArchivesAndUnknownSpecsAreReported) {
    std::ofstream(root_ / "not.zip") << "this is not an archive at all";
    ASSERT_EQ(mkfifo((root_ / "fifo.zip").c_str(), 0600), 0);
    struct TCase {
        std::string Archive;
        std::string Spec;
        int32_t Code;
    };
    const TCase cases[] = {
        {(root_ / "missing.zip").string(), "x", UNZIPLIB_ERR_NO_ARCHIVE},
        {(root_ / "not.zip").string(), "x", UNZIPLIB_ERR_NO_ARCHIVE},
        {(root_ / "fifo.zip").string(), "x", UNZIPLIB_ERR_NO_ARCHIVE},
        {DataDir() + "infozip-deflated.zip", "hero quest (e).nes", UNZIPLIB_ERR_NO_MATCH},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        const TRun run = Run(c.Archive, {c.Spec});
        EXPECT_EQ(run.Count, 0);
        ASSERT_FALSE(run.Errors().empty());
        EXPECT_EQ(run.Errors()[0].Code, c.Code);
        EXPECT_TRUE(WorkFiles().empty());
    }
}

TEST_F(UnzipLibTest, DataInFrontOfTheArchiveIsSkipped) {
    TArchiveBuilder builder;
    builder.Prefix(std::string(777, '\x90'));
    builder.Add("rom.bin", "after the stub");
    const TRun run = RunBuilt(builder, "rom.bin");
    EXPECT_EQ(run.Count, 1);
    EXPECT_EQ(ReadFile("rom.bin"), "after the stub");
}

TEST_F(UnzipLibTest, StopRequestRemovesThePartialCopy) {
    TArchiveBuilder builder;
    builder.Add("rom.bin", std::string(2 << 20, 'z'));
    builder.Add("two.bin", "second");
    const std::string path = (root_ / "built.zip").string();
    ASSERT_TRUE(builder.WriteTo(path));
    const TRun run = Run(path, {"rom.bin", "two.bin"}, false, UNZIPLIB_ACTION_BYTES);
    EXPECT_EQ(run.Count, 0);
    ASSERT_EQ(run.Errors().size(), 1u);
    EXPECT_EQ(run.Errors()[0].Code, UNZIPLIB_ERR_ABORTED);
    EXPECT_TRUE(WorkFiles().empty());
}

TEST_F(UnzipLibTest, TestingChecksWithoutWriting) {
    TArchiveBuilder builder;
    builder.Add("good.bin", "fine");
    builder.Add("bad.bin", "broken").StatedCrc = 1;
    const std::string path = (root_ / "built.zip").string();
    ASSERT_TRUE(builder.WriteTo(path));
    const TRun run = Run(path, {"good.bin", "bad.bin"}, true);
    EXPECT_EQ(run.Count, 1);
    ASSERT_EQ(run.Errors().size(), 1u);
    EXPECT_NE(run.Errors()[0].Text.find("CRC error"), std::string::npos);
    EXPECT_TRUE(WorkFiles().empty());
}

} // namespace
