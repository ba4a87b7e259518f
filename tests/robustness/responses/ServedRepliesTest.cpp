// Random and mutated replies served into both response objects through
// their static Create, with every getter called on each: nothing may crash,
// every result must be a documented code and every text handed out must be
// terminated and agree with what the server sent.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <sstream>

#include "Invariants.h"
#include "RandomInput.h"
#include "ReplyGenerator.h"
#include "ServedReply.h"
#include "response/CResourceResponse.h"
#include "response/CTokenResponse.h"

namespace OAuthClient {
namespace robust {
namespace {

const wchar_t kUntouched[] = L"untouched";

// What the replies reached, printed after each run: a generator that stops
// producing some kind of reply shows up here, not as a silent pass.
struct Reached {
    long tokenReplies = 0;
    long errorReplies = 0;
    long headersFound = 0;
    long headersAbsent = 0;
    long bodies = 0;
    long decoded = 0;
    long refused = 0;

    void Print(const char* what, long replies) const {
        std::printf(
            "[ figures  ] %s: %ld replies; %ld read as tokens, %ld as errors; header lookups "
            "%ld found, %ld absent; %ld bodies, %ld texts decoded, %ld decodings refused\n",
            what, replies, tokenReplies, errorReplies, headersFound, headersAbsent, bodies, decoded,
            refused);
    }
};
Reached g_reached;

// Serves about this many replies in all into each kind of response; with
// the same number of the other kind the suite serves a million.
constexpr long kTokenReplies = 500000;
constexpr long kResourceReplies = 500000;

std::wstring AsText(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

int RandomResult(RandomInput& random) {
    static const int kResults[] = {1, 1, 1, 1, 0, -1, 2, INT_MIN};
    return random.Pick(kResults);
}

// A status text: usually a phrase, sometimes empty, absent or odd.
std::wstring RandomStatusText(RandomInput& random) {
    static const wchar_t* const kPhrases[] = {L"OK", L"Bad Request", L"Unauthorized", L"", L" "};
    return random.OneIn(3) ? random.Text(20) : std::wstring(random.Pick(kPhrases));
}

int RandomStatusCode(RandomInput& random) {
    static const int kCodes[] = {200, 200, 400, 401, 403, 500, 302, 0, -1, INT_MAX, INT_MIN, 999};
    return random.OneIn(5) ? random.ExtremeInt() : random.Pick(kCodes);
}

// The parts of one reply and the texts they point into.
struct Reply {
    std::wstring statusText;
    std::wstring headers;
    std::wstring text;
    Bytes body;
    ReplyParts parts;

    std::string Describe() const {
        std::ostringstream out;
        out << "status " << parts.statusCode << ", status text "
            << (parts.statusText ? "\"" + Printable(statusText) + "\"" : "null") << " (result "
            << parts.statusTextResult << "), headers "
            << (parts.headers ? "\"" + Printable(headers) + "\"" : "null") << ", text "
            << (parts.text ? "\"" + Printable(text) + "\"" : "null") << " (result "
            << parts.textResult << "), body of " << body.size() << " bytes reported as "
            << parts.bodyLength << (parts.body ? "" : " (null)");
        if (parts.body) {
            out << ":";
            for (size_t i = 0; i < body.size() && i < 48; ++i)
                out << " " << std::hex << int(body[i]);
        }
        return out.str();
    }
};

void FillCommonParts(RandomInput& random, Reply& reply) {
    reply.parts.statusCode = RandomStatusCode(random);
    reply.statusText = RandomStatusText(random);
    reply.parts.statusText = random.OneIn(10) ? nullptr : reply.statusText.c_str();
    reply.parts.statusTextResult = RandomResult(random);
    reply.headers = RandomHeaderBlock(random);
    reply.parts.headers = random.OneIn(12) ? nullptr : reply.headers.c_str();
    reply.parts.headersResult = RandomResult(random);
}

// Body sizes: every size from 0 to 4 KiB in turn, and now and then one of up
// to 1 MiB.
size_t BodySize(RandomInput& random, long iteration) {
    if (random.OneIn(1000)) return random.Below(1024 * 1024 + 1);
    if (random.OneIn(50)) return 4096 + random.Below(60 * 1024);
    return static_cast<size_t>(iteration % 4097);
}

Reply RandomTokenReply(RandomInput& random, long iteration) {
    Reply reply;
    FillCommonParts(random, reply);
    reply.text = RandomJsonReply(random);
    if (random.OneIn(1000)) reply.text += random.Text(1024 * 1024);  // a long reply
    reply.parts.text = random.OneIn(15) ? nullptr : reply.text.c_str();
    reply.parts.textResult = RandomResult(random);
    reply.body = RandomBody(random, BodySize(random, iteration) / 16);
    reply.parts.body = reply.body.empty() ? nullptr : reply.body.data();
    reply.parts.bodyLength = static_cast<int>(reply.body.size());
    return reply;
}

Reply RandomResourceReply(RandomInput& random, long iteration) {
    Reply reply;
    FillCommonParts(random, reply);
    reply.body = RandomBody(random, BodySize(random, iteration));
    reply.parts.body = random.OneIn(20) ? nullptr : reply.body.data();
    const int size = static_cast<int>(reply.body.size());
    // Counts that cannot describe a body, besides the true one. A count
    // above the bytes the server holds would break the component's own
    // contract and is not served.
    static const int kOddCounts[] = {0, -1, INT_MIN, -2};
    reply.parts.bodyLength = random.OneIn(12)   ? random.Pick(kOddCounts)
                             : random.OneIn(12) ? static_cast<int>(random.Below(size + 1))
                                                : size;
    reply.parts.bodyResult = RandomResult(random);
    reply.text = random.Text(16);
    reply.parts.text = random.OneIn(2) ? reply.text.c_str() : nullptr;
    return reply;
}

// Expectation of a text the response copies from the server: a non-empty
// text is kept, a null or empty one leaves the field unset.
bool Kept(const wchar_t* served) { return served != nullptr && served[0] != L'\0'; }

// Checks a text getter's answer. expected is null when the field must be
// unset (result -1, out untouched); otherwise result 1 and the same text.
template <typename Response>
std::string CheckText(Response& response, int (Response::*getter)(const wchar_t**),
                      const wchar_t* expected, const char* name, size_t limit) {
    const wchar_t* out = kUntouched;
    const int result = (response.*getter)(&out);
    std::ostringstream problem;
    if (result != 1 && result != -1) {
        problem << name << " returned " << result;
    } else if (result == -1) {
        if (out != kUntouched)
            problem << name << " returned -1 but wrote its out-parameter";
        else if (expected)
            problem << name << " returned -1 for \"" << Printable(expected) << "\"";
    } else if (out == nullptr || out == kUntouched) {
        problem << name << " returned 1 without a text";
    } else if (TerminatedLength(out, limit) == kNotTerminated) {
        problem << name << " handed out a text without a terminator";
    } else if (!expected) {
        problem << name << " returned 1 for a field that must be unset";
    } else if (std::wcscmp(out, expected) != 0) {
        problem << name << " handed out \"" << Printable(out) << "\", not \"" << Printable(expected)
                << "\"";
    }
    const wchar_t** none = nullptr;
    if (problem.str().empty() && (response.*getter)(none) != -1) {
        problem << name << " accepted a null out-parameter";
    }
    return problem.str();
}

// A field of the reply body: either unset (-1, out untouched) or a
// non-empty, terminated text made of units the body can produce.
std::string CheckReplyField(CTokenResponse& response,
                            int (CTokenResponse::*getter)(const wchar_t**), const char* name,
                            bool errorField, const ReachableUnits& reachable, size_t limit,
                            bool* isSet) {
    const wchar_t* out = kUntouched;
    const int result = (response.*getter)(&out);
    *isSet = result == 1;
    std::ostringstream problem;
    if (result != 1 && result != -1) {
        problem << name << " returned " << result;
    } else if (result == -1) {
        // The error getters write null with their -1, the others nothing.
        if (errorField ? out != nullptr : out != kUntouched) {
            problem << name << " returned -1 and wrote " << (out ? "a text" : "null");
        }
    } else if (out == nullptr || out == kUntouched) {
        problem << name << " returned 1 without a text";
    } else {
        const size_t length = TerminatedLength(out, limit);
        if (length == kNotTerminated)
            problem << name << " handed out an unterminated text";
        else if (!reachable.Covers(out))
            problem << name << " handed out \"" << Printable(out)
                    << "\", units the body cannot produce";
    }
    const wchar_t** none = nullptr;
    if (problem.str().empty() && (response.*getter)(none) != -1) {
        problem << name << " accepted a null out-parameter";
    }
    return problem.str();
}

std::string CheckHeaderLookup(
    RandomInput& random, const wchar_t* servedHeaders, bool upperCase,
    const std::function<int(const wchar_t*, const wchar_t**)>& getHeader) {
    const std::wstring block = AsText(servedHeaders);
    const auto fields =
        ReferenceHeaderFields(Kept(servedHeaders) ? block : std::wstring(), upperCase);
    std::ostringstream problem;
    const wchar_t* previous = nullptr;
    for (int lookups = 1 + static_cast<int>(random.Below(4)); lookups > 0; --lookups) {
        std::wstring name = RandomHeaderName(random, block);
        // Now and then the name is the text the previous lookup handed out.
        const bool aliased = previous != nullptr && random.OneIn(4);
        if (aliased) name = previous;
        std::wstring key = name;
        if (upperCase) {
            for (wchar_t& unit : key) {
                if (unit >= L'a' && unit <= L'z') unit -= 0x20;
            }
        }
        const auto found = fields.find(key);
        const wchar_t* out = kUntouched;
        const int result = getHeader(aliased ? previous : name.c_str(), &out);
        ++(found == fields.end() ? g_reached.headersAbsent : g_reached.headersFound);
        if (found == fields.end()) {
            if (result != -1 || out != kUntouched) {
                problem << "GetHeader(\"" << Printable(name) << "\") gave " << result
                        << " for an absent field";
            }
        } else if (result != 1 || out == nullptr || out == kUntouched) {
            problem << "GetHeader(\"" << Printable(name) << "\") gave " << result
                    << " for a present field";
        } else if (TerminatedLength(out, found->second.size()) != found->second.size() ||
                   std::wmemcmp(out, found->second.data(), found->second.size()) != 0) {
            problem << "GetHeader(\"" << Printable(name) << "\") handed out \"" << Printable(out)
                    << "\", not \"" << Printable(found->second) << "\"";
        } else {
            previous = out;
        }
        if (!problem.str().empty()) return problem.str();
    }
    const wchar_t* out = kUntouched;
    const wchar_t** none = nullptr;
    if (getHeader(nullptr, &out) != -1 || out != kUntouched)
        return "GetHeader(null) did not refuse";
    if (getHeader(L"Content-Type", none) != -1) return "GetHeader accepted a null out-parameter";
    return std::string();
}

std::string CheckTokenResponse(RandomInput& random, CTokenResponse& response, const Reply& reply) {
    const ReplyParts& parts = reply.parts;
    const size_t limit = reply.text.size() + reply.headers.size() + reply.statusText.size() + 16;
    std::string problem;
    auto failed = [&](std::string found) {
        problem = std::move(found);
        return !problem.empty();
    };
    if (response.GetStatusCode() != parts.statusCode)
        return "GetStatusCode differs from the server's";
    const bool hasStatusText = parts.statusTextResult == 1 && Kept(parts.statusText);
    if (failed(CheckText(response, &CTokenResponse::GetStatusText,
                         hasStatusText ? parts.statusText : nullptr, "GetStatusText", limit)) ||
        failed(CheckText(response, &CTokenResponse::GetHeaders,
                         Kept(parts.headers) ? parts.headers : nullptr, "GetHeaders", limit)) ||
        failed(CheckText(response, &CTokenResponse::GetBodyText,
                         Kept(parts.text) ? parts.text : nullptr, "GetBodyText", limit))) {
        return problem;
    }
    if (failed(CheckHeaderLookup(random, parts.headers, true,
                                 [&](const wchar_t* name, const wchar_t** out) {
                                     return response.GetHeader(name, out);
                                 }))) {
        return problem;
    }

    const ReachableUnits reachable(parts.text ? reply.text : std::wstring());
    struct Field {
        int (CTokenResponse::*getter)(const wchar_t**);
        const char* name;
        bool errorField;
    };
    static const Field kFields[] = {
        {&CTokenResponse::GetTokenType, "GetTokenType", false},
        {&CTokenResponse::GetAccessToken, "GetAccessToken", false},
        {&CTokenResponse::GetRefreshToken, "GetRefreshToken", false},
        {&CTokenResponse::GetError, "GetError", true},
        {&CTokenResponse::GetErrorDescription, "GetErrorDescription", true},
        {&CTokenResponse::GetErrorUri, "GetErrorUri", true},
        {&CTokenResponse::GetState, "GetState", true},
    };
    bool anyTokenField = response.GetExpiresIn() != 0;
    bool anyErrorField = false;
    for (const Field& field : kFields) {
        bool isSet = false;
        if (failed(CheckReplyField(response, field.getter, field.name, field.errorField, reachable,
                                   reply.text.size() + 1, &isSet))) {
            return problem;
        }
        (field.errorField ? anyErrorField : anyTokenField) |= isSet;
    }
    // A reply is read either as a token or as an error, never as both.
    if (anyTokenField && anyErrorField) return "both token and error fields are set";
    g_reached.tokenReplies += anyTokenField ? 1 : 0;
    g_reached.errorReplies += anyErrorField ? 1 : 0;
    const bool bodyRead = parts.textResult == 1 && Kept(parts.text);
    if (!bodyRead && (anyTokenField || anyErrorField)) {
        return "reply fields are set although the body text was not available";
    }
    return std::string();
}

std::string CheckResourceResponse(RandomInput& random, CResourceResponse& response,
                                  const Reply& reply) {
    const ReplyParts& parts = reply.parts;
    const size_t limit = reply.headers.size() + reply.statusText.size() + 16;
    std::string problem;
    auto failed = [&](std::string found) {
        problem = std::move(found);
        return !problem.empty();
    };
    if (response.GetStatusCode() != parts.statusCode)
        return "GetStatusCode differs from the server's";
    const bool hasStatusText = parts.statusTextResult == 1 && Kept(parts.statusText);
    if (failed(CheckText(response, &CResourceResponse::GetStatusText,
                         hasStatusText ? parts.statusText : nullptr, "GetStatusText", limit)) ||
        failed(CheckText(response, &CResourceResponse::GetHeaders,
                         Kept(parts.headers) ? parts.headers : nullptr, "GetHeaders", limit)) ||
        failed(CheckHeaderLookup(random, parts.headers, false,
                                 [&](const wchar_t* name, const wchar_t** out) {
                                     return response.GetHeader(name, out);
                                 }))) {
        return problem;
    }

    // The body: kept exactly as reported when the count describes one.
    const bool hasBody =
        parts.body != nullptr && parts.bodyLength > 0 && parts.bodyLength != INT_MAX;
    const unsigned char* data = reinterpret_cast<const unsigned char*>("untouched");
    const unsigned char* const untouchedData = data;
    int length = -12345;
    const int bytesResult = response.GetBodyBytes(&data, &length);
    if (!hasBody) {
        if (bytesResult != -1 || data != untouchedData || length != -12345) {
            return "GetBodyBytes did not refuse a reply without a body";
        }
    } else if (bytesResult != 1 || data == nullptr || length != parts.bodyLength) {
        return "GetBodyBytes gave " + std::to_string(bytesResult) + " with length " +
               std::to_string(length) + " for " + std::to_string(parts.bodyLength) + " bytes";
    } else if (std::memcmp(data, parts.body, static_cast<size_t>(length)) != 0) {
        return "GetBodyBytes handed out other bytes than the server's";
    } else if (data[length] != 0) {
        return "the body bytes are not followed by a zero byte";
    }
    const unsigned char** noData = nullptr;
    int* noLength = nullptr;
    if (response.GetBodyBytes(noData, &length) != -1 ||
        response.GetBodyBytes(&data, noLength) != -1) {
        return "GetBodyBytes accepted a null out-parameter";
    }

    // Decoded texts: at most one unit per body byte, plus a mark and the
    // terminator.
    const size_t textLimit = hasBody ? static_cast<size_t>(parts.bodyLength) + 2 : 0;
    g_reached.bodies += hasBody ? 1 : 0;
    auto checkDecoded = [&](int result, const wchar_t* text, const char* name) -> std::string {
        ++(result == 1 ? g_reached.decoded : g_reached.refused);
        if (result != 1 && result != -1)
            return std::string(name) + " returned " + std::to_string(result);
        if (result == 1 && !hasBody) return std::string(name) + " returned 1 without a body";
        if (result == 1 && (text == nullptr || text == kUntouched))
            return std::string(name) + " gave no text";
        if (result == 1 && TerminatedLength(text, textLimit) == kNotTerminated) {
            return std::string(name) + " handed out an unterminated text";
        }
        if (result == -1 && text != kUntouched) return std::string(name) + " refused and wrote out";
        return std::string();
    };
    static const int kEncodings[] = {0, 1, 2, 3, -1, 4, INT_MIN, INT_MAX, 0x100, 0x102};
    const wchar_t* decoded = nullptr;
    for (int calls = static_cast<int>(random.Below(3)); calls > 0; --calls) {
        const wchar_t* text = kUntouched;
        const int result = response.GetBodyTextAs(&text, random.Pick(kEncodings));
        if (failed(checkDecoded(result, text, "GetBodyTextAs"))) return problem;
        decoded = result == 1 ? text : nullptr;
    }
    const wchar_t* text = kUntouched;
    const int result = response.GetBodyText(&text);
    if (failed(checkDecoded(result, text, "GetBodyText"))) return problem;
    // An earlier decoding is handed out again.
    if (decoded != nullptr && (result != 1 || text != decoded)) {
        return "GetBodyText did not reuse the text GetBodyTextAs decoded";
    }
    // Plain ASCII reads as itself, whether sniffed as ASCII or, after an XML
    // declaration, as UTF-8.
    if (decoded == nullptr && hasBody && result == 1) {
        bool ascii = true;
        for (int i = 0; i < parts.bodyLength && ascii; ++i)
            ascii = parts.body[i] >= 1 && parts.body[i] < 0x80;
        if (ascii) {
            for (int i = 0; i < parts.bodyLength; ++i) {
                if (text[i] != parts.body[i]) return "GetBodyText changed an ASCII body";
            }
            if (text[parts.bodyLength] != L'\0') return "GetBodyText's ASCII text is too long";
        }
    }
    if (hasBody && result != 1 && decoded == nullptr) {
        // Only an undecodable body may be refused: never plain ASCII.
        bool ascii = true;
        for (int i = 0; i < parts.bodyLength && ascii; ++i)
            ascii = parts.body[i] >= 1 && parts.body[i] < 0x80;
        if (ascii) return "GetBodyText refused a plain ASCII body";
    }
    const wchar_t** none = nullptr;
    if (response.GetBodyText(none) != -1 || response.GetBodyTextAs(none, 1) != -1) {
        return "a body text operation accepted a null out-parameter";
    }
    return std::string();
}

TEST(ServedReplies, TokenResponsesAnswerEveryGetterWithinTheirContract) {
    g_reached = Reached();
    const long count = Iterations(kTokenReplies);
    AnnounceSeed("token replies", count);
    RandomInput random(StreamSeed(1));
    FailureBudget budget("token replies");
    for (long i = 0; i < count && !budget.Exhausted(); ++i) {
        const Reply reply = RandomTokenReply(random, i);
        ServedReply server(reply.parts);
        CTokenResponse* response = CTokenResponse::Create(&server);
        if (response == nullptr) {
            budget.Fail(i, "Create gave no response for " + reply.Describe());
            continue;
        }
        const std::string problem = CheckTokenResponse(random, *response, reply);
        response->Release();
        if (!problem.empty()) budget.Fail(i, problem + "\n  reply: " + reply.Describe());
    }
    g_reached.Print("token replies", count);
}

TEST(ServedReplies, ResourceResponsesAnswerEveryGetterWithinTheirContract) {
    g_reached = Reached();
    const long count = Iterations(kResourceReplies);
    AnnounceSeed("resource replies", count);
    RandomInput random(StreamSeed(2));
    FailureBudget budget("resource replies");
    for (long i = 0; i < count && !budget.Exhausted(); ++i) {
        const Reply reply = RandomResourceReply(random, i);
        ServedReply server(reply.parts);
        CResourceResponse* response = CResourceResponse::Create(&server);
        if (response == nullptr) {
            budget.Fail(i, "Create gave no response for " + reply.Describe());
            continue;
        }
        const std::string problem = CheckResourceResponse(random, *response, reply);
        response->Release();
        if (!problem.empty()) budget.Fail(i, problem + "\n  reply: " + reply.Describe());
    }
    g_reached.Print("resource replies", count);
}

TEST(ServedReplies, ANullClientGivesEmptyResponses) {
    CTokenResponse* token = CTokenResponse::Create(nullptr);
    ASSERT_NE(token, nullptr);
    const wchar_t* text = kUntouched;
    EXPECT_EQ(token->GetAccessToken(&text), -1);
    EXPECT_EQ(token->GetStatusCode(), 0);
    token->Release();
    CResourceResponse* resource = CResourceResponse::Create(nullptr);
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(resource->GetBodyText(&text), -1);
    EXPECT_EQ(text, kUntouched);
    resource->Release();
}

}  // namespace
}  // namespace robust
}  // namespace OAuthClient
