#include "cli/CliRun.h"

#include "tests/support/EnvironmentOverride.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace tabula;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

const std::string NesHeader = std::string("NES\x1a\x01\x01", 6) + std::string(10, '\0');

// The tree of a collection: two system folders with loose ROMs, a zip and a
// nested folder, a disc folder, and what a walk must pass by: a hidden
// folder, a link back to the top, a FIFO, an empty folder.
struct TTree {
    TScratchDirectory Dir;
    std::string Zip;

    TTree() {
        const fs::path root = Dir.Path();
        fs::create_directories(root / "NES" / "Hacks");
        fs::create_directories(root / "SNES");
        fs::create_directories(root / "Disc Game");
        fs::create_directories(root / ".hidden");
        fs::create_directories(root / "Empty");
        WriteBytes(root / "top.bin", "top-level rom");
        WriteBytes(root / "NES" / "Alpha (USA).nes", NesHeader + "ALPHA-PRG-DATA");
        Zip = test::BuildZip({{"beta.nes", NesHeader + "BETA-PRG"}}).Bytes;
        WriteBytes(root / "NES" / "Beta (E).zip", Zip);
        WriteBytes(root / "NES" / "Hacks" / "Gamma.nes", NesHeader + "GAMMA-PRG");
        WriteBytes(root / "SNES" / "Delta.sfc", "DELTA-SNES-ROM");
        WriteBytes(root / "Disc Game" / "game.cue", "FILE \"track01.bin\" BINARY\n");
        for (const char* track : {"track01", "track02", "track03"}) {
            WriteBytes(root / "Disc Game" / (std::string(track) + ".bin"),
                       std::string("AUDIO-") + track);
        }
        WriteBytes(root / ".hidden" / "secret.bin", "not read");
        fs::create_directory_symlink(root, root / "NES" / "loop");
        ::mkfifo((root / "SNES" / "fifo").c_str(), 0600);
    }
};

// A row as printed: the set's dos and full names twice, the rom, its CRC
// and size of the bytes after cut bytes of the header.
std::string Row(const std::string& dos, const std::string& full, const std::string& rom,
                const std::string& bytes, std::size_t cut = 0) {
    const std::string kept = bytes.substr(std::min(cut, bytes.size()));
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", test::TestCrc32(kept));
    return dos + "\t" + full + "\t" + dos + "\t" + full + "\t" + rom + "\t" + crc + "\t" +
           std::to_string(kept.size()) + "\n";
}

std::string Print(const std::vector<std::string>& args, int& status) {
    std::ostringstream out;
    std::ostringstream err;
    status = RunCli(args, TCliStreams{out, err, false, false, 60});
    return out.str();
}

} // namespace

