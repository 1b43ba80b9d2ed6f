/*
 * A C caller of the unzip library handing it parameter blocks it must
 * refuse: each gets the argument error and no member is touched, where a
 * block that was read wrongly would take the older Tail for a pointer.
 */
#include "unziplib.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct Seen {
    int32_t FirstError;
    int Messages;
} Seen;

static int32_t Record(UnzipCallbackInfo* info) {
    Seen* seen = (Seen*)info->Caller;
    if (info->ActionCode == UNZIPLIB_ACTION_MESSAGE && info->ErrorCode != 0) {
        if (seen->Messages++ == 0)
            seen->FirstError = info->ErrorCode;
    }
    return UNZIPLIB_FALSE;
}

static void FillHead(UnzipExecParams* head, Seen* seen, char* password) {
    head->Caller = seen;
    head->StructVersion = UNZIPLIB_STRUCT_VERSION;
    head->Callback = Record;
    head->Password = password;
    head->Reserved40 = UNZIPLIB_TRUE;
    head->SpecCount = 1;
    head->ZipFilename = "no-such-archive.zip";
}

enum Kind { Good, OlderLayout, WrongVersion, WrongTail, WrongVersionAndTail };

/* The first error the library reported for a block of this kind. */
static int32_t Run(enum Kind kind) {
    static char password[81];
    static UnzipFileSpec spec;
    Seen seen = {0, 0};
    int32_t count = 0;
    spec.FileSpec = "a.nes";
    if (kind == OlderLayout) {
        UnzipExecParamsOlder* older = calloc(1, sizeof *older);
        if (older == NULL)
            return -1;
        FillHead(&older->Head, &seen, password);
        older->Tail = UNZIPLIB_TAIL_VALUE;
        older->FileSpecs[0] = "a.nes";
        count = UnzipLibExec(&older->Head);
        free(older);
    } else {
        UnzipExecParamsNewer newer;
        memset(&newer, 0, sizeof newer);
        FillHead(&newer.Head, &seen, password);
        newer.FileSpecs = &spec;
        newer.Tail = UNZIPLIB_TAIL_VALUE;
        if (kind == WrongVersion || kind == WrongVersionAndTail)
            newer.Head.StructVersion =
                kind == WrongVersion ? UNZIPLIB_STRUCT_VERSION - 1 : 0x7fffffff;
        if (kind == WrongTail || kind == WrongVersionAndTail)
            newer.Tail = 99;
        count = UnzipLibExec(&newer.Head);
    }
    return count == 0 ? seen.FirstError : -1;
}

int main(void) {
    static const struct {
        const char* Name;
        enum Kind Kind;
        int32_t Expected;
    } cases[] = {
        {"a good block reaches the archive", Good, UNZIPLIB_ERR_NO_ARCHIVE},
        {"an older-layout block", OlderLayout, UNZIPLIB_ERR_ARGUMENT},
        {"a StructVersion one below", WrongVersion, UNZIPLIB_ERR_ARGUMENT},
        {"a wrong Tail", WrongTail, UNZIPLIB_ERR_ARGUMENT},
        {"StructVersion 0x7fffffff with Tail 99", WrongVersionAndTail, UNZIPLIB_ERR_ARGUMENT},
    };
    int failed = 0;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const int32_t got = Run(cases[i].Kind);
        if (got != cases[i].Expected) {
            fprintf(stderr, "%s: error %d, expected %d\n", cases[i].Name, (int)got,
                    (int)cases[i].Expected);
            failed = 1;
        }
    }
    return failed;
}
