// libFuzzer target: extracts, then tests, every member of arbitrary bytes
// taken as an archive, through the unzip library's C entry point, into a
// private directory. Nothing may be written outside that directory, no file
// may hold more bytes than the members announced, nothing may leak, crash or
// hang.

#include "unziplib.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TPlace {
    std::string Root; // holds the archive and the work directory, nothing else
    std::string Archive;
    std::string Work; // the current directory while the library runs
};

const TPlace& Place() {
    static const TPlace place = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tabula-unzip-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        TPlace made{pattern, pattern + "/input.zip", pattern + "/work"};
        if (::mkdir(made.Work.c_str(), 0700) != 0) {
            std::abort();
        }
        return made;
    }();
    return place;
}

// The run leaves nothing in the temporary folder when it ends (libFuzzer
// ends a timed run through exit, so the handler runs).
void RemovePlace() {
    const TPlace& place = Place();
    ::unlink(place.Archive.c_str());
    ::rmdir(place.Work.c_str());
    ::rmdir(place.Root.c_str());
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) {
        std::abort();
    }
    while (const dirent* entry = ::readdir(handle)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(handle);
    return names;
}

// The names the central headers in the bytes carry, found by their signature.
std::vector<std::string> CentralNames(const uint8_t* data, size_t size) {
    std::vector<std::string> names;
    for (size_t at = 0; at + 46 <= size && names.size() < 64; ++at) {
        if (std::memcmp(data + at, "PK\x01\x02", 4) != 0) {
            continue;
        }
        const size_t length = data[at + 28] | (size_t{data[at + 29]} << 8);
        if (at + 46 + length <= size) {
            std::string name(reinterpret_cast<const char*>(data) + at + 46, length);
            name.resize(std::strlen(name.c_str())); // a spec ends at its first NUL
            names.push_back(name);
        }
    }
    return names;
}

struct TRun {
    uint64_t Announced = 0; // bytes of the members the library started
    uint32_t Largest = 0;
};

int32_t OnCallback(UnzipCallbackInfo* info) {
    auto* run = static_cast<TRun*>(info->Caller);
    if (info->ActionCode == UNZIPLIB_ACTION_FILE_START) {
        run->Announced += info->Size;
        run->Largest = info->Size > run->Largest ? info->Size : run->Largest;
    }
    if (std::memchr(info->Text, '\0', sizeof info->Text) == nullptr) {
        std::abort(); // texts are terminated within their buffer
    }
    return UNZIPLIB_FALSE;
}

void Exec(const TPlace& place, const std::vector<std::string>& names, bool test) {
    std::vector<UnzipFileSpec> specs(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        specs[i].FileSpec = names[i].c_str();
    }
    TRun run;
    char password[81] = {};
    UnzipExecParamsNewer block{};
    block.Head.Caller = &run;
    block.Head.StructVersion = UNZIPLIB_STRUCT_VERSION;
    block.Head.Callback = &OnCallback;
    block.Head.Password = password;
    block.Head.Test = test ? UNZIPLIB_TRUE : UNZIPLIB_FALSE;
    block.Head.Reserved40 = UNZIPLIB_TRUE;
    block.Head.Overwrite = UNZIPLIB_TRUE;
    block.Head.SpecCount = static_cast<int32_t>(specs.size());
    block.Head.ZipFilename = place.Archive.c_str();
    block.FileSpecs = specs.data();
    block.Tail = UNZIPLIB_TAIL_VALUE;
    // The library writes into the current directory; libFuzzer reads its
    // corpus by relative paths, so the previous one comes back at once.
    const int previous = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (previous < 0 || ::chdir(place.Work.c_str()) != 0) {
        std::abort();
    }
    UnzipLibExec(&block.Head);
    if (::fchdir(previous) != 0) {
        std::abort();
    }
    ::close(previous);

    if (Entries(place.Root).size() != 2) {
        std::abort(); // something was written beside the work directory
    }
    uint64_t written = 0;
    for (const std::string& name : Entries(place.Work)) {
        struct stat status {};
        const std::string path = place.Work + "/" + name;
        if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || test) {
            std::abort(); // only regular files, and none at all when testing
        }
        if (static_cast<uint64_t>(status.st_size) > run.Largest) {
            std::abort();
        }
        written += static_cast<uint64_t>(status.st_size);
        ::unlink(path.c_str());
    }
    if (written > run.Announced) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TPlace& place = Place();
    static const bool registered = std::atexit(RemovePlace) == 0;
    (void)registered;
    FILE* file = std::fopen(place.Archive.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size)) {
        std::abort();
    }
    std::fclose(file);
    const std::vector<std::string> names = CentralNames(data, size);
    Exec(place, names, false);
    Exec(place, names, true);
    return 0;
}
