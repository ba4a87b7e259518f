#include "SharedSessions.h"

#include <atomic>
#include <cwchar>
#include <memory>
#include <new>

#include "IHttpClient.h"
#include "InternetHandle.h"
#include "ProxySettings.h"
#include "SystemVersion.h"

namespace OAuthClient {
namespace {

constexpr wchar_t kUserAgent[] = L"OAuth_Dll-HttpClient/1.0";

// One slot per protocol code, indexed by the request's value it stands for:
// the default, TLS 1.0, 1.1 and 1.2.
constexpr int kSlotCount = 4;

// Statically initialised: nothing runs before DllMain, and the lock needs no
// set-up. The proxy settings of a session are owned here and, like the
// sessions, kept for the life of the process. The lock only orders the
// opening: a session, once published, is read without it, so the threads of a
// busy host do not queue on each exchange for a value that never changes.
// A slot's proxy settings are stored before its session, and read after it.
SRWLOCK g_lock = SRWLOCK_INIT;
std::atomic<HINTERNET> g_sessions[kSlotCount] = {};
std::atomic<ProxySettings*> g_proxies[kSlotCount] = {};

// The pools of connection handles, per session and origin. Origins are only
// ever added (under g_lock) and published by the count, so exchanges find
// theirs without the lock; a pool's handles wait in a lock-free list while no
// exchange holds them, and go only with the sessions.
constexpr int kPooledOrigins = 8;
// A pool stops growing here: more exchanges at once than this to one origin
// make and close their own handles.
constexpr LONG kMaxPooledPerOrigin = 64;

struct OriginPool {
    SLIST_HEADER idle;  // PooledConnection entries
    wchar_t* host;      // from new[], zero-terminated
    INTERNET_PORT port;
    LONG made;          // handles this pool has made
};
OriginPool g_pools[kSlotCount][kPooledOrigins] = {};
std::atomic<int> g_poolCounts[kSlotCount] = {};

int SlotOf(int protocolCode) { return SecureProtocolOf(protocolCode); }

OriginPool* FindPool(int slot, const TargetUrl& target, int count) {
    for (int i = 0; i < count; ++i) {
        OriginPool& pool = g_pools[slot][i];
        if (pool.port == target.Port() && std::wcscmp(pool.host, target.Host()) == 0) return &pool;
    }
    return nullptr;
}

DWORD LastErrorOrInternal() {
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
}

// Opens a session that follows the system's proxy configuration. Systems
// before Windows 8.1 refuse the automatic proxy type (and some later ones may
// too); there the user's configuration is followed by *fallback.
HINTERNET OpenWithSystemProxy(std::unique_ptr<ProxySettings>* fallback) {
    if (!SystemVersion::Current().BeforeWindows81()) {
        HINTERNET session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                        WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (session != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return session;
    }
    auto settings = std::make_unique<ProxySettings>(ProxySettings::ReadUserConfig());
    HINTERNET session = settings->OpenSession(kUserAgent);
    if (session != nullptr) *fallback = std::move(settings);
    return session;
}

DWORD OpenSession(int protocolCode, HINTERNET* result, std::unique_ptr<ProxySettings>* proxy) {
    HINTERNET opened = OpenWithSystemProxy(proxy);
    if (opened == nullptr) return LastErrorOrInternal();
    UniqueInternet session(opened);

    // Redirects are never followed: a 3xx goes back to the caller as it is,
    // so an Authorization header never travels to a location the host did
    // not choose.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy))
        return LastErrorOrInternal();

    DWORD protocols = SharedSessions::ProtocolFlags(protocolCode);
    if (protocols != 0 &&
        !WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        // Systems that predate TLS 1.3 refuse its flag; the minimum still holds
        // without it.
        protocols &= ~static_cast<DWORD>(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3);
        // The default's versions are a best effort: a system without the
        // update that brings TLS 1.1 and 1.2 to WinHTTP keeps its own.
        if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                              sizeof protocols) &&
            SlotOf(protocolCode) != 0)
            return LastErrorOrInternal();
    }
    *result = session.release();
    return 0;
}

class ExclusiveLock {
public:
    ExclusiveLock() noexcept { AcquireSRWLockExclusive(&g_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&g_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
};

}  // namespace

// A pooled handle, in its pool's idle list while no exchange holds it.
struct PooledConnection {
    SLIST_ENTRY entry;  // first: the list holds the entry's address
    HINTERNET handle;
    SLIST_HEADER* pool;
};

void ConnectionLease::End() noexcept {
    if (handle_ == nullptr) return;
    if (pooled_ != nullptr) {
        InterlockedPushEntrySList(pooled_->pool, &pooled_->entry);
    } else {
        WinHttpCloseHandle(handle_);
    }
    handle_ = nullptr;
    pooled_ = nullptr;
}

DWORD SharedSessions::ProtocolFlags(int protocolCode) noexcept {
    constexpr DWORD tls13 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    constexpr DWORD tls12 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | tls13;
    constexpr DWORD tls11 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | tls12;
    constexpr DWORD tls10 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | tls11;
    switch (protocolCode) {
        case kProtocolTls10: return tls10;
        case kProtocolTls11: return tls11;
        case kProtocolTls12: return tls12;
        default:
            if (!SystemVersion::Current().BeforeWindows81()) return 0;
            return WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                   WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    }
}

DWORD SharedSessions::Acquire(int protocolCode, HINTERNET* session) noexcept {
    int slot = SlotOf(protocolCode);
    HINTERNET opened = g_sessions[slot].load(std::memory_order_acquire);
    if (opened == nullptr) {
        ExclusiveLock lock;
        opened = g_sessions[slot].load(std::memory_order_relaxed);
        if (opened == nullptr) {
            std::unique_ptr<ProxySettings> proxy;
            try {
                DWORD error = OpenSession(protocolCode, &opened, &proxy);
                if (error != 0) return error;
            } catch (const std::bad_alloc&) {
                return ERROR_NOT_ENOUGH_MEMORY;
            }
            g_proxies[slot].store(proxy.release(), std::memory_order_relaxed);
            g_sessions[slot].store(opened, std::memory_order_release);
        }
    }
    *session = opened;
    return 0;
}

DWORD SharedSessions::Connect(int protocolCode, HINTERNET session, const TargetUrl& target,
                              ConnectionLease* lease) noexcept {
    const int slot = SlotOf(protocolCode);
    OriginPool* pool = FindPool(slot, target, g_poolCounts[slot].load(std::memory_order_acquire));
    if (pool == nullptr) {
        ExclusiveLock lock;
        const int count = g_poolCounts[slot].load(std::memory_order_relaxed);
        pool = FindPool(slot, target, count);
        if (pool == nullptr && count < kPooledOrigins) {
            const std::size_t units = std::wcslen(target.Host()) + 1;
            wchar_t* host = new (std::nothrow) wchar_t[units];
            if (host != nullptr) {
                std::wmemcpy(host, target.Host(), units);
                pool = &g_pools[slot][count];
                InitializeSListHead(&pool->idle);
                pool->host = host;
                pool->port = target.Port();
                pool->made = 0;
                g_poolCounts[slot].store(count + 1, std::memory_order_release);
            }
        }
    }
    if (pool != nullptr) {
        if (SLIST_ENTRY* idle = InterlockedPopEntrySList(&pool->idle)) {
            auto* pooled = reinterpret_cast<PooledConnection*>(idle);
            lease->handle_ = pooled->handle;
            lease->pooled_ = pooled;
            return 0;
        }
        if (InterlockedIncrement(&pool->made) <= kMaxPooledPerOrigin) {
            auto* pooled = new (std::nothrow) PooledConnection{};
            HINTERNET handle = pooled != nullptr
                                   ? WinHttpConnect(session, target.Host(), target.Port(), 0)
                                   : nullptr;
            if (handle == nullptr) {
                const DWORD error = pooled != nullptr ? LastErrorOrInternal() : ERROR_NOT_ENOUGH_MEMORY;
                delete pooled;
                InterlockedDecrement(&pool->made);
                return error;
            }
            pooled->handle = handle;
            pooled->pool = &pool->idle;
            lease->handle_ = handle;
            lease->pooled_ = pooled;
            return 0;
        }
        InterlockedDecrement(&pool->made);
    }
    HINTERNET handle = WinHttpConnect(session, target.Host(), target.Port(), 0);
    if (handle == nullptr) return LastErrorOrInternal();
    lease->handle_ = handle;
    return 0;
}

DWORD SharedSessions::ApplyProxy(int protocolCode, HINTERNET request, const TargetUrl& target) {
    // Asked only after Acquire has seen the slot's session, so the settings
    // stored before it are visible.
    ProxySettings* proxy = g_proxies[SlotOf(protocolCode)].load(std::memory_order_relaxed);
    return proxy != nullptr ? proxy->ApplyTo(request, target) : 0;
}

void SharedSessions::CloseAll() noexcept {
    ExclusiveLock lock;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const int count = g_poolCounts[slot].exchange(0);
        for (int i = 0; i < count; ++i) {
            OriginPool& pool = g_pools[slot][i];
            while (SLIST_ENTRY* idle = InterlockedPopEntrySList(&pool.idle)) {
                auto* pooled = reinterpret_cast<PooledConnection*>(idle);
                WinHttpCloseHandle(pooled->handle);
                delete pooled;
            }
            delete[] pool.host;
            pool.host = nullptr;
            pool.port = 0;
            pool.made = 0;
        }
        HINTERNET session = g_sessions[slot].exchange(nullptr);
        if (session != nullptr) WinHttpCloseHandle(session);
        delete g_proxies[slot].exchange(nullptr);
    }
}

}  // namespace OAuthClient
