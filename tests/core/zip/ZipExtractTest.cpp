// Extraction through the unzip library: the real library on real archives,
// and a recording stand-in for the parameter block and the callback rules.
#include "core/platform/ProcessPaths.h"
#include "core/platform/SharedLibrary.h"
#include "core/zip/UnzipLibLoader.h"
#include "core/zip/ZipComponent.h"
#include "core/zip/ZipMessages.h"

#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"
#include "tests/unziplib/Recorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <tuple>

namespace fs = std::filesystem;

namespace tabula {
namespace {

const std::string DataDir = std::string(TABULA_TEST_DATA_DIR) + "/unzip/";
const std::string RomFileName = "Hero Quest (E).nes";

using test::ReadBytes;

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

class TCountingUi : public IZipUi {
public:
    void ShowMessage(const std::string& text) override { Shown.push_back(text); }
    TVolumeAnswer AskForVolume(const std::string&, bool) override { return TVolumeAnswer::Cancel; }
    void SetBusy(bool) override {}
    void Pump() override { ++Pumps; }

    std::vector<std::string> Shown;
    int Pumps = 0;
};

// Runs each test in a private, empty current directory.
class ZipExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = root_ / "work";
        fs::create_directory(work_);
        previous_ = fs::current_path();
        fs::current_path(work_);
    }
    void TearDown() override { fs::current_path(previous_); }

    size_t WorkFileCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(work_), {}));
    }

    // Lists archive and asks for its rom the way the checksum collector does.
    void ExtractRom(TZipComponent& zip, const std::string& archive) {
        zip.SetErrCode(0);
        zip.SetZipFilename(archive);
        ASSERT_EQ(zip.ErrCode(), 0) << zip.Message();
        zip.FileSpecs().clear();
        for (const ZipDirEntry& entry : zip.DirEntries())
            if (entry.FileName.ends_with(RomFileName))
                zip.FileSpecs().push_back(Lower(entry.FileName));
        ASSERT_EQ(zip.FileSpecs().size(), 1u);
        zip.Extract();
    }

    test::TScratchDirectory scratch_;
    const fs::path root_ = scratch_.Path();
    fs::path work_;
    fs::path previous_;
};

class RealArchiveExtractTest : public ZipExtractTest,
                               public ::testing::WithParamInterface<const char*> {};

TEST_P(RealArchiveExtractTest, MemberArrivesByteIdenticalUnderItsBareName) {
    TZipComponent zip;
    zip.SetDLLDirectory(TABULA_UNZIPLIB_DIR);
    ExtractRom(zip, DataDir + GetParam());
    EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
    EXPECT_EQ(zip.ExtractedCount(), 1);
    EXPECT_EQ(ReadBytes(RomFileName), ReadBytes(DataDir + "src/games/" + RomFileName));
    EXPECT_EQ(WorkFileCount(), 1u);
    EXPECT_TRUE(zip.FileSpecs().empty());
    EXPECT_FALSE(zip.Busy());
    EXPECT_FALSE(TUnzipLibLoader::IsLoaded()) << "loaded for the call, released after it";
}

INSTANTIATE_TEST_SUITE_P(Tools, RealArchiveExtractTest,
                         ::testing::Values("infozip-deflated.zip", "infozip-stored.zip",
                                           "7z-deflated.zip", "7z-stored.zip",
                                           "python-deflated.zip", "python-stored.zip"));

TEST_F(ZipExtractTest, DefaultDirectoryIsTheExecutables) {
    TZipComponent zip;
    EXPECT_EQ(zip.DLLDirectory(), ExecutableDirectory());
    ExtractRom(zip, DataDir + "infozip-deflated.zip");
    EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
    EXPECT_EQ(WorkFileCount(), 1u);
}

