#include "update/tests/hostile_server.h"

#include <ws2tcpip.h>

namespace hostile {

Reply http(int status, const std::string& headers, const std::string& body) {
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
    Reply reply;
    reply.pieces.push_back("HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n" + headers +
                           "Connection: close\r\n\r\n" + body);
    return reply;
}

Reply ok(const std::string& body) {
    return http(200, "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

Reply okSplit(const std::string& body, size_t first) {
    Reply reply = http(200, "Content-Length: " + std::to_string(body.size()) + "\r\n", body.substr(0, first));
    reply.pieces.push_back(body.substr(first));
    return reply;
}

Reply okCut(const std::string& body, size_t announced) {
    return http(200, "Content-Length: " + std::to_string(announced) + "\r\n", body);
}

Reply stall(const std::string& sent, DWORD stallMs) {
    Reply reply;
    if (!sent.empty()) reply.pieces.push_back(sent);
    reply.stallMs = stallMs;
    return reply;
}

std::string bytes(const std::vector<uint8_t>& data) { return std::string(data.begin(), data.end()); }

Server::Server() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

Server::~Server() {
    if (listener_ != INVALID_SOCKET) closesocket(listener_);  // ends the accept loop
    if (thread_) {
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
    }
    WSACleanup();
}

bool Server::start() {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (listen(listener_, 16) != 0) return false;
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = CreateThread(nullptr, 0, acceptLoop, this, 0, nullptr);
    return thread_ != nullptr;
}

void Server::serve(const std::string& file, const Reply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[file] = reply;
}

std::vector<std::string> Server::requestLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

DWORD WINAPI Server::acceptLoop(void* self) {
    Server* server = static_cast<Server*>(self);
    for (;;) {
        SOCKET client = accept(server->listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return 0;
        server->answer(client);
        closesocket(client);
    }
}

void Server::answer(SOCKET client) {
    std::string request;
    char chunk[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const int got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) return;
        request.append(chunk, static_cast<size_t>(got));
    }
    const std::string line = request.substr(0, request.find("\r\n"));
    const size_t pathStart = line.find(' ') + 1;
    const std::string path = line.substr(pathStart, line.find(' ', pathStart) - pathStart);
    Reply reply = http(404, "Content-Length: 9\r\n", "not found");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
        for (const auto& [file, scripted] : replies_) {
            if (path.size() >= file.size() && path.compare(path.size() - file.size(), file.size(), file) == 0) {
                reply = scripted;
            }
        }
    }
    for (size_t i = 0; i < reply.pieces.size(); ++i) {
        if (i > 0) Sleep(reply.pauseMs);
        const std::string& piece = reply.pieces[i];
        send(client, piece.data(), static_cast<int>(piece.size()), 0);
    }
    if (reply.stallMs != 0) {
        // Silent, the connection open, until the client gives up or the stall ends.
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&reply.stallMs),
                   sizeof reply.stallMs);
        while (recv(client, chunk, sizeof chunk, 0) > 0) {
        }
        return;
    }
    shutdown(client, SD_SEND);
    const DWORD timeoutMs = 2000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    // Let the client read everything before the socket goes away.
    while (recv(client, chunk, sizeof chunk, 0) > 0) {
    }
}

}  // namespace hostile
