// Extraction of members through the run-time loaded unzip library.
#include "core/zip/ZipComponent.h"

#include "core/platform/CurrentDirectory.h"
#include "core/platform/FileReader.h"
#include "core/platform/OutputFile.h"
#include "core/platform/PrivateDirectory.h"
#include "core/platform/ProcessPaths.h"
#include "core/zip/UnzipExecBlock.h"
#include "core/zip/UnzipLibLoader.h"
#include "core/zip/ZipMessages.h"
#include "core/zip/ZipText.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>
#include <utility>

namespace tabula {

namespace {

// Components inside an extraction, innermost last: the library hands back
// only the caller pointer it was given, which must be one of these.
std::vector<TZipComponent*>& ActiveComponents() {
    static std::vector<TZipComponent*> active;
    return active;
}

// Ends the extraction's state however the call leaves Extract.
class TExtractScope {
public:
    explicit TExtractScope(TZipComponent& component) : component_(component) {
        ActiveComponents().push_back(&component_);
    }
    ~TExtractScope() {
        auto& active = ActiveComponents();
        active.erase(std::remove(active.begin(), active.end(), &component_), active.end());
    }
    TExtractScope(const TExtractScope&) = delete;
    TExtractScope& operator=(const TExtractScope&) = delete;

private:
    TZipComponent& component_;
};

// The library's message text: cut at the terminator or the record's end,
// trailing blanks and control characters dropped, "/" made "\".
std::string CallbackText(const UnzipCallbackInfo& info, bool forMessage) {
    std::string text(info.Text, strnlen(info.Text, sizeof info.Text));
    if (forMessage)
        while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
            text.pop_back();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

bool ContainsCrcError(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower.find("crc error") != std::string::npos;
}

} // namespace

const TZipComponent::TListing::TIndex& TZipComponent::TListing::Index() {
    if (!index_) {
        index_.emplace();
        for (size_t i = 0; i < Entries.size(); ++i) {
            index_->Raw.try_emplace(Entries[i].RawFileName, i);
            index_->Exact.try_emplace(Entries[i].FileName, i);
            index_->Folded.try_emplace(FoldedMemberName(Entries[i].FileName), i);
        }
    }
    return *index_;
}

std::string TZipComponent::StoredSpec(const std::string& spec) {
    // The member itself first: its stored bytes, then its name as listed,
    // and only then a name that differs in case or separator.
    const TListing::TIndex& index = listing_->Index();
    if (index.Raw.contains(spec))
        return spec;
    const ZipDirEntry* entry = nullptr;
    if (const auto exact = index.Exact.find(spec); exact != index.Exact.end())
        entry = &listing_->Entries[exact->second];
    else if (const auto folded = index.Folded.find(FoldedMemberName(spec));
             folded != index.Folded.end())
        entry = &listing_->Entries[folded->second];
    return entry != nullptr && !entry->RawFileName.empty() ? entry->RawFileName : spec;
}

void TZipComponent::SetDLLDirectory(std::string value) {
    if (value == dllDirectory_)
        return;
    if (value.size() > 1 && value.back() == '/')
        value.pop_back();
    dllDirectory_ = std::move(value);
}

void TZipComponent::LoadUnzipLib() {
    std::string path = UnzipLibFileName;
    // Asked once per folder and thread: the collector loads the library for
    // every member it extracts, and a program's own folder does not change.
    thread_local std::pair<std::string, bool> lastFolder;
    if (!dllDirectory_.empty() && lastFolder.first != dllDirectory_)
        lastFolder = {dllDirectory_, IsExistingFile(dllDirectory_ + "/" + UnzipLibFileName)};
    if (!dllDirectory_.empty() && lastFolder.second)
        path = dllDirectory_ + "/" + UnzipLibFileName;
    // A failure while loading leaves the library unloaded and nothing else.
    try {
        const TUnzipLibLoader::TLoadResult result = TUnzipLibLoader::Load(path);
        if (!result.Opened) {
            ReportError(ZipMsg::LibraryNotFound);
            return;
        }
        if (trace_)
            ReportError(ZipMsg::LibraryLoaded);
        if (!result.ExecFound)
            ReportError(ZipMsg::ExecMissing);
        if (!result.VersionFound)
            ReportError(ZipMsg::VersionMissing);
    } catch (...) {
    }
}

void TZipComponent::UnloadUnzipLib() {
    TUnzipLibLoader::Unload();
}

int TZipComponent::UnzipLibVersion() {
    bool loadedHere = false;
    if (!TUnzipLibLoader::IsLoaded()) {
        LoadUnzipLib();
        loadedHere = TUnzipLibLoader::IsLoaded();
    }
    if (!TUnzipLibLoader::IsLoaded())
        return 0;
    const int version = TUnzipLibLoader::Version();
    if (loadedHere)
        UnloadUnzipLib();
    return version;
}

void TZipComponent::Extract() {
    // Nothing leaves Extract: a handler that throws while a failure is being
    // reported ends the operation like any other failure.
    try {
        extractedCount_ = 0;
        if (!IsExistingFile(zipFilename_)) {
            ReportError(ZipMsg::NoZipFile);
            return;
        }
        // A second extraction from inside the first one's callbacks.
        if (busy_)
            return;
        if (unattended_ && addOptions_.contains(AddOptsEnum::AddEncrypt) && password_.empty()) {
            password_ = std::string(79, static_cast<char>('A' + 25));
            ReportError(ZipMsg::UnattendedWarning);
        }
    } catch (...) {
        return;
    }
    busy_ = true;
    cancelRequested_ = false;
    try {
        RunExtraction();
    } catch (...) {
    }
    cancelRequested_ = false;
    busy_ = false;
}

void TZipComponent::RunExtraction() {
    bool loadedHere = false;
    if (!TUnzipLibLoader::IsLoaded()) {
        LoadUnzipLib();
        if (!TUnzipLibLoader::IsLoaded())
            return;
        loadedHere = true;
    }
    struct TUnloadScope {
        bool Active;
        ~TUnloadScope() {
            if (Active)
                TUnzipLibLoader::Unload();
        }
    } unload{loadedHere};

    // The library is handed one archive: a set is joined into a copy first,
    // which goes again however the extraction ends.
    std::string archive = zipFilename_;
    struct TJoinedCopy {
        std::string Path;
        ~TJoinedCopy() {
            if (!Path.empty())
                RemoveFile(Path);
        }
    } joined;
    if (state_.LastDisk != 0) {
        std::string where = tempDir_.empty() ? TemporaryDirectory() : tempDir_;
        if (where.back() != '/')
            where.push_back('/');
        if (ReadSpan(zipFilename_, where) != TSpanResult::Joined)
            return;
        joined.Path = archive = AbsolutePath(where);
    }

    if (IsExistingDirectory(extrBaseDir_))
        ChangeCurrentDirectory(extrBaseDir_);
    const int version = UnzipLibVersion();

    struct TSpecsScope {
        std::vector<std::string>& Specs;
        ~TSpecsScope() { Specs.clear(); }
    } clearSpecs{fileSpecs_};
    try {
        CallUnzipLib(version, UnzipRequest(archive));
    } catch (...) {
        callbackFailure_ = nullptr;
        ReportError(ZipMsg::LibraryAbort);
    }
}

TUnzipRequest TZipComponent::UnzipRequest(const std::string& archive) {
    TUnzipRequest request;
    request.Caller = this;
    request.Callback = &TZipComponent::UnzipCallbackEntry;
    request.Trace = trace_;
    request.Verbose = verbose_;
    request.Test = extrOptions_.contains(ExtrOptsEnum::ExtrTest);
    request.Update = extrOptions_.contains(ExtrOptsEnum::ExtrUpdate);
    request.Freshen = extrOptions_.contains(ExtrOptsEnum::ExtrFreshen);
    request.DirNames = extrOptions_.contains(ExtrOptsEnum::ExtrDirNames);
    request.Overwrite = extrOptions_.contains(ExtrOptsEnum::ExtrOverWrite);
    request.Password = password_;
    request.Archive = archive;
    // A spec naming a listed member is handed over as the member's stored
    // bytes, so a name the listing turned into other text is still found.
    // A name the library's C strings would cut short reaches no member.
    for (const std::string& spec : fileSpecs_) {
        std::string stored = StoredSpec(spec);
        if (stored.find('\0') != std::string::npos) {
            message_ = "Member name holds a NUL byte: " + spec.substr(0, spec.find('\0'));
            errCode_ = UNZIPLIB_ERR_FORMAT;
            if (onMessage_)
                onMessage_(*this, errCode_, message_);
            continue;
        }
        request.Specs.push_back(std::move(stored));
    }
    return request;
}

void TZipComponent::CallUnzipLib(int version, const TUnzipRequest& request) {
    TUnzipExecBlock block(version, request);
    callbackFailure_ = nullptr;
    int32_t count = 0;
    {
        TExtractScope active(*this);
        count = TUnzipLibLoader::Exec(block.Params());
    }
    if (callbackFailure_) {
        callbackFailure_ = nullptr;
        ReportError(ZipMsg::LibraryAbort);
    } else {
        extractedCount_ = count;
    }
}

int32_t TZipComponent::UnzipCallbackEntry(UnzipCallbackInfo* info) {
    auto& active = ActiveComponents();
    const auto found =
        std::find(active.begin(), active.end(), static_cast<TZipComponent*>(info->Caller));
    if (found == active.end()) {
        // Not a component of ours: the running extraction fails as with any
        // other exception raised inside the library call.
        if (!active.empty() && !active.back()->callbackFailure_)
            active.back()->callbackFailure_ = std::make_exception_ptr(std::bad_cast());
        return UNZIPLIB_TRUE;
    }
    return (*found)->UnzipCallback(*info);
}

int32_t TZipComponent::UnzipCallback(const UnzipCallbackInfo& info) {
    // An exception from a handler cannot travel through the library's C
    // frames: it is kept, the library is asked to stop, and Extract reports
    // it once the call has returned.
    if (callbackFailure_)
        return UNZIPLIB_TRUE;
    try {
        const int64_t size = info.Size;
        switch (info.ActionCode) {
        case UNZIPLIB_ACTION_FILE_START:
            if (onProgress_)
                onProgress_(*this, ProgressType::progFileStart, CallbackText(info, false), size);
            break;
        case UNZIPLIB_ACTION_BYTES:
            if (onProgress_)
                onProgress_(*this, ProgressType::progBytes, {}, size);
            break;
        case UNZIPLIB_ACTION_BATCH_END:
            if (onProgress_)
                onProgress_(*this, ProgressType::progBatchEnd, {}, 0);
            break;
        case UNZIPLIB_ACTION_MESSAGE: {
            const std::string text = CallbackText(info, true);
            message_ = text;
            if (info.ErrorCode != 0) {
                errCode_ = info.ErrorCode & 0xFF;
                libraryErrCode_ = info.ErrorCode;
            }
            if (ContainsCrcError(text))
                errCode_ = CrcErrorCode;
            if (onMessage_)
                onMessage_(*this, info.ErrorCode, text);
            break;
        }
        case UNZIPLIB_ACTION_FILE_COUNT:
            if (onProgress_)
                onProgress_(*this, ProgressType::progFileCount, {}, size);
            break;
        case UNZIPLIB_ACTION_BYTE_TOTAL:
            totalSize_ = info.Size;
            if (onProgress_)
                onProgress_(*this, ProgressType::progByteTotal, {}, size);
            break;
        default:
            break;
        }
        const int32_t result = cancelRequested_ ? UNZIPLIB_TRUE : UNZIPLIB_FALSE;
        if (ui_ != nullptr)
            ui_->Pump();
        return result;
    } catch (...) {
        callbackFailure_ = std::current_exception();
        return UNZIPLIB_TRUE;
    }
}

} // namespace tabula
