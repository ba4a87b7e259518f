#include "grant/CGrantDelegate.h"

#include <cwchar>
#include <new>
#include <string_view>

#include "CheckedSize.h"
#include "OAuthErrors.h"
#include "SmallSecret.h"
#include "grant/Base64.h"
#include "response/CTokenResponse.h"
#include "text/FormEncoding.h"
#include "text/TextRules.h"

namespace OAuthClient {

CGrantDelegate::CGrantDelegate() noexcept = default;

CGrantDelegate::~CGrantDelegate() { client_.reset(); }

void CGrantDelegate::Release() noexcept { delete this; }

SecureWString CGrantDelegate::JoinQuery(const wchar_t* location, const wchar_t* query) {
    // The query may carry the password.
    SecureWString url;
    KeepOnHeap(url, std::wcslen(location) + 1 + std::wcslen(query));
    url.assign(location);
    const wchar_t last = url.empty() ? L'\0' : url.back();
    if (last != L'?' && last != L'&') {
        url += (url.find(L'?') != SecureWString::npos) ? L'&' : L'?';
    }
    url += query;
    return url;
}

int CGrantDelegate::AppendFormValue(SecureWString* body, const wchar_t* prefix,
                                    const wchar_t* value) {
    // The body is on the heap already (ExecuteGrant), so the encoded value,
    // perhaps the password, goes straight in.
    const size_t before = body->size();
    body->append(prefix);
    if (AppendUrlEncodedFormValue(value, body) != 1) {
        body->resize(before);
        return -1;
    }
    return 1;
}

int CGrantDelegate::StartExchange(ITokenRequest* request) noexcept {
    request_ = request;
    if (request == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    CreateHttpClientFn factory = library_.factory();
    if (factory == nullptr) {
        return Fail(library_.loaded() ? OAUTH_ERROR_HTTP_COMPONENT_NO_FACTORY
                                      : OAUTH_ERROR_HTTP_COMPONENT_MISSING);
    }
    client_.reset(factory());
    return client_ ? 1 : Fail(OAUTH_ERROR_HTTP_COMPONENT_NO_FACTORY);
}

bool CGrantDelegate::HasOwnHeader(const wchar_t* name) const {
    const wchar_t* value = nullptr;
    request_->GetHeader(name, &value);
    return HasText(value);
}

int CGrantDelegate::PrepareBasicAuthorization() {
    const wchar_t* clientId = nullptr;
    request_->GetClientId(&clientId);
    if (!HasText(clientId)) return Fail(OAUTH_ERROR_NO_CLIENT_ID);
    const wchar_t* clientSecret = nullptr;
    request_->GetClientSecret(&clientSecret);
    if (!HasText(clientSecret)) return Fail(OAUTH_ERROR_NO_CLIENT_SECRET);

    // Raw id:secret: servers compare these exact bytes, so nothing is escaped.
    // Only a real byte-order mark is dropped; a client id that merely starts
    // with U+00FF or U+00FE keeps its first character. A usual pair and its
    // ANSI bytes stay on the stack.
    std::wstring_view id(clientId);
    if (id.front() == 0xFEFF || id.front() == 0xFFFE) id.remove_prefix(1);
    const std::wstring_view secret(clientSecret);
    SmallSecret<wchar_t, 256> credentials;
    wchar_t* at = credentials.Resize(id.size() + 1 + secret.size());
    std::wmemcpy(at, id.data(), id.size());
    at[id.size()] = L':';
    std::wmemcpy(at + id.size() + 1, secret.data(), secret.size());
    int credentialsCount = 0;
    if (!ToInt(credentials.size(), &credentialsCount)) return Fail(OAUTH_ERROR_FORM_NOT_BUILT);

    // 0 means the platform refused the text or the code page.
    SmallSecret<unsigned char, 512> ansi;
    const int written = NarrowInto(CP_ACP, 0, credentials.data(), credentialsCount, &ansi);
    if (written <= 0) return Fail(OAUTH_ERROR_FORM_NOT_BUILT);

    // Base64 is ASCII, which every ANSI code page decodes unit for unit, so
    // the characters are written straight into the header value as wide
    // ones, on the stack like the credentials.
    int encodedCount = 0;
    if (!Base64Length(written, &encodedCount)) return Fail(OAUTH_ERROR_FORM_NOT_BUILT);
    static constexpr std::wstring_view kScheme = L"Basic ";
    SmallSecret<wchar_t, 512> authorization;
    wchar_t* value = authorization.Resize(kScheme.size() + static_cast<size_t>(encodedCount) + 1);
    std::wmemcpy(value, kScheme.data(), kScheme.size());
    Base64EncodeWide(ansi.data(), written, value + kScheme.size());
    value[kScheme.size() + static_cast<size_t>(encodedCount)] = L'\0';
    client_->SetRequestHeader(L"Content-Type", kFormContentType, 0);
    client_->SetRequestHeader(L"Authorization", value, 0);
    return 1;
}

int CGrantDelegate::ApplyTransportSettings() {
    const int protocol = request_->GetSecureProtocol();
    // Unlike the resource retriever, a grant refuses a value it cannot map.
    if (static_cast<unsigned>(protocol) > 3u) return Fail(OAUTH_ERROR_SECURE_PROTOCOL_RANGE);
    client_->SetSecureProtocol(ProtocolCodeOf(protocol));
    client_->SetNumericSetting(request_->GetNumericSetting());
    return 1;
}

DWORD CGrantDelegate::ReadTarget(Target* target) const {
    request_->GetMethod(&target->method);
    if (!HasText(target->method)) return OAUTH_ERROR_NO_METHOD;
    request_->GetTokenLocation(&target->location);
    if (!HasText(target->location)) return OAUTH_ERROR_NO_TOKEN_LOCATION;
    // Case-sensitive: a method "get" is sent with a body like any other.
    target->isGet = std::wcscmp(target->method, L"GET") == 0;
    return 0;
}

void CGrantDelegate::ForwardRequestHeaders() {
    const wchar_t* headers = nullptr;
    request_->GetHeaders(&headers);
    if (HasText(headers)) client_->SetRequestHeaders(headers);
}

int CGrantDelegate::ReadParams(bool encode, const wchar_t** text) {
    *text = nullptr;
    if (request_->GetParams(text, encode ? 1 : 0) != 1) {
        *text = nullptr;
        return Fail(OAUTH_ERROR_FORM_NOT_BUILT);
    }
    return 1;
}

void CGrantDelegate::LabelFormBody(const Target& target) {
    // A host's own Content-Type already travels with its header lines.
    if (!target.isGet && !HasOwnHeader(L"Content-Type")) {
        client_->SetRequestHeader(L"Content-Type", kFormContentType, 0);
    }
}

int CGrantDelegate::SendForm(const Target& target, const wchar_t* form) {
    if (target.isGet) {
        const SecureWString url = JoinQuery(target.location, form);
        return client_->SendRequest(target.method, url.c_str());
    }
    return client_->SendRequestText(target.method, target.location, form, -1);
}

int CGrantDelegate::FinishExchange(int result, ITokenResponse** response) noexcept {
    if (result == 1 && client_ && response != nullptr) {
        *response = CTokenResponse::Create(client_.get());
    }
    client_.reset();
    return result;
}

int CGrantDelegate::ExecuteGrant(ITokenRequest* request, ITokenResponse** response,
                                 const GrantStyle& style) noexcept {
    failure_ = 0;
    if (response == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    try {
        if (StartExchange(request) != 1) return -1;
        // The Basic credentials go with the form's label; a host's own
        // Authorization leaves the label to LabelFormBody.
        const bool basic = style.basicCredentials && !HasOwnHeader(L"Authorization");
        if (basic && PrepareBasicAuthorization() != 1) return FinishExchange(-1, response);
        if (ApplyTransportSettings() != 1) return FinishExchange(-1, response);
        Target target;
        if (const DWORD missing = ReadTarget(&target)) return FinishExchange(Fail(missing), response);
        ForwardRequestHeaders();
        // A grant with a default body always sends a form, so it is labelled
        // at once; otherwise only once there are parameters to send.
        const bool alwaysForm = style.defaultBody != nullptr;
        if (alwaysForm && !basic) LabelFormBody(target);

        const wchar_t* scope = nullptr;
        if (alwaysForm) request_->GetScope(&scope);
        const wchar_t* params = nullptr;
        // A failed parameter text must not turn into a default body the host
        // never asked for.
        if (ReadParams(target.isGet, &params) != 1) return FinishExchange(-1, response);
        if (HasText(params)) {
            if (!alwaysForm) LabelFormBody(target);
            return FinishExchange(SendForm(target, params), response);
        }
        if (!alwaysForm) {
            return FinishExchange(client_->SendRequest(target.method, target.location), response);
        }

        // Room for a usual form at once, so that appending its fields does
        // not move the secrets in it from block to block.
        SecureWString body;
        KeepOnHeap(body, 128);
        if (const DWORD cause = style.defaultBody(request_, scope, &body)) {
            return FinishExchange(Fail(cause), response);
        }
        return FinishExchange(SendForm(target, body.c_str()), response);
    } catch (const std::bad_alloc&) {
        client_.reset();
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        client_.reset();
        return Fail(ERROR_INVALID_PARAMETER);
    }
}

}  // namespace OAuthClient
