#pragma once

// The file a fuzz target writes its input to, for readers that take a path.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace tabula::fuzz {

// $TMPDIR/tabula-fuzz-<pid><extension>: one per process and extension.
inline std::string ScratchPath(const char* extension) {
    const char* base = std::getenv("TMPDIR");
    return std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tabula-fuzz-" +
           std::to_string(::getpid()) + extension;
}

// Writes the input to the scratch file of that extension; aborts when it
// cannot (a run that reads no input finds nothing).
inline std::string WriteScratch(const char* extension, const uint8_t* data, size_t size) {
    const std::string path = ScratchPath(extension);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::abort();
    }
    std::fclose(file);
    return path;
}

} // namespace tabula::fuzz
