#pragma once

#include <stdexcept>
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

// A library of the system bound at its first use rather than at the start:
// a run that needs none of it does not pay for loading it. It stays loaded
// until the process ends.
class ESystemLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSystemLibrary {
public:
    // Loads the library by its file name (its SONAME). Throws
    // ESystemLibraryError, "Cannot load <name>: <reason>", when it cannot.
    explicit TSystemLibrary(const char* fileName);

    // The function exported as name, of type TFunction; throws
    // ESystemLibraryError when the library has none.
    template <class TFunction> TFunction Function(const char* name) const {
        return reinterpret_cast<TFunction>(Address(name));
    }

private:
    void* Address(const char* name) const;

    std::string fileName_;
    void* handle_ = nullptr;
};

// A table of a system library's functions, bound at its first use:
//   #define ZSTD_FUNCTIONS(F) F(ZSTD_createDCtx) F(ZSTD_freeDCtx)
//   TABULA_SYSTEM_FUNCTIONS(TZstdLibrary, Zstd, "libzstd.so.1", ZSTD_FUNCTIONS)
// declares the struct TZstdLibrary, a pointer for each function by its own
// name and type, and Zstd(), which loads and binds them at its first call
// (a failed load throws ESystemLibraryError and is tried again next time).
#define TABULA_SYSTEM_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;
#define TABULA_SYSTEM_FUNCTION_BIND(name)                                                          \
    functions.name = library.Function<decltype(&::name)>(#name);
#define TABULA_SYSTEM_FUNCTIONS(Type, Accessor, fileName, List)                                    \
    struct Type {                                                                                  \
        List(TABULA_SYSTEM_FUNCTION_POINTER)                                                       \
    };                                                                                             \
    const Type& Accessor() {                                                                       \
        static const Type bound = [] {                                                             \
            const ::tabula::TSystemLibrary library(fileName);                                      \
            Type functions;                                                                        \
            List(TABULA_SYSTEM_FUNCTION_BIND) return functions;                                    \
        }();                                                                                       \
        return bound;                                                                              \
    }

} // namespace tabula
