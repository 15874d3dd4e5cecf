#include "render/SymbolPicture.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "render/CaptureColours.h"
#include "render/PixelMask.h"
#include "render/SymbolGeometry.h"

namespace {

// The frame's dashes are four-pixel slots, every other one drawn, the last drawn one of an
// edge stretched to just short of the far corner (QuillonState::DrawBorder).
constexpr std::int64_t kDashSlot = 4;

// Sets the bits [first, end) of a row whose first bit is the highest of its first byte to
// those of `pattern`.
void FillBits(BYTE* row, std::int64_t first, std::int64_t end, BYTE pattern) {
    const std::int64_t first_byte = first / 8;
    const std::int64_t last_byte = (end - 1) / 8;
    const auto head = static_cast<BYTE>(0xFF >> (first % 8));
    const auto tail = static_cast<BYTE>(0xFF << (7 - (end - 1) % 8));
    if (first_byte == last_byte) {
        const auto mask = static_cast<BYTE>(head & tail);
        row[first_byte] = static_cast<BYTE>((row[first_byte] & ~mask) | (pattern & mask));
        return;
    }
    row[first_byte] = static_cast<BYTE>((row[first_byte] & ~head) | (pattern & head));
    std::memset(row + first_byte + 1, pattern,
                static_cast<std::size_t>(last_byte - first_byte - 1));
    row[last_byte] = static_cast<BYTE>((row[last_byte] & ~tail) | (pattern & tail));
}

}  // namespace

SymbolPicture::SymbolPicture(const QuillonState& q) : q_(q) {
    bits_ = q.BackColorBits == 1 && q.BarColorBits == 1 ? 1 : 4;
    table_ = bits_ == 1 ? kMonochromeTable : kStandardColourTable;
    width_ = q.ImageWidth;
    height_ = q.ImageHeight;
    back_ = NearestCaptureEntry(q.BackColor, bits_);
    bar_ = NearestCaptureEntry(q.BarColor, bits_);
    pen_ = NearestCaptureEntry(0x000000, bits_);  // the default pen is black
    across_ = RowsRunAcross(q.Orientation);
    drawable_ = q.SymbolIsDrawable() && q.ActualRows > 0 && q.RowHeight > 0;
    // Along the rows, Orientation 1 and 2 count from the picture's far edge back.
    const bool counts_down = q.Orientation == 1 || q.Orientation == 2;
    const std::int64_t margin = across_ ? q.MarginLeft : q.MarginTop;
    along_step_ = counts_down ? -1 : 1;
    along_start_ = counts_down ? (across_ ? width_ : height_) - margin : margin;
    row_bytes_ = (static_cast<std::size_t>(width_) * static_cast<std::size_t>(bits_) + 7) / 8;
    mask_words_ = static_cast<std::size_t>(pixel_mask::WordsFor(width_)) + 1;
}

bool SymbolPicture::Allocate() {
    content_row_.reset(static_cast<BYTE*>(CoTaskMemAlloc(row_bytes_ + pixel_mask::kPackSlack)));
    out_row_.reset(static_cast<BYTE*>(CoTaskMemAlloc(row_bytes_ + pixel_mask::kPackSlack)));
    mask_.reset(static_cast<std::uint64_t*>(CoTaskMemAlloc(mask_words_ * sizeof(std::uint64_t))));
    if (!content_row_ || !out_row_ || !mask_) return false;
    if (across_ || !drawable_) return true;
    // A turned symbol's picture rows cross every row of the symbol at one module along it.
    const std::int32_t modules = q_.SymbolRowModules();
    const std::size_t words = static_cast<std::size_t>(modules) * kColumnWords;
    columns_.reset(static_cast<std::uint64_t*>(CoTaskMemAlloc(words * sizeof(std::uint64_t))));
    if (!columns_) return false;
    std::fill_n(columns_.get(), words, 0);
    for (std::int32_t r = 0; r < q_.ActualRows; ++r) {
        ModuleRow row;
        q_.AssembleRow(r, row);
        const std::uint64_t bit = std::uint64_t{1} << (r % 64);
        row.ForEachBar([&](std::int32_t first, std::int32_t count) {
            for (std::int32_t i = first; i < first + count; ++i) {
                columns_[static_cast<std::size_t>(i) * kColumnWords + r / 64] |= bit;
            }
        });
    }
    return true;
}

