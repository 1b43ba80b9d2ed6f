#pragma once

#include <string>

namespace tabula {

// A shared library loaded at run time. Closing it (or destroying the object)
// releases this handle; the system unloads the library with its last handle.
class TSharedLibrary {
public:
    TSharedLibrary() = default;
    ~TSharedLibrary() { Close(); }
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    // Loads path (a bare file name goes through the system's library search
    // order). False when it cannot be loaded; LastError() says why.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The address of an exported symbol, or nullptr.
    void* Symbol(const char* name) const;

    const std::string& LastError() const { return lastError_; }

private:
    void* handle_ = nullptr;
    std::string lastError_;
};

} // namespace tabula
