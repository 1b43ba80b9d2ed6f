// Entry points of the unzip library.
#include "unziplib.h"
#include "unziplib/MemberExtractor.h"
#include "unziplib/Reporter.h"
#include "unziplib/ZipArchive.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace tabula::unziplib {

namespace {

constexpr int32_t LibraryVersion = 152;

// The older layout's Tail sits where the newer one keeps its spec pointer,
// whose low half can never hold the tail value: a pointer to the specs is
// aligned.
static_assert(offsetof(UnzipExecParamsOlder, Tail) == offsetof(UnzipExecParamsNewer, FileSpecs));
static_assert(alignof(UnzipFileSpec) % 2 == 0 && UNZIPLIB_TAIL_VALUE % 2 == 1);

int32_t Int32At(const UnzipExecParams& params, size_t offset) {
    int32_t value = 0;
    std::memcpy(&value, reinterpret_cast<const char*>(&params) + offset, sizeof value);
    return value;
}

// Why the block is not one this library reads, or "" when it is: its
// version, then which layout its Tail says it has.
std::string LayoutRefusal(const UnzipExecParams& params) {
    if (params.StructVersion != UNZIPLIB_STRUCT_VERSION) {
        return "invalid parameter block: StructVersion " + std::to_string(params.StructVersion) +
               ", this library reads " + std::to_string(UNZIPLIB_STRUCT_VERSION);
    }
    if (Int32At(params, offsetof(UnzipExecParamsOlder, Tail)) == UNZIPLIB_TAIL_VALUE) {
        return "invalid parameter block: the older layout, this library of version " +
               std::to_string(LibraryVersion) + " reads the newer one";
    }
    if (const int32_t tail = Int32At(params, offsetof(UnzipExecParamsNewer, Tail));
        tail != UNZIPLIB_TAIL_VALUE) {
        return "invalid parameter block: Tail " + std::to_string(tail) + " where " +
               std::to_string(UNZIPLIB_TAIL_VALUE) + " belongs";
    }
    return {};
}

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
    if (const std::string refusal = LayoutRefusal(params); !refusal.empty()) {
        reporter.Message(UNZIPLIB_ERR_ARGUMENT, refusal);
        return 0;
    }
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
