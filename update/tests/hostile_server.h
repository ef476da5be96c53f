#pragma once
// A small HTTP server for the update's tests, on 127.0.0.1 and a port of
// its own, that answers each file with a scripted, possibly broken, reply:
// pieces sent with pauses between them, then the connection closed. It
// records every request line, whether a client asks it directly
// ("GET /files/... HTTP/1.1") or as a proxy ("GET http://host/files/...").
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace hostile {

struct Reply {
    std::vector<std::string> pieces;  // sent in order, with `pauseMs` between them
    DWORD pauseMs = 400;
    DWORD stallMs = 0;  // then nothing for this long (or until the client goes), the connection open
};

// A whole reply: status line, the headers given, a blank line and the body.
Reply http(int status, const std::string& headers, const std::string& body);
// 200 with a Content-Length of the body's size.
Reply ok(const std::string& body);
// 200 whose body arrives in two pieces: `first` bytes, a pause, the rest.
Reply okSplit(const std::string& body, size_t first);
// 200 announcing `announced` bytes, then closing after the body given.
Reply okCut(const std::string& body, size_t announced);
// `sent` (nothing, the headers, part of a body), then silence with the
// connection open, as a stalled server or a half-open connection.
Reply stall(const std::string& sent, DWORD stallMs = 60000);

std::string bytes(const std::vector<uint8_t>& data);

class Server {
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool start();  // false when no socket could be opened
    uint16_t port() const { return port_; }

    // The reply for every request whose path ends with `file`; a file
    // without a reply gets 404.
    void serve(const std::string& file, const Reply& reply);
    std::vector<std::string> requestLines();

private:
    static DWORD WINAPI acceptLoop(void* self);
    void answer(SOCKET client);

    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    HANDLE thread_ = nullptr;
    std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::vector<std::string> lines_;
};

}  // namespace hostile