TEST_F(ZipExtractTest, CorruptedMemberGivesCrcErrorAndLeavesNoFile) {
    // One byte of the rom's stored data flipped; the directory still has the
    // original CRC.
    std::string bytes = ReadBytes(DataDir + "infozip-stored.zip");
    const size_t data = 30 + std::strlen("games/Hero Quest (E).nes") + 1000;
    bytes[data] = static_cast<char>(bytes[data] ^ 0x01);
    const std::string archive = (root_ / "bad.zip").string();
    test::WriteBytes(archive, bytes);

    TZipComponent zip;
    zip.SetDLLDirectory(TABULA_UNZIPLIB_DIR);
    ExtractRom(zip, archive);
    EXPECT_EQ(zip.ErrCode(), -999);
    EXPECT_NE(Lower(zip.Message()).find("crc error"), std::string::npos) << zip.Message();
    EXPECT_EQ(WorkFileCount(), 0u);
    EXPECT_EQ(zip.ExtractedCount(), 0);
}

TEST_F(ZipExtractTest, AnArchiveChangedOnDiskIsReadAgain) {
    // Listings and the library's directory are kept while the file is the
    // same and unchanged; replaced or rewritten, it is read anew.
    const std::string archive = (root_ / "changing.zip").string();
    const auto write = [&](const std::string& data, bool replace) {
        const std::string bytes = test::BuildZip({{RomFileName, data}}).Bytes;
        if (replace) {
            test::WriteBytes(archive + ".new", bytes);
            fs::rename(archive + ".new", archive);
        } else {
            test::WriteBytes(archive, bytes);
        }
    };
    for (const bool replace : {true, false}) {
        const std::string versions[] = {"first", "second, longer"};
        for (const std::string& data : versions) {
            write(data, replace);
            TZipComponent zip;
            zip.SetDLLDirectory(TABULA_UNZIPLIB_DIR);
            ExtractRom(zip, archive);
            ASSERT_EQ(zip.ErrCode(), 0) << zip.Message();
            EXPECT_EQ(zip.DirEntry(0).UncompressedSize, data.size()) << replace;
            EXPECT_EQ(ReadBytes(RomFileName), data) << replace;
            fs::remove(RomFileName);
        }
    }
}

TEST_F(ZipExtractTest, ExistingFileIsKeptAndReported) {
    std::ofstream(RomFileName) << "mine";
    TZipComponent zip;
    zip.SetDLLDirectory(TABULA_UNZIPLIB_DIR);
    ExtractRom(zip, DataDir + "infozip-deflated.zip");
    EXPECT_EQ(zip.ErrCode(), UNZIPLIB_ERR_EXISTS);
    EXPECT_EQ(ReadBytes(RomFileName), "mine");
}

TEST_F(ZipExtractTest, NoLibraryGives10704AndEndsNotBusy) {
    TZipComponent zip;
    zip.SetDLLDirectory(root_.string()); // holds no library; nor does the search order
    zip.SetZipFilename(DataDir + "infozip-stored.zip");
    zip.FileSpecs() = {"readme.txt"};
    zip.Extract();
    EXPECT_EQ(zip.ErrCode(), ZipMsg::LibraryNotFound);
    EXPECT_EQ(zip.Message(), "libunziplib.so not found!");
    EXPECT_FALSE(zip.Busy());
    EXPECT_EQ(zip.ExtractedCount(), 0);
    EXPECT_EQ(WorkFileCount(), 0u);
    EXPECT_EQ(zip.FileSpecs().size(), 1u) << "the call never reached the library";
}

TEST_F(ZipExtractTest, LibraryWithoutEntryPointsIsReleased) {
    // Any shared object without the two entry points will do.
    fs::create_directory(root_ / "lib");
    std::vector<std::string> seen;
    TZipComponent zip;
    zip.SetOnMessage([&](TZipComponent& z, int, const std::string&) {
        seen.push_back(std::to_string(z.ErrCode()));
    });
    zip.SetDLLDirectory((root_ / "lib").string());
    fs::create_symlink("/lib/x86_64-linux-gnu/libisal.so.2", root_ / "lib" / "libunziplib.so");
    zip.SetZipFilename(DataDir + "infozip-stored.zip");
    zip.FileSpecs() = {"readme.txt"};
    zip.Extract();
    EXPECT_EQ(seen, (std::vector<std::string>{"10702", "10703"}));
    EXPECT_EQ(zip.Message(), "GetUnzipLibVersion function not found in libunziplib.so!");
    EXPECT_FALSE(TUnzipLibLoader::IsLoaded());
    EXPECT_FALSE(zip.Busy());
}

