#pragma once

#include "unziplib.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tabula::unziplib {

// text as it fits in room bytes: whole when it fits, else its start and its
// end around "...", so the reason at the end of a message always stays.
std::string FitText(const std::string& text, size_t room);

// Sends progress and messages to the caller's callback and remembers whether
// the caller asked to stop.

class TReporter {
public:
    explicit TReporter(const UnzipExecParams& params);

    void FileStart(const std::string& name, uint32_t size);
    void Bytes(uint32_t count);
    void BatchEnd();
    void FileCount(uint32_t count);
    void ByteTotal(uint32_t total);
    // An error when code is non-zero, information otherwise.
    void Message(int32_t code, const std::string& text);
    // Information shown only when the caller asked for verbose output.
    void Verbose(const std::string& text);

    bool StopRequested() const { return stop_; }

private:
    void Send(int32_t action, int32_t code, uint32_t size, const std::string& text);

    UnzipCallbackFunc callback_;
    void* caller_;
    bool verbose_;
    bool stop_ = false;
};

} // namespace tabula::unziplib
