// The server's listening sockets: opened on every address of a name, or handed over already
// listening; and addresses as the server writes them.
#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

// Opens a listening socket on each address of `name` (an IPv4 or IPv6 address, [IPv6] as URLs
// write it, or a host name) at `port` (0: the first socket takes a free port, the others the
// same one), appending them to *listeners; false with a message when one cannot be opened.
bool ListenOn(const std::string& name, int port, std::vector<int>* listeners, std::string* error);
// Takes over sockets already listening (socket activation, --fd), appending them to
// *listeners; false with a message for one that is not a listening TCP or Unix stream socket.
bool TakeOverListening(const std::vector<int>& sockets, std::vector<int>* listeners,
                       std::string* error);

// "127.0.0.1:8080" or "[::1]:8080"; the host alone ("::1") without a port. A Unix socket's
// is "unix:" and its path ("unix:@name" for an abstract one), or "unix" for an unnamed one.
std::string AddressText(const sockaddr_storage& address, bool with_port);
// Where a socket listens: its port (0 for a Unix socket), its address with the port, and a
// URL to reach it by: "http://127.0.0.1:8080/", or the Unix socket's address.
int LocalPort(int socket);
std::string LocalAddressText(int socket);
std::string LocalUrl(int socket);
