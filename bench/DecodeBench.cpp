// Body decoding: GetBodyText and GetBodyTextAs on resource bodies fetched
// once from the server, against one MultiByteToWideChar pass (UTF-8, into a
// buffer allocated beforehand) over the same bytes.
//
//   bench_decode.exe --base http://127.0.0.1:PORT/body/ --kinds ascii,utf8,utf16le
//                    --sizes 1,16,64 --rounds 5
//
// Bodies are BASE KIND-SIZEm.txt. Prints "decode KIND SIZE OP ROUND MS" with
// OP one of mbtwc (into a buffer allocated and touched beforehand),
// mbtwc_fresh (into a new array), text (GetBodyText), as0, as1, as2
// (GetBodyTextAs with that encoding code).
#include <windows.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OAuthClient.h"

using namespace OAuthBench;
using namespace OAuthClient;

namespace {

std::vector<std::wstring> Split(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(L',', start);
        if (comma == std::wstring::npos) comma = text.size();
        if (comma > start) parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

// The GetBodyTextAs codes worth timing for each kind of body: what a host
// that knows the encoding would name.
std::vector<int> EncodingsFor(const std::wstring& kind) {
    if (kind == L"ascii") return {kEncodingAnsi, kEncodingUtf8};
    if (kind == L"utf8") return {kEncodingUtf8};
    return {kEncodingUtf16Le};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options(argc, argv);
    const std::wstring base = options.Text(L"--base", L"");
    const std::vector<std::wstring> kinds = Split(options.Text(L"--kinds", L"ascii,utf8,utf16le"));
    const std::vector<std::wstring> sizes = Split(options.Text(L"--sizes", L"1,16,64"));
    const int rounds = options.Number(L"--rounds", 5);
    if (base.empty() || rounds <= 0) Fail("usage: --base URL [--kinds K] [--sizes S] [--rounds R]", 2);

    IOAuthClient* client = CreateOAuthClient();
    IOAuthRequest* request = CreateOAuthRequest();
    if (client == nullptr || request == nullptr) Fail("cannot create the objects", 0);
    request->SetMethod(L"GET");
    request->SetAccessToken(L"bench-access-token");
    request->SetNumericSetting(120);

    for (const std::wstring& kind : kinds) {
        for (const std::wstring& size : sizes) {
            std::wstring url = base + kind + L"-" + size + L"m.txt";
            request->SetUrl(url.c_str());
            IResourceResponse* response = nullptr;
            int result = client->RequestResource(request, &response);
            if (result != 1 || response == nullptr) Fail("RequestResource", result);
            if (response->GetStatusCode() != 200) Fail("body status", response->GetStatusCode());
            const unsigned char* bytes = nullptr;
            int byteCount = 0;
            if (response->GetBodyBytes(&bytes, &byteCount) != 1) Fail("GetBodyBytes", 0);
            std::vector<wchar_t> target(static_cast<size_t>(byteCount) + 1);
            const std::string k = Narrow(kind);
            const std::string s = Narrow(size);

            for (int round = 1; round <= rounds; ++round) {
                Stopwatch watch;
                int units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes),
                                                byteCount, target.data(), byteCount + 1);
                double ms = watch.Milliseconds();
                if (units <= 0) Fail("MultiByteToWideChar", GetLastError());
                std::printf("decode %s %s mbtwc %d %.3f\n", k.c_str(), s.c_str(), round, ms);

                // The same pass into a new array, as any decoder that hands
                // out a text of its own must make: the first touch of its
                // pages costs about as much as the conversion.
                watch.Restart();
                wchar_t* fresh = new wchar_t[static_cast<size_t>(byteCount) + 1];
                units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes),
                                            byteCount, fresh, byteCount + 1);
                ms = watch.Milliseconds();
                delete[] fresh;
                if (units <= 0) Fail("MultiByteToWideChar", GetLastError());
                std::printf("decode %s %s mbtwc_fresh %d %.3f\n", k.c_str(), s.c_str(), round, ms);

                const wchar_t* text = nullptr;
                // An unknown code drops the text decoded before, so that
                // GetBodyText decodes afresh rather than hand out the cache.
                response->GetBodyTextAs(&text, 99);
                watch.Restart();
                result = response->GetBodyText(&text);
                ms = watch.Milliseconds();
                if (result != 1 || text == nullptr) Fail("GetBodyText", result);
                std::printf("decode %s %s text %d %.3f\n", k.c_str(), s.c_str(), round, ms);

                for (int encoding : EncodingsFor(kind)) {
                    // Timed on a response without text, like the first call:
                    // replacing a text also wipes and frees the old one.
                    response->GetBodyTextAs(&text, 99);
                    watch.Restart();
                    result = response->GetBodyTextAs(&text, encoding);
                    ms = watch.Milliseconds();
                    if (result != 1 || text == nullptr) Fail("GetBodyTextAs", encoding);
                    std::printf("decode %s %s as%d %d %.3f\n", k.c_str(), s.c_str(), encoding, round, ms);
                }
                std::fflush(stdout);
            }
            response->Release();
        }
    }
    request->Release();
    client->Release();
    return 0;
}
