// A move-only owner of a module handle from LoadLibraryW, and the one place
// where an export's address is cast to its declared function type.
#ifndef OAUTH_GRANT_UNIQUEMODULE_H
#define OAUTH_GRANT_UNIQUEMODULE_H

#include <windows.h>

#include <type_traits>

namespace OAuthClient {

class UniqueModule {
public:
    UniqueModule() noexcept = default;
    explicit UniqueModule(HMODULE module) noexcept : module_(module) {}
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;
    UniqueModule(UniqueModule&& other) noexcept : module_(other.release()) {}
    UniqueModule& operator=(UniqueModule&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueModule() { reset(); }

    HMODULE get() const noexcept { return module_; }
    explicit operator bool() const noexcept { return module_ != nullptr; }

    HMODULE release() noexcept {
        HMODULE module = module_;
        module_ = nullptr;
        return module;
    }

    void reset(HMODULE module = nullptr) noexcept {
        HMODULE old = module_;
        module_ = module;
        if (old != nullptr) FreeLibrary(old);
    }

private:
    HMODULE module_ = nullptr;
};

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

#endif  // OAUTH_GRANT_UNIQUEMODULE_H
