// How UTF-8 text reaches Data so that the symbol carries exactly its UTF-8 bytes, with the
// whole capacity of Data for them. Data holds single-byte text of the thread's ANSI code
// page, so each byte goes in as the character that the code page turns back into that byte.
// Only a byte that no character gives, and the zero byte, which would end the text, need a
// ~dNNN escape; when one does, HandleTilde is turned on and every '~' is escaped as well, so
// that none starts an escape of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct CarriedBytes {
    std::u16string data;     // the Data value to put
    bool handle_tilde;       // the HandleTilde value to put with it
    std::size_t escapes;     // bytes written as five-character escapes
    std::size_t data_bytes;  // the bytes the Data text fills in the component
};

// Any byte string; the symbol of the result carries exactly these bytes.
CarriedBytes CarryBytes(std::string_view bytes);

// The offset of the first byte that is not part of well-formed UTF-8, or npos.
std::size_t FirstMalformedUtf8(std::string_view text);
