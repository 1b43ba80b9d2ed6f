#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

namespace tabula {

// Which digests a scan computes beside the CRC-32.
struct THashKinds {
    bool Md5 = false;
    bool Sha1 = false;
    bool Sha256 = false;
    bool Any() const { return Md5 || Sha1 || Sha256; }
};

// Whether digests begun on this thread may hand one of them to a helper
// thread (the default, when the processor has a second core). A scan's workers already
// keep every core busy and finish their digests themselves.
// Returns what was allowed before.
bool AllowDigestHelper(bool allowed);

// The MD5, SHA-1 and SHA-256 of a ROM's bytes, through libcrypto (which uses
// the processor's SHA instructions), fed the same blocks as its CRC so that
// the bytes are read once. Digests not asked for stay empty.
class TRomHashes {
public:
    explicit TRomHashes(THashKinds kinds);
    ~TRomHashes();
    TRomHashes(const TRomHashes&) = delete;
    TRomHashes& operator=(const TRomHashes&) = delete;

    void Update(std::span<const std::byte> bytes);
    // The digests as lower-case hexadecimal, the way md5sum, sha1sum and
    // sha256sum write them; "" for one not asked for. Call once, after the
    // last Update.
    // Part of the work may run on a helper thread: finishing waits for it,
    // so a caller with several ROMs at hand finishes them late, together.
    struct TDigests {
        std::string Md5;
        std::string Sha1;
        std::string Sha256;
    };
    TDigests Finish();

private:
    struct TContexts;
    std::unique_ptr<TContexts> contexts_;
};

} // namespace tabula
