// A blocking loopback client that sends exact bytes and reads whole responses, for tests
// that need control over the wire (pipelining, oversized requests, connection reuse).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>

class RawHttpClient {
public:
    // `host`: a loopback address, IPv4 or IPv6. A receive_buffer above 0 makes the socket's
    // receive buffer that small, for a client that reads slowly or not at all.
    explicit RawHttpClient(int port, const char* host = "127.0.0.1", int receive_buffer = 0) {
        sockaddr_in v4{};
        sockaddr_in6 v6{};
        const bool ipv6 = inet_pton(AF_INET6, host, &v6.sin6_addr) == 1;
        fd_ = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        timeval timeout{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (receive_buffer > 0) {
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        }
        if (ipv6) {
            v6.sin6_family = AF_INET6;
            v6.sin6_port = htons(static_cast<uint16_t>(port));
            connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&v6), sizeof v6) == 0;
        } else {
            v4.sin_family = AF_INET;
            v4.sin_port = htons(static_cast<uint16_t>(port));
            inet_pton(AF_INET, host, &v4.sin_addr);
            connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&v4), sizeof v4) == 0;
        }
    }
    ~RawHttpClient() { close(fd_); }
    RawHttpClient(const RawHttpClient&) = delete;
    RawHttpClient& operator=(const RawHttpClient&) = delete;

    bool connected() const { return connected_; }

    bool Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Closes the sending half: the server reads end of stream but can still answer.
    void FinishSending() { shutdown(fd_, SHUT_WR); }

    // One response: head and a body of Content-Length bytes (none for 304). Empty when the
    // connection closed or timed out first.
    std::string ReadResponse() {
        for (;;) {
            const std::size_t head_end = buffer_.find("\r\n\r\n");
            if (head_end != std::string::npos) {
                std::size_t length = 0;
                const std::size_t at = buffer_.find("Content-Length: ");
                if (at != std::string::npos && at < head_end) {
                    length = std::stoul(buffer_.substr(at + 16, head_end - at - 16));
                }
                if (buffer_.rfind("HTTP/1.1 304", 0) == 0) length = 0;
                if (buffer_.size() >= head_end + 4 + length) {
                    std::string response = buffer_.substr(0, head_end + 4 + length);
                    buffer_.erase(0, head_end + 4 + length);
                    return response;
                }
            }
            char chunk[65536];
            const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Everything until the server closes the connection (for HEAD, whose head announces a
    // body that never comes).
    std::string ReadUntilClosed() {
        std::string all = buffer_;
        buffer_.clear();
        char chunk[65536];
        for (ssize_t n; (n = recv(fd_, chunk, sizeof chunk, 0)) > 0;) {
            all.append(chunk, static_cast<std::size_t>(n));
        }
        return all;
    }

    // True when the server has closed the connection (reads end of stream).
    bool ClosedByServer() {
        char c;
        return recv(fd_, &c, 1, 0) == 0;
    }

    // Reads and counts what arrives until the server closes or resets the connection, or
    // nothing comes for the receive timeout.
    std::size_t DrainCount() {
        std::size_t total = buffer_.size();
        buffer_.clear();
        char chunk[65536];
        for (ssize_t n; (n = recv(fd_, chunk, sizeof chunk, 0)) > 0;) {
            total += static_cast<std::size_t>(n);
        }
        return total;
    }

    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};
