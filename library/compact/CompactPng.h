// A smaller PNG file of exactly the same pixels as the component's: the same header and
// palette, the image data compressed for what a barcode picture is (see RowDeflate.h) instead
// of stored.
#pragma once

#include <string>
#include <string_view>

// The compressed file of `stored`, a file as the component writes it (indexed colour, one
// IDAT of stored deflate blocks, rows without filters), into *compact; false, with *compact
// unspecified, for any other file, whose form is no business of this one, and when the
// compressed file would not be smaller.
bool CompactPng(std::string_view stored, std::string* compact);
// The same in place: *png is replaced by its compressed file, or left as it is.
void CompactPng(std::string* png);
