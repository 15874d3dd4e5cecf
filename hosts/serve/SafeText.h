// Text that came from a request, or a message that quotes it, made safe to put in a response
// header, an error body or a log line: a client must not be able to forge a header or a log
// line, move a terminal's cursor, or make a reader see text that is not there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Valid UTF-8 with every control character (C0, DEL, C1), every character that reorders or
// breaks lines on display, each byte of a malformed sequence, and '"' and '\' written as
// \xHH escapes. At most max_bytes of it are kept, cut between characters, with "..." added
// when something was left out.
std::string SafeText(std::string_view text, std::size_t max_bytes = std::string_view::npos);
