// Sets split into volumes: listing a last volume whose directory starts on an
// earlier one, prompting for labelled disks on a removable drive, and joining
// a set into one ordinary archive. The sets are real ones made by Info-ZIP
// (tests/data/span, see its README).
#include "core/platform/FileReader.h"
#include "core/platform/OutputFile.h"
#include "core/zip/VolumeNames.h"
#include "core/zip/ZipComponent.h"
#include "core/zip/ZipMessages.h"

#include "tests/support/EnvironmentOverride.h"
#include "tests/support/RecordingZipUi.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include <unistd.h>

namespace fs = std::filesystem;

namespace tabula {
namespace {

using test::ReadBytes;
using test::TestDataFile;
using test::TRecordingZipUi;
using test::TScratchDirectory;
using test::WriteBytes;

// The three volumes of tests/data/span/set*.zip: the directory starts on the
// second, the end record is on the third.
std::vector<std::string> SetVolumes() {
    return {ReadBytes(TestDataFile("span/set001.zip")), ReadBytes(TestDataFile("span/set002.zip")),
            ReadBytes(TestDataFile("span/set003.zip"))};
}

// The two volumes of a set whose members carry data descriptors.
std::vector<std::string> DescriptorVolumes() {
    return {ReadBytes(TestDataFile("span/dd001.zip")), ReadBytes(TestDataFile("span/dd002.zip"))};
}

const std::string SetComment = "Test set split by zip -s 64k";

// Writes volumes into dir as numbered files (name001.zip ...) or in today's
// split form (name.z01 ... name.zip); returns the last volume's path.
std::string WriteSet(const TScratchDirectory& dir, const std::vector<std::string>& volumes,
                     bool splitForm, const std::string& name = "set") {
    std::string last;
    for (size_t i = 0; i < volumes.size(); ++i) {
        const bool isLast = i + 1 == volumes.size();
        char number[32];
        std::snprintf(number, sizeof number, splitForm ? ".z%02d" : "%03d.zip",
                      static_cast<int>(i + 1));
        last = dir.File(splitForm && isLast ? name + ".zip" : name + number);
        WriteBytes(last, volumes[i]);
    }
    return last;
}

uint16_t U16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(at)) |
                                 static_cast<uint8_t>(bytes.at(at + 1)) << 8);
}

uint32_t U32(const std::string& bytes, size_t at) {
    return U16(bytes, at) | static_cast<uint32_t>(U16(bytes, at + 2)) << 16;
}

// Where the parts of a joined archive lie, read from its own bytes.
struct TJoinedLayout {
    std::vector<size_t> Locals; // local header of each member, in directory order
    std::vector<size_t> Centrals;
    size_t Directory = 0;
    size_t EndRecord = 0;
};

TJoinedLayout Layout(const std::string& bytes) {
    TJoinedLayout layout;
    layout.EndRecord = bytes.rfind(std::string("PK\x05\x06", 4));
    layout.Directory = U32(bytes, layout.EndRecord + 16);
    size_t at = layout.Directory;
    for (uint16_t i = 0; i < U16(bytes, layout.EndRecord + 10); ++i) {
        layout.Centrals.push_back(at);
        layout.Locals.push_back(U32(bytes, at + 42));
        at += 46 + U16(bytes, at + 28) + U16(bytes, at + 30) + U16(bytes, at + 32);
    }
    return layout;
}

// A two-volume set made from a built archive: the members on the first
// volume behind the spanning marker, the directory and end record on the
// second.
std::vector<std::string> SplitBuilt(const test::TBuiltZip& zip) {
    std::string first = std::string("PK\x07\x08", 4) + zip.Bytes.substr(0, zip.DirectoryOffset);
    std::string second = zip.Bytes.substr(zip.DirectoryOffset);
    for (const size_t header : zip.CentralHeaders) {
        const size_t at = header - zip.DirectoryOffset;
        test::PutU32(second, at + 42, U32(second, at + 42) + 4);
    }
    const size_t end = zip.EndRecord - zip.DirectoryOffset;
    test::PutU16(second, end + 4, 1);
    test::PutU16(second, end + 6, 1);
    test::PutU32(second, end + 16, 0);
    return {first, second};
}

