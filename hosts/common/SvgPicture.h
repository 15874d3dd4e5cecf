// The picture as SVG, for print: the same pixels as the PNG, drawn as rectangles on the
// picture's size as view box, so that any renderer draws it at any scale without blur.
#pragma once

#include <string>
#include <string_view>

#include "hosts/common/PngPixels.h"

// The most frequent colour is the background; every run of pixels of another colour is one
// rectangle, and a run repeated in the rows below it (a symbol row is many pixel rows) is
// one taller rectangle. Each colour is one path.
std::string SvgPicture(const PalettePixels& pixels);

// The SVG of a PNG file as the component writes it; false with *error saying why for any
// other file.
bool SvgFromPng(std::string_view png, std::string* svg, std::string* error);
