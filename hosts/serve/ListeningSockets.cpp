#include "hosts/serve/ListeningSockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kBacklog = 1024;

int PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    return 0;
}

sockaddr_storage LocalAddress(int socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    return address;
}

// "unix:/run/quillon.sock"; an abstract name (its first byte NUL) as "unix:@name".
std::string UnixAddressText(const sockaddr_un& address) {
    std::string path(address.sun_path, strnlen(address.sun_path, sizeof address.sun_path));
    if (path.empty() && address.sun_path[1] != '\0') {
        path = "@" + std::string(address.sun_path + 1,
                                 strnlen(address.sun_path + 1, sizeof address.sun_path - 1));
    }
    return path.empty() ? "unix" : "unix:" + path;
}

void SetPort(sockaddr* address, int port) {
    if (address->sa_family == AF_INET) {
        reinterpret_cast<sockaddr_in*>(address)->sin_port = htons(static_cast<uint16_t>(port));
    } else if (address->sa_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(address)->sin6_port = htons(static_cast<uint16_t>(port));
    }
}

}  // namespace

std::string AddressText(const sockaddr_storage& address, bool with_port) {
    if (address.ss_family == AF_UNIX) {
        return UnixAddressText(reinterpret_cast<const sockaddr_un&>(address));
    }
    char text[INET6_ADDRSTRLEN] = "?";
    const bool v6 = address.ss_family == AF_INET6;
    if (v6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                  sizeof text);
    } else if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                  sizeof text);
    }
    if (!with_port) return text;
    return (v6 ? "[" + std::string(text) + "]" : std::string(text)) + ":" +
           std::to_string(PortOf(address));
}

int LocalPort(int socket) {
    return PortOf(LocalAddress(socket));
}

std::string LocalAddressText(int socket) {
    return AddressText(LocalAddress(socket), true);
}

std::string LocalUrl(int socket) {
    const sockaddr_storage address = LocalAddress(socket);
    const std::string text = AddressText(address, true);
    return address.ss_family == AF_UNIX ? text : "http://" + text + "/";
}

bool ListenOn(const std::string& name, int port, std::vector<int>* listeners, std::string* error) {
    std::string host = name;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);  // an IPv6 address as URLs write it
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (resolved != 0) {
        *error = "cannot find the address of '" + name + "': " + gai_strerror(resolved);
        return false;
    }
    std::vector<sockaddr_storage> bound;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        sockaddr_storage address{};
        std::memcpy(&address, a->ai_addr, a->ai_addrlen);
        SetPort(reinterpret_cast<sockaddr*>(&address), port);
        if (std::any_of(bound.begin(), bound.end(), [&](const sockaddr_storage& b) {
                return std::memcmp(&b, &address, sizeof b) == 0;
            })) {
            continue;  // a name may list the same address more than once
        }
        const int fd = socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        // SO_REUSEADDR only lets a restarted server bind while old connections linger; on
        // Linux it never lets two sockets listen on one port.
        const bool ok = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                        (a->ai_family != AF_INET6 ||
                         setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == 0) &&
                        bind(fd, reinterpret_cast<sockaddr*>(&address), a->ai_addrlen) == 0 &&
                        listen(fd, kBacklog) == 0;
        if (!ok) {
            *error = "cannot listen on " + AddressText(address, true) + ": " + std::strerror(errno);
            if (fd >= 0) close(fd);
            freeaddrinfo(found);
            return false;
        }
        listeners->push_back(fd);
        bound.push_back(address);
        if (port == 0) {  // the first socket chose a free port; the others take the same
            port = PortOf(LocalAddress(fd));
            SetPort(reinterpret_cast<sockaddr*>(&bound.back()), port);
        }
    }
    freeaddrinfo(found);
    return true;
}

bool TakeOverListening(const std::vector<int>& sockets, std::vector<int>* listeners,
                       std::string* error) {
    for (const int fd : sockets) {
        int type = 0;
        int listening = 0;
        socklen_t length = sizeof type;
        const bool stream =
            getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM;
        length = sizeof listening;
        const int family = LocalAddress(fd).ss_family;
        if (!stream || getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 ||
            listening == 0 || (family != AF_INET && family != AF_INET6 && family != AF_UNIX)) {
            *error = "descriptor " + std::to_string(fd) +
                     " is not a listening TCP or Unix stream socket";
            return false;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        listeners->push_back(fd);
    }
    return true;
}