bool UnzipAccepts(const std::string& path) {
    return std::system(("unzip -tqq '" + path + "' >/dev/null 2>&1").c_str()) == 0;
}

// A removable drive whose disks a test changes: every disk holds its volume
// as "set.zip", and is labelled "PKBACK# " with the volume's number.
class TRemovableDrive : public IDriveFacts {
public:
    TRemovableDrive(const TScratchDirectory& dir, std::vector<std::string> volumes)
        : root_(dir.Path().string() + "/"), volumes_(std::move(volumes)) {}

    std::string RootOf(const std::string&, uint64_t) override { return root_; }
    std::optional<TDriveInfo> Query(const std::string& root) override {
        TDriveInfo info;
        info.Root = root;
        info.Label = label_;
        info.Kind = TDriveKind::Removable;
        info.TotalSize = 1457664;
        info.FreeSize = 0;
        return info;
    }

    void Insert(size_t volume) {
        WriteBytes(File(), volumes_.at(volume));
        char label[32];
        std::snprintf(label, sizeof label, "PKBACK# %03d", static_cast<int>(volume + 1));
        label_ = label;
    }
    std::string File() const { return root_ + "set.zip"; }
    const std::string& Root() const { return root_; }

    // Answers a prompt by inserting the disk it asks for.
    TVolumeAnswer InsertAsked(const std::string& prompt) {
        int volume = 0;
        int total = 0;
        if (std::sscanf(prompt.c_str(), "Please insert disk volume %d of %d", &volume, &total) ==
            2) {
            Insert(static_cast<size_t>(volume - 1));
        } else {
            Insert(volumes_.size() - 1);
        }
        return TVolumeAnswer::Ok;
    }

private:
    std::string root_;
    std::vector<std::string> volumes_;
    std::string label_;
};

std::string VolumePrompt(int volume, int of, const std::string& root) {
    return "Please insert disk volume " + std::to_string(volume) + " of " + std::to_string(of) +
           "\r\nin drive: " + root;
}

} // namespace

TEST(ZipVolumeNames, NumberedAndSplitFormsKeepTheFolder) {
    struct TCase {
        const char* Path;
        int Volume;
        std::optional<std::string> Numbered;
        std::string Split;
        int Number;
    };
    const TCase cases[] = {
        {"/d/set003.zip", 0, "/d/set001.zip", "/d/set003.z01", 3},
        {"/d/set.zip", 1, "/d/002.zip", "/d/set.z02", -1},
        {"/d/ab.zip", 0, std::nullopt, "/d/ab.z01", -1},
        {"/d.x/abc", 11, "/d.x/012", "/d.x/abc.z12", -1},
        {"/d/GAME001.ZIP", 99, "/d/GAME100.ZIP", "/d/GAME001.Z100", 1},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(NumberedVolumeName(c.Path, c.Volume), c.Numbered) << c.Path;
        EXPECT_EQ(SplitVolumeName(c.Path, c.Volume), c.Split) << c.Path;
        EXPECT_EQ(NumberBeforeExtension(c.Path), c.Number) << c.Path;
    }
}