SymbolPicture::Stretch SymbolPicture::ContentAt(std::int64_t y) const {
    const std::int64_t end_of_picture = height_;
    if (!drawable_) return {end_of_picture, kBackground};
    const std::int64_t rows = q_.ActualRows;
    if (across_) {
        const std::int64_t first = q_.MarginTop;
        const std::int64_t step = q_.RowHeight;
        if (y < first) return {first, kBackground};
        const std::int64_t k = (y - first) / step;
        if (k >= rows) return {end_of_picture, kBackground};
        return {first + step * (k + 1), q_.Orientation == 0 ? k : rows - 1 - k};
    }
    // Module i lies along [start + m·i, start + m·(i + 1)) counting up, or
    // [start − m·(i + 1), start − m·i) counting down; modules whose columns are the same make
    // one stretch.
    const std::int64_t modules = q_.SymbolRowModules();
    const std::int64_t m = q_.ModuleWidth;
    const std::int64_t start = along_start_;
    const auto same_column = [&](std::int64_t a, std::int64_t b) {
        return std::equal(&columns_[a * kColumnWords], &columns_[a * kColumnWords + kColumnWords],
                          &columns_[b * kColumnWords]);
    };
    if (along_step_ > 0) {
        if (y < start) return {start, kBackground};
        std::int64_t i = (y - start) / m;
        if (i >= modules) return {end_of_picture, kBackground};
        const std::int64_t content = i;
        while (i + 1 < modules && same_column(i + 1, content)) ++i;
        return {start + m * (i + 1), content};
    }
    if (y >= start) return {end_of_picture, kBackground};
    std::int64_t i = (start - 1 - y) / m;
    if (i >= modules) return {start - m * modules, kBackground};
    const std::int64_t content = i;
    while (i > 0 && same_column(i - 1, content)) --i;
    return {start - m * i, content};
}

std::int64_t SymbolPicture::FrameChangeAfter(std::int64_t y) const {
    const std::int64_t last = std::int64_t{height_} - 1;
    std::int64_t next = height_;
    const auto consider = [&](std::int64_t row) {
        if (row > y && row < next) next = row;
    };
    if (q_.BorderStyle == 2) {
        consider(1);
        consider(last);
    } else if (q_.BorderStyle == 1) {
        for (const std::int64_t row : {std::int64_t{1}, std::int64_t{2}, last}) consider(row);
        consider((y / kDashSlot + 1) * kDashSlot);
    }
    return next;
}

// Whether a dash down the sides covers row y: that of slot y / 4, or the slot before it,
// stretched. The slots' turns go on from those along the top, so that slot j is drawn when
// the top's slots and j together are even.
bool SymbolPicture::DashCoversSide(std::int64_t y) const {
    const std::int64_t slots = height_ / kDashSlot;
    const std::int64_t top_slots = width_ / kDashSlot;
    for (std::int64_t j = y / kDashSlot - 1; j <= y / kDashSlot; ++j) {
        if (j < 0 || j >= slots || (top_slots + j) % 2 != 0) continue;
        const std::int64_t begin = kDashSlot * j;
        const std::int64_t end =
            kDashSlot * j + 2 * kDashSlot > height_ - 1 ? height_ - 1 : begin + kDashSlot;
        if (y >= begin && y < end) return true;
    }
    return false;
}

void SymbolPicture::Fill(BYTE* row, std::int64_t left, std::int64_t right, int entry) const {
    left = std::max<std::int64_t>(left, 0);
    right = std::min<std::int64_t>(right, width_);
    if (left >= right) return;
    const auto pattern = static_cast<BYTE>(bits_ == 1 ? entry * 0xFF : entry * 0x11);
    FillBits(row, left * bits_, right * bits_, pattern);
}

