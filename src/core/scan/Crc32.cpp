#include "core/scan/Crc32.h"

#include "core/platform/PrivateDirectory.h"
#include "core/platform/SequentialFile.h"
#include "core/scan/LooseFile.h"
#include "core/scan/MemberCut.h"
#include "core/scan/StreamedMembers.h"
#include "core/scan/ZipMembers.h"
#include "core/text/StringsTools.h"

#include <cmath>
#include <utility>

namespace tabula {

namespace {

// Members whose digests may be still in the making at once: enough to keep
// the helper busy, few enough that their contexts cost nothing.
constexpr size_t MaxPendingDigests = 64;

} // namespace

TCrc32::TCrc32() : tempPath_(TemporaryDirectory()) {}

TCrc32::~TCrc32() = default;

void TCrc32::SetFileName(const std::string& path) {
    fileName_ = path;
    items_.clear();
}

int32_t TCrc32::SnesHeaderSize(int64_t size) {
    // The nearest multiple of 8192, a tie going to the even multiple (the
    // default rounding mode); what lies beyond it is taken for the header.
    const double blocks = std::nearbyint(static_cast<double>(size) / 8192.0);
    const int64_t header = size - int64_t{8192} * static_cast<int64_t>(blocks);
    return header < 0 ? 0 : static_cast<int32_t>(header);
}

void TCrc32::Collect() {
    const std::string extension = LowerCase(FileExtension(fileName_));
    if (ZipMode && extension == ".zip") {
        // An archive's status comes from its listing, which looks at it anyway.
        TZipMembers members(*this);
        Take(members);
        return;
    }
    const TPathStatus status = KnownStatus != nullptr ? *KnownStatus : StatPath(fileName_);
    RefuseUnlessRegular(status, fileName_);
    if (ZipMode && (extension == ".7z" || IsSevenZipVolumeName(fileName_))) {
        TSevenZipMembers members(*this);
        Take(members);
    } else if (ZipMode && extension == ".rar") {
        TRarMembers members(*this);
        Take(members);
    } else {
        TLooseFile file(*this, fileName_, status.Size);
        Take(file);
    }
}

std::optional<TCut> TCrc32::ModeCut(uint64_t size) const {
    TCut cut{0, UINT64_MAX, TByteOperation::None, nullptr};
    if (SnesMode) {
        const auto signedSize = static_cast<int64_t>(size);
        if (signedSize < 8192 && RemoveBadSize) {
            return std::nullopt;
        }
        const int32_t header = SnesHeaderSize(signedSize);
        if (header != 0 && header != 512 && RemoveBadSize) {
            return std::nullopt;
        }
        cut.Start = static_cast<uint64_t>(header);
        cut.From = header != 0 ? &SnesModeRules() : nullptr;
    }
    if (NesMode) {
        cut.Start = 16;
        cut.From = size > 0 ? &NesModeRules() : nullptr; // an empty file loses nothing
    }
    return cut;
}

void TCrc32::Take(IMemberSource& source) {
    // Items collected before a failure keep their digests too.
    struct TFinishDigests {
        TCrc32& Collector;
        ~TFinishDigests() { Collector.FinishDigests(); }
    } finish{*this};
    items_.reserve(items_.size() + source.CountHint());
    const bool upperCase = source.UpperCaseCrc();
    TMember member;
    while (source.Next(member)) {
        if (SkipTxtFiles && LowerCase(FileExtension(member.Name)) == ".txt") {
            continue;
        }
        const std::optional<TCut> cut = ModeCut(member.Size);
        if (!cut) {
            return;
        }
        if (!member.HoldsRom) {
            continue;
        }
        auto hashes = Hashes.Any() ? std::make_unique<TRomHashes>(Hashes) : nullptr;
        const TMemberResult result = source.Read(member, *cut, hashes.get());
        AddRow(member, result, upperCase, std::move(hashes));
    }
}

void TCrc32::AddRow(const TMember& member, const TMemberResult& result, bool upperCase,
                    std::unique_ptr<TRomHashes> hashes) {
    std::string crcText = HexText(result.Crc);
    items_.push_back({member.Name,
                      upperCase ? std::move(crcText) : LowerCase(crcText),
                      result.Size,
                      {},
                      {},
                      {},
                      member.NameOnDisk,
                      result.Detector});
    if (hashes) {
        pendingDigests_.emplace_back(items_.size() - 1, std::move(hashes));
        if (pendingDigests_.size() >= MaxPendingDigests) {
            FinishDigests();
        }
    }
}

void TCrc32::FinishDigests() {
    for (auto& [index, hashes] : pendingDigests_) {
        TRomHashes::TDigests digests = hashes->Finish();
        items_[index].Md5 = std::move(digests.Md5);
        items_[index].Sha1 = std::move(digests.Sha1);
        items_[index].Sha256 = std::move(digests.Sha256);
    }
    pendingDigests_.clear();
}

} // namespace tabula