TEST(ZipSet, LastVolumeListsWithoutAPromptInEitherNaming) {
    // A split set whose name ends in digits is not taken for a numbered one:
    // "photos2001.zip" beside it is not its first volume.
    for (const std::string name : {"set", "photos2023"}) {
        for (const bool splitForm : {false, true}) {
            TScratchDirectory dir;
            WriteBytes(dir.File("photos2001.zip"), "not a volume");
            const std::string last = WriteSet(dir, SetVolumes(), splitForm, name);
            TRecordingZipUi ui;
            TZipComponent zip(&ui);
            zip.SetZipFilename(last);
            EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
            ASSERT_EQ(zip.Count(), 10) << splitForm;
            EXPECT_EQ(zip.DirEntry(0).FileName, "Alpha Quest (U).nes");
            EXPECT_EQ(zip.DirEntry(9).FileName,
                      "Extras\\Small Demo Cartridge Number 5 (Public Domain).nes");
            EXPECT_TRUE(zip.MultiVolume());
            EXPECT_EQ(zip.LastDisk(), 2);
            EXPECT_EQ(zip.ArchiveComment(), SetComment);
            EXPECT_TRUE(ui.Prompts.empty());
            EXPECT_TRUE(ui.Shown.empty());
        }
    }
}

TEST(ZipSet, MissingVolumeFailsInABoxWhenItIsNeeded) {
    struct TCase {
        const char* Name;
        size_t Missing;
        int ListCode; // the directory starts on the second volume
        int JoinCode;
    };
    const TCase cases[] = {
        {"first volume", 0, 0, ZipMsg::InputMissing},
        {"volume holding the directory's start", 1, ZipMsg::InputMissing, ZipMsg::InputMissing},
    };
    for (const TCase& c : cases) {
        TScratchDirectory dir;
        TScratchDirectory out;
        const std::string last = WriteSet(dir, SetVolumes(), false);
        fs::remove(dir.File("set00" + std::to_string(c.Missing + 1) + ".zip"));
        TRecordingZipUi ui;
        TZipComponent zip(&ui);
        zip.SetZipFilename(last);
        EXPECT_EQ(zip.ErrCode(), c.ListCode) << c.Name;
        zip.SetErrCode(0);
        std::string output = out.Path().string() + "/";
        EXPECT_EQ(zip.ReadSpan(last, output), TSpanResult::ReportedFailure) << c.Name;
        EXPECT_EQ(zip.ErrCode(), c.JoinCode) << c.Name;
        EXPECT_EQ(output, "") << c.Name;
        EXPECT_TRUE(out.Entries().empty()) << c.Name;
        ASSERT_FALSE(ui.Shown.empty()) << c.Name;
        EXPECT_EQ(ui.Shown.back(), "Input file does not exist") << c.Name;
        EXPECT_TRUE(ui.Prompts.empty()) << c.Name;
    }
}

TEST(ZipSet, JoinedArchiveIsOrdinaryWithNewOffsetsCommentAndDate) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Volumes;
        int Members;
        std::string Comment;
    };
    const TCase cases[] = {
        {"three volumes, extra fields and a comment", SetVolumes(), 10, SetComment},
        {"data descriptors", DescriptorVolumes(), 2, ""},
    };
    for (const TCase& c : cases) {
        TScratchDirectory dir;
        TScratchDirectory out;
        const std::string last = WriteSet(dir, c.Volumes, false);
        const auto date = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
        fs::last_write_time(last, date);
        TRecordingZipUi ui;
        TZipComponent zip(&ui);
        std::string output = out.Path().string() + "/";
        ASSERT_EQ(zip.ReadSpan(last, output), TSpanResult::Joined)
            << c.Name << ": " << zip.Message();
        EXPECT_EQ(zip.ErrCode(), 0);
        EXPECT_EQ(fs::path(output).parent_path(), out.Path()) << c.Name;
        EXPECT_TRUE(fs::path(output).filename().string().starts_with("zip")) << output;
        EXPECT_EQ(fs::path(output).extension(), ".zip") << output;
        EXPECT_EQ(fs::last_write_time(output), date) << c.Name;
        EXPECT_TRUE(UnzipAccepts(output)) << c.Name;

        const std::string bytes = ReadBytes(output);
        const TJoinedLayout layout = Layout(bytes);
        EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04", 4)) << "no spanning marker";
        EXPECT_EQ(U16(bytes, layout.EndRecord + 4), 0) << c.Name;
        EXPECT_EQ(U16(bytes, layout.EndRecord + 6), 0) << c.Name;
        EXPECT_EQ(U16(bytes, layout.EndRecord + 8), c.Members) << c.Name;
        EXPECT_EQ(bytes.substr(layout.EndRecord + 22), c.Comment) << c.Name;
        ASSERT_EQ(layout.Centrals.size(), static_cast<size_t>(c.Members));
        for (size_t i = 0; i < layout.Centrals.size(); ++i) {
            const size_t central = layout.Centrals[i];
            const size_t local = layout.Locals[i];
            EXPECT_EQ(U16(bytes, central + 34), 0) << c.Name << " disk number start " << i;
            ASSERT_EQ(U32(bytes, local), 0x04034b50u) << c.Name << " offset of member " << i;
            EXPECT_EQ(bytes.substr(local + 30, U16(bytes, local + 26)),
                      bytes.substr(central + 46, U16(bytes, central + 28)))
                << c.Name;
        }
        // And the component reads it back as an ordinary archive.
        zip.SetZipFilename(output);
        EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
        EXPECT_EQ(zip.Count(), c.Members);
        EXPECT_FALSE(zip.MultiVolume());
    }
}

