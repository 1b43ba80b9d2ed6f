#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tabula {

// A private directory could not be made.
class EPrivateDirectoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user's temporary directory: $TMPDIR when it is set and not empty, else
// "/tmp"; without a trailing "/".
std::string TemporaryDirectory();

// Makes a relative $TMPDIR absolute, taken from the current directory, so it
// names the same place once the program works in another directory (an
// extraction runs inside its private folder). Call at start, before any
// other thread.
void AnchorTemporaryDirectory();

// The names of the entries of directory (no "." or ".."), in the order the
// file system gives them; empty when it cannot be read.
std::vector<std::string> DirectoryEntries(const std::string& directory);

// Removes everything inside the directory at path, keeping it; symbolic
// links are removed, never followed. False when something stayed.
bool EmptyPrivateDirectory(const std::string& path);

// A fresh directory that only this object uses: made with mode 0700 inside
// parent, so nothing else can be in it unless we put it there. Removed with
// everything in it when the object ends.
class TPrivateDirectory {
public:
    // prefix begins the directory's name; six random characters follow. A
    // relative parent is taken from the current directory.
    TPrivateDirectory(const std::string& parent, const std::string& prefix);
    ~TPrivateDirectory();
    TPrivateDirectory(const TPrivateDirectory&) = delete;
    TPrivateDirectory& operator=(const TPrivateDirectory&) = delete;

    // Absolute path, without a trailing "/".
    const std::string& Path() const { return path_; }
    // The directory itself, open from its making to its end: working through
    // it (openat, fchdir), nothing can be sent elsewhere by renaming the path.
    int Descriptor() const { return fd_; }

    // Removes everything inside the directory, keeping the directory itself.
    // Symbolic links are removed, never followed. False when something stayed.
    bool Empty() const;
    // Removes the file name inside the directory; false when it stays.
    bool RemoveEntry(const std::string& name) const;

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace tabula
