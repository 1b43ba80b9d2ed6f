#include "unziplib/Reporter.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tabula::unziplib {

namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string FitText(const std::string& text, size_t room) {
    if (text.size() <= room)
        return text;
    // A message ends with its reason and names what it is about before it:
    // the cut goes in the middle, so a long name never pushes the reason out.
    // Neither side splits a UTF-8 sequence.
    static constexpr std::string_view Gap = "...";
    const size_t keep = room - Gap.size();
    size_t head = keep * 2 / 5;
    while (head > 0 && IsContinuation(text[head]))
        --head;
    size_t tail = text.size() - (keep - head);
    while (tail < text.size() && IsContinuation(text[tail]))
        ++tail;
    return text.substr(0, head).append(Gap).append(text, tail);
}

TReporter::TReporter(const UnzipExecParams& params)
    : callback_(params.Callback), caller_(params.Caller),
      verbose_(params.Verbose != UNZIPLIB_FALSE || params.Trace != UNZIPLIB_FALSE) {}

void TReporter::FileStart(const std::string& name, uint32_t size) {
    Send(UNZIPLIB_ACTION_FILE_START, 0, size, name);
}

void TReporter::Bytes(uint32_t count) {
    Send(UNZIPLIB_ACTION_BYTES, 0, count, {});
}

void TReporter::BatchEnd() {
    Send(UNZIPLIB_ACTION_BATCH_END, 0, 0, {});
}

void TReporter::FileCount(uint32_t count) {
    Send(UNZIPLIB_ACTION_FILE_COUNT, 0, count, {});
}

void TReporter::ByteTotal(uint32_t total) {
    Send(UNZIPLIB_ACTION_BYTE_TOTAL, 0, total, {});
}

void TReporter::Message(int32_t code, const std::string& text) {
    Send(UNZIPLIB_ACTION_MESSAGE, code, 0, text);
}

void TReporter::Verbose(const std::string& text) {
    if (verbose_)
        Send(UNZIPLIB_ACTION_MESSAGE, 0, 0, text);
}

void TReporter::Send(int32_t action, int32_t code, uint32_t size, const std::string& text) {
    if (callback_ == nullptr)
        return;
    UnzipCallbackInfo info;
    std::memset(&info, 0, sizeof info);
    info.Caller = caller_;
    info.ActionCode = action;
    info.ErrorCode = code;
    info.Size = size;
    const std::string shown = FitText(text, sizeof info.Text - 1);
    std::memcpy(info.Text, shown.data(), shown.size());
    if (callback_(&info) != UNZIPLIB_FALSE)
        stop_ = true;
}

} // namespace tabula::unziplib