TEST(ZipSet, JoinReportsProgressAndCopyingMessagesWithDescriptorsCounted) {
    TScratchDirectory dir;
    TScratchDirectory out;
    const std::string last = WriteSet(dir, DescriptorVolumes(), false);
    TZipComponent zip;
    std::vector<std::pair<ProgressType, int64_t>> events;
    std::vector<std::string> starts;
    std::vector<std::string> messages;
    zip.SetOnProgress(
        [&](TZipComponent&, ProgressType type, const std::string& name, int64_t size) {
            events.emplace_back(type, size);
            if (type == ProgressType::progFileStart) {
                starts.push_back(name);
            }
        });
    zip.SetOnMessage(
        [&](TZipComponent&, int, const std::string& text) { messages.push_back(text); });
    std::string output = out.Path().string() + "/";
    ASSERT_EQ(zip.ReadSpan(last, output), TSpanResult::Joined) << zip.Message();
    EXPECT_EQ(zip.ErrCode(), 0) << "copying messages leave the code alone";
    EXPECT_EQ(messages, (std::vector<std::string>{"Copying: Descriptor One (U).nes",
                                                  "Copying: Descriptor Two (E).nes"}));
    EXPECT_EQ(starts,
              (std::vector<std::string>{"Descriptor One (U).nes", "Descriptor Two (E).nes"}));

    const std::string bytes = ReadBytes(output);
    const TJoinedLayout layout = Layout(bytes);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events.front(), std::make_pair(ProgressType::progFileCount, int64_t{2}));
    EXPECT_EQ(events[1].first, ProgressType::progByteTotal);
    EXPECT_EQ(events.back(), std::make_pair(ProgressType::progBatchEnd, int64_t{0}));
    // Each member's size runs from its local header to the next one,
    // descriptor included; the bytes reported are exactly those copied.
    std::vector<int64_t> sizes;
    int64_t copied = 0;
    for (const auto& [type, size] : events) {
        if (type == ProgressType::progFileStart) {
            sizes.push_back(size);
        } else if (type == ProgressType::progBytes) {
            copied += size;
        }
    }
    EXPECT_EQ(sizes,
              (std::vector<int64_t>{static_cast<int64_t>(layout.Locals[1]),
                                    static_cast<int64_t>(layout.Directory - layout.Locals[1])}));
    EXPECT_EQ(copied, static_cast<int64_t>(layout.Directory));
    EXPECT_EQ(U32(bytes, layout.Locals[1] - 16), 0x08074b50u)
        << "descriptor copied before member 2";
}

