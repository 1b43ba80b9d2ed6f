#include "core/zip/UnzipExecBlock.h"

#include <algorithm>
#include <cstring>

namespace tabula {

namespace {

int32_t Flag(bool value) {
    return value ? UNZIPLIB_TRUE : UNZIPLIB_FALSE;
}

} // namespace

TUnzipExecBlock::TUnzipExecBlock(int32_t libraryVersion, const TUnzipRequest& request)
    : archive_(request.Archive), specs_(request.Specs) {
    std::memcpy(password_.data(), request.Password.data(),
                std::min(request.Password.size(), password_.size() - 1));

    size_t specCount = specs_.size();
    if (libraryVersion < UNZIPLIB_NEWER_LAYOUT_VERSION) {
        // The older block has room for a fixed number of specs only.
        specCount = std::min<size_t>(specCount, UNZIPLIB_OLDER_SPEC_SLOTS);
        older_ = std::make_unique<UnzipExecParamsOlder>();
        std::memset(older_.get(), 0, sizeof(UnzipExecParamsOlder));
        older_->Tail = UNZIPLIB_TAIL_VALUE;
        for (size_t i = 0; i < specCount; ++i)
            older_->FileSpecs[i] = specs_[i].c_str();
    } else {
        newer_ = std::make_unique<UnzipExecParamsNewer>();
        std::memset(newer_.get(), 0, sizeof(UnzipExecParamsNewer));
        specRecords_.resize(specCount);
        for (size_t i = 0; i < specCount; ++i) {
            std::memset(&specRecords_[i], 0, sizeof(UnzipFileSpec));
            specRecords_[i].FileSpec = specs_[i].c_str();
        }
        newer_->FileSpecs = specRecords_.empty() ? nullptr : specRecords_.data();
        newer_->Tail = UNZIPLIB_TAIL_VALUE;
    }

    UnzipExecParams& head = Head();
    head.OwnerWindow = request.OwnerWindow;
    head.Caller = request.Caller;
    head.StructVersion = UNZIPLIB_STRUCT_VERSION;
    head.Callback = request.Callback;
    head.Trace = Flag(request.Trace);
    head.Password = password_.data();
    head.Test = Flag(request.Test);
    head.Reserved40 = UNZIPLIB_TRUE;
    head.Verbose = Flag(request.Verbose || request.Trace);
    head.Update = Flag(request.Update);
    head.Freshen = Flag(request.Freshen && !request.Update);
    head.DirNames = Flag(request.DirNames);
    head.Overwrite = Flag(request.Overwrite);
    head.SpecCount = static_cast<int32_t>(specCount);
    head.ZipFilename = archive_.c_str();
}

UnzipExecParams& TUnzipExecBlock::Head() {
    return older_ ? older_->Head : newer_->Head;
}

UnzipExecParams* TUnzipExecBlock::Params() {
    return &Head();
}

} // namespace tabula
