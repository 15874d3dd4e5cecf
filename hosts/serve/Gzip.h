// gzip content coding (zlib) for answers to clients that accept it. The host compresses; the
// component never does: its PNG files keep their stored blocks, byte for byte.
#pragma once

#include <string>
#include <string_view>

// True when an Accept-Encoding value takes gzip: named (or "*") with a weight above zero.
bool AcceptsGzip(std::string_view accept_encoding);

// The gzip file (RFC 1952) of `data`.
std::string Gzip(std::string_view data);