TEST(ZipSet, FailureAtEachStepLeavesNoOutput) {
    struct TCase {
        const char* Name;
        bool Descriptors;
        // Changes the volumes; empty for none.
        std::function<void(std::vector<std::string>&)> Break;
        // Bytes the output accepts before the disk is full; -1 for no limit.
        std::function<long(const TJoinedLayout&, const std::string&)> Room;
        int Code;
    };
    auto noBreak = [](std::vector<std::string>&) {};
    auto noLimit = [](const TJoinedLayout&, const std::string&) { return -1L; };
    auto room = [](std::function<size_t(const TJoinedLayout&, const std::string&)> at) {
        return [at](const TJoinedLayout& l, const std::string& b) {
            return static_cast<long>(at(l, b));
        };
    };
    const TCase cases[] = {
        {"spanning marker", false, [](auto& v) { v[0][0] = 'X'; }, noLimit, ZipMsg::SpanMarkerRead},
        {"local header cut", false, [](auto& v) { v[0].resize(14); }, noLimit,
         ZipMsg::LocalHeaderRead},
        {"local signature", false, [](auto& v) { v[0][5] = 'X'; }, noLimit, ZipMsg::LocalSignature},
        {"local name cut", false, [](auto& v) { v[0].resize(37); }, noLimit, ZipMsg::LocalNameRead},
        {"local name unknown", false, [](auto& v) { v[0][34] = '#'; }, noLimit,
         ZipMsg::LocalNotInTable},
        {"central signature", false,
         [](auto& v) { v[1][U32(v[2], v[2].rfind(std::string("PK\x05\x06", 4)) + 16)] = 'X'; },
         noLimit, ZipMsg::CentralSignature},
        {"size only a Zip64 field holds", false,
         [](auto& v) {
             test::PutU32(v[1], U32(v[2], v[2].rfind(std::string("PK\x05\x06", 4)) + 16) + 20,
                          0xFFFFFFFF);
         },
         noLimit, ZipMsg::Zip64TooLarge},
        {"local header write", false, noBreak, room([](auto&, auto&) { return 10; }),
         ZipMsg::LocalHeaderWrite},
        {"local extra copy", false, noBreak,
         room([](auto&, auto& b) { return 30 + U16(b, 26) + 2; }), ZipMsg::LocalExtraRead},
        {"member data copy", false, noBreak, room([](auto&, auto&) { return 5000; }),
         ZipMsg::DataRead},
        {"data descriptor copy", true, noBreak,
         room([](auto& l, auto&) { return l.Locals[1] - 8; }), ZipMsg::DescriptorCopy},
        {"central header write", false, noBreak,
         room([](auto& l, auto&) { return l.Directory + 20; }), ZipMsg::CentralHeaderWrite},
        {"central extra copy", false, noBreak,
         room([](auto& l, auto& b) { return l.Directory + 46 + U16(b, l.Directory + 28) + 2; }),
         ZipMsg::CentralExtraRead},
        {"end record write", false, noBreak, room([](auto& l, auto&) { return l.EndRecord + 5; }),
         ZipMsg::EndRecordWrite},
        {"archive comment copy", false, noBreak,
         room([](auto& l, auto&) { return l.EndRecord + 25; }), ZipMsg::ArchiveCommentRead},
    };
    for (const TCase& c : cases) {
        TScratchDirectory dir;
        TScratchDirectory out;
        std::vector<std::string> volumes = c.Descriptors ? DescriptorVolumes() : SetVolumes();
        // Where the parts lie comes from a join that succeeds.
        std::string reference = out.Path().string() + "/";
        TZipComponent first;
        ASSERT_EQ(first.ReadSpan(WriteSet(dir, volumes, false), reference), TSpanResult::Joined);
        const std::string joined = ReadBytes(reference);
        fs::remove(reference);

        c.Break(volumes);
        const std::string last = WriteSet(dir, volumes, false);
        const long limit = c.Room(Layout(joined), joined);
        long written = 0;
        TScopedOutputWrite full([&](int fd, const void* data, size_t size) -> long {
            if (limit < 0) {
                return ::write(fd, data, size);
            }
            const long take = std::min(static_cast<long>(size), limit - written);
            if (take <= 0) {
                errno = ENOSPC;
                return -1;
            }
            written += take;
            return ::write(fd, data, static_cast<size_t>(take));
        });
        TRecordingZipUi ui;
        TZipComponent zip(&ui);
        std::string output = out.Path().string() + "/";
        EXPECT_EQ(zip.ReadSpan(last, output), TSpanResult::ReportedFailure) << c.Name;
        EXPECT_EQ(zip.ErrCode(), c.Code) << c.Name << ": " << zip.Message();
        EXPECT_EQ(ui.Shown, std::vector<std::string>{ZipMessageText(c.Code)}) << c.Name;
        EXPECT_EQ(output, "") << c.Name;
        EXPECT_TRUE(out.Entries().empty()) << c.Name;
        EXPECT_EQ(zip.Busy(), false) << c.Name;
    }
}

