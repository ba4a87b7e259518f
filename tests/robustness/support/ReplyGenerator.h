// Random and mutated server replies: header blocks, JSON token replies and
// body bytes in every body encoding, plus a reference split of header blocks
// that the responses' header maps are checked against.
#ifndef OAUTH_TESTS_ROBUSTNESS_REPLYGENERATOR_H
#define OAUTH_TESTS_ROBUSTNESS_REPLYGENERATOR_H

#include <map>
#include <string>

#include "RandomInput.h"

namespace OAuthClient {
namespace robust {

// A header block: usually a status line and a handful of fields, with line
// ends of every kind (CR LF, lone CR, lone LF, LF CR), repeated and case-varied
// names, colons in values and missing colons; now and then thousands of fields
// or a line of hundreds of kilobytes; sometimes mutated after it is built.
std::wstring RandomHeaderBlock(RandomInput& random);

// A token endpoint reply body: a JSON object from a small grammar (the token
// and error members with strings, numbers, literals, nested values, escapes
// valid and invalid, odd white space), a real reply mutated, or random text.
std::wstring RandomJsonReply(RandomInput& random);

// The name of a field that the block may hold, in some letter case, or a
// name that it does not hold.
std::wstring RandomHeaderName(RandomInput& random, const std::wstring& block);

// Body bytes of about byteCount bytes in one of the body encodings, with or
// without a byte-order mark or an XML declaration, possibly of odd length,
// with lone surrogates or invalid UTF-8.
Bytes RandomBody(RandomInput& random, size_t byteCount);

// The fields a header block holds, split independently of the library: a
// line ends at CR LF, a lone CR or a lone LF; the name is the text before the
// first colon (a to z made upper case when asked), the value the rest; the
// first field of a name wins; lines without a colon add nothing.
std::map<std::wstring, std::wstring> ReferenceHeaderFields(const std::wstring& block,
                                                           bool upperCaseNames);

}  // namespace robust
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_ROBUSTNESS_REPLYGENERATOR_H