TEST_F(ZipExtractTest, DllDirectoryDropsOneTrailingSlash) {
    TZipComponent zip;
    zip.SetDLLDirectory("/opt/tabula/lib/");
    EXPECT_EQ(zip.DLLDirectory(), "/opt/tabula/lib");
}

// ---- With the recording library

class RecordedExtractTest : public ZipExtractTest {
protected:
    void SetUp() override {
        ZipExtractTest::SetUp();
        // Holding the library open keeps its record across the component's unload.
        ASSERT_TRUE(recorder_.Open(std::string(TABULA_UNZIPLIB_RECORDER_DIR) + "/libunziplib.so"))
            << recorder_.LastError();
        reset_ = reinterpret_cast<RecorderResetFunc>(recorder_.Symbol("RecorderReset"));
        last_ = reinterpret_cast<RecorderLastFunc>(recorder_.Symbol("RecorderLast"));
        ASSERT_TRUE(reset_ && last_);
        zip_.SetUi(&ui_);
        zip_.SetDLLDirectory(TABULA_UNZIPLIB_RECORDER_DIR);
        zip_.SetZipFilename(archive_);
        zip_.FileSpecs() = {"games\\hero quest (e).nes", "README.TXT"};
    }

    void Play(int32_t version, std::vector<RecorderStep> steps, int32_t result = 0) {
        reset_(version, steps.data(), static_cast<int32_t>(steps.size()), result);
        zip_.Extract();
    }

    static RecorderStep Step(int32_t action, int32_t code, uint32_t size, const char* text = "") {
        RecorderStep step{};
        step.Action = action;
        step.ErrorCode = code;
        step.Size = size;
        std::strncpy(step.Text, text, sizeof step.Text - 1);
        return step;
    }

    const RecorderRecord& Last() const { return *last_(); }

    const std::string archive_ = DataDir + "infozip-stored.zip";
    TSharedLibrary recorder_;
    RecorderResetFunc reset_ = nullptr;
    RecorderLastFunc last_ = nullptr;
    TCountingUi ui_;
    TZipComponent zip_;
};

TEST_F(RecordedExtractTest, BlockLayoutFollowsTheLibraryVersion) {
    for (int32_t version : {151, 152, 200}) {
        SCOPED_TRACE(version);
        zip_.FileSpecs() = {"games\\hero quest (e).nes", "README.TXT"};
        Play(version, {}, 2);
        const RecorderRecord& r = Last();
        ASSERT_EQ(r.Calls, 1);
        EXPECT_EQ(r.Head.StructVersion, 152);
        EXPECT_EQ(r.Tail, 7);
        EXPECT_TRUE(r.ReservedAllZero);
        if (version >= 152) {
            EXPECT_TRUE(r.SpecRecordsZero);
        }
        EXPECT_EQ(r.SpecCount, 2);
        // Specs naming a listed member go over as the stored name.
        EXPECT_STREQ(r.Specs[0], "games/Hero Quest (E).nes");
        EXPECT_STREQ(r.Specs[1], "readme.txt");
        EXPECT_EQ(r.Head.Caller, &zip_);
        EXPECT_STREQ(r.ZipFilename, archive_.c_str());
        EXPECT_STREQ(r.Password, "");
        EXPECT_EQ(r.Head.Reserved20, 0);
        EXPECT_EQ(r.Head.Reserved32, 0);
        EXPECT_EQ(r.Head.Reserved36, 0);
        EXPECT_EQ(r.Head.Reserved40, -1);
        EXPECT_EQ(zip_.ExtractedCount(), 2);
        EXPECT_TRUE(zip_.FileSpecs().empty());
    }
}