TEST(ZipSet, JoinRefusesWhatIsNotALastVolumeAndOutputsItCannotMake) {
    TScratchDirectory dir;
    const std::string last = WriteSet(dir, SetVolumes(), false);
    struct TCase {
        const char* Name;
        std::string Archive;
        std::string Output;
        int Code;
    };
    const TCase cases[] = {
        {"first volume", dir.File("set001.zip"), dir.File("out/"), ZipMsg::FirstDiskOfSet},
        {"middle volume", dir.File("set002.zip"), dir.File("out/"), ZipMsg::NthDiskOfSet},
        {"folder that does not exist", last, dir.File("none/"), ZipMsg::TempFileFailed},
        {"file in a folder that does not exist", last, dir.File("none/j.zip"),
         ZipMsg::OutputCreateFailed},
        {"output in place of the last volume", last, dir.File("set003.bin"),
         ZipMsg::OutputCreateFailed},
        {"output in place of the first volume", last, dir.File("set001.zip"),
         ZipMsg::OutputCreateFailed},
        {"ordinary archive", TestDataFile("zip/infozip.zip"), dir.File("out/"),
         ZipMsg::SpanMarkerRead},
    };
    const std::vector<std::string> volumes = SetVolumes();
    fs::create_directory(dir.File("out"));
    for (const TCase& c : cases) {
        TRecordingZipUi ui;
        TZipComponent zip(&ui);
        std::string output = c.Output;
        EXPECT_EQ(zip.ReadSpan(c.Archive, output), TSpanResult::ReportedFailure) << c.Name;
        EXPECT_EQ(zip.ErrCode(), c.Code) << c.Name;
        EXPECT_EQ(output, "") << c.Name;
        EXPECT_TRUE(fs::is_empty(dir.File("out"))) << c.Name;
        EXPECT_EQ(ui.Shown.size(), 1u) << c.Name;
        EXPECT_EQ(dir.Entries(),
                  (std::vector<std::string>{"out", "set001.zip", "set002.zip", "set003.zip"}))
            << c.Name;
        for (size_t i = 0; i < volumes.size(); ++i) {
            EXPECT_EQ(ReadBytes(dir.File("set00" + std::to_string(i + 1) + ".zip")), volumes[i]);
        }
    }
    TZipComponent zip;
    std::string output = dir.File("out/");
    zip.ReadSpan(dir.File("set002.zip"), output);
    EXPECT_EQ(zip.Message(),
              "This is the 2th disk in a backup set,\nplease insert the last disk of this set");
}

