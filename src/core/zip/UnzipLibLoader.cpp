#include "core/zip/UnzipLibLoader.h"

#include "core/platform/SharedLibrary.h"

namespace tabula {

namespace {

struct TLoadedLibrary {
    TSharedLibrary Library;
    GetUnzipLibVersionFunc GetVersion = nullptr;
    UnzipLibExecFunc Exec = nullptr;
};

TLoadedLibrary& Loaded() {
    static TLoadedLibrary loaded;
    return loaded;
}

} // namespace

TUnzipLibLoader::TLoadResult TUnzipLibLoader::Load(const std::string& path) {
    Unload();
    TLoadResult result;
    TLoadedLibrary& loaded = Loaded();
    if (!loaded.Library.Open(path))
        return result;
    result.Opened = true;
    // The symbols are functions of these exact types (see unziplib.h).
    loaded.Exec = reinterpret_cast<UnzipLibExecFunc>(loaded.Library.Symbol("UnzipLibExec"));
    loaded.GetVersion =
        reinterpret_cast<GetUnzipLibVersionFunc>(loaded.Library.Symbol("GetUnzipLibVersion"));
    result.ExecFound = loaded.Exec != nullptr;
    result.VersionFound = loaded.GetVersion != nullptr;
    if (!result.Loaded())
        Unload();
    return result;
}

void TUnzipLibLoader::Unload() {
    TLoadedLibrary& loaded = Loaded();
    loaded.Exec = nullptr;
    loaded.GetVersion = nullptr;
    loaded.Library.Close();
}

bool TUnzipLibLoader::IsLoaded() {
    return Loaded().Exec != nullptr;
}

int32_t TUnzipLibLoader::Version() {
    return Loaded().GetVersion();
}

int32_t TUnzipLibLoader::Exec(UnzipExecParams* params) {
    return Loaded().Exec(params);
}

} // namespace tabula
