// The WinHTTP handle owner of the component, on the project's one owner
// template.
#ifndef QZHTTPCLIENT_INTERNETHANDLE_H
#define QZHTTPCLIENT_INTERNETHANDLE_H

#include <windows.h>
#include <winhttp.h>

#include "UniqueHandle.h"

namespace OAuthClient {

using UniqueInternet = UniqueHandle<HINTERNET, WinHttpCloseHandle>;

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_INTERNETHANDLE_H
