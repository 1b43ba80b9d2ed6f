#include "core/checksum/RomHashes.h"

#include "core/platform/Processors.h"
#include "core/platform/SharedLibrary.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace tabula {

namespace {

// The libcrypto functions used here, by their own names.
#define TABULA_CRYPTO_FUNCTIONS(F)                                                                 \
    F(EVP_DigestFinal_ex)                                                                          \
    F(EVP_DigestInit_ex)                                                                           \
    F(EVP_DigestUpdate)                                                                            \
    F(EVP_MD_CTX_free)                                                                             \
    F(EVP_MD_CTX_new)                                                                              \
    F(EVP_md5)                                                                                     \
    F(EVP_sha1)                                                                                    \
    F(EVP_sha256)

// libcrypto, loaded when the first digest starts: a scan without digests
// does not pay for loading it (its start probes the processor at length).
TABULA_SYSTEM_FUNCTIONS(TCrypto, Crypto, TABULA_LIBCRYPTO_SONAME, TABULA_CRYPTO_FUNCTIONS)

struct TContextFree {
    void operator()(EVP_MD_CTX* context) const { Crypto().EVP_MD_CTX_free(context); }
};

using TContext = std::unique_ptr<EVP_MD_CTX, TContextFree>;

TContext Started(const EVP_MD* kind) {
    TContext context(Crypto().EVP_MD_CTX_new());
    if (!context || Crypto().EVP_DigestInit_ex(context.get(), kind, nullptr) != 1) {
        throw std::bad_alloc();
    }
    return context;
}

std::string Digest(EVP_MD_CTX* context) {
    if (context == nullptr) {
        return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    Crypto().EVP_DigestFinal_ex(context, digest, &length);
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(Hex[digest[i] >> 4]);
        text.push_back(Hex[digest[i] & 0x0F]);
    }
    return text;
}

// A thread that feeds blocks to one digest while the reading thread
// decompresses, checksums and feeds the others: MD5 alone takes about as long
// as all the rest, so on a second core the two halves overlap. Without MD5,
// SHA-256 alone still takes longer than the rest (measured: a 512 MiB file
// with SHA-256 in 0.32 s with the helper, 0.52 s without). Blocks are
// copied into a small ring of slots, so the reader's buffer is free at once
// and memory stays bounded; blocks of several ROMs may be queued, so the
// reader need not wait at the end of each. One per reading thread. Each
// side spins a little before it sleeps: a ROM is a few blocks, and waking a
// sleeping thread costs about as much as hashing one.
class TDigestThread {
public:
    static constexpr size_t SlotSize = size_t{64} << 10;
    static constexpr size_t Slots = 4;

    TDigestThread() : thread_([this] { Run(); }) {}
    ~TDigestThread() {
        closing_.store(true);
        produced_.fetch_add(1); // wakes the worker, which sees the flag
        produced_.notify_one();
        thread_.join();
    }
    TDigestThread(const TDigestThread&) = delete;
    TDigestThread& operator=(const TDigestThread&) = delete;

    // Queues bytes for context, which stays alive until Drain.
    void Feed(EVP_MD_CTX* context, std::span<const std::byte> bytes) {
        while (!bytes.empty()) {
            const size_t part = std::min(bytes.size(), SlotSize);
            const size_t produced = produced_.load(std::memory_order_relaxed);
            AwaitChange(consumed_, [&](size_t consumed) { return produced - consumed < Slots; });
            TSlot& slot = slots_[produced % Slots];
            std::memcpy(slot.Bytes.data(), bytes.data(), part);
            slot.Size = part;
            slot.Context = context;
            produced_.store(produced + 1, std::memory_order_release);
            produced_.notify_one();
            bytes = bytes.subspan(part);
        }
    }

    // Waits until every block fed is in its context; none is used after.
    void Drain() {
        const size_t produced = produced_.load(std::memory_order_relaxed);
        AwaitChange(consumed_, [&](size_t consumed) { return consumed == produced; });
    }

private:
    struct TSlot {
        std::vector<std::byte> Bytes = std::vector<std::byte>(SlotSize);
        size_t Size = 0;
        EVP_MD_CTX* Context = nullptr;
    };

