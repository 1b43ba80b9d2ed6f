#include "core/platform/SharedLibrary.h"

#include <dlfcn.h>

namespace tabula {

bool TSharedLibrary::Open(const std::string& path) {
    Close();
    // RTLD_LOCAL keeps the library's symbols out of the program's namespace.
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* error = ::dlerror();
        lastError_ = error != nullptr ? error : "unknown error";
        return false;
    }
    lastError_.clear();
    return true;
}

void TSharedLibrary::Close() {
    if (handle_ != nullptr)
        ::dlclose(handle_);
    handle_ = nullptr;
}

void* TSharedLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr)
        return nullptr;
    return ::dlsym(handle_, name);
}

} // namespace tabula