// Both ways of reading a tree print the rows written out here, in their
// order, in every header mode; one worker and two give the same bytes, the
// link back to the top ends its branch, and nothing is left in TMPDIR.
TEST(CliTree, RecursiveAndFolderSetsPrintTheTreesRowsInOrderInEveryMode) {
    TTree tree;
    TScratchDirectory temp;
    const test::TEnvironmentOverride tmpdir("TMPDIR", temp.Path().string());
    const std::string& zip = tree.Zip;
    const std::string alpha = NesHeader + "ALPHA-PRG-DATA";
    const std::string beta = NesHeader + "BETA-PRG";
    const std::string gamma = NesHeader + "GAMMA-PRG";
    const std::string cue = "FILE \"track01.bin\" BINARY\n";
    // The sizes a mode cuts from a loose file (or zip member) with and
    // without an NES header.
    struct TMode {
        const char* Flag;
        std::size_t Nes;
        std::size_t Other;
    } modes[] = {{nullptr, 0, 0}, {"--nes", 16, 16}, {"--detect-headers", 16, 0}};
    for (const TMode& mode : modes) {
        SCOPED_TRACE(mode.Flag ? mode.Flag : "normal");
        const auto recursive = [&] {
            return Row("top", "top", "top.bin", "top-level rom", mode.Other) +
                   Row("disc game\\\\game", "Disc Game\\\\game", "game.cue", cue, mode.Other) +
                   Row("disc game\\\\track01", "Disc Game\\\\track01", "track01.bin",
                       "AUDIO-track01", mode.Other) +
                   Row("disc game\\\\track02", "Disc Game\\\\track02", "track02.bin",
                       "AUDIO-track02", mode.Other) +
                   Row("disc game\\\\track03", "Disc Game\\\\track03", "track03.bin",
                       "AUDIO-track03", mode.Other) +
                   Row("nes\\\\alpha (usa)", "NES\\\\Alpha (USA)", "alpha (usa).nes", alpha,
                       mode.Nes) +
                   Row("nes\\\\beta (e)", "NES\\\\Beta (E)", "beta.nes", beta, mode.Nes) +
                   Row("nes\\\\hacks\\\\gamma", "NES\\\\Hacks\\\\Gamma", "gamma.nes", gamma,
                       mode.Nes) +
                   Row("snes\\\\delta", "SNES\\\\Delta", "delta.sfc", "DELTA-SNES-ROM", mode.Other);
        };
        // A folder set's zip is one of its files, read whole: a zip has no
        // NES header.
        const auto folderSets = [&] {
            return Row("top", "top", "top.bin", "top-level rom", mode.Other) +
                   Row("disc game", "Disc Game", "game.cue", cue, mode.Other) +
                   Row("disc game", "Disc Game", "track01.bin", "AUDIO-track01", mode.Other) +
                   Row("disc game", "Disc Game", "track02.bin", "AUDIO-track02", mode.Other) +
                   Row("disc game", "Disc Game", "track03.bin", "AUDIO-track03", mode.Other) +
                   Row("nes", "NES", "alpha (usa).nes", alpha, mode.Nes) +
                   Row("nes", "NES", "beta (e).zip", zip, mode.Other) +
                   Row("nes", "NES", "hacks\\\\gamma.nes", gamma, mode.Nes) +
                   Row("snes", "SNES", "delta.sfc", "DELTA-SNES-ROM", mode.Other);
        };
        for (const auto& [option, expected] :
             {std::pair{"-r", recursive()}, {"--folder-sets", folderSets()}}) {
            SCOPED_TRACE(option);
            std::string printed[2];
            for (int jobs = 1; jobs <= 2; ++jobs) {
                std::vector<std::string> args{"-q", option, "--jobs", std::to_string(jobs)};
                if (mode.Flag != nullptr) {
                    args.push_back(mode.Flag);
                }
                args.push_back(tree.Dir.Path().string());
                int status = -1;
                printed[jobs - 1] = Print(args, status);
                EXPECT_EQ(status, 0);
            }
            EXPECT_EQ(printed[0], expected);
            EXPECT_EQ(printed[1], printed[0]);
            EXPECT_TRUE(temp.Entries().empty());
        }
    }
    // A folder set's digests are those of its files, archives whole.
    int status = -1;
    const std::string digests =
        Print({"-q", "--folder-sets", "--md5", tree.Dir.Path().string()}, status);
    std::string md5;
    const std::string command =
        "md5sum < '" + (tree.Dir.Path() / "NES" / "Beta (E).zip").string() + "'";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[33] = {};
        if (std::fread(buffer, 1, 32, pipe) == 32) {
            md5 = buffer;
        }
        ::pclose(pipe);
    }
    ASSERT_EQ(md5.size(), 32u);
    EXPECT_NE(digests.find("\tbeta (e).zip\t" + Row("", "", "", zip).substr(5, 8) + "\t" +
                           std::to_string(zip.size()) + "\t" + md5 + "\n"),
              std::string::npos)
        << digests;
}

// The tree's depth is bounded: a folder too deep is named among the
// failures, and the rest of the tree is read.
TEST(CliTree, AFolderTooDeepIsANamedFailure) {
    TScratchDirectory dir;
    fs::path deep = dir.Path();
    for (int level = 0; level < 66; ++level) {
        deep /= "d";
    }
    fs::create_directories(deep);
    WriteBytes(deep / "lost.bin", "too deep");
    WriteBytes(dir.Path() / "d" / "near.bin", "near");
    int status = -1;
    std::ostringstream out;
    std::ostringstream err;
    status = RunCli({"-q", "-r", dir.Path().string()}, TCliStreams{out, err, false, false, 60});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.str(), Row("d\\\\near", "d\\\\near", "near.bin", "near"));
    EXPECT_NE(err.str().find("more than 64 levels deep"), std::string::npos) << err.str();
}

// A folder that cannot be listed is named among the failures in its place,
// and the rest of the tree is read.
TEST(CliTree, AFolderThatCannotBeListedIsANamedFailure) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root lists every folder";
    }
    TScratchDirectory dir;
    fs::create_directories(dir.Path() / "A" / "Locked");
    WriteBytes(dir.Path() / "A" / "Locked" / "hidden.bin", "unseen");
    WriteBytes(dir.Path() / "B.bin", "b");
    fs::permissions(dir.Path() / "A" / "Locked", fs::perms::none);
    std::ostringstream out;
    std::ostringstream err;
    const int status =
        RunCli({"-q", "-r", dir.Path().string()}, TCliStreams{out, err, false, false, 60});
    fs::permissions(dir.Path() / "A" / "Locked", fs::perms::owner_all);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.str(), Row("b", "B", "b.bin", "b"));
    EXPECT_NE(err.str().find("A/Locked"), std::string::npos) << err.str();
}
