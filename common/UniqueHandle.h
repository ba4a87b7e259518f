// Move-only owners for the handles that the library, the HTTP client component
// and the command-line host hold, and the one place where an export's address
// is cast to its declared function type. Shared by all three so that a loaded
// module is owned the same way everywhere.
#ifndef OAUTH_COMMON_UNIQUEHANDLE_H
#define OAUTH_COMMON_UNIQUEHANDLE_H

#include <windows.h>

#include <type_traits>

namespace OAuthClient {

// Owns one handle and closes it with Close when reset or destroyed. Null is
// the empty state for every handle type used here.
template <typename Handle, BOOL(WINAPI* Close)(Handle)>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

    Handle release() noexcept {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }

    void reset(Handle handle = nullptr) noexcept {
        Handle old = handle_;
        handle_ = handle;
        if (old != nullptr) Close(old);
    }

private:
    Handle handle_ = nullptr;
};

using UniqueModule = UniqueHandle<HMODULE, FreeLibrary>;

// The export's address as Fn, or null when the module or the export is
// missing. Going through the generic function type void(*)() keeps the
// compiler's cast-function-type check quiet for this single, deliberate cast.
template <typename Fn>
Fn GetProcAddressAs(HMODULE module, const char* exportName) noexcept {
    static_assert(std::is_pointer_v<Fn> && std::is_function_v<std::remove_pointer_t<Fn>>,
                  "Fn must be a function pointer type");
    if (module == nullptr) return nullptr;
    FARPROC address = GetProcAddress(module, exportName);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_UNIQUEHANDLE_H
