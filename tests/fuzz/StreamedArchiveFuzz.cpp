// libFuzzer target: reads arbitrary bytes as a 7z, RAR or zip archive whose
// members are decompressed in memory (NES mode with digests; the signature
// chooses the type). Whatever the bytes, the collector must end in rows or a
// named failure, without a crash, a read outside a buffer, a hang or an
// outsized allocation.

#include "core/scan/Crc32.h"

#include "tests/fuzz/FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const char* const Extensions[] = {".7z", ".rar", ".zip"};

void RemoveScratch() {
    for (const char* extension : Extensions) {
        ::unlink(tabula::fuzz::ScratchPath(extension).c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = std::atexit(RemoveScratch) == 0;
    (void)registered;
    const std::string head(reinterpret_cast<const char*>(data), size < 4 ? size : 4);
    const std::string path = tabula::fuzz::WriteScratch(head == "7z\xBC\xAF" ? ".7z"
                                                        : head == "Rar!"     ? ".rar"
                                                                             : ".zip",
                                                        data, size);

    tabula::TCrc32 collector;
    collector.SetFileName(path);
    collector.ZipMode = true;
    collector.NesMode = true;
    collector.TrustZipCrc = true;
    collector.Hashes = {true, true, true};
    try {
        collector.Collect();
    } catch (const tabula::ECrcZipError&) {
    } catch (const tabula::ECrcFileError&) {
    }
    for (const tabula::TCrcItem& item : collector.ItemList()) {
        if (item.CrcText.size() != 8 || item.Size < 0) {
            std::abort();
        }
    }
    return 0;
}
