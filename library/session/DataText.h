// How text and bytes reach Data. Data holds single-byte text of the thread's ANSI code page
// (Windows-1252), cut at its first zero byte.
//
// Bytes (UTF-8 text's, or any) go in so that the symbol carries exactly them, with the whole
// capacity of Data for them: each byte as the character that the code page turns back into
// that byte. Only a byte that no character gives, and the zero byte, which would end the text,
// need a ~dNNN escape; when one does, HandleTilde is turned on and every '~' is escaped as
// well, so that none starts an escape of its own.
//
// Text goes in as characters, and loses those the code page lacks (each becomes '?') and
// everything from a zero character on: TextLoss says what, so that a host can warn.
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

// Whether every byte is below 0x80.
bool IsAscii(std::string_view bytes);

// Any byte string; the symbol of the result carries exactly these bytes.
CarriedBytes CarryBytes(std::string_view bytes);

// The offset of the first byte that is not part of well-formed UTF-8, or npos.
std::size_t FirstMalformedUtf8(std::string_view text);

// What the component's text keeps of UTF-8 `text` put as Data: offsets count bytes of `text`.
struct TextLoss {
    std::size_t replaced = 0;  // characters, or malformed bytes, that become '?'
    std::size_t first_replaced = std::string_view::npos;
    std::size_t cut_at = std::string_view::npos;  // a zero character, where the text ends
};
TextLoss TextModeLoss(std::string_view text);