TEST(ZipSet, NamedOutputBecomesZipAndAnOldFileGoesToTheTrashOrIsDeleted) {
    for (const DeleteOpts how : {DeleteOpts::htdAllowUndo, DeleteOpts::htdFinal}) {
        TScratchDirectory dir;
        TScratchDirectory home;
        const test::TEnvironmentOverride data("XDG_DATA_HOME", home.Path().string());
        const std::string last = WriteSet(dir, DescriptorVolumes(), false);
        WriteBytes(dir.File("joined.zip"), "an older file");
        WriteBytes(dir.File("joined.bin"), "left alone");
        TZipComponent zip;
        zip.SetHowToDelete(how);
        std::string output = dir.File("joined.bin");
        ASSERT_EQ(zip.ReadSpan(last, output), TSpanResult::Joined) << zip.Message();
        EXPECT_EQ(output, dir.File("joined.zip"));
        EXPECT_TRUE(UnzipAccepts(output));
        EXPECT_EQ(ReadBytes(dir.File("joined.bin")), "left alone");
        const fs::path trashed = home.Path() / "Trash/files/joined.zip";
        if (how == DeleteOpts::htdAllowUndo) {
            EXPECT_EQ(ReadBytes(trashed), "an older file");
            const std::string info = ReadBytes(home.Path() / "Trash/info/joined.zip.trashinfo");
            EXPECT_NE(info.find("Path=" + dir.File("joined.zip") + "\n"), std::string::npos)
                << info;
        } else {
            EXPECT_FALSE(fs::exists(trashed));
        }
    }
}

TEST(ZipSet, MembersKeepTheirOwnRowsWhateverTheirNames) {
    // A name longer than 255 bytes is kept whole, and names that differ only
    // in case each find their own central header, here listed in the other
    // order than their local headers.
    const std::string longName = std::string(150, 'd') + "/" + std::string(140, 'r') + ".nes";
    const test::TBuiltZip built =
        test::BuildZip({{"A.nes", "upper"}, {"a.nes", "lower case"}, {longName, "long name"}});
    std::vector<std::string> volumes = SplitBuilt(built);
    const size_t first = built.CentralHeaders[0] - built.DirectoryOffset;
    const size_t length = built.CentralHeaders[1] - built.CentralHeaders[0];
    const std::string upper = volumes[1].substr(first, length);
    volumes[1].replace(first, length, volumes[1].substr(first + length, length));
    volumes[1].replace(first + length, length, upper);
    TScratchDirectory dir;
    const std::string last = WriteSet(dir, volumes, false);
    TZipComponent zip;
    std::string output = dir.File("");
    ASSERT_EQ(zip.ReadSpan(last, output), TSpanResult::Joined) << zip.Message();
    const std::string bytes = ReadBytes(output);
    const TJoinedLayout layout = Layout(bytes);
    const std::vector<std::string> data = {"lower case", "upper", "long name"};
    ASSERT_EQ(layout.Locals.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const size_t local = layout.Locals[i];
        const size_t nameLength = U16(bytes, local + 26);
        EXPECT_EQ(bytes.substr(local + 30 + nameLength, data[i].size()), data[i]) << i;
    }
    EXPECT_EQ(U16(bytes, layout.Locals[2] + 26), longName.size());
    EXPECT_TRUE(UnzipAccepts(output));
}

TEST(ZipSet, RemovableDrivePromptsForEachDiskItNeeds) {
    const std::vector<std::string> volumes = SetVolumes();
    struct TCase {
        const char* Name;
        size_t FirstDisk;
        bool Join;
        std::vector<int> Disks; // volume number asked for (1-based), 0 for "last disk"
    };
    const TCase cases[] = {
        {"listing", 2, false, {2, 3}},
        // The second pass over the directory starts on the disk the members end on.
        {"joining", 2, true, {2, 3, 1, 2, 3}},
        {"joining, a middle disk in the drive", 1, true, {0, 2, 3, 1, 2, 3}},
    };
    for (const TCase& c : cases) {
        TScratchDirectory drive;
        TScratchDirectory out;
        TRemovableDrive facts(drive, volumes);
        facts.Insert(c.FirstDisk);
        TRecordingZipUi ui;
        ui.OnAsk = [&](const std::string& prompt) { return facts.InsertAsked(prompt); };
        TZipComponent zip(&ui);
        zip.SetDriveFacts(&facts);
        std::string output = out.Path().string() + "/";
        if (c.Join) {
            ASSERT_EQ(zip.ReadSpan(facts.File(), output), TSpanResult::Joined)
                << c.Name << ": " << zip.Message();
            EXPECT_TRUE(UnzipAccepts(output)) << c.Name;
        } else {
            zip.SetZipFilename(facts.File());
            EXPECT_EQ(zip.Count(), 10) << c.Name << ": " << zip.Message();
        }
        std::vector<std::string> expected;
        std::vector<bool> stops;
        for (const int disk : c.Disks) {
            expected.push_back(disk == 0 ? "Please insert last disk\r\nin drive: " + facts.Root()
                                         : VolumePrompt(disk, 3, facts.Root()));
            stops.push_back(disk == 0);
        }
        EXPECT_EQ(ui.Prompts, expected) << c.Name;
        EXPECT_EQ(ui.StopIcons, stops) << c.Name;
        EXPECT_TRUE(ui.Shown.empty()) << c.Name;
    }
}

