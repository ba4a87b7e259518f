// Move-only owners for the handles the component holds.
#ifndef QZHTTPCLIENT_UNIQUEHANDLE_H
#define QZHTTPCLIENT_UNIQUEHANDLE_H

#include <windows.h>
#include <winhttp.h>

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

using UniqueInternet = UniqueHandle<HINTERNET, WinHttpCloseHandle>;
using UniqueModule = UniqueHandle<HMODULE, FreeLibrary>;

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_UNIQUEHANDLE_H
