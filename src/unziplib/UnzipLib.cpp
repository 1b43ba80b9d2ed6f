// Entry points of the unzip library.
#include "unziplib.h"
#include "unziplib/MemberExtractor.h"
#include "unziplib/Reporter.h"
#include "unziplib/ZipArchive.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace tabula::unziplib {

namespace {

constexpr int32_t LibraryVersion = 152;

// The member specs of a newer-layout block.
bool ReadSpecs(const UnzipExecParams& params, std::vector<std::string>& specs) {
    const auto& block = reinterpret_cast<const UnzipExecParamsNewer&>(params);
    if (params.SpecCount < 0 || (params.SpecCount > 0 && block.FileSpecs == nullptr))
        return false;
    for (int32_t i = 0; i < params.SpecCount; ++i) {
        const char* spec = block.FileSpecs[i].FileSpec;
        if (spec == nullptr)
            return false;
        specs.emplace_back(spec);
    }
    return true;
}

int32_t Run(const UnzipExecParams& params, TReporter& reporter) {
    std::vector<std::string> specs;
    if (params.ZipFilename == nullptr || !ReadSpecs(params, specs)) {
        reporter.Message(UNZIPLIB_ERR_ARGUMENT, "invalid parameter block");
        return 0;
    }
    TZipArchive archive;
    std::string error;
    if (!archive.Open(params.ZipFilename, error)) {
        reporter.Message(UNZIPLIB_ERR_NO_ARCHIVE, error);
        reporter.BatchEnd();
        return 0;
    }
    if (params.Trace != UNZIPLIB_FALSE)
        reporter.Verbose("archive: " + std::string(params.ZipFilename) + ", " +
                         std::to_string(archive.Members().size()) + " members");

    // Each spec names one member, the first that matches; a member named
    // twice is done once.
    const auto& members = archive.Members();
    std::vector<size_t> chosen;
    for (const std::string& spec : specs) {
        const size_t found = archive.Find(spec);
        if (found == members.size())
            reporter.Message(UNZIPLIB_ERR_NO_MATCH, "filename not matched: " + spec);
        else if (std::find(chosen.begin(), chosen.end(), found) == chosen.end())
            chosen.push_back(found);
    }

    uint64_t total = 0;
    for (size_t index : chosen)
        total += members[index].UncompressedSize;
    reporter.FileCount(static_cast<uint32_t>(chosen.size()));
    reporter.ByteTotal(static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX)));

    TMemberExtractor extractor(archive, reporter, params.Test != UNZIPLIB_FALSE);
    int32_t extracted = 0;
    for (size_t index : chosen) {
        if (reporter.StopRequested())
            break;
        reporter.FileStart(members[index].Name, members[index].UncompressedSize);
        if (reporter.StopRequested())
            break;
        if (members[index].Overlaps) {
            reporter.Message(UNZIPLIB_ERR_FORMAT,
                             std::string(params.ZipFilename) + ": " + members[index].Name +
                                 ": its data overlaps another member's (overlapping entries, a "
                                 "form of decompression bomb); skipped");
            continue;
        }
        if (extractor.Extract(members[index]))
            ++extracted;
    }
    reporter.BatchEnd();
    return extracted;
}

} // namespace

} // namespace tabula::unziplib

extern "C" UNZIPLIB_EXPORT int32_t GetUnzipLibVersion(void) {
    return tabula::unziplib::LibraryVersion;
}

extern "C" UNZIPLIB_EXPORT int32_t UnzipLibExec(UnzipExecParams* params) {
    using namespace tabula::unziplib;
    if (params == nullptr)
        return 0;
    // Nothing may unwind into the caller's C frame.
    TReporter reporter(*params);
    try {
        return Run(*params, reporter);
    } catch (const std::bad_alloc&) {
        reporter.Message(UNZIPLIB_ERR_MEMORY, "out of memory");
    } catch (...) {
        reporter.Message(UNZIPLIB_ERR_FORMAT, "internal error");
    }
    return 0;
}