TEST(ZipSet, RemovableDriveAnswersEndTheListing) {
    struct TCase {
        const char* Name;
        bool Unattended;
        std::vector<TVolumeAnswer> Answers; // after a wrong disk is inserted for the first
        int Code;
        size_t Prompts;
        size_t Boxes;
    };
    const TCase cases[] = {
        {"cancel", false, {TVolumeAnswer::Cancel}, ZipMsg::UserCancelled, 1, 0},
        {"wrong disk, then cancel",
         false,
         {TVolumeAnswer::Ok, TVolumeAnswer::Cancel},
         ZipMsg::UserCancelled,
         2,
         0},
        {"no box could be shown", false, {TVolumeAnswer::NotShown}, ZipMsg::PromptFailed, 1, 1},
        {"unattended", true, {}, ZipMsg::UnattendedSpanning, 0, 0},
    };
    for (const TCase& c : cases) {
        TScratchDirectory drive;
        TRemovableDrive facts(drive, SetVolumes());
        facts.Insert(2);
        TRecordingZipUi ui;
        // An OK answer leaves the last disk in the drive: the wrong one.
        ui.Answers.assign(c.Answers.begin(), c.Answers.end());
        TZipComponent zip(&ui);
        zip.SetDriveFacts(&facts);
        zip.SetUnattended(c.Unattended);
        zip.SetZipFilename(facts.File());
        EXPECT_EQ(zip.ErrCode(), c.Code) << c.Name;
        EXPECT_EQ(zip.Count(), 0) << c.Name;
        EXPECT_EQ(ui.Prompts.size(), c.Prompts) << c.Name;
        EXPECT_EQ(ui.Shown.size(), c.Boxes) << c.Name;
    }
}

TEST(ZipSet, ExtractJoinsTheSetIntoTempDirAndRemovesIt) {
    TScratchDirectory dir;
    TScratchDirectory temp;
    TScratchDirectory target;
    const std::string last = WriteSet(dir, SetVolumes(), true);
    TZipComponent zip;
    zip.SetDLLDirectory(TABULA_UNZIPLIB_DIR);
    zip.SetZipFilename(last);
    ASSERT_EQ(zip.ErrCode(), 0) << zip.Message();
    const ZipDirEntry entry = zip.DirEntry(2);
    zip.SetTempDir(temp.Path().string());
    zip.SetExtrBaseDir(target.Path().string());
    zip.FileSpecs().push_back(entry.FileName);
    const fs::path before = fs::current_path();
    zip.Extract();
    fs::current_path(before);
    EXPECT_EQ(zip.ErrCode(), 0) << zip.Message();
    EXPECT_EQ(zip.ExtractedCount(), 1);
    const std::string data = ReadBytes(target.Path() / entry.FileName);
    EXPECT_EQ(data.size(), entry.UncompressedSize);
    EXPECT_EQ(test::TestCrc32(data), entry.Crc);
    EXPECT_TRUE(temp.Entries().empty()) << "the joined copy is gone";
}

} // namespace tabula
