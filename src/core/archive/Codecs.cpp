#include "core/archive/Codecs.h"

#include "core/bytes/ByteCursor.h"
#include "core/platform/SharedLibrary.h"

#include <bzlib.h>
#include <lzma.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string>

namespace tabula {

namespace {

// Each library is loaded when its first member needs it: most scans read
// none of these methods.

#define TABULA_LZMA_FUNCTIONS(F)                                                                   \
    F(lzma_raw_decoder)                                                                            \
    F(lzma_stream_decoder)                                                                         \
    F(lzma_code)                                                                                   \
    F(lzma_end)

TABULA_SYSTEM_FUNCTIONS(TLzmaLibrary, Lzma, TABULA_LIBLZMA_SONAME, TABULA_LZMA_FUNCTIONS)

#define TABULA_BZ2_FUNCTIONS(F)                                                                    \
    F(BZ2_bzDecompressInit)                                                                        \
    F(BZ2_bzDecompress)                                                                            \
    F(BZ2_bzDecompressEnd)

TABULA_SYSTEM_FUNCTIONS(TBz2Library, Bz2, TABULA_LIBBZ2_SONAME, TABULA_BZ2_FUNCTIONS)

#define TABULA_ZSTD_FUNCTIONS(F)                                                                   \
    F(ZSTD_createDCtx)                                                                             \
    F(ZSTD_freeDCtx)                                                                               \
    F(ZSTD_decompressStream)                                                                       \
    F(ZSTD_isError)                                                                                \
    F(ZSTD_getErrorName)

TABULA_SYSTEM_FUNCTIONS(TZstdLibrary, Zstd, TABULA_LIBZSTD_SONAME, TABULA_ZSTD_FUNCTIONS)

// Memory a decoder may take: enough for any dictionary a compressor offers
// by default, not enough for a made-up header to exhaust the machine.
constexpr uint64_t DecoderMemoryLimit = uint64_t{1} << 30;

std::string LzmaErrorText(lzma_ret result) {
    switch (result) {
    case LZMA_MEM_ERROR:
        return "out of memory";
    case LZMA_MEMLIMIT_ERROR:
        return "it needs more memory than allowed";
    case LZMA_FORMAT_ERROR:
        return "not in the expected format";
    case LZMA_OPTIONS_ERROR:
        return "unsupported options";
    case LZMA_DATA_ERROR:
        return "invalid compressed data";
    case LZMA_BUF_ERROR:
        return "its compressed data ends early";
    default:
        return "decoder error " + std::to_string(static_cast<int>(result));
    }
}

class TLzmaDecoder final : public IStreamDecoder {
public:
    ~TLzmaDecoder() override {
        if (started_) {
            Lzma().lzma_end(&stream_);
        }
    }

    void StartRaw(lzma_vli filter, lzma_options_lzma& options) {
        const std::array<lzma_filter, 2> filters{lzma_filter{filter, &options},
                                                 lzma_filter{LZMA_VLI_UNKNOWN, nullptr}};
        Check(Lzma().lzma_raw_decoder(&stream_, filters.data()));
        started_ = true;
    }

    void StartXz() {
        Check(Lzma().lzma_stream_decoder(&stream_, DecoderMemoryLimit, 0));
        started_ = true;
    }

    TDecodeStep Decode(std::span<const std::byte> in, std::span<std::byte> out) override {
        stream_.next_in = reinterpret_cast<const uint8_t*>(in.data());
        stream_.avail_in = in.size();
        stream_.next_out = reinterpret_cast<uint8_t*>(out.data());
        stream_.avail_out = out.size();
        // LZMA_FINISH once the input is all given would only make a short
        // stream an error sooner; the caller checks sizes itself.
        const lzma_ret result = Lzma().lzma_code(&stream_, LZMA_RUN);
        if (result != LZMA_OK && result != LZMA_STREAM_END) {
            throw ECodecError(LzmaErrorText(result));
        }
        return {in.size() - stream_.avail_in, out.size() - stream_.avail_out,
                result == LZMA_STREAM_END};
    }

private:
    static void Check(lzma_ret result) {
        if (result != LZMA_OK) {
            throw ECodecError(LzmaErrorText(result));
        }
    }

    lzma_stream stream_ = LZMA_STREAM_INIT;
    bool started_ = false;
};

// A dictionary need not be larger than what is decoded through it.
uint32_t BoundedDictionary(uint64_t dictionary, uint64_t unpackSize) {
    return static_cast<uint32_t>(
        std::clamp<uint64_t>(std::min(dictionary, unpackSize), LZMA_DICT_SIZE_MIN, UINT32_MAX));
}

// LZMA's five property bytes: lc, lp and pb packed into one, then the
// dictionary size.
std::unique_ptr<IStreamDecoder> LzmaFromProperties(std::span<const uint8_t> properties,
                                                   uint64_t unpackSize) {
    if (properties.size() < 5) {
        throw ECodecError("its LZMA properties are missing");
    }
    const unsigned packed = properties[0];
    if (packed >= 9 * 5 * 5) {
        throw ECodecError("its LZMA properties are invalid");
    }
    lzma_options_lzma options{};
    options.lc = packed % 9;
    options.lp = packed / 9 % 5;
    options.pb = packed / 45;
    options.dict_size = BoundedDictionary(LoadU32(&properties[1]), unpackSize);
    // The size is known; an end marker may follow it or not.
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<uint32_t>(unpackSize);
    options.ext_size_high = static_cast<uint32_t>(unpackSize >> 32);
    auto decoder = std::make_unique<TLzmaDecoder>();
    decoder->StartRaw(LZMA_FILTER_LZMA1EXT, options);
    return decoder;
}

// Zip's LZMA members start with a version, the properties' length (5) and
// the properties; the decoder proper starts once those nine bytes are in.
class TZipLzmaDecoder final : public IStreamDecoder {
public:
    explicit TZipLzmaDecoder(uint64_t unpackSize) : unpackSize_(unpackSize) {}

