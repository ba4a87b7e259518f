// OAuth_Dll.dll as a host sees it: loaded at run time, reached through its
// four exports by name or by ordinal.
#include <gtest/gtest.h>
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <cstdio>
#include <cstring>

#include "FakeHttp.h"
#include "OAuthClient.h"

namespace OAuthClient {
namespace test {
namespace {

class LoadedLibrary {
public:
    LoadedLibrary() : module_(LoadLibraryW(L"OAuth_Dll.dll")) {}
    ~LoadedLibrary() {
        if (module_) FreeLibrary(module_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    HMODULE get() const { return module_; }

    template <typename Fn>
    Fn Export(const char* nameOrOrdinal) const {
        return reinterpret_cast<Fn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module_, nameOrOrdinal)));
    }

private:
    HMODULE module_;
};

TEST(Exports, NamesAndOrdinalsOneToFourGiveTheSameFunctions) {
    LoadedLibrary library;
    ASSERT_NE(library.get(), nullptr);
    const char* names[] = {"CreateOAuthClient", "CreateOAuthRequest", "CreateTokenRequest",
                           "LoadIDString"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byName = GetProcAddress(library.get(), names[ordinal - 1]);
        FARPROC byOrdinal = GetProcAddress(library.get(), MAKEINTRESOURCEA(ordinal));
        ASSERT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(byName, byOrdinal) << names[ordinal - 1];
    }
    // Undecorated names only.
    EXPECT_EQ(GetProcAddress(library.get(), "_CreateOAuthClient"), nullptr);
    EXPECT_EQ(GetProcAddress(library.get(), MAKEINTRESOURCEA(5)), nullptr);
}

TEST(Exports, FactoriesGiveDistinctIndependentObjects) {
    ResetFakeHttp();
    LoadedLibrary library;
    auto createRequest = library.Export<PFN_CreateTokenRequest>("CreateTokenRequest");
    auto createResource = library.Export<PFN_CreateOAuthRequest>("CreateOAuthRequest");
    auto createClient = library.Export<PFN_CreateOAuthClient>("CreateOAuthClient");
    ASSERT_TRUE(createRequest && createResource && createClient);

    ITokenRequest* first = createRequest();
    ITokenRequest* second = createRequest();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    first->SetScope(L"one");
    first->Release();
    second->SetGrantType(L"client_credentials");
    second->SetMethod(L"POST");
    second->SetTokenLocation(L"https://as.test/token");
    second->SetClientId(L"client");
    second->SetClientSecret(L"secret");
    const wchar_t* scope = nullptr;
    second->GetScope(&scope);
    EXPECT_EQ(scope, nullptr);

    IOAuthRequest* resource = createResource();
    IOAuthRequest* otherResource = createResource();
    ASSERT_TRUE(resource && otherResource);
    EXPECT_NE(resource, otherResource);
    otherResource->Release();

    IOAuthClient* client = createClient();
    IOAuthClient* otherClient = createClient();
    ASSERT_TRUE(client && otherClient);
    EXPECT_NE(client, otherClient);
    otherClient->Release();

    ITokenResponse* token = nullptr;
    ASSERT_EQ(client->RequestToken(second, &token), 1);
    client->Release();
    second->Release();
    resource->Release();
    ASSERT_NE(token, nullptr);
    const wchar_t* accessToken = nullptr;
    EXPECT_EQ(token->GetAccessToken(&accessToken), 1);
    EXPECT_STREQ(accessToken, L"tok");
    token->Release();
}

TEST(Exports, LoadIDStringReturnsTheEnglishMessage) {
    LoadedLibrary library;
    auto load = library.Export<PFN_LoadIDString>("LoadIDString");
    ASSERT_NE(load, nullptr);
    EXPECT_STREQ(load(0), L"The value of the secureProtocol property is out of range.");
    EXPECT_EQ(load(0), load(0));
    EXPECT_STREQ(load(1), L"");
    EXPECT_STREQ(load(-1), L"");
}

// The one import from the shared runtime is ordinal 108, without a name.
TEST(Exports, ImportsTheSharedRuntimeByOrdinal108Only) {
    LoadedLibrary library;
    ASSERT_NE(library.get(), nullptr);
    const auto* base = reinterpret_cast<const unsigned char*>(library.get());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    bool found = false;
    for (const auto* import =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        const char* name = reinterpret_cast<const char*>(base + import->Name);
        if (_stricmp(name, "QZSHR190.dll") != 0) continue;
        found = true;
        const auto* thunk =
            reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + import->OriginalFirstThunk);
        ASSERT_NE(thunk->u1.Ordinal, 0u);
        EXPECT_TRUE(IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal));
        EXPECT_EQ(IMAGE_ORDINAL32(thunk->u1.Ordinal), 108u);
        EXPECT_EQ(thunk[1].u1.Ordinal, 0u) << "more than one import from QZSHR190.dll";
    }
    EXPECT_TRUE(found);
}

// The process's private bytes. Wine leaves PrivateUsage at 0 and reports the
// same commit charge as PagefileUsage, which Windows fills alike.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

TEST(Exports, LoadingAndUnloadingAThousandTimesKeepsMemoryLevel) {
    constexpr int kCycles = 1000;
    // Generous: the figure printed below is what to watch. The thread
    // library keeps a few hundred bytes of the unloading thread's record per
    // cycle; the bound catches anything of the size of a page per cycle.
    constexpr SIZE_T kAllowedGrowth = 2u << 20;
    auto cycle = [](bool callIntoIt) {
        HMODULE module = LoadLibraryW(L"OAuth_Dll.dll");
        if (module == nullptr) return false;
        if (callIntoIt) {
            auto load = reinterpret_cast<PFN_LoadIDString>(
                reinterpret_cast<void (*)()>(GetProcAddress(module, "LoadIDString")));
            if (load == nullptr || load(0)[0] == L'\0') return false;
        }
        return FreeLibrary(module) != FALSE;
    };
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(cycle(true));
    for (bool callIntoIt : {false, true}) {
        const SIZE_T before = PrivateBytes();
        for (int i = 0; i < kCycles; ++i) ASSERT_TRUE(cycle(callIntoIt));
        const SIZE_T after = PrivateBytes();
        const long long growth = static_cast<long long>(after) - static_cast<long long>(before);
        std::printf("[ figures  ] %d load/unload cycles%s: private bytes %lu -> %lu (%+lld)\n",
                    kCycles, callIntoIt ? " with LoadIDString" : "",
                    static_cast<unsigned long>(before), static_cast<unsigned long>(after), growth);
        EXPECT_LT(growth, static_cast<long long>(kAllowedGrowth));
    }
    EXPECT_EQ(GetModuleHandleW(L"OAuth_Dll.dll"), nullptr);
}

}  // namespace
}  // namespace test
}  // namespace OAuthClient
