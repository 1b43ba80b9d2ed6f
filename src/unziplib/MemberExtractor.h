#pragma once

#include "unziplib/Reporter.h"
#include "unziplib/ZipArchive.h"

#include <string>

namespace tabula::unziplib {

// The last path component of a member name, "/" and "\" both separating;
// empty when nothing usable remains ("", ".", "..").
std::string BareFileName(const std::string& memberName);

// Writes one member into the current directory under its bare file name.
// The file is created new: an existing file or link of that name is never
// followed, replaced or written through. The data is streamed, never more
// than the stated size is written, and the CRC-32 is checked; a copy that
// fails any check is removed. Problems go to the reporter as messages.
class TMemberExtractor {
public:
    TMemberExtractor(const TZipArchive& archive, TReporter& reporter, bool testOnly);

    // True when the member was written (or, testing, read) intact.
    bool Extract(const TZipMember& member);

private:
    class TOutput;

    bool CopyStored(const TZipMember& member, uint64_t offset, TOutput& output);
    bool Inflate(const TZipMember& member, uint64_t offset, TOutput& output);

    const TZipArchive& archive_;
    TReporter& reporter_;
    bool testOnly_;
};

} // namespace tabula::unziplib
