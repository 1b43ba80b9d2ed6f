// Prints the member names of an archive, one a line, like `unzip -Z1`, so
// that whole-process timings of the two can stand side by side.
// Usage: zipdir_list ARCHIVE.zip

#include "core/zip/ZipComponent.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zipdir_list ARCHIVE.zip\n");
        return 2;
    }
    tabula::TZipComponent zip;
    zip.SetZipFilename(argv[1]);
    if (zip.ErrCode() != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[1], zip.Message().c_str());
        return 1;
    }
    std::string out;
    for (const tabula::ZipDirEntry& entry : zip.DirEntries()) {
        out += entry.FileName;
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
