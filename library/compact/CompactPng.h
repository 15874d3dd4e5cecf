// A smaller PNG file of exactly the same pixels as the component's: the same header and
// palette, the image data compressed for what a barcode picture is (see RowDeflate.h) instead
// of stored.
#pragma once

#include <string>

// Replaces *png, a file as the component writes it (indexed colour, one IDAT of stored deflate
// blocks, rows without filters), by the compressed file. Any other file is left as it is:
// whatever is not the component's own form is no business of this one.
void CompactPng(std::string* png);
