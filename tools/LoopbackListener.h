// The loopback end of a native app's redirect (RFC 8252 7.3): a socket on
// 127.0.0.1 only, where the browser brings the authorization reply, and the
// short page that answers it.
#ifndef OAUTH_TOOLS_LOOPBACKLISTENER_H
#define OAUTH_TOOLS_LOOPBACKLISTENER_H

#include <winsock2.h>

#include <string>
#include <string_view>

namespace OAuthClient::Tool {

class LoopbackListener {
public:
    LoopbackListener() = default;
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    ~LoopbackListener();

    // Listens on 127.0.0.1:port, or a port the system picks for 0. False
    // with a sentence in *error.
    [[nodiscard]] bool Listen(int port, std::wstring* error);
    int port() const noexcept { return port_; }

    // Waits until deadline (a GetTickCount64 value) for a GET and gives its
    // request target ("/callback?code=..."); the connection stays open for
    // Answer. False when the time runs out.
    [[nodiscard]] bool Accept(unsigned long long deadline, std::string* target);

    // Answers the accepted request with a page and closes the connection.
    void Answer(int status, std::wstring_view title, std::wstring_view text);

private:
    void CloseClient();

    bool started_ = false;  // WSAStartup succeeded
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET client_ = INVALID_SOCKET;
    int port_ = 0;
};

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_LOOPBACKLISTENER_H
