// The drawing objects behind the handles: brushes, drawing contexts and bitmaps (the bitmap's
// own structure is in BandedBitmap.h). Every object starts with a header that says its kind,
// so that a handle can be checked before it is used: a handle of the wrong kind fails the call
// instead of corrupting memory.
#pragma once

#include <cstdint>

#include "platform/winapi/Gdi.h"

namespace gdi {

constexpr std::uint32_t kObjectTag = 0x47444931;  // "GDI1"

enum class Kind : std::uint32_t { ScreenContext, MemoryContext, Bitmap, Brush };

struct Object {
    std::uint32_t tag;
    Kind kind;
    bool stock;  // never deleted, never counted
};

struct Bitmap;
struct DeviceContext;

struct Brush : Object {
    std::uint32_t pixel;  // the brush colour as a pixel word
    int selections;       // drawing contexts it is selected into
};

struct DeviceContext : Object {
    Bitmap* bitmap;
    Brush* brush;
    int map_mode;
    SIZE window_extent;
    POINT window_origin;
    POINT position;  // current position of the pen, logical units
};

// The object of a handle when it is of `kind`; null otherwise.
template <typename T>
T* ObjectOf(const void* handle, Kind kind) {
    if (handle == nullptr) return nullptr;
    auto* object = static_cast<Object*>(const_cast<void*>(handle));
    if (object->tag != kObjectTag || object->kind != kind) return nullptr;
    return static_cast<T*>(object);
}

// A screen or memory context; null for any other handle.
inline DeviceContext* ContextOf(HDC hdc) {
    if (hdc == nullptr) return nullptr;
    auto* object = reinterpret_cast<Object*>(hdc);
    if (object->tag != kObjectTag) return nullptr;
    if (object->kind != Kind::ScreenContext && object->kind != Kind::MemoryContext) {
        return nullptr;
    }
    return static_cast<DeviceContext*>(object);
}

// A pixel word: 0x00RRGGBB (bytes blue, green, red, 0: a 32-bit DIB's layout). Its top byte
// is zero, so kNoPixel is none of them.
constexpr std::uint32_t kNoPixel = 0xFFFFFFFF;

inline std::uint32_t PixelOf(COLORREF color) {
    return (static_cast<std::uint32_t>(GetRValue(color)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
}

inline COLORREF ColorOf(std::uint32_t pixel) {
    return RGB(static_cast<BYTE>(pixel >> 16), static_cast<BYTE>(pixel >> 8),
               static_cast<BYTE>(pixel));
}

}  // namespace gdi
