#include "core/scan/RomHashes.h"

#include <openssl/evp.h>

#include <new>

namespace tabula {

namespace {

struct TContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

using TContext = std::unique_ptr<EVP_MD_CTX, TContextFree>;

TContext Started(const EVP_MD* kind) {
    TContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), kind, nullptr) != 1) {
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
    EVP_DigestFinal_ex(context, digest, &length);
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(Hex[digest[i] >> 4]);
        text.push_back(Hex[digest[i] & 0x0F]);
    }
    return text;
}

} // namespace

struct TRomHashes::TContexts {
    TContext Md5;
    TContext Sha1;
};

TRomHashes::TRomHashes(THashKinds kinds) : contexts_(std::make_unique<TContexts>()) {
    if (kinds.Md5) {
        contexts_->Md5 = Started(EVP_md5());
    }
    if (kinds.Sha1) {
        contexts_->Sha1 = Started(EVP_sha1());
    }
}

TRomHashes::~TRomHashes() = default;

void TRomHashes::Update(std::span<const std::byte> bytes) {
    for (EVP_MD_CTX* context : {contexts_->Md5.get(), contexts_->Sha1.get()}) {
        if (context != nullptr) {
            EVP_DigestUpdate(context, bytes.data(), bytes.size());
        }
    }
}

TRomHashes::TDigests TRomHashes::Finish() {
    return {Digest(contexts_->Md5.get()), Digest(contexts_->Sha1.get())};
}

} // namespace tabula
