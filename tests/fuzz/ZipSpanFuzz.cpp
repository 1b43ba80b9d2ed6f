// libFuzzer target: joins arbitrary volumes as a split set. The input is cut
// into volumes at each "VOL|"; the last piece is the last volume. Whatever
// the bytes, listing and joining must end in a code or in an archive no
// larger than the reads can explain, with nothing left behind on failure, and
// without a crash, a read outside a buffer, undefined behaviour or a hang.

#include "core/zip/ZipComponent.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view Separator = "VOL|";
constexpr size_t MaxVolumes = 8;

std::string MakeDirectory(const char* name) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/tabula-fuzz-" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    return pattern;
}

size_t EntryCount(const std::string& dir) {
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) {
        std::abort();
    }
    size_t count = 0;
    while (const dirent* entry = ::readdir(handle)) {
        const std::string_view name = entry->d_name;
        count += name != "." && name != ".." ? 1 : 0;
    }
    ::closedir(handle);
    return count;
}

std::string VolumeName(const std::string& dir, size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "/f%03d.zip", static_cast<int>(index + 1));
    return dir + name;
}

// Never destroyed: the exit handler below still needs them.
const std::string& VolumesDir() {
    static const auto* dir = new std::string(MakeDirectory("volumes"));
    return *dir;
}

const std::string& OutDir() {
    static const auto* dir = new std::string(MakeDirectory("joined"));
    return *dir;
}

// The run leaves nothing in the temporary folder when it ends.
void RemoveDirectories() {
    for (size_t i = 0; i < MaxVolumes; ++i) {
        ::unlink(VolumeName(VolumesDir(), i).c_str());
    }
    ::rmdir(VolumesDir().c_str());
    ::rmdir(OutDir().c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = std::atexit(RemoveDirectories) == 0;
    (void)registered;
    const std::string& volumesDir = VolumesDir();
    const std::string& outDir = OutDir();

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> volumes;
    size_t start = 0;
    while (volumes.size() + 1 < MaxVolumes) {
        const size_t at = input.find(Separator, start);
        if (at == std::string_view::npos) {
            break;
        }
        volumes.push_back(input.substr(start, at - start));
        start = at + Separator.size();
    }
    volumes.push_back(input.substr(start));

    for (size_t i = 0; i < MaxVolumes; ++i) {
        ::unlink(VolumeName(volumesDir, i).c_str());
    }
    uint64_t total = 0;
    for (size_t i = 0; i < volumes.size(); ++i) {
        FILE* file = std::fopen(VolumeName(volumesDir, i).c_str(), "wb");
        if (file == nullptr ||
            std::fwrite(volumes[i].data(), 1, volumes[i].size(), file) != volumes[i].size()) {
            std::abort();
        }
        std::fclose(file);
        total += volumes[i].size();
    }
    const std::string last = VolumeName(volumesDir, volumes.size() - 1);

    tabula::TZipComponent zip;
    zip.SetZipFilename(last);
    size_t listed = 0;
    for (const tabula::ZipDirEntry& entry : zip.DirEntries()) {
        listed += entry.FileName.size();
    }
    if (listed > 4 * total + 4) {
        std::abort(); // names larger than their bytes can explain
    }

    zip.SetErrCode(0);
    std::string output = outDir + "/";
    const tabula::TSpanResult result = zip.ReadSpan(last, output);
    if (result == tabula::TSpanResult::Joined) {
        struct stat info {};
        // The set is read forward three times (members, directory, comment)
        // and written once; only the end record is made up.
        if (::stat(output.c_str(), &info) != 0 ||
            static_cast<uint64_t>(info.st_size) > 3 * total + 22) {
            std::abort();
        }
        tabula::TZipComponent joined;
        joined.SetZipFilename(output);
        ::unlink(output.c_str());
    } else if (!output.empty() || zip.ErrCode() == 0) {
        std::abort(); // a failure names itself and leaves no output
    }
    if (EntryCount(outDir) != 0) {
        std::abort();
    }
    return 0;
}