TEST_F(RecordedExtractTest, OptionsBecomeFlags) {
    struct TCase {
        const char* Name;
        bool Trace, Verbose;
        ExtrOpts Options;
        int32_t TraceFlag, VerboseFlag, Update, Freshen, DirNames, Overwrite, Test;
    };
    using enum ExtrOptsEnum;
    const TCase cases[] = {
        {"nothing", false, false, {}, 0, 0, 0, 0, 0, 0, 0},
        {"trace turns verbose on", true, false, {}, -1, -1, 0, 0, 0, 0, 0},
        {"verbose", false, true, {}, 0, -1, 0, 0, 0, 0, 0},
        {"update wins over freshen", false, false, {ExtrFreshen, ExtrUpdate}, 0, 0, -1, 0, 0, 0, 0},
        {"freshen", false, false, {ExtrFreshen}, 0, 0, 0, -1, 0, 0, 0},
        {"names, overwrite, test",
         false,
         false,
         {ExtrDirNames, ExtrOverWrite, ExtrTest},
         0,
         0,
         0,
         0,
         -1,
         -1,
         -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        zip_.SetTrace(c.Trace);
        zip_.SetVerbose(c.Verbose);
        zip_.SetExtrOptions(c.Options);
        zip_.FileSpecs() = {"readme.txt"};
        Play(152, {});
        const UnzipExecParams& h = Last().Head;
        EXPECT_EQ(
            std::tie(h.Trace, h.Verbose, h.Update, h.Freshen, h.DirNames, h.Overwrite, h.Test),
            std::tie(c.TraceFlag, c.VerboseFlag, c.Update, c.Freshen, c.DirNames, c.Overwrite,
                     c.Test));
    }
}

TEST_F(RecordedExtractTest, MessagesSetErrCodeByTheRules) {
    struct TCase {
        const char* Name;
        int32_t Code;
        const char* Text;
        int ErrCode;
        int LibraryErrCode;
        const char* Message;
    };
    const TCase cases[] = {
        {"low 8 bits", 306, "disk full", 50, 306, "disk full"},
        {"crc error in capitals, no code", 0, "CRC ERROR in rom.nes", -999, 0,
         "CRC ERROR in rom.nes"},
        {"crc error wins over the code", 2, "x: crc error", -999, 2, "x: crc error"},
        {"multiple of 256", 512, "odd", 0, 512, "odd"},
        {"information keeps ErrCode", 0, "note  \t \r\n", 7, 0, "note"},
        {"slashes turned", 2, "dir/sub/file", 2, 2, "dir\\sub\\file"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::pair<int, std::string>> seen;
        zip_.SetOnMessage([&](TZipComponent&, int code, const std::string& text) {
            seen.emplace_back(code, text);
        });
        zip_.SetErrCode(7);
        zip_.FileSpecs() = {"readme.txt"};
        Play(152, {Step(UNZIPLIB_ACTION_MESSAGE, c.Code, 0, c.Text)});
        EXPECT_EQ(zip_.ErrCode(), c.ErrCode);
        if (c.Code != 0) {
            EXPECT_EQ(zip_.LibraryErrCode(), c.LibraryErrCode);
        }
        EXPECT_EQ(zip_.Message(), c.Message);
        EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{c.Code, c.Message}}));
    }
}

