#pragma once

#include "core/platform/FileReader.h"
#include "core/platform/SequentialFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tabula {

// The archive file the zip component reads: a current position that reads
// advance, and a read-ahead buffer so that the many small reads of a central
// directory cost few system calls. A position past the end is allowed (reads
// there simply come up short); only a negative one is refused.
class TZipInput {
public:
    TZipInput() = default;
    ~TZipInput() { Close(); }
    TZipInput(const TZipInput&) = delete;
    TZipInput& operator=(const TZipInput&) = delete;

    // Opens path; when the file open is path and nothing was read since it
    // was opened, it stays as it is (a listing looks at the file it opened
    // before it reads it).
    bool Open(const std::string& path);
    // The open file's status as the system gave it at the opening.
    TPathStatus Status() const;
    void Close();
    // The open file, handed over (this input is closed afterwards).
    TFileReader TakeFile();
    bool IsOpen() const { return file_.IsOpen(); }
    uint64_t Size() const { return file_.Size(); }
    uint64_t Position() const { return position_; }
    const TFileTime& ModifiedTime() const { return file_.ModifiedTime(); }
    // Every file opened since the last ForgetOpened, so that an output can
    // be told apart from what was read.
    const std::vector<TFileIdentity>& OpenedFiles() const { return opened_; }
    void ForgetOpened() { opened_.clear(); }

    // Moves to position; false when it is negative.
    bool Seek(int64_t position);
    // Moves forward by count bytes.
    bool Skip(uint64_t count);
    // Reads up to count bytes at the current position and moves past them;
    // returns how many arrived.
    size_t Read(void* buffer, size_t count);
    // True when the read-ahead holds count bytes at position.
    bool Holds(uint64_t position, size_t count) const {
        return position >= bufferStart_ && position - bufferStart_ <= bufferLength_ &&
               count <= bufferLength_ - (position - bufferStart_);
    }
    // Loads the last few KiB of the file, where an archive keeps its end
    // record and often its whole directory.
    void PrefetchTail();
    // Reads up to count bytes at position without moving; served from the
    // read-ahead when it holds them, else read without filling it.
    size_t ReadAt(uint64_t position, void* buffer, size_t count) const;

private:
    TFileReader file_;
    std::string path_;               // as Open was given it
    mutable bool untouched_ = false; // opened, and nothing read or moved since
    uint64_t position_ = 0;
    // Left unfilled when made: only bytes read into it are ever used.
    std::unique_ptr<uint8_t[]> buffer_;
    size_t bufferSize_ = 0;
    uint64_t bufferStart_ = 0;
    size_t bufferLength_ = 0;
    std::vector<TFileIdentity> opened_;
};

} // namespace tabula