    // Returns once ready(value) holds, spinning first (long enough for the
    // other side to hash a block), then sleeping.
    template <class TReady> static void AwaitChange(std::atomic<size_t>& value, TReady ready) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
        for (int spin = 0;; ++spin) {
            if (ready(value.load(std::memory_order_acquire))) {
                return;
            }
            if (spin % 256 == 255 && std::chrono::steady_clock::now() > until) {
                break;
            }
        }
        for (size_t now = value.load(std::memory_order_acquire); !ready(now);
             now = value.load(std::memory_order_acquire)) {
            value.wait(now, std::memory_order_acquire);
        }
    }

    void Run() {
        size_t consumed = 0;
        for (;;) {
            AwaitChange(produced_, [&](size_t produced) { return produced != consumed; });
            if (closing_.load()) {
                return;
            }
            const TSlot& slot = slots_[consumed % Slots];
            Crypto().EVP_DigestUpdate(slot.Context, slot.Bytes.data(), slot.Size);
            consumed_.store(++consumed, std::memory_order_release);
            consumed_.notify_one();
        }
    }

    std::array<TSlot, Slots> slots_;
    std::atomic<size_t> produced_{0};
    std::atomic<size_t> consumed_{0};
    std::atomic<bool> closing_{false};
    std::thread thread_; // last: starts once the rest is made
};

thread_local bool helperAllowed = true;

TDigestThread* DigestThread() {
    // The processors this process may use, not those the machine has: under
    // taskset or a container's one processor the two threads spun at each
    // other's turns, and hashing took three to six times as long.
    static const bool oneProcessor = ProcessorCount() < 2;
    if (!helperAllowed || oneProcessor) {
        return nullptr; // one core: a second thread would only add switches
    }
    thread_local TDigestThread thread;
    return &thread;
}

} // namespace

bool AllowDigestHelper(bool allowed) {
    return std::exchange(helperAllowed, allowed);
}

struct TRomHashes::TContexts {
    TContext Md5;
    TContext Sha1;
    TContext Sha256;
    TDigestThread* Helper = nullptr; // when there is one, takes Helped's blocks
    EVP_MD_CTX* Helped = nullptr;
};

TRomHashes::TRomHashes(THashKinds kinds) : contexts_(std::make_unique<TContexts>()) {
    if (kinds.Md5) {
        contexts_->Md5 = Started(Crypto().EVP_md5());
    }
    if (kinds.Sha1) {
        contexts_->Sha1 = Started(Crypto().EVP_sha1());
    }
    if (kinds.Sha256) {
        contexts_->Sha256 = Started(Crypto().EVP_sha256());
    }
    // The helper takes the slowest digest asked: MD5, else SHA-256 (SHA-1
    // is the fastest of the three).
    contexts_->Helped = contexts_->Md5 ? contexts_->Md5.get() : contexts_->Sha256.get();
    if (contexts_->Helped != nullptr) {
        contexts_->Helper = DigestThread();
    }
}

TRomHashes::~TRomHashes() {
    // The helper lets go of the context before it is freed.
    if (contexts_->Helper != nullptr) {
        contexts_->Helper->Drain();
    }
}

void TRomHashes::Update(std::span<const std::byte> bytes) {
    EVP_MD_CTX* const helped = contexts_->Helper != nullptr ? contexts_->Helped : nullptr;
    if (helped != nullptr) {
        contexts_->Helper->Feed(helped, bytes);
    }
    for (const TContext* context : {&contexts_->Md5, &contexts_->Sha1, &contexts_->Sha256}) {
        if (*context && context->get() != helped) {
            Crypto().EVP_DigestUpdate(context->get(), bytes.data(), bytes.size());
        }
    }
}

TRomHashes::TDigests TRomHashes::Finish() {
    if (contexts_->Helper != nullptr) {
        contexts_->Helper->Drain();
        contexts_->Helper = nullptr;
    }
    return {Digest(contexts_->Md5.get()), Digest(contexts_->Sha1.get()),
            Digest(contexts_->Sha256.get())};
}

} // namespace tabula
