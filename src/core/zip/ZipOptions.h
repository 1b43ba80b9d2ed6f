#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace tabula {

class TZipComponent;

// Option sets of the zip component's published properties. Most are stored
// values only: this program lists and extracts, it never writes archives.
enum class AddOptsEnum {
    AddDirNames,
    AddRecurseDirs,
    AddMove,
    AddFreshen,
    AddUpdate,
    AddZipTime,
    AddForceDOS,
    AddHiddenFiles,
    AddEncrypt,
    AddSeparateDirs,
    AddDiskSpan,
    AddDiskSpanErase
};
enum class ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
enum class SFXOptsEnum {
    SFXAskCmdLine,
    SFXAskFiles,
    SFXAutoRun,
    SFXHideOverWriteBox,
    SFXCheckSize
};
enum class OvrOpts { OvrConfirm, OvrAlways, OvrNever };
// How member names and comments are read: cpAuto by the archive's host
// system, cpOEM always as the DOS code page, cpNone never as the DOS code page.
enum class CodePageOpts { cpAuto, cpNone, cpOEM };
enum class DeleteOpts { htdFinal, htdAllowUndo };

using AddOpts = std::set<AddOptsEnum>;
using ExtrOpts = std::set<ExtrOptsEnum>;
using SFXOpts = std::set<SFXOptsEnum>;

// Kinds of progress reported during an extraction.
enum class ProgressType {
    progFileStart = 0,
    progBytes = 1,
    progBatchEnd = 2,
    progFileCount = 3,
    progByteTotal = 4
};

// Callbacks; one that is empty is skipped.
using TNotifyEvent = std::function<void(TZipComponent& sender)>;
using TMessageEvent =
    std::function<void(TZipComponent& sender, int errCode, const std::string& message)>;
using TProgressEvent = std::function<void(TZipComponent& sender, ProgressType progrType,
                                          const std::string& filename, int64_t fileSize)>;

} // namespace tabula