TEST_F(RecordedExtractTest, ProgressActionsReachOnProgressAndEachCallPumps) {
    std::vector<std::tuple<ProgressType, std::string, int64_t>> seen;
    zip_.SetOnProgress([&](TZipComponent&, ProgressType type, const std::string& name,
                           int64_t size) { seen.emplace_back(type, name, size); });
    Play(152, {Step(5, 0, 2), Step(6, 0, 45650), Step(1, 0, 40960, "games/Hero Quest (E).nes"),
               Step(2, 0, 40960), Step(9, 0, 1), Step(3, 0, 0)});
    using enum ProgressType;
    const std::vector<std::tuple<ProgressType, std::string, int64_t>> expected = {
        {progFileCount, "", 2},
        {progByteTotal, "", 45650},
        {progFileStart, "games\\Hero Quest (E).nes", 40960},
        {progBytes, "", 40960},
        {progBatchEnd, "", 0}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(ui_.Pumps, 6);
    EXPECT_EQ(Last().AnswerCount, 6);
}

TEST_F(RecordedExtractTest, ExceptionFromAHandlerGives10501) {
    std::vector<std::string> seen;
    zip_.SetOnMessage([&](TZipComponent&, int, const std::string& text) {
        seen.push_back(text);
        if (text == "first")
            throw std::runtime_error("handler failed");
    });
    Play(152, {Step(4, 0, 0, "first"), Step(4, 0, 0, "second")}, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"first",
                                              "Fatal Error in libunziplib.so: abort exception"}));
    EXPECT_EQ(Last().AnswerCount, 1) << "the library was asked to stop";
    EXPECT_EQ(Last().Answers[0], -1);
    EXPECT_EQ(zip_.ErrCode(), ZipMsg::LibraryAbort);
    EXPECT_EQ(zip_.Message(), "Fatal Error in libunziplib.so: abort exception");
    EXPECT_TRUE(zip_.FileSpecs().empty());
    EXPECT_FALSE(zip_.Busy());
    EXPECT_EQ(zip_.ExtractedCount(), 0);
}

TEST_F(RecordedExtractTest, CancelRequestIsTheCallbacksAnswer) {
    zip_.SetOnProgress([&](TZipComponent& z, ProgressType type, const std::string&, int64_t) {
        EXPECT_TRUE(z.Busy());
        if (type == ProgressType::progBytes)
            z.SetCancelRequested(true);
    });
    Play(152, {Step(1, 0, 5, "a"), Step(2, 0, 5), Step(3, 0, 0)});
    EXPECT_EQ(Last().AnswerCount, 2);
    EXPECT_EQ(Last().Answers[0], 0);
    EXPECT_EQ(Last().Answers[1], -1);
    EXPECT_FALSE(zip_.CancelRequested());
}

TEST_F(RecordedExtractTest, ExtractInsideAnExtractionReturnsAtOnce) {
    zip_.SetOnProgress([&](TZipComponent& z, ProgressType, const std::string&, int64_t) {
        z.FileSpecs() = {"readme.txt"};
        z.Extract();
        EXPECT_TRUE(z.Busy());
    });
    Play(152, {Step(3, 0, 0)});
    EXPECT_EQ(Last().Calls, 1);
    EXPECT_FALSE(zip_.Busy());
}

TEST_F(RecordedExtractTest, MissingArchiveGives10102WithoutLoading) {
    reset_(152, nullptr, 0, 0);
    zip_.SetZipFilename((root_ / "gone.zip").string());
    zip_.Extract();
    EXPECT_EQ(zip_.ErrCode(), ZipMsg::NoZipFile);
    EXPECT_EQ(Last().Calls, 0);
}

TEST_F(RecordedExtractTest, TraceReportsTheLoad) {
    std::vector<std::string> seen;
    zip_.SetOnMessage([&](TZipComponent&, int, const std::string& text) { seen.push_back(text); });
    zip_.SetTrace(true);
    Play(152, {});
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0], "libunziplib.so Loaded!");
    EXPECT_EQ(zip_.ErrCode(), ZipMsg::LibraryLoaded);
}

TEST_F(RecordedExtractTest, ExtrBaseDirBecomesTheCurrentDirectory) {
    const fs::path base = root_ / "base";
    fs::create_directory(base);
    zip_.SetExtrBaseDir(base.string());
    Play(152, {});
    EXPECT_EQ(fs::current_path(), base);
}

} // namespace
} // namespace tabula
