#include "unziplib/MemberExtractor.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <span>
#include <unistd.h>
#include <vector>

namespace tabula::unziplib {

namespace {

constexpr size_t InputChunk = 64 * 1024;
constexpr size_t OutputChunk = 256 * 1024;

} // namespace

std::string BareFileName(const std::string& memberName) {
    const size_t slash = memberName.find_last_of("/\\");
    std::string bare = slash == std::string::npos ? memberName : memberName.substr(slash + 1);
    if (bare == "." || bare == ".." || bare.find('\0') != std::string::npos)
        return {};
    return bare;
}

// The destination of one member: a file created new in the current
// directory (or nothing when only testing), its CRC-32 and byte count, and the
// promise that an unfinished copy does not stay behind.
class TMemberExtractor::TOutput {
public:
    TOutput(const TZipMember& member, TReporter& reporter) : member_(member), reporter_(reporter) {}
    TOutput(const TOutput&) = delete;
    TOutput& operator=(const TOutput&) = delete;
    ~TOutput() { Discard(); }

    bool Create(const std::string& name) {
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            const int error = errno;
            if (error == EEXIST || error == ELOOP)
                reporter_.Message(UNZIPLIB_ERR_EXISTS,
                                  name + " already exists (a file or link); not replaced");
            else
                reporter_.Message(UNZIPLIB_ERR_WRITE,
                                  "cannot create " + name + ": " + std::strerror(error));
            return false;
        }
        name_ = name;
        return true;
    }

    // Takes the next piece of the member's data; refuses to go past the size
    // the directory states.
    bool Write(const uint8_t* data, size_t size) {
        if (size > member_.UncompressedSize - written_) {
            reporter_.Message(UNZIPLIB_ERR_FORMAT,
                              member_.Name + ": data is longer than its stated size of " +
                                  std::to_string(member_.UncompressedSize) + " bytes");
            return false;
        }
        crc_ = crc32_gzip_refl(crc_, data, size);
        written_ += static_cast<uint32_t>(size);
        while (fd_ >= 0 && size > 0) {
            const ssize_t put = ::write(fd_, data, size);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0) {
                reporter_.Message(UNZIPLIB_ERR_WRITE,
                                  "error writing " + name_ + ": " + std::strerror(errno));
                return false;
            }
            data += put;
            size -= static_cast<size_t>(put);
        }
        reporter_.Bytes(static_cast<uint32_t>(written_ - reported_));
        reported_ = written_;
        if (reporter_.StopRequested()) {
            reporter_.Message(UNZIPLIB_ERR_ABORTED, member_.Name + ": extraction aborted");
            return false;
        }
        return true;
    }

    // Checks size and CRC-32 and closes the file; keeps it only when all is well.
    bool Finish() {
        if (written_ != member_.UncompressedSize) {
            reporter_.Message(UNZIPLIB_ERR_FORMAT,
                              member_.Name + ": data is shorter than its stated size (" +
                                  std::to_string(written_) + " of " +
                                  std::to_string(member_.UncompressedSize) + " bytes)");
            return false;
        }
        if (crc_ != member_.Crc) {
            char text[160];
            std::snprintf(text, sizeof text, ": CRC error (%08x, should be %08x)", crc_,
                          member_.Crc);
            reporter_.Message(UNZIPLIB_ERR_FORMAT, member_.Name + text);
            return false;
        }
        if (fd_ >= 0) {
            const int fd = fd_;
            fd_ = -1;
            if (::close(fd) != 0) {
                reporter_.Message(UNZIPLIB_ERR_WRITE,
                                  "error closing " + name_ + ": " + std::strerror(errno));
                ::unlink(name_.c_str());
                return false;
            }
        }
        name_.clear();
        return true;
    }

private:
    void Discard() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        // Only a file this output created itself carries the name.
        if (!name_.empty())
            ::unlink(name_.c_str());
        name_.clear();
    }

    const TZipMember& member_;
    TReporter& reporter_;
    int fd_ = -1;
    std::string name_;
    uint32_t crc_ = 0;
    uint32_t written_ = 0;
    uint32_t reported_ = 0;
};

TMemberExtractor::TMemberExtractor(const TZipArchive& archive, TReporter& reporter, bool testOnly)
    : archive_(archive), reporter_(reporter), testOnly_(testOnly) {}

bool TMemberExtractor::Extract(const TZipMember& member) {
    const std::string bare = BareFileName(member.Name);
    if (bare.empty()) {
        reporter_.Message(UNZIPLIB_ERR_UNSAFE_NAME,
                          member.Name + ": no file name to extract to; skipped");
        return false;
    }
    if (member.Encrypted()) {
        reporter_.Message(UNZIPLIB_ERR_ENCRYPTED,
                          member.Name + ": encrypted members are not supported; skipped");
        return false;
    }
    if (member.NeedsZip64) {
        reporter_.Message(UNZIPLIB_ERR_UNSUPPORTED,
                          member.Name + ": zip64 members are not supported; skipped");
        return false;
    }
    if (member.Method != 0 && member.Method != 8) {
        reporter_.Message(UNZIPLIB_ERR_UNSUPPORTED, member.Name + ": compression method " +
                                                        std::to_string(member.Method) +
                                                        " is not supported; skipped");
        return false;
    }
    uint64_t offset = 0;
    std::string error;
    if (!archive_.DataOffset(member, offset, error)) {
        reporter_.Message(UNZIPLIB_ERR_FORMAT, error);
        return false;
    }

    TOutput output(member, reporter_);
    if (!testOnly_ && !output.Create(bare))
        return false;
    reporter_.Verbose(
        (testOnly_ ? "    testing: " : (member.Method == 0 ? " extracting: " : "  inflating: ")) +
        bare);
    const bool copied =
        member.Method == 0 ? CopyStored(member, offset, output) : Inflate(member, offset, output);
    return copied && output.Finish();
}

