#include "Authorization.h"

#include <algorithm>
#include <map>

#include "FormEncoding.h"

namespace OAuthClient::Tool {

std::wstring AuthorizeUrl(const AuthorizationRequest& request) {
    std::wstring url = request.endpoint;
    url += url.find(L'?') == std::wstring::npos ? L'?' : L'&';
    url += L"response_type=code&client_id=" + FormEncode(request.clientId) + L"&redirect_uri=" +
           FormEncode(request.redirectUri);
    if (!request.scope.empty()) url += L"&scope=" + FormEncode(request.scope);
    url += L"&state=" + FormEncode(request.state) + L"&code_challenge=" +
           FormEncode(request.challenge) + L"&code_challenge_method=S256";
    return url;
}

Redirect ReadRedirect(std::string_view query, std::wstring_view state, std::wstring_view issuer,
                      bool issRequired) {
    Redirect redirect;
    std::map<std::wstring, std::wstring> fields;
    while (!query.empty()) {
        const size_t end = std::min(query.find('&'), query.size());
        const std::string_view field = query.substr(0, end);
        query.remove_prefix(std::min(end + 1, query.size()));
        const size_t equals = std::min(field.find('='), field.size());
        std::wstring name;
        std::wstring value;
        if (!FormDecode(field.substr(0, equals), &name) ||
            !FormDecode(field.substr(std::min(equals + 1, field.size())), &value)) {
            redirect.error = L"the redirect's query is not form-encoded UTF-8";
            return redirect;
        }
        if (!fields.emplace(std::move(name), std::move(value)).second) {
            redirect.error = L"the redirect holds a parameter twice";
            return redirect;
        }
    }
    const auto field = [&fields](const wchar_t* name) {
        const auto found = fields.find(name);
        return found != fields.end() ? found->second : std::wstring();
    };
    if (field(L"state") != state) {
        redirect.error =
            L"the redirect's state is not the one this login sent: it answers "
            L"another request, or was forged";
    } else if (!issuer.empty() && fields.count(L"iss") != 0 && field(L"iss") != issuer) {
        redirect.error = L"the redirect comes from the issuer \"" + field(L"iss") + L"\", not \"" +
                         std::wstring(issuer) + L"\"";
    } else if (!issuer.empty() && issRequired && fields.count(L"iss") == 0) {
        redirect.error = L"the redirect names no issuer, which the metadata of \"" +
                         std::wstring(issuer) + L"\" says it always does";
    } else if (!field(L"error").empty()) {
        redirect.outcome = Redirect::Outcome::Error;
        redirect.error = field(L"error");
        redirect.description = field(L"error_description");
    } else if (!field(L"code").empty()) {
        redirect.outcome = Redirect::Outcome::Code;
        redirect.code = field(L"code");
    } else {
        redirect.error = L"the redirect holds neither a code nor an error";
    }
    return redirect;
}

}  // namespace OAuthClient::Tool
