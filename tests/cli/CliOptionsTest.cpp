#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tabula;

TEST(CliOptions, DefaultsAreTheScanDialogsInitialStates) {
    const TCliOptions options = ParseCommandLine({"roms"});
    EXPECT_EQ(options.Directory, "roms");
    EXPECT_TRUE(options.Output.empty());
    EXPECT_TRUE(options.Scan.ScanOtherFiles);
    EXPECT_TRUE(options.Scan.SkipTxt);
    EXPECT_TRUE(options.Scan.ScanZipArchives);
    EXPECT_EQ(options.Scan.Mode, TRomMode::Normal);
    EXPECT_FALSE(options.Scan.RemoveSnesBadSize);
    EXPECT_FALSE(options.Quiet);
    EXPECT_FALSE(options.Help);
}

TEST(CliOptions, EveryOptionReachesItsField) {
    const TCliOptions options = ParseCommandLine(
        {"--snes", "--remove-bad-size", "--zip-only", "--include-txt", "--no-archives", "-q",
         "--author", "Me", "--datafile-version=2", "--comment", "two\nlines", "--system", "snes",
         "--emulator-version", "0.9", "-o", "out.dat", "--", "-roms-"});
    EXPECT_EQ(options.Directory, "-roms-");
    EXPECT_EQ(options.Output, "out.dat");
    EXPECT_FALSE(options.Scan.ScanOtherFiles);
    EXPECT_FALSE(options.Scan.SkipTxt);
    EXPECT_FALSE(options.Scan.ScanZipArchives);
    EXPECT_EQ(options.Scan.Mode, TRomMode::Snes);
    EXPECT_TRUE(options.Scan.RemoveSnesBadSize);
    EXPECT_TRUE(options.Quiet);
    EXPECT_EQ(options.Credits.Author, "Me");
    EXPECT_EQ(options.Credits.Version, "2");
    EXPECT_EQ(options.Credits.Comment, "two\nlines");
    EXPECT_EQ(options.Credits.System, "snes");
    EXPECT_EQ(options.Credits.EmulVersion, "0.9");

    EXPECT_EQ(ParseCommandLine({"--nes", "roms"}).Scan.Mode, TRomMode::Nes);
    EXPECT_EQ(ParseCommandLine({"-oout.dat", "roms"}).Output, "out.dat");
    EXPECT_EQ(ParseCommandLine({"roms", "--output=a=b.dat"}).Output, "a=b.dat");
    EXPECT_EQ(ParseCommandLine({"--author", "", "roms"}).Credits.Author, "");
    EXPECT_TRUE(ParseCommandLine({"--quiet", "roms"}).Quiet);
    EXPECT_EQ(ParseCommandLine({"roms"}).Scan.Jobs, 0u); // one per processor
    EXPECT_EQ(ParseCommandLine({"-j3", "roms"}).Scan.Jobs, 3u);
    EXPECT_EQ(ParseCommandLine({"--jobs", "1", "roms"}).Scan.Jobs, 1u);
    EXPECT_EQ(ParseCommandLine({"--cache", "c.sqlite", "roms"}).CacheFile, "c.sqlite");
    EXPECT_TRUE(ParseCommandLine({"--no-cache", "roms"}).NoCache);
    EXPECT_TRUE(ParseCommandLine({"--cache-stats"}).CacheStats); // no directory needed
    EXPECT_TRUE(ParseCommandLine({"-h"}).Help);
    EXPECT_TRUE(ParseCommandLine({"--nes", "--snes", "--help"}).Help); // no directory needed
}

TEST(CliOptions, BadUsageIsRefusedWithAReason) {
    const struct {
        std::vector<std::string> args;
        const char* reasonPart;
    } cases[] = {
        {{}, "no directory"},
        {{"a", "b"}, "one directory only"},
        {{"--nes", "--snes", "roms"}, "exclude each other"},
        {{"--remove-bad-size", "roms"}, "only with --snes"},
        {{"--nes", "--remove-bad-size", "roms"}, "only with --snes"},
        {{"--bogus", "roms"}, "unknown option --bogus"},
        {{"-x", "roms"}, "unknown option -x"},
        {{"-qh", "roms"}, "unknown option -qh"},
        {{"--nes=1", "roms"}, "takes no value"},
        {{"roms", "-o"}, "needs a value"},
        {{"roms", "--author"}, "needs a value"},
        {{"roms", "-o", ""}, "needs a file name"},
        {{"roms", "--output="}, "needs a file name"},
        {{"--from", ""}, "--from needs a file name"},
        {{"--from", "old.dat", "roms"}, "instead of a directory"},
        {{"--from", "old.dat", "--md5"}, "--md5 is an option of a scan"},
        {{"--from", "old.dat", "--sha256"}, "--sha256 is an option of a scan"},
        {{"--jobs", "0", "roms"}, "--jobs takes a number of workers"},
        {{"-jtwo", "roms"}, "not \"two\""},
        {{"--cache", "c.sqlite", "--no-cache", "roms"}, "exclude each other"},
        {{"--cache", "", "roms"}, "needs a file name"},
        {{"--from", "old.dat", "--no-cache"}, "--no-cache is an option of a scan"},
        {{"--unknown-only", "roms"},
         "--unknown-only needs the reference datafiles of --names-from"},
        {{"--from", "a.dat", "--missing", "m.xml"}, "--missing needs the reference datafiles"},
        {{"--names-from", "", "roms"}, "needs a file name"},
    };
    for (const auto& c : cases) {
        try {
            ParseCommandLine(c.args);
            ADD_FAILURE() << "accepted: " << c.reasonPart;
        } catch (const ECliUsage& error) {
            EXPECT_NE(std::string(error.what()).find(c.reasonPart), std::string::npos)
                << error.what();
        }
    }
}
