/*
 * The C interface between the zip component and the run-time loaded unzip
 * library (libunziplib.so). This header is the only thing the two share.
 *
 * Integers are fixed-width; pointers are pointer-sized; a boolean field holds
 * -1 for true and 0 for false. The fields keep the order of the original
 * 32-bit record, so a field's position in the struct is its position there.
 */
#ifndef TABULA_UNZIPLIB_H
#define TABULA_UNZIPLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define UNZIPLIB_EXPORT __attribute__((visibility("default")))
#else
#define UNZIPLIB_EXPORT
#endif

/* The version from which the library expects the newer parameter block. */
#define UNZIPLIB_NEWER_LAYOUT_VERSION 152
/* What the caller writes into StructVersion, whatever the layout. */
#define UNZIPLIB_STRUCT_VERSION 152
/* The constant the caller writes into the Tail field of both layouts. */
#define UNZIPLIB_TAIL_VALUE 7
/* Spec slots of the older layout. */
#define UNZIPLIB_OLDER_SPEC_SLOTS 4097

#define UNZIPLIB_TRUE (-1)
#define UNZIPLIB_FALSE 0

/* Callback actions. */
enum {
    UNZIPLIB_ACTION_FILE_START = 1, /* Text: member name, Size: its size */
    UNZIPLIB_ACTION_BYTES = 2,      /* Size: bytes just processed */
    UNZIPLIB_ACTION_BATCH_END = 3,
    UNZIPLIB_ACTION_MESSAGE = 4,    /* Text: message, ErrorCode: 0 for information */
    UNZIPLIB_ACTION_FILE_COUNT = 5, /* Size: members that will be processed */
    UNZIPLIB_ACTION_BYTE_TOTAL = 6  /* Size: bytes that will be processed in all */
};

/* Error codes the library puts into action-4 messages. */
enum {
    UNZIPLIB_ERR_WARNING = 1,
    UNZIPLIB_ERR_FORMAT = 2, /* damaged archive or member, CRC mismatch */
    UNZIPLIB_ERR_MEMORY = 5,
    UNZIPLIB_ERR_ARGUMENT = 10,    /* bad parameter block */
    UNZIPLIB_ERR_NO_ARCHIVE = 9,   /* archive missing or unreadable */
    UNZIPLIB_ERR_NO_MATCH = 11,    /* a spec matched no member */
    UNZIPLIB_ERR_UNSAFE_NAME = 12, /* member name has no usable bare file name */
    UNZIPLIB_ERR_EXISTS = 13,      /* a file or link of that name is in the way */
    UNZIPLIB_ERR_WRITE = 50,       /* creating or writing the output failed */
    UNZIPLIB_ERR_ABORTED = 80,     /* the caller asked to stop */
    UNZIPLIB_ERR_UNSUPPORTED = 81, /* compression method or zip64 not supported */
    UNZIPLIB_ERR_ENCRYPTED = 82
};

#define UNZIPLIB_TEXT_SIZE 512

/* The record handed to the callback. */
typedef struct UnzipCallbackInfo {
    intptr_t Reserved0;
    void* Caller; /* the parameter block's Caller, handed back unchanged */
    intptr_t Reserved1;
    intptr_t Reserved2;
    int32_t ActionCode;
    int32_t ErrorCode;
    uint32_t Size;                 /* a size or a count, by action */
    char Text[UNZIPLIB_TEXT_SIZE]; /* zero-terminated within the buffer */
} UnzipCallbackInfo;

/* Returns UNZIPLIB_TRUE to ask the library to stop, UNZIPLIB_FALSE to go on. */
typedef int32_t (*UnzipCallbackFunc)(UnzipCallbackInfo* info);

/* One member spec of the newer layout. */
typedef struct UnzipFileSpec {
    const char* FileSpec;
    uint8_t Reserved[68]; /* zero */
} UnzipFileSpec;

/* The part both layouts share. */
typedef struct UnzipExecParams {
    intptr_t OwnerWindow; /* 0 when unattended */
    void* Caller;
    int32_t StructVersion; /* always UNZIPLIB_STRUCT_VERSION */
    UnzipCallbackFunc Callback;
    int32_t Trace;
    int32_t Reserved20;
    char* Password; /* 81-byte buffer */
    int32_t Test;
    int32_t Reserved32;
    int32_t Reserved36;
    int32_t Reserved40; /* always UNZIPLIB_TRUE */
    int32_t Verbose;
    int32_t Update;
    int32_t Freshen;
    int32_t DirNames;
    int32_t Overwrite;
    int32_t SpecCount;
    const char* ZipFilename;
} UnzipExecParams;

/* The block a library older than UNZIPLIB_NEWER_LAYOUT_VERSION expects. */
typedef struct UnzipExecParamsOlder {
    UnzipExecParams Head;
    int32_t Tail; /* UNZIPLIB_TAIL_VALUE */
    const char* FileSpecs[UNZIPLIB_OLDER_SPEC_SLOTS];
} UnzipExecParamsOlder;

/* The block a library of UNZIPLIB_NEWER_LAYOUT_VERSION or newer expects. */
typedef struct UnzipExecParamsNewer {
    UnzipExecParams Head;
    UnzipFileSpec* FileSpecs; /* SpecCount records */
    uint8_t Reserved[68];     /* zero */
    int32_t Tail;             /* UNZIPLIB_TAIL_VALUE */
} UnzipExecParamsNewer;

/* Entry points, looked up by these names. */
typedef int32_t (*GetUnzipLibVersionFunc)(void);
typedef int32_t (*UnzipLibExecFunc)(UnzipExecParams* params);

UNZIPLIB_EXPORT int32_t GetUnzipLibVersion(void);
/*
 * Extracts the members named by the specs; returns how many were extracted.
 *
 * params points at the head of the layout GetUnzipLibVersion asks for. The
 * library refuses, with an UNZIPLIB_ERR_ARGUMENT message and 0, a block whose
 * StructVersion is not UNZIPLIB_STRUCT_VERSION, a block of the older layout
 * (this library reads the newer one) and one whose Tail is not
 * UNZIPLIB_TAIL_VALUE. What no C interface can check, the caller guarantees:
 * the whole block of that layout is readable; Callback is 0 or a function of
 * the type above; ZipFilename, Password and every FileSpec are terminated
 * strings; FileSpecs holds at least SpecCount records.
 */
UNZIPLIB_EXPORT int32_t UnzipLibExec(UnzipExecParams* params);

#ifdef __cplusplus
}
#endif

#endif
