#include "core/platform/Trash.h"

#include "core/platform/CurrentDirectory.h"
#include "core/platform/MountInfo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula {

namespace {

// The trash's info files hold the original path as a URL path.
std::string UrlEncoded(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
            c == '~') {
            out.push_back(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            out += escaped;
        }
    }
    return out;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

} // namespace

std::string TrashDirectory() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/') {
        return std::string(data) + "/Trash";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share/Trash";
}

namespace {

// Moves absolute into the trash folder trash, whose info file records it as
// infoPath. Errors are errno values; 0 when done.
int TrashInto(const std::string& trash, const std::string& absolute, const std::string& infoPath) {
    for (const std::string& dir : {trash, trash + "/files", trash + "/info"}) {
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    const std::string base = absolute.substr(absolute.rfind('/') + 1);
    // The info file is made first and exclusively: it reserves the name.
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string name = attempt == 1 ? base : base + "." + std::to_string(attempt);
        const std::string info = trash + "/info/" + name + ".trashinfo";
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return errno;
        }
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        char date[32];
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
        const bool written = WriteAll(fd, "[Trash Info]\nPath=" + UrlEncoded(infoPath) +
                                              "\nDeletionDate=" + date + "\n");
        const bool closed = ::close(fd) == 0;
        int error = written && closed ? 0 : EIO;
        if (error == 0 && ::rename(absolute.c_str(), (trash + "/files/" + name).c_str()) != 0) {
            error = errno;
        }
        if (error != 0) {
            ::unlink(info.c_str());
        }
        return error;
    }
    return EEXIST;
}

} // namespace

bool MoveToTrash(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    const std::string trash = TrashDirectory();
    ::mkdir(trash.substr(0, trash.rfind('/')).c_str(), 0700);
    const int error = TrashInto(trash, absolute, absolute);
    if (error != EXDEV) {
        return error == 0;
    }
    // Another file system than the home folder's: its own trash at its top.
    const auto mount = MountOf(absolute);
    if (!mount) {
        return false;
    }
    std::string top = mount->MountPoint;
    if (top.empty() || top.back() != '/') {
        top.push_back('/');
    }
    if (!absolute.starts_with(top)) {
        return false;
    }
    return TrashInto(top + ".Trash-" + std::to_string(::getuid()), absolute,
                     absolute.substr(top.size())) == 0;
}

} // namespace tabula
