#pragma once

#include <span>
#include <string_view>

namespace tabula {

// A detector file shipped with the program: its name and its bytes.
struct TDetectorFile {
    std::string_view Name;
    std::string_view Text;
};

// In the order of their names (made at build time from data/detectors).
std::span<const TDetectorFile> BuiltInDetectorFiles();

} // namespace tabula
