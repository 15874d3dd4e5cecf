// A memory picture of a state's ImageWidth × ImageHeight pixels, set up as the picture
// request sets it up (DrawDC with the bitmap selected, one logical unit per pixel, origin 0),
// for tests that draw with the renderer directly. Everything is released at the end.
#pragma once

#include <string>
#include <vector>

#include "component/state/QuillonState.h"

class DrawingSurface {
public:
    explicit DrawingSurface(QuillonState& state);
    ~DrawingSurface();
    DrawingSurface(const DrawingSurface&) = delete;
    DrawingSurface& operator=(const DrawingSurface&) = delete;

    HBITMAP bitmap() const { return bitmap_; }
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    // Rows of '#' where the pixel has `color` and '.' elsewhere.
    std::vector<std::string> Mask(COLORREF color) const;
    // The pixels of one row (or column) as alternating run lengths, starting with a run of
    // `first` colour (a leading 0 when the line starts with the other colour).
    std::vector<int> RowRuns(int y, int from, int to, COLORREF first) const;
    int CountOf(COLORREF color) const;

private:
    QuillonState& state_;
    int width_;
    int height_;
    HDC screen_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_bitmap_ = nullptr;
};

// The default symbol ("12", byte compaction, level 2, 3 columns, 4 rows) as the encoder
// leaves it: 4, 901, 49, 50, 927, 827, 662, 519, 846, 850, 132, 724, worked out by hand.
void LoadDefaultSymbol(QuillonState& state);
