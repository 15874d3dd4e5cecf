// The drawing API: handles checked, logical coordinates turned into the picture's, and the
// work handed to the banded bitmap (gdi/: BandedBitmap.h, painting, lines). GetDIBits, the
// read-back, is in gdi/ReadBack.cpp.
#include "platform/winapi/Gdi.h"

#include <algorithm>
#include <new>

#include "platform/winapi/Memory.h"
#include "platform/winapi/gdi/BandedBitmap.h"
#include "platform/winapi/gdi/Lines.h"
#include "platform/winapi/gdi/Painting.h"

using gdi::Bitmap;
using gdi::Brush;
using gdi::ContextOf;
using gdi::DeviceContext;
using gdi::Kind;
using gdi::ObjectOf;

namespace {

// The stock objects a new memory context starts with: a bitmap of 0 × 0 pixels, which clips
// every drawing away, and the white brush. Shared by all threads and never written: stock
// objects take part in no counting.
constinit Bitmap stock_bitmap = [] {
    Bitmap bitmap{};
    bitmap.tag = gdi::kObjectTag;
    bitmap.kind = Kind::Bitmap;
    bitmap.stock = true;
    return bitmap;
}();
Brush stock_white_brush = {{gdi::kObjectTag, Kind::Brush, true}, 0x00FFFFFF, 0};

constexpr int kDefaultDpi = 96;

thread_local int screen_dpi_x = 0;
thread_local int screen_dpi_y = 0;

DeviceContext* MemoryContextOf(HDC hdc) {
    return ObjectOf<DeviceContext>(reinterpret_cast<void*>(hdc), Kind::MemoryContext);
}

template <typename T>
T* Allocate() {
    void* memory = CoTaskMemAlloc(sizeof(T));
    return memory == nullptr ? nullptr : new (memory) T{};
}

DeviceContext* NewContext(Kind kind) {
    auto* dc = Allocate<DeviceContext>();
    if (dc == nullptr) return nullptr;
    dc->tag = gdi::kObjectTag;
    dc->kind = kind;
    dc->stock = false;
    dc->bitmap = &stock_bitmap;
    dc->brush = &stock_white_brush;
    dc->map_mode = MM_TEXT;
    dc->window_extent = {1, 1};
    dc->window_origin = {0, 0};
    dc->position = {0, 0};
    return dc;
}

void FreeContext(DeviceContext* dc) {
    if (dc->bitmap != nullptr && !dc->bitmap->stock) dc->bitmap->selected_into = nullptr;
    if (dc->brush != nullptr && !dc->brush->stock) --dc->brush->selections;
    dc->tag = 0;
    CoTaskMemFree(dc);
}

// Logical to picture coordinates: the window origin is drawn at the top-left pixel. 64 bits,
// so that no logical coordinate and origin can overflow.
std::int64_t DeviceX(const DeviceContext* dc, std::int64_t x) {
    return x - dc->window_origin.x;
}
std::int64_t DeviceY(const DeviceContext* dc, std::int64_t y) {
    return y - dc->window_origin.y;
}

}  // namespace

HDC GetDC(HWND hwnd) {
    if (hwnd != nullptr) return nullptr;
    return reinterpret_cast<HDC>(NewContext(Kind::ScreenContext));
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (hwnd != nullptr) return 0;
    auto* dc = ObjectOf<DeviceContext>(reinterpret_cast<void*>(hdc), Kind::ScreenContext);
    if (dc == nullptr) return 0;
    FreeContext(dc);
    return 1;
}

int GetDeviceCaps(HDC hdc, int index) {
    if (ContextOf(hdc) == nullptr) return 0;
    switch (index) {
        case LOGPIXELSX:
            return screen_dpi_x > 0 ? screen_dpi_x : kDefaultDpi;
        case LOGPIXELSY:
            return screen_dpi_y > 0 ? screen_dpi_y : kDefaultDpi;
        default:
            return 0;
    }
}

void PlatformSetScreenResolution(int dpi_x, int dpi_y) {
    screen_dpi_x = dpi_x > 0 ? dpi_x : 0;
    screen_dpi_y = dpi_y > 0 ? dpi_y : 0;
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc != nullptr && ContextOf(hdc) == nullptr) return nullptr;
    return reinterpret_cast<HDC>(NewContext(Kind::MemoryContext));
}

