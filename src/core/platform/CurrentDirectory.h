#pragma once

#include <stdexcept>
#include <string>

namespace tabula {

// The current directory could not be remembered or changed.
class ECurrentDirectoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// path made absolute against the current directory (not resolved: links and
// ".." stay as they are). An absolute path comes back unchanged.
std::string AbsolutePath(const std::string& path);

// Makes a directory current for its lifetime and then returns to the one
// that was current before, even when that one was renamed meanwhile. The
// current directory is process-wide: nothing else may rely on it meanwhile.
class TCurrentDirectoryScope {
public:
    // Throws ECurrentDirectoryError, changing nothing, when the current
    // directory cannot be remembered or path cannot be entered.
    explicit TCurrentDirectoryScope(const std::string& path);
    // Enters the directory open as directoryFd, whatever its path is by
    // then; name is for the message.
    TCurrentDirectoryScope(int directoryFd, const std::string& name);
    ~TCurrentDirectoryScope();
    TCurrentDirectoryScope(const TCurrentDirectoryScope&) = delete;
    TCurrentDirectoryScope& operator=(const TCurrentDirectoryScope&) = delete;

private:
    int previousFd_ = -1;
};

} // namespace tabula
