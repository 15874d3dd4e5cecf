// Drawing: the part of gdi32 and user32 that the component draws and reads back pictures with.
// A "screen" of 96 pixels per inch, memory drawing contexts, 32-bit memory bitmaps, solid
// brushes, rectangle fills, one-pixel lines with the default black pen, the text mapping mode,
// and GetDIBits to 1 or 4 bits per pixel with the standard 16-colour table. Every object and
// every pixel buffer comes from CoTaskMemAlloc, so the allocation test hook reaches them all.
// How pictures are kept, and why drawing and reading them back is fast: gdi/BandedBitmap.h.
#pragma once

#include <cstddef>

#include "platform/winapi/WinTypes.h"

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

struct POINT {
    LONG x;
    LONG y;
};
using LPPOINT = POINT*;

struct SIZE {
    LONG cx;
    LONG cy;
};
using LPSIZE = SIZE*;

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // positive: rows stored bottom-up; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes on every platform");

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];  // as many entries as the bit count needs follow in memory
};
using LPBITMAPINFO = BITMAPINFO*;

constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int MM_TEXT = 1;
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) {
    return static_cast<BYTE>(c & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c) {
    return static_cast<BYTE>((c >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c) {
    return static_cast<BYTE>((c >> 16) & 0xFF);
}

// The screen's drawing context (hwnd must be null: there are no windows). Null when out of
// memory. Release it with ReleaseDC.
PLATFORM_API HDC GetDC(HWND hwnd);
PLATFORM_API int ReleaseDC(HWND hwnd, HDC hdc);
// LOGPIXELSX and LOGPIXELSY: the screen's pixels per logical inch (96 unless a test set
// another value); 0 for every other index.
PLATFORM_API int GetDeviceCaps(HDC hdc, int index);

// A memory drawing context. It starts with no picture of its own (drawing into it changes
// nothing until a bitmap is selected), the white stock brush, the black one-pixel pen, the
// text mapping mode and window origin (0, 0).
PLATFORM_API HDC CreateCompatibleDC(HDC hdc);
PLATFORM_API BOOL DeleteDC(HDC hdc);
// A 32-bit memory bitmap of cx × cy pixels, all black. Null for a size below 1 or when it
// cannot be allocated. Its memory grows with what is drawn (rows that show the same pixels
// share them), not with its size.
PLATFORM_API HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
PLATFORM_API HBRUSH CreateSolidBrush(COLORREF color);
// Selects a bitmap or a brush; returns the object of the same kind selected before (a stock
// object at first), or null on failure. A bitmap can be selected into one context at a time.
PLATFORM_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
// Deletes a bitmap or a brush. FALSE, and nothing deleted, while the object is selected into
// a drawing context; stock objects are never deleted.
PLATFORM_API BOOL DeleteObject(HGDIOBJ ho);

// Only the text mapping mode exists (one logical unit per pixel, y downward): other modes
// are refused with 0. The window extent is kept but, as in the text mode, not used; the
// window origin is the logical point drawn at the picture's top-left pixel.
PLATFORM_API int SetMapMode(HDC hdc, int mode);
PLATFORM_API BOOL SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz);
PLATFORM_API BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);

// Fills [left, right) × [top, bottom), clipped to the picture. 0 when the bitmap found no
// memory for what it would show; such a bitmap cannot be read back any more (GetDIBits and
// GetPixel fail), so that no picture is ever read with a drawing missing.
PLATFORM_API int FillRect(HDC hdc, const RECT* lprc, HBRUSH hbr);
// One-pixel lines with the default black pen: a line covers its start point, not its end.
// FALSE, as FillRect's 0, when the bitmap found no memory for the line.
PLATFORM_API BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
PLATFORM_API BOOL LineTo(HDC hdc, int x, int y);
// The colour of one pixel of the selected bitmap; CLR_INVALID outside it.
PLATFORM_API COLORREF GetPixel(HDC hdc, int x, int y);

// Copies scan lines start .. start + cLines − 1 of the bitmap (counted from the bottom for a
// bottom-up request, from the top for a top-down one) into lpvBits at 1, 4 or 32 bits per
// pixel, rows padded to 32-bit words, and writes the colour table (2 or 16 entries) after
// the header. At 1 bit every colour becomes black or white, at 4 bits the nearest colour of
// the standard 16-colour table (squared R, G, B distance, ties to the lower index).
// Returns the number of scan lines copied, 0 on failure.
PLATFORM_API int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                           LPBITMAPINFO lpbmi, UINT usage);

// Test hook, not part of the Windows API: the pixels per inch this thread's screen reports
// (LOGPIXELSX, LOGPIXELSY); 0 restores the usual 96.
PLATFORM_API void PlatformSetScreenResolution(int dpi_x, int dpi_y);

// The handle types are distinct here; on Windows a brush or bitmap handle converts to
// HGDIOBJ by itself, so these keep the calls written the same way.
inline HGDIOBJ SelectObject(HDC hdc, HBRUSH h) {
    return SelectObject(hdc, reinterpret_cast<HGDIOBJ>(h));
}
inline HGDIOBJ SelectObject(HDC hdc, HBITMAP h) {
    return SelectObject(hdc, reinterpret_cast<HGDIOBJ>(h));
}
inline HGDIOBJ SelectObject(HDC hdc, std::nullptr_t) {
    return SelectObject(hdc, static_cast<HGDIOBJ>(nullptr));
}
inline BOOL DeleteObject(std::nullptr_t) {
    return DeleteObject(static_cast<HGDIOBJ>(nullptr));
}
inline BOOL DeleteObject(HBRUSH h) {
    return DeleteObject(reinterpret_cast<HGDIOBJ>(h));
}
inline BOOL DeleteObject(HBITMAP h) {
    return DeleteObject(reinterpret_cast<HGDIOBJ>(h));
}
