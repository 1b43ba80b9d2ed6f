/*
 * A stand-in unzip library for the zip component's tests: it records the
 * parameter block it is handed and answers with scripted callbacks. It is
 * built as bin/recorder/libunziplib.so; a test loads it itself (so the
 * record outlives the component's unload) and drives it through these
 * functions.
 */
#ifndef TABULA_UNZIPLIB_RECORDER_H
#define TABULA_UNZIPLIB_RECORDER_H

#include "unziplib.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RECORDER_MAX_STEPS 16
#define RECORDER_MAX_SPECS 8
#define RECORDER_TEXT_SIZE 600

/* One callback to play. Text longer than the record's 512 bytes is cut. */
typedef struct RecorderStep {
    int32_t Action;
    int32_t ErrorCode;
    uint32_t Size;
    char Text[RECORDER_TEXT_SIZE];
} RecorderStep;

/* What the last UnzipLibExec call received and what its callbacks answered. */
typedef struct RecorderRecord {
    int32_t Calls;           /* UnzipLibExec calls since the last reset */
    int32_t LayoutVersion;   /* the version whose layout the block was read by */
    UnzipExecParams Head;    /* a copy of the shared part */
    int32_t Tail;            /* the constant of either layout */
    int32_t ReservedAllZero; /* newer: the 68 bytes; older: the slots past the specs */
    int32_t SpecRecordsZero; /* newer: every spec record's 68 reserved bytes are zero */
    char Password[96];
    char ZipFilename[1024];
    int32_t SpecCount;
    char Specs[RECORDER_MAX_SPECS][256];
    int32_t Answers[RECORDER_MAX_STEPS]; /* callback results, in step order */
    int32_t AnswerCount;
} RecorderRecord;

typedef void (*RecorderResetFunc)(int32_t version, const RecorderStep* steps, int32_t count,
                                  int32_t result);
typedef const RecorderRecord* (*RecorderLastFunc)(void);

/* Sets the version to report, the callbacks to play (stopping after the
   first that asks to stop) and the count UnzipLibExec returns; clears the
   record. */
UNZIPLIB_EXPORT void RecorderReset(int32_t version, const RecorderStep* steps, int32_t count,
                                   int32_t result);
UNZIPLIB_EXPORT const RecorderRecord* RecorderLast(void);

#ifdef __cplusplus
}
#endif

#endif
