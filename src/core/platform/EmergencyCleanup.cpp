#include "core/platform/EmergencyCleanup.h"

#include "core/platform/PrivateDirectory.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include <unistd.h>

namespace tabula::EmergencyCleanup {

namespace {

struct TRegistry {
    std::mutex Mutex;
    std::vector<std::pair<std::string, bool>> Paths; // path, is a directory
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

std::string Register(bool directory, const std::function<std::string()>& make) {
    TRegistry& registry = Registry();
    const std::lock_guard lock(registry.Mutex);
    std::string path = make();
    if (!path.empty()) {
        registry.Paths.emplace_back(path, directory);
    }
    return path;
}

// Removes every registered path; the registry's mutex is held.
void RemoveAll(TRegistry& registry) {
    // Newest first: a directory made inside another goes before it.
    for (auto entry = registry.Paths.rbegin(); entry != registry.Paths.rend(); ++entry) {
        const std::string& path = entry->first;
        if (!entry->second) {
            ::unlink(path.c_str());
            continue;
        }
        // The program may still be writing in it: a file made after a pass
        // keeps the directory, so a few passes are made. Once the directory
        // is gone nothing new can be made in it.
        for (int pass = 0; pass < 20 && ::rmdir(path.c_str()) != 0; ++pass) {
            EmptyPrivateDirectory(path);
        }
    }
    registry.Paths.clear();
}

} // namespace

void AddFile(const std::string& path) {
    Register(false, [&] { return path; });
}

std::string AddDirectoryMadeBy(const std::function<std::string()>& make) {
    return Register(true, make);
}

std::string AddFileMadeBy(const std::function<std::string()>& make) {
    return Register(false, make);
}

void Remove(const std::string& path) {
    TRegistry& registry = Registry();
    const std::lock_guard lock(registry.Mutex);
    auto& paths = registry.Paths;
    const auto found = std::find_if(paths.rbegin(), paths.rend(),
                                    [&](const auto& entry) { return entry.first == path; });
    if (found != paths.rend()) {
        paths.erase(std::next(found).base());
    }
}

void RunNow() {
    TRegistry& registry = Registry();
    const std::lock_guard lock(registry.Mutex);
    RemoveAll(registry);
}

void RunNowAndExit(int status, std::string_view farewell) {
    TRegistry& registry = Registry();
    registry.Mutex.lock(); // never released: the process ends holding it
    RemoveAll(registry);
    [[maybe_unused]] const ssize_t written =
        ::write(STDERR_FILENO, farewell.data(), farewell.size());
    ::_exit(status);
}

} // namespace tabula::EmergencyCleanup
