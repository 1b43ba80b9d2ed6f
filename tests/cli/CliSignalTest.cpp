// tabula-cli as a process stopped by SIGINT or SIGTERM in the middle of an
// archive: what it leaves in the temporary folder and beside the datafile.
#include "core/checksum/CrcUpdate.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using tabula::test::ReadBytes;
using tabula::test::TScratchDirectory;
using tabula::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

// A raw deflate stream of 1 + 258 * matches zero bytes: one literal, then
// matches of length 258 at distance 1, in one block of fixed codes.
std::string DeflatedZeros(uint32_t matches) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    const auto put = [&](uint32_t value, int width) { // value's low bits, first bit first
        bits |= value << count;
        count += width;
        while (count >= 8) {
            out.push_back(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    const auto code = [&](uint32_t value, int width) { // a Huffman code, top bit first
        for (int i = width - 1; i >= 0; --i) {
            put((value >> i) & 1, 1);
        }
    };
    put(1, 1);     // last block
    put(1, 2);     // fixed codes
    code(0x30, 8); // literal 0
    for (uint32_t i = 0; i < matches; ++i) {
        code(0xC5, 8); // length 258 (symbol 285)
        code(0, 5);    // distance 1
    }
    code(0, 7); // end of block
    put(0, 7);
    return out;
}

// An archive of members of size zeros each, deflated.
std::string ZerosArchive(int members, uint32_t matches) {
    const uint32_t size = 1 + 258 * matches;
    uint32_t crc = tabula::CrcInit;
    const std::vector<std::byte> zeros(1 << 20);
    for (uint32_t done = 0; done < size;) {
        const uint32_t part = std::min<uint32_t>(size - done, zeros.size());
        crc = tabula::CrcContinue(crc, std::span(zeros).first(part));
        done += part;
    }
    std::vector<tabula::test::TTestMember> list;
    for (int m = 0; m < members; ++m) {
        list.emplace_back("zeros" + std::to_string(m) + ".nes", DeflatedZeros(matches))
            .Deflated(size, ~crc);
    }
    return tabula::test::BuildZip(list).Bytes;
}

struct TStopped {
    int Status = -1; // exit status, or -1 when killed by a signal
    std::string Err;
};

// Runs tabula-cli with args and TMPDIR=temp; once it has made its private
// folder there, sends each of signals; waits for the end.
TStopped RunAndSignal(const std::vector<std::string>& args, const fs::path& temp,
                      const std::vector<int>& signals, const fs::path& errFile) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(err, 2);
        ::dup2(null, 1);
        ::setenv("TMPDIR", temp.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(TABULA_CLI_PROGRAM)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(TABULA_CLI_PROGRAM, argv.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fs::is_empty(temp) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    for (const int number : signals) {
        ::kill(child, number);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(errFile)};
}

} // namespace

TEST(CliSignals, StopAfterTheArchiveAtHandLeavingNoTraceAndTheDatafileAsItWas) {
    struct TCase {
        const char* Name;
        std::vector<int> Signals;
        int Status;
        const char* Says;
    };
    const TCase cases[] = {
        {"SIGINT", {SIGINT}, 130, "tabula-cli: interrupted; the datafile was not written"},
        {"SIGTERM", {SIGTERM}, 143, "tabula-cli: interrupted; the datafile was not written"},
        // A closed terminal and the quit key stop it the same way.
        {"SIGHUP", {SIGHUP}, 129, "tabula-cli: interrupted; the datafile was not written"},
        {"SIGQUIT", {SIGQUIT}, 131, "tabula-cli: interrupted; the datafile was not written"},
        {"SIGHUP then SIGQUIT", {SIGHUP, SIGQUIT}, 131, "interrupted"},
        // The second one ends it at once.
        {"SIGINT twice", {SIGINT, SIGINT}, 130, "interrupted"},
        {"SIGINT then SIGTERM", {SIGINT, SIGTERM}, 143, "interrupted"},
    };
    TScratchDirectory roms;
    TScratchDirectory out;
    // 4 members of 64 MB of zeros each: long enough to be stopped midway.
    WriteBytes(roms.Path() / "big.zip", ZerosArchive(4, 260000));
    WriteBytes(roms.Path() / "small.nes", "0123456789abcdef-rom");
    const std::string datafile = out.File("roms.dat");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteBytes(datafile, "earlier datafile");
        TScratchDirectory temp;
        const TStopped run = RunAndSignal({"--nes", "-q", "-o", datafile, roms.Path().string()},
                                          temp.Path(), c.Signals, roms.Path() / "err.txt");
        fs::remove(roms.Path() / "err.txt");
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
        EXPECT_TRUE(temp.Entries().empty());
        EXPECT_EQ(ReadBytes(datafile), "earlier datafile");
        EXPECT_EQ(out.Entries(), std::vector<std::string>{"roms.dat"});
    }
}
