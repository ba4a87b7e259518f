#include "LoopbackListener.h"

#include <windows.h>

#include <algorithm>

#include "Console.h"
#include "ResultText.h"

namespace OAuthClient::Tool {

namespace {

// A browser may open a connection it never uses (a speculative one): a
// connection whose request is not complete this long after it was accepted
// is dropped and the wait goes on. A bound on the whole request, not on each
// silence, so that a client sending a byte now and then cannot hold the one
// thread past the deadline or keep the browser's redirect waiting.
constexpr unsigned long long kRequestMilliseconds = 3000;
constexpr size_t kMaxRequestBytes = 16 * 1024;

// Waits until socket is readable or the time runs out.
bool WaitReadable(SOCKET socket, DWORD milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait{static_cast<long>(milliseconds / 1000),
                 static_cast<long>(milliseconds % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

std::wstring HtmlEscaped(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
            case L'<':
                out += L"&lt;";
                break;
            case L'>':
                out += L"&gt;";
                break;
            case L'&':
                out += L"&amp;";
                break;
            case L'"':
                out += L"&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

LoopbackListener::~LoopbackListener() {
    CloseClient();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (started_) WSACleanup();
}

void LoopbackListener::CloseClient() {
    if (client_ == INVALID_SOCKET) return;
    shutdown(client_, SD_SEND);
    closesocket(client_);
    client_ = INVALID_SOCKET;
}

bool LoopbackListener::Listen(int port, std::wstring* error) {
    WSADATA data;
    const int started = WSAStartup(MAKEWORD(2, 2), &data);
    if (started != 0) {
        *error = L"cannot start Windows Sockets (" + DescribeSystemError(started) + L")";
        return false;
    }
    started_ = true;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    int length = sizeof address;
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, SOMAXCONN) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = L"cannot listen on 127.0.0.1:" + std::to_wstring(port) + L" (" +
                 DescribeSystemError(WSAGetLastError()) + L")";
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

bool LoopbackListener::Accept(unsigned long long deadline, std::string* target) {
    for (;;) {
        CloseClient();
        const unsigned long long now = GetTickCount64();
        if (now >= deadline) return false;
        if (!WaitReadable(listener_, static_cast<DWORD>(std::min(deadline - now, 60000ull)))) {
            continue;
        }
        client_ = accept(listener_, nullptr, nullptr);
        if (client_ == INVALID_SOCKET) continue;
        const unsigned long long requestEnd =
            std::min(deadline, GetTickCount64() + kRequestMilliseconds);
        std::string request;
        char chunk[2048];
        for (;;) {
            if (request.find("\r\n\r\n") != std::string::npos ||
                request.size() >= kMaxRequestBytes) {
                break;
            }
            const unsigned long long at = GetTickCount64();
            if (at >= requestEnd || !WaitReadable(client_, static_cast<DWORD>(requestEnd - at))) {
                break;
            }
            const int got = recv(client_, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            request.append(chunk, static_cast<size_t>(got));
        }
        // "GET /path?query HTTP/1.1": only the request line matters.
        const size_t lineEnd = request.find("\r\n");
        const size_t space = request.find(' ');
        if (lineEnd == std::string::npos || request.compare(0, 4, "GET ") != 0) continue;
        const size_t targetEnd = request.find(' ', space + 1);
        if (targetEnd == std::string::npos || targetEnd > lineEnd) continue;
        *target = request.substr(space + 1, targetEnd - space - 1);
        return true;
    }
}

void LoopbackListener::Answer(int status, std::wstring_view title, std::wstring_view text) {
    if (client_ == INVALID_SOCKET) return;
    const std::string page =
        ToUtf8(L"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
               HtmlEscaped(title) + L"</title></head>\n<body><h1>" + HtmlEscaped(title) +
               L"</h1><p>" + HtmlEscaped(text) + L"</p></body></html>\n");
    const std::string head = "HTTP/1.1 " + std::to_string(status) +
                             (status == 200   ? " OK"
                              : status == 404 ? " Not Found"
                                              : " Bad Request") +
                             "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                             std::to_string(page.size()) +
                             "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    const std::string reply = head + page;
    size_t sent = 0;
    while (sent < reply.size()) {
        const int done =
            send(client_, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
        if (done <= 0) break;
        sent += static_cast<size_t>(done);
    }
    CloseClient();
}

}  // namespace OAuthClient::Tool