BOOL DeleteDC(HDC hdc) {
    DeviceContext* dc = MemoryContextOf(hdc);
    if (dc == nullptr) return FALSE;
    FreeContext(dc);
    return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (ContextOf(hdc) == nullptr || cx < 1 || cy < 1) return nullptr;
    return reinterpret_cast<HBITMAP>(gdi::NewBitmap(cx, cy));
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto* brush = Allocate<Brush>();
    if (brush == nullptr) return nullptr;
    brush->tag = gdi::kObjectTag;
    brush->kind = Kind::Brush;
    brush->stock = false;
    brush->pixel = gdi::PixelOf(color);
    brush->selections = 0;
    return reinterpret_cast<HBRUSH>(brush);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr || h == nullptr) return nullptr;
    if (auto* bitmap = ObjectOf<Bitmap>(h, Kind::Bitmap)) {
        // Only a memory context holds a picture, and a picture is in one context at a time.
        if (dc->kind != Kind::MemoryContext) return nullptr;
        if (!bitmap->stock && bitmap->selected_into != nullptr && bitmap->selected_into != dc) {
            return nullptr;
        }
        Bitmap* previous = dc->bitmap;
        if (!previous->stock) previous->selected_into = nullptr;
        if (!bitmap->stock) bitmap->selected_into = dc;
        dc->bitmap = bitmap;
        return reinterpret_cast<HGDIOBJ>(previous);
    }
    if (auto* brush = ObjectOf<Brush>(h, Kind::Brush)) {
        Brush* previous = dc->brush;
        if (!previous->stock) --previous->selections;
        if (!brush->stock) ++brush->selections;
        dc->brush = brush;
        return reinterpret_cast<HGDIOBJ>(previous);
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ ho) {
    if (auto* bitmap = ObjectOf<Bitmap>(ho, Kind::Bitmap)) {
        if (bitmap->stock) return TRUE;
        if (bitmap->selected_into != nullptr) return FALSE;
        gdi::FreeBitmap(bitmap);
        return TRUE;
    }
    if (auto* brush = ObjectOf<Brush>(ho, Kind::Brush)) {
        if (brush->stock) return TRUE;
        if (brush->selections > 0) return FALSE;
        brush->tag = 0;
        CoTaskMemFree(brush);
        return TRUE;
    }
    return FALSE;
}

int SetMapMode(HDC hdc, int mode) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr || mode != MM_TEXT) return 0;
    const int previous = dc->map_mode;
    dc->map_mode = mode;
    return previous;
}

BOOL SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    if (lpsz != nullptr) *lpsz = dc->window_extent;
    dc->window_extent = {x, y};
    return TRUE;
}

BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    if (lppt != nullptr) *lppt = dc->window_origin;
    dc->window_origin = {x, y};
    return TRUE;
}

int FillRect(HDC hdc, const RECT* lprc, HBRUSH hbr) {
    // Each argument fails the call as soon as it is found wrong: with the checks joined in
    // one test at the end, the compiled code tested the context twice, on every bar drawn.
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr || lprc == nullptr) return 0;
    const Brush* brush = ObjectOf<Brush>(reinterpret_cast<void*>(hbr), Kind::Brush);
    if (brush == nullptr) return 0;
    // A context without a picture of its own has the stock bitmap, 0 × 0 pixels: every
    // rectangle is clipped away.
    Bitmap* bitmap = dc->bitmap;
    if (bitmap->lost ||
        !gdi::FillSpan(bitmap, DeviceX(dc, lprc->left), DeviceY(dc, lprc->top),
                       DeviceX(dc, lprc->right), DeviceY(dc, lprc->bottom), brush->pixel)) {
        return 0;
    }
    return 1;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    if (lppt != nullptr) *lppt = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    Bitmap* bitmap = dc->bitmap;
    const bool drawn = bitmap->rows == nullptr ||
                       (!bitmap->lost &&
                        gdi::DrawLine(bitmap, DeviceX(dc, dc->position.x),
                                      DeviceY(dc, dc->position.y), DeviceX(dc, x), DeviceY(dc, y)));
    dc->position = {x, y};
    return drawn ? TRUE : FALSE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    const DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return CLR_INVALID;
    Bitmap* bitmap = dc->bitmap;
    const std::int64_t dx = DeviceX(dc, x);
    const std::int64_t dy = DeviceY(dc, y);
    if (bitmap->lost || dx < 0 || dy < 0 || dx >= bitmap->width || dy >= bitmap->height) {
        return CLR_INVALID;
    }
    return gdi::ColorOf(gdi::PixelAt(*bitmap, dx, dy));
}
