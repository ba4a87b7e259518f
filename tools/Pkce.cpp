#include "Pkce.h"

#include <windows.h>

#include <bcrypt.h>

#include "Console.h"
#include "FormEncoding.h"
#include "WipingAllocator.h"

namespace OAuthClient::Tool {

bool RandomUrlSafe(size_t byteCount, std::wstring* text) {
    std::string bytes(byteCount, '\0');
    // The system-preferred generator needs no algorithm handle (Windows 7 on).
    const bool ok = BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()),
                                                   static_cast<ULONG>(bytes.size()),
                                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG));
    if (ok) *text = Base64Encode(bytes, true);
    WipeMemory(bytes.data(), bytes.size());
    return ok;
}

bool S256Challenge(std::wstring_view verifier, std::wstring* challenge) {
    // A verifier holds only unreserved ASCII characters, so UTF-8 is ASCII.
    std::string ascii = ToUtf8(verifier);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        WipeMemory(ascii.data(), ascii.size());
        return false;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    // Without a hash object buffer BCrypt allocates its own (Windows 7 on).
    const bool ok = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
                    BCRYPT_SUCCESS(BCryptHashData(
                        hash, reinterpret_cast<PUCHAR>(const_cast<char*>(ascii.data())),
                        static_cast<ULONG>(ascii.size()), 0)) &&
                    BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash != nullptr) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    WipeMemory(ascii.data(), ascii.size());
    if (ok)
        *challenge =
            Base64Encode(std::string_view(reinterpret_cast<char*>(digest), sizeof digest), true);
    return ok;
}

}  // namespace OAuthClient::Tool
