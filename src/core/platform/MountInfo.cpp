#include "core/platform/MountInfo.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace tabula {

namespace {

// Mount points and sources escape blanks, tabs, newlines and "\" as \ooo.
std::string DecodeOctalEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4) {
            const std::string_view digits = field.substr(i + 1, 3);
            bool octal = true;
            for (const char d : digits) {
                octal = octal && d >= '0' && d <= '7';
            }
            if (octal) {
                out.push_back(static_cast<char>(((digits[0] - '0') << 6) |
                                                ((digits[1] - '0') << 3) | (digits[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = line.find(' ', start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        pos = end == std::string_view::npos ? line.size() : end;
    }
    return fields;
}

bool ParseDevice(std::string_view field, unsigned& major, unsigned& minor) {
    const size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= field.size()) {
        return false;
    }
    unsigned values[2] = {0, 0};
    const std::string_view parts[2] = {field.substr(0, colon), field.substr(colon + 1)};
    for (int k = 0; k < 2; ++k) {
        for (const char d : parts[k]) {
            if (d < '0' || d > '9' || values[k] > 100000000) {
                return false;
            }
            values[k] = values[k] * 10 + static_cast<unsigned>(d - '0');
        }
    }
    major = values[0];
    minor = values[1];
    return true;
}

// This process's mount table, parsed once and again only after the kernel
// signals a change: every archive listing asks for it, and generating the
// table is the costly part of that question.
class TMountTableCache {
public:
    bool Get(std::vector<TMountEntry>& mounts) {
        std::lock_guard lock(mutex_);
        if (!Refresh()) {
            return false;
        }
        mounts = mounts_;
        return true;
    }

    // Changes whenever the table is read anew; 0 when it cannot be read.
    uint64_t Generation() {
        std::lock_guard lock(mutex_);
        return Refresh() ? generation_ : 0;
    }

private:
    bool Refresh() {
        if (fd_ < 0) {
            fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
            if (fd_ < 0) {
                return false;
            }
        }
        // Asked for every archive of a scan: within a few milliseconds of
        // the last look the answer stands (a disk change takes a person
        // longer than that).
        const auto now = std::chrono::steady_clock::now();
        if (valid_ && now - lastLook_ < std::chrono::milliseconds(20)) {
            return true;
        }
        lastLook_ = now;
        // A mount or unmount shows as POLLPRI | POLLERR until the next poll.
        pollfd event{fd_, POLLPRI, 0};
        const bool changed = ::poll(&event, 1, 0) > 0 && (event.revents & (POLLPRI | POLLERR)) != 0;
        if (!valid_ || changed) {
            std::string text;
            if (!ReadAll(text)) {
                valid_ = false; // the change was seen: never trust the old table again
                return false;
            }
            mounts_ = ParseMountInfo(text);
            valid_ = true;
            ++generation_;
        }
        return true;
    }

    bool ReadAll(std::string& text) const {
        char buffer[8192];
        off_t at = 0;
        for (;;) {
            const ssize_t got = ::pread(fd_, buffer, sizeof buffer, at);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                return true;
            }
            text.append(buffer, static_cast<size_t>(got));
            at += got;
        }
    }

    std::mutex mutex_;
    int fd_ = -1;
    bool valid_ = false;
    std::vector<TMountEntry> mounts_;
    uint64_t generation_ = 0;
    std::chrono::steady_clock::time_point lastLook_;
};

TMountTableCache& MountTable() {
    static TMountTableCache cache;
    return cache;
}

bool ReadMountTable(std::vector<TMountEntry>& mounts) {
    return MountTable().Get(mounts);
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

std::vector<TMountEntry> ParseMountInfo(std::string_view text) {
    std::vector<TMountEntry> mounts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const auto fields = SplitFields(text.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") {
            ++dash;
        }
        TMountEntry entry;
        if (fields.size() < 7 || dash + 2 >= fields.size() ||
            !ParseDevice(fields[2], entry.Major, entry.Minor)) {
            continue;
        }
        entry.MountPoint = DecodeOctalEscapes(fields[4]);
        entry.FsType = std::string(fields[dash + 1]);
        entry.Source = DecodeOctalEscapes(fields[dash + 2]);
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

std::optional<TMountEntry> FindMount(const std::vector<TMountEntry>& mounts,
                                     std::string_view absolutePath) {
    const TMountEntry* best = nullptr;
    for (const TMountEntry& mount : mounts) {
        const std::string_view point = mount.MountPoint;
        const bool holds = point == "/" || absolutePath == point ||
                           (absolutePath.starts_with(point) && absolutePath.size() > point.size() &&
                            absolutePath[point.size()] == '/');
        if (holds && (best == nullptr || point.size() >= best->MountPoint.size())) {
            best = &mount;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return *best;
}

std::optional<TMountEntry> MountOf(const std::string& path) {
    char resolved[PATH_MAX];
    std::vector<TMountEntry> mounts;
    if (::realpath(path.c_str(), resolved) == nullptr || !ReadMountTable(mounts)) {
        return std::nullopt;
    }
    return FindMount(mounts, resolved);
}

uint64_t MountTableGeneration() {
    return MountTable().Generation();
}

std::optional<TMountEntry> MountAt(const std::string& mountPoint) {
    std::vector<TMountEntry> mounts;
    if (mountPoint.empty() || !ReadMountTable(mounts)) {
        return std::nullopt;
    }
    const std::string wanted = WithoutTrailingSlash(mountPoint);
    auto found = FindMount(mounts, wanted);
    if (!found || found->MountPoint != wanted) {
        return std::nullopt;
    }
    return found;
}

} // namespace tabula