namespace {

// The inflate state and the copy buffers, made once per thread and used for
// every member after: made afresh per member, their pages cost the kernel a
// fault each, every time.
struct TBuffers {
    std::unique_ptr<inflate_state> State = std::make_unique_for_overwrite<inflate_state>();
    std::unique_ptr<uint8_t[]> InputBytes = std::make_unique_for_overwrite<uint8_t[]>(InputChunk);
    std::unique_ptr<uint8_t[]> OutputBytes = std::make_unique_for_overwrite<uint8_t[]>(OutputChunk);
    std::span<uint8_t> Input{InputBytes.get(), InputChunk};
    std::span<uint8_t> Output{OutputBytes.get(), OutputChunk};
};

// The thread's buffers while no other call on the thread holds them (a
// callback may start another extraction); fresh ones otherwise.
class TBuffersLease {
public:
    TBuffersLease() {
        if (!InUse()) {
            InUse() = true;
            held_ = &Shared();
        } else {
            own_ = std::make_unique<TBuffers>();
        }
    }
    ~TBuffersLease() {
        if (held_ != nullptr)
            InUse() = false;
    }
    TBuffersLease(const TBuffersLease&) = delete;
    TBuffersLease& operator=(const TBuffersLease&) = delete;
    TBuffers& Get() { return held_ != nullptr ? *held_ : *own_; }

private:
    static TBuffers& Shared() {
        thread_local TBuffers buffers;
        return buffers;
    }
    static bool& InUse() {
        thread_local bool inUse = false;
        return inUse;
    }
    TBuffers* held_ = nullptr;
    std::unique_ptr<TBuffers> own_;
};

} // namespace

bool TMemberExtractor::CopyStored(const TZipMember& member, uint64_t offset, TOutput& output) {
    if (member.CompressedSize != member.UncompressedSize) {
        reporter_.Message(UNZIPLIB_ERR_FORMAT,
                          member.Name + ": stored member with differing sizes");
        return false;
    }
    TBuffersLease lease;
    std::span<uint8_t> buffer = lease.Get().Output;
    uint64_t left = member.CompressedSize;
    while (left > 0) {
        const size_t size = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (!archive_.ReadAt(buffer.data(), size, offset)) {
            reporter_.Message(UNZIPLIB_ERR_FORMAT, member.Name + ": error reading member data");
            return false;
        }
        if (!output.Write(buffer.data(), size))
            return false;
        offset += size;
        left -= size;
    }
    return true;
}

bool TMemberExtractor::Inflate(const TZipMember& member, uint64_t offset, TOutput& output) {
    TBuffersLease lease;
    TBuffers& buffers = lease.Get();
    inflate_state* const state = buffers.State.get();
    isal_inflate_init(state);
    state->crc_flag = ISAL_DEFLATE;
    const std::span<uint8_t> input = buffers.Input;
    const std::span<uint8_t> out = buffers.Output;
    uint64_t left = member.CompressedSize;
    // A damaged stream is reported like a checksum mismatch: either way the
    // member's data is not what was stored.
    const std::string damaged = member.Name + ": CRC error (invalid compressed data)";
    for (;;) {
        if (state->avail_in == 0 && left > 0) {
            const size_t size = static_cast<size_t>(std::min<uint64_t>(left, input.size()));
            if (!archive_.ReadAt(input.data(), size, offset)) {
                reporter_.Message(UNZIPLIB_ERR_FORMAT, member.Name + ": error reading member data");
                return false;
            }
            offset += size;
            left -= size;
            state->next_in = input.data();
            state->avail_in = static_cast<uint32_t>(size);
        }
        const bool inputExhausted = state->avail_in == 0 && left == 0;
        state->next_out = out.data();
        state->avail_out = static_cast<uint32_t>(out.size());
        if (isal_inflate(state) < 0) {
            reporter_.Message(UNZIPLIB_ERR_FORMAT, damaged);
            return false;
        }
        const size_t produced = out.size() - state->avail_out;
        if (produced > 0 && !output.Write(out.data(), produced))
            return false;
        if (state->block_state == ISAL_BLOCK_FINISH)
            return true;
        if (produced == 0 && inputExhausted) {
            reporter_.Message(UNZIPLIB_ERR_FORMAT, damaged);
            return false;
        }
    }
}

} // namespace tabula::unziplib
