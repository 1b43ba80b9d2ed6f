#pragma once

#include "unziplib.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace tabula {

// What an extraction asks of the unzip library, before it is laid out.
struct TUnzipRequest {
    void* Caller = nullptr;
    UnzipCallbackFunc Callback = nullptr;
    intptr_t OwnerWindow = 0;
    bool Trace = false;
    bool Verbose = false;
    bool Test = false;
    bool Update = false;
    bool Freshen = false;
    bool DirNames = false;
    bool Overwrite = false;
    std::string Password; // at most 80 characters are handed over
    std::string Archive;
    std::vector<std::string> Specs;
};

// The parameter block of one UnzipLibExec call, in the layout the library's
// version expects, owning every string it points to. Built from zeroed
// memory; released with the object.
class TUnzipExecBlock {
public:
    TUnzipExecBlock(int32_t libraryVersion, const TUnzipRequest& request);
    TUnzipExecBlock(const TUnzipExecBlock&) = delete;
    TUnzipExecBlock& operator=(const TUnzipExecBlock&) = delete;

    UnzipExecParams* Params();

private:
    UnzipExecParams& Head();

    std::string archive_;
    std::vector<std::string> specs_;
    std::array<char, 81> password_{};
    std::vector<UnzipFileSpec> specRecords_;
    std::unique_ptr<UnzipExecParamsOlder> older_;
    std::unique_ptr<UnzipExecParamsNewer> newer_;
};

} // namespace tabula
