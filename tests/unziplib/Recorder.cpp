#include "tests/unziplib/Recorder.h"

#include <algorithm>
#include <cstring>

namespace {

int32_t version = 152;
RecorderStep steps[RECORDER_MAX_STEPS];
int32_t stepCount = 0;
int32_t result = 0;
RecorderRecord record;

void CopyText(char* to, size_t size, const char* from) {
    if (from != nullptr)
        std::strncpy(to, from, size - 1);
}

bool AllZero(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

void RecordSpec(int32_t index, const char* spec) {
    if (index < RECORDER_MAX_SPECS)
        CopyText(record.Specs[index], sizeof record.Specs[index], spec);
}

} // namespace

extern "C" UNZIPLIB_EXPORT void RecorderReset(int32_t newVersion, const RecorderStep* newSteps,
                                              int32_t count, int32_t newResult) {
    version = newVersion;
    stepCount = std::min<int32_t>(count, RECORDER_MAX_STEPS);
    if (stepCount > 0)
        std::memcpy(steps, newSteps, sizeof(RecorderStep) * static_cast<size_t>(stepCount));
    result = newResult;
    std::memset(&record, 0, sizeof record);
}

extern "C" UNZIPLIB_EXPORT const RecorderRecord* RecorderLast(void) {
    return &record;
}

extern "C" UNZIPLIB_EXPORT int32_t GetUnzipLibVersion(void) {
    return version;
}

extern "C" UNZIPLIB_EXPORT int32_t UnzipLibExec(UnzipExecParams* params) {
    ++record.Calls;
    record.LayoutVersion = version;
    record.Head = *params;
    CopyText(record.Password, sizeof record.Password, params->Password);
    CopyText(record.ZipFilename, sizeof record.ZipFilename, params->ZipFilename);
    record.SpecCount = params->SpecCount;
    if (version < UNZIPLIB_NEWER_LAYOUT_VERSION) {
        const auto* block = reinterpret_cast<const UnzipExecParamsOlder*>(params);
        record.Tail = block->Tail;
        for (int32_t i = 0; i < params->SpecCount; ++i)
            RecordSpec(i, block->FileSpecs[i]);
        const int32_t used = std::clamp<int32_t>(params->SpecCount, 0, UNZIPLIB_OLDER_SPEC_SLOTS);
        record.ReservedAllZero =
            AllZero(block->FileSpecs + used,
                    sizeof(const char*) * static_cast<size_t>(UNZIPLIB_OLDER_SPEC_SLOTS - used));
    } else {
        const auto* block = reinterpret_cast<const UnzipExecParamsNewer*>(params);
        record.Tail = block->Tail;
        record.ReservedAllZero = AllZero(block->Reserved, sizeof block->Reserved);
        record.SpecRecordsZero = 1;
        for (int32_t i = 0; i < params->SpecCount; ++i) {
            RecordSpec(i, block->FileSpecs[i].FileSpec);
            if (!AllZero(block->FileSpecs[i].Reserved, sizeof block->FileSpecs[i].Reserved))
                record.SpecRecordsZero = 0;
        }
    }

    for (int32_t i = 0; i < stepCount; ++i) {
        UnzipCallbackInfo info;
        std::memset(&info, 0, sizeof info);
        info.Caller = params->Caller;
        info.ActionCode = steps[i].Action;
        info.ErrorCode = steps[i].ErrorCode;
        info.Size = steps[i].Size;
        CopyText(info.Text, sizeof info.Text, steps[i].Text);
        const int32_t answer = params->Callback(&info);
        record.Answers[record.AnswerCount++] = answer;
        if (answer != UNZIPLIB_FALSE)
            break;
    }
    return result;
}