    TDecodeStep Decode(std::span<const std::byte> in, std::span<std::byte> out) override {
        size_t taken = 0;
        if (!inner_) {
            taken = std::min(in.size(), prefix_.size() - prefixFilled_);
            std::copy_n(reinterpret_cast<const uint8_t*>(in.data()), taken,
                        prefix_.begin() + static_cast<std::ptrdiff_t>(prefixFilled_));
            prefixFilled_ += taken;
            if (prefixFilled_ < prefix_.size()) {
                return {taken, 0, false};
            }
            if (LoadU16(&prefix_[2]) != 5) {
                throw ECodecError("its LZMA properties are invalid");
            }
            inner_ = LzmaFromProperties(std::span(prefix_).subspan(4), unpackSize_);
        }
        TDecodeStep step = inner_->Decode(in.subspan(taken), out);
        step.Consumed += taken;
        return step;
    }

private:
    uint64_t unpackSize_;
    std::array<uint8_t, 9> prefix_{};
    size_t prefixFilled_ = 0;
    std::unique_ptr<IStreamDecoder> inner_;
};

class TBzip2Decoder final : public IStreamDecoder {
public:
    TBzip2Decoder() {
        if (Bz2().BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) {
            throw ECodecError("out of memory");
        }
    }
    ~TBzip2Decoder() override { Bz2().BZ2_bzDecompressEnd(&stream_); }

    TDecodeStep Decode(std::span<const std::byte> in, std::span<std::byte> out) override {
        // bzip2 counts in unsigned int: a call takes at most that much.
        const auto inSize = static_cast<unsigned>(std::min<size_t>(in.size(), UINT_MAX));
        const auto outSize = static_cast<unsigned>(std::min<size_t>(out.size(), UINT_MAX));
        stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
        stream_.avail_in = inSize;
        stream_.next_out = reinterpret_cast<char*>(out.data());
        stream_.avail_out = outSize;
        const int result = Bz2().BZ2_bzDecompress(&stream_);
        if (result != BZ_OK && result != BZ_STREAM_END) {
            throw ECodecError(result == BZ_MEM_ERROR ? "out of memory" : "invalid compressed data");
        }
        return {inSize - stream_.avail_in, outSize - stream_.avail_out, result == BZ_STREAM_END};
    }

private:
    bz_stream stream_{};
};

class TZstdDecoder final : public IStreamDecoder {
public:
    TZstdDecoder() : context_(Zstd().ZSTD_createDCtx()) {
        if (context_ == nullptr) {
            throw ECodecError("out of memory");
        }
    }
    ~TZstdDecoder() override { Zstd().ZSTD_freeDCtx(context_); }

    TDecodeStep Decode(std::span<const std::byte> in, std::span<std::byte> out) override {
        ZSTD_inBuffer input{in.data(), in.size(), 0};
        ZSTD_outBuffer output{out.data(), out.size(), 0};
        const size_t result = Zstd().ZSTD_decompressStream(context_, &output, &input);
        if (Zstd().ZSTD_isError(result) != 0) {
            throw ECodecError(std::string("invalid compressed data (") +
                              Zstd().ZSTD_getErrorName(result) + ")");
        }
        // Zero: a frame has ended and all of it is handed out.
        return {input.pos, output.pos, result == 0};
    }

private:
    ZSTD_DCtx* context_;
};

} // namespace

std::unique_ptr<IStreamDecoder> MakeLzmaDecoder(std::span<const uint8_t> properties,
                                                uint64_t unpackSize) {
    return LzmaFromProperties(properties, unpackSize);
}

std::unique_ptr<IStreamDecoder> MakeLzma2Decoder(std::span<const uint8_t> properties,
                                                 uint64_t unpackSize) {
    if (properties.size() != 1 || properties[0] > 40) {
        throw ECodecError("its LZMA2 properties are invalid");
    }
    const unsigned bits = properties[0];
    const uint64_t dictionary =
        bits == 40 ? UINT32_MAX : (uint64_t{2} | (bits & 1)) << (bits / 2 + 11);
    lzma_options_lzma options{};
    options.dict_size = BoundedDictionary(dictionary, unpackSize);
    auto decoder = std::make_unique<TLzmaDecoder>();
    decoder->StartRaw(LZMA_FILTER_LZMA2, options);
    return decoder;
}

std::unique_ptr<IStreamDecoder> MakeZipLzmaDecoder(uint64_t unpackSize) {
    return std::make_unique<TZipLzmaDecoder>(unpackSize);
}

std::unique_ptr<IStreamDecoder> MakeXzDecoder() {
    auto decoder = std::make_unique<TLzmaDecoder>();
    decoder->StartXz();
    return decoder;
}

std::unique_ptr<IStreamDecoder> MakeBzip2Decoder() {
    return std::make_unique<TBzip2Decoder>();
}

std::unique_ptr<IStreamDecoder> MakeZstdDecoder() {
    return std::make_unique<TZstdDecoder>();
}

} // namespace tabula
