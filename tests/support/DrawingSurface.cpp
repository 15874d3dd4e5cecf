#include "tests/support/DrawingSurface.h"

DrawingSurface::DrawingSurface(QuillonState& state)
    : state_(state), width_(state.ImageWidth), height_(state.ImageHeight) {
    screen_ = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen_);
    bitmap_ = CreateCompatibleBitmap(screen_, width_, height_);
    old_bitmap_ = SelectObject(dc_, bitmap_);
    SetMapMode(dc_, MM_TEXT);
    SetWindowExtEx(dc_, width_, height_, nullptr);
    SetWindowOrgEx(dc_, 0, 0, nullptr);
    state_.DrawDC = dc_;
    state_.OriginX = 0;
    state_.OriginY = 0;
}

DrawingSurface::~DrawingSurface() {
    state_.DrawDC = nullptr;
    SelectObject(dc_, old_bitmap_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
    ReleaseDC(nullptr, screen_);
}

std::vector<std::string> DrawingSurface::Mask(COLORREF color) const {
    std::vector<std::string> rows;
    for (int y = 0; y < height_; ++y) {
        std::string row;
        for (int x = 0; x < width_; ++x) row += At(x, y) == color ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

std::vector<int> DrawingSurface::RowRuns(int y, int from, int to, COLORREF first) const {
    std::vector<int> runs{0};
    bool in_first = true;
    for (int x = from; x < to; ++x) {
        const bool is_first = At(x, y) == first;
        if (is_first != in_first) {
            runs.push_back(0);
            in_first = is_first;
        }
        ++runs.back();
    }
    return runs;
}

int DrawingSurface::CountOf(COLORREF color) const {
    int count = 0;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) count += At(x, y) == color ? 1 : 0;
    }
    return count;
}

void LoadDefaultSymbol(QuillonState& state) {
    static const std::uint16_t kDefault[12] = {4,   901, 49,  50,  927, 827,
                                               662, 519, 846, 850, 132, 724};
    state.Columns = 3;
    state.ActualRows = 4;
    state.EccLevel = 2;
    state.CodewordCount = 12;
    state.LastFit = SymbolFit::Fits;
    for (int i = 0; i < 12; ++i) state.CodewordBuffer.SymbolCodewords[i] = kDefault[i];
}
