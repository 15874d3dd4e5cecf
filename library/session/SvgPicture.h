// The picture as SVG, for print: the same pixels as the PNG, drawn as rectangles on the
// picture's size as view box, so that any renderer draws it at any scale without blur.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "library/session/PngPixels.h"

// A rectangle of the background colour covers the picture: the palette's colour nearest to
// `background` (0xRRGGBB, the colour the picture was filled with before it was matched to the
// palette). Every run of pixels of another colour (the bars, a border) is a rectangle on it,
// and a run repeated in the rows below it (a symbol row is many pixel rows) is one taller
// rectangle; the rectangles of each colour make one path, so that restyling the bars is
// changing one fill.
std::string SvgPicture(const PalettePixels& pixels, std::uint32_t background);

// The SVG of a PNG file; false with *error saying why when it is not an indexed-colour PNG.
bool SvgFromPng(std::string_view png, std::uint32_t background, std::string* svg,
                std::string* error);