void SymbolPicture::PackContent(std::int64_t content, BYTE* row) const {
    std::uint64_t* mask = mask_.get();
    std::fill_n(mask, mask_words_, 0);
    if (content == kBackground) {
        // No bar: nothing to set.
    } else if (across_) {
        // Laid out left to right from the margin, then turned round for Orientation 2, whose
        // rows read from the right.
        ModuleRow modules;
        q_.AssembleRow(static_cast<std::int32_t>(content), modules);
        pixel_mask::SpreadModules(modules, q_.ModuleWidth, q_.MarginLeft, width_, mask);
        if (q_.Orientation == 2) pixel_mask::Mirror(mask, width_);
    } else {
        // Each run of the symbol's rows with a bar here is one span across; rows lie from the
        // left in order, or in reverse order for Orientation 3.
        const std::int64_t h = q_.RowHeight;
        const std::int64_t rows = q_.ActualRows;
        const std::int64_t margin = q_.MarginLeft;
        const std::uint64_t* column = &columns_[content * kColumnWords];
        for (int w = 0; w < kColumnWords; ++w) {
            std::uint64_t bars = column[w];
            while (bars != 0) {
                const int low = std::countr_zero(bars);
                const int run = std::countr_one(bars >> low);
                const std::int64_t r0 = 64 * w + low;
                const std::int64_t r1 = r0 + run;  // one past the run
                if (q_.Orientation == 3) {
                    pixel_mask::Fill(mask, width_, margin + h * (rows - r1),
                                     margin + h * (rows - r0));
                } else {
                    pixel_mask::Fill(mask, width_, margin + h * r0, margin + h * r1);
                }
                bars = run + low >= 64 ? 0 : bars & (~std::uint64_t{0} << (low + run));
            }
        }
    }
    pixel_mask::Pack(mask, width_, bits_, bar_, back_, row);
}

void SymbolPicture::DrawFrame(std::int64_t y, BYTE* row) const {
    const std::int64_t last = std::int64_t{height_} - 1;
    if (q_.BorderStyle == 2) {
        if (y == 0 || y == last) {
            Fill(row, 0, width_, pen_);
        } else {
            Fill(row, 0, 1, pen_);
            Fill(row, width_ - 1, width_, pen_);
        }
        return;
    }
    if (y == 1 || y == last) {
        const std::int64_t slots = width_ / kDashSlot;
        for (std::int64_t i = 0; i < slots; i += 2) {
            const std::int64_t begin = kDashSlot * i;
            const std::int64_t end =
                begin + 2 * kDashSlot > std::int64_t{width_} - 1 ? width_ - 1 : begin + kDashSlot;
            Fill(row, begin, end, pen_);
        }
    }
    if (DashCoversSide(y)) {
        Fill(row, 0, 1, pen_);
        Fill(row, width_ - 1, width_, pen_);
    }
}

void SymbolPicture::ForEachRun(RunVisitor visit) const {
    const bool framed = q_.BorderStyle == 1 || q_.BorderStyle == 2;
    const std::int64_t last = std::int64_t{height_} - 1;
    std::int64_t packed = kBackground - 1;  // none yet
    for (std::int64_t y = 0; y < height_;) {
        const Stretch stretch = ContentAt(y);
        const std::int64_t end = std::min(stretch.end, FrameChangeAfter(y));
        if (stretch.content != packed) {
            PackContent(stretch.content, content_row_.get());
            packed = stretch.content;
        }
        const BYTE* row = content_row_.get();
        if (framed && (q_.BorderStyle == 2 || y == 1 || y == last || DashCoversSide(y))) {
            std::memcpy(out_row_.get(), row, row_bytes_);
            DrawFrame(y, out_row_.get());
            row = out_row_.get();
        }
        if (!visit(row, static_cast<std::int32_t>(end - y))) return;
        y = end;
    }
}

bool QuillonState::DrawPicture() {
    ReleaseDrawnPicture();
    void* place = CoTaskMemAlloc(sizeof(SymbolPicture));
    if (place == nullptr) return false;
    DrawnPicture = new (place) SymbolPicture(*this);
    if (DrawnPicture->Allocate()) return true;
    ReleaseDrawnPicture();
    return false;
}

DrawnRowsFormat QuillonState::DrawnPictureFormat() const {
    return DrawnPicture->Format();
}

void QuillonState::ForEachDrawnRun(RunVisitor visit) const {
    DrawnPicture->ForEachRun(visit);
}

void QuillonState::ReleaseDrawnPicture() {
    if (DrawnPicture == nullptr) return;
    DrawnPicture->~SymbolPicture();
    CoTaskMemFree(DrawnPicture);
    DrawnPicture = nullptr;
}
