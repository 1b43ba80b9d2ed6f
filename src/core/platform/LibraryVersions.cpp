#include "core/platform/LibraryVersions.h"

#include "core/platform/SharedLibrary.h"

#include <cstdlib>

namespace tabula {

namespace {

using TVersionText = const char* (*)();

// The text a library's version function gives, or what kept it from saying.
std::string VersionOf(const char* soname, const char* function, bool takesInt = false) {
    TSharedLibrary library;
    if (!library.Open(soname)) {
        return "not found";
    }
    void* symbol = library.Symbol(function);
    if (symbol == nullptr) {
        return "version unknown";
    }
    const char* text = takesInt ? reinterpret_cast<const char* (*)(int)>(symbol)(0)
                                : reinterpret_cast<TVersionText>(symbol)();
    return text != nullptr ? std::string(text) : std::string("version unknown");
}

// libxml2 says its version as a number, "21004" for 2.10.4.
std::string XmlVersion() {
    TSharedLibrary library;
    if (!library.Open(TABULA_LIBXML2_SONAME)) {
        return "not found";
    }
    const auto* symbol = static_cast<const char* const*>(library.Symbol("xmlParserVersion"));
    if (symbol == nullptr || *symbol == nullptr) {
        return "version unknown";
    }
    const long number = std::strtol(*symbol, nullptr, 10);
    return std::to_string(number / 10000) + "." + std::to_string(number / 100 % 100) + "." +
           std::to_string(number % 100);
}

} // namespace

std::vector<std::pair<std::string, std::string>> LibraryVersions() {
    return {
        {"libcrypto", VersionOf(TABULA_LIBCRYPTO_SONAME, "OpenSSL_version", true)},
        {"libxml2", XmlVersion()},
        {"libarchive", VersionOf(TABULA_LIBARCHIVE_SONAME, "archive_version_string")},
        {"liblzma", VersionOf(TABULA_LIBLZMA_SONAME, "lzma_version_string")},
        {"libbz2", VersionOf(TABULA_LIBBZ2_SONAME, "BZ2_bzlibVersion")},
        {"libzstd", VersionOf(TABULA_LIBZSTD_SONAME, "ZSTD_versionString")},
        {"SQLite", VersionOf("libsqlite3.so.0", "sqlite3_libversion")},
    };
}

} // namespace tabula
