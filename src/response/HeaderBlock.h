// Splitting of a response header block into a header map.
#ifndef OAUTH_RESPONSE_HEADERBLOCK_H
#define OAUTH_RESPONSE_HEADERBLOCK_H

#include "response/TextMap.h"

namespace OAuthClient {

// Adds the fields of a header block to map. A line ends at CR LF, at a lone
// CR or at a lone LF. A line without a colon (the status line, the empty line
// that ends the block) adds nothing; otherwise the name is everything before
// the first colon and the value everything after it, both verbatim (the
// space after the colon belongs to the value). With upperCaseNames, a to z in
// names become A to Z. The first field of a name wins. A null or empty text
// adds nothing.
//
// Throws std::bad_alloc when memory runs out; the map then holds the fields
// added before.
void ParseHeaderBlock(const wchar_t* text, TextMap& map, bool upperCaseNames);

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_HEADERBLOCK_H
