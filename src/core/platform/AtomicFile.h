#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tabula {

// The file could not be created or put in place (bad path, no access, a
// directory in the way). The message names the file and the reason.
class EFileCreateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writing or flushing the bytes failed (a full disk, an I/O error). The
// message names the file and the reason.
class EFileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Replaces the content of the file at path with bytes, or creates it, so that
// nothing ever sees a partial file: the bytes go to a new temporary file in
// the same directory, are flushed to the disk, and only then is the temporary
// renamed over path. Only a regular file is replaced: a directory, device or
// pipe at path is refused. On any failure the file at path is exactly as it
// was and the temporary is gone. A symbolic link is followed (the file it
// names is replaced) where the system's protected-symlinks rule would follow
// it: a link in a sticky directory that everyone may write to (such as /tmp)
// is followed only when it belongs to the caller or to the directory's
// owner, and refused otherwise, so that nobody can plant a link there that
// makes us replace another file. An existing file keeps its permission bits
// (never set-user-ID or set-group-ID), and one we may not write to is refused
// as the system would refuse to open it for writing. While it exists the
// temporary is registered with EmergencyCleanup.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// The same replacement with the bytes written as they come: the temporary is
// made (and the target checked) when the object is made, and the file at
// path is replaced only by Commit. An object that ends without a Commit
// removes its temporary and leaves the file at path as it was.
class TAtomicFile {
public:
    // Throws EFileCreateError as WriteFileAtomically would.
    explicit TAtomicFile(const std::string& path);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Appends bytes; throws EFileWriteError.
    void Write(std::string_view bytes);
    // Flushes every byte to the disk, then asks abandon (when given) once
    // more: when it says so, the temporary is removed and false returned;
    // otherwise the temporary takes the file's place and true is returned.
    // Throws EFileWriteError or EFileCreateError, the file left as it was.
    bool Commit(const std::function<bool()>& abandon = {});

private:
    void Discard();

    std::string path_;      // as given, for messages
    std::string directory_; // of the file really replaced
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

// The system calls WriteFileAtomically makes to write, flush and rename, with
// the signatures and errno convention of write(2), fsync(2) and rename(2).
// Tests replace them to play a full disk or a failing rename.
struct TAtomicFileCalls {
    std::function<long(int fd, const char* data, std::size_t size)> Write;
    std::function<int(int fd)> Sync;
    std::function<int(const char* from, const char* to)> Rename;
};

// Installs calls for its lifetime (each empty member keeps the system call)
// and restores the previous ones when it ends.
class TScopedAtomicFileCalls {
public:
    explicit TScopedAtomicFileCalls(TAtomicFileCalls calls);
    ~TScopedAtomicFileCalls();
    TScopedAtomicFileCalls(const TScopedAtomicFileCalls&) = delete;
    TScopedAtomicFileCalls& operator=(const TScopedAtomicFileCalls&) = delete;

private:
    TAtomicFileCalls previous_;
};

} // namespace tabula
