// Detector files from users: any bytes are read or refused as EDetectorError,
// and a detector read is applied to the bytes after the first NUL as to a
// file's, never cutting outside them.
#include "core/header/Detector.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Up to the first NUL a detector, after it the file it judges.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = std::min(input.find('\0'), size);
    const std::string_view xml = input.substr(0, nul);
    const std::span<const uint8_t> file(data + std::min(nul + 1, size),
                                        size - std::min(nul + 1, size));
    try {
        const tabula::TDetectorSet set({tabula::ReadDetector(xml, "fuzz.xml")});
        if (const auto cut = set.Match(file.size(), file, file)) {
            if (cut->Start > cut->End || cut->End > file.size()) {
                __builtin_trap(); // a cut outside the file
            }
        }
    } catch (const tabula::EDetectorError&) {
    }
    return 0;
}
