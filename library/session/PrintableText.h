// Text that came from outside (a request, a command line, a file name, a registry entry) made
// safe to print in a message, a header or a log line: every character that could move the
// cursor, end the line, change a terminal's state or reorder what follows is written as a
// visible escape, and a long text is cut on a character boundary.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

enum class PrintableForm {
    kUtf8,    // printable characters stay as they are
    kAscii,   // every character above U+007E is escaped too
    kQuoted,  // '"' and '\\' are escaped too: for a field between double quotes, as in a log line
};

// Escapes: "\t", "\n", "\r"; "\xNN" for the other ASCII controls, for each byte that is not
// part of well-formed UTF-8 and, in the quoted form, for '"' and '\'; "\u{NNNN}" for the C1
// controls, the line and paragraph separators, the bidirectional controls and, in the ASCII
// form, every other non-ASCII character. A result longer than max_bytes is cut after the last whole
// character or escape that leaves room for "...", which is then appended; so the result is never
// longer than max_bytes (at least 3).
std::string PrintableText(std::string_view text,
                          std::size_t max_bytes = std::numeric_limits<std::size_t>::max(),
                          PrintableForm form = PrintableForm::kUtf8);
