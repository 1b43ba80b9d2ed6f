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

TSystemLibrary::TSystemLibrary(const char* fileName) : fileName_(fileName) {
    // Never closed: the functions taken from it are kept for the process.
    handle_ = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* error = ::dlerror();
        throw ESystemLibraryError("Cannot load " + fileName_ + ": " +
                                  (error != nullptr ? error : "unknown error"));
    }
}

void* TSystemLibrary::Address(const char* name) const {
    void* address = ::dlsym(handle_, name);
    if (address == nullptr) {
        throw ESystemLibraryError("Cannot load " + fileName_ + ": it has no function " + name);
    }
    return address;
}

} // namespace tabula
