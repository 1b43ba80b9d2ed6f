// libFuzzer target: lists arbitrary bytes as an archive. Whatever the bytes,
// the listing must end in a code or in entries, without a crash, a read
// outside a buffer, undefined behaviour, a hang or an outsized allocation.

#include "core/zip/ZipComponent.h"

#include "tests/fuzz/FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The run leaves nothing in the temporary folder when it ends.
void RemoveScratch() {
    ::unlink(tabula::fuzz::ScratchPath(".zip").c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = std::atexit(RemoveScratch) == 0;
    (void)registered;
    const std::string path = tabula::fuzz::WriteScratch(".zip", data, size);

    tabula::TZipComponent zip;
    zip.SetZipFilename(path);
    // Touch every listed entry so that a bad record is noticed here.
    size_t total = 0;
    for (const tabula::ZipDirEntry& entry : zip.DirEntries()) {
        total += entry.FileName.size() + entry.FileComment.size() + entry.RawFileName.size();
    }
    if (zip.Count() > 0 && zip.ErrCode() != 0 && zip.ErrCode() != 10203 && zip.ErrCode() != 10204) {
        std::abort(); // entries are only left listed after success or a warning
    }
    if (total > 4 * size) {
        std::abort(); // text larger than its bytes can explain
    }
    return 0;
}
