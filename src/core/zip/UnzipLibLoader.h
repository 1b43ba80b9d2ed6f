#pragma once

#include "unziplib.h"

#include <string>

namespace tabula {

// The unzip library's file name, as user-visible texts name it.
inline constexpr const char* UnzipLibFileName = "libunziplib.so";

// The unzip library and its two entry points: one per process, shared by
// every zip component. One extraction at a time is assumed; nothing here is
// guarded against threads.
class TUnzipLibLoader {
public:
    struct TLoadResult {
        bool Opened = false;       // the file could be loaded
        bool ExecFound = false;    // UnzipLibExec is exported
        bool VersionFound = false; // GetUnzipLibVersion is exported
        bool Loaded() const { return Opened && ExecFound && VersionFound; }
    };

    // Loads the library at path (a bare name goes through the system's search
    // order) and looks up both entry points. When one is missing the library
    // is released again and counts as not loaded.
    static TLoadResult Load(const std::string& path);
    static void Unload();
    static bool IsLoaded();

    // Only while loaded.
    static int32_t Version();
    static int32_t Exec(UnzipExecParams* params);
};

} // namespace tabula
