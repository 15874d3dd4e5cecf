// PNGImage: draws the symbol into a memory picture, reads it back, and returns it as a PNG
// file in a byte array.
#include "component/CQuillon.h"
#include "component/ComponentError.h"

namespace {

// The platform resources of one request, released in reverse order of creation whatever
// way the request ends.
class PictureResources {
public:
    explicit PictureResources(QuillonState& state) : state_(state) {}
    ~PictureResources() {
        state_.ReleasePngBuffers();
        if (state_.OutputArray != nullptr) SafeArrayDestroy(state_.OutputArray);
        state_.OutputArray = nullptr;
        if (state_.DrawDC != nullptr) {
            if (old_bitmap != nullptr) SelectObject(state_.DrawDC, old_bitmap);
            DeleteDC(state_.DrawDC);
            state_.DrawDC = nullptr;
        }
        if (screen != nullptr) ReleaseDC(nullptr, screen);
        if (bitmap != nullptr) DeleteObject(bitmap);
        if (state_.CaptureBlock != nullptr) GlobalFree(state_.CaptureBlock);
        state_.CaptureBlock = nullptr;
    }
    PictureResources(const PictureResources&) = delete;
    PictureResources& operator=(const PictureResources&) = delete;

    HDC screen = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old_bitmap = nullptr;

private:
    QuillonState& state_;
};

HRESULT OutOfMemory(LPCOLESTR what) {
    return ReportError(E_OUTOFMEMORY, what);
}

}  // namespace

HRESULT CQuillon::get_PNGImage(VARIANT* pVal) {
    if (pVal == nullptr) return E_POINTER;
    PictureResources resources(*this);

    resources.screen = GetDC(nullptr);
    if (resources.screen == nullptr)
        return OutOfMemory(OLESTR("Not enough memory to reach the screen"));
    DrawDC = CreateCompatibleDC(resources.screen);
    if (DrawDC == nullptr) return OutOfMemory(OLESTR("Not enough memory for a drawing context"));
    resources.bitmap = CreateCompatibleBitmap(resources.screen, ImageWidth, ImageHeight);
    if (resources.bitmap == nullptr) {
        return OutOfMemory(OLESTR("Not enough memory for a picture of this Width and Height"));
    }
    resources.old_bitmap = SelectObject(DrawDC, resources.bitmap);
    SetMapMode(DrawDC, MM_TEXT);
    SetWindowExtEx(DrawDC, ImageWidth, ImageHeight, nullptr);
    SetWindowOrgEx(DrawDC, 0, 0, nullptr);
    OriginX = 0;
    OriginY = 0;

    if (!RenderSymbol()) return OutOfMemory(OLESTR("Not enough memory to draw the symbol"));
    if (LastFit != SymbolFit::Fits) return ReportDataDoesNotFit(*this);
    if (!SymbolFitsCoordinates()) return ReportSymbolTooLarge(*this);

    CaptureBlock = CaptureBitmap(resources.bitmap);
    if (CaptureBlock == nullptr)
        return OutOfMemory(OLESTR("Not enough memory to read the picture"));
    BuildPalette();
    if (!BuildZlibStream()) return OutOfMemory(OLESTR("Not enough memory for the image data"));

    OutputBounds.cElements = static_cast<ULONG>(PngFileLength());
    OutputBounds.lLbound = 0;
    OutputArray = SafeArrayCreate(VT_UI1, 1, &OutputBounds);
    if (OutputArray == nullptr) return OutOfMemory(OLESTR("Not enough memory for the PNG file"));
    OutputPosition = 0;
    WritePng();

    // The array is handed over as it is: a copy would hold the same bytes.
    pVal->vt = VT_ARRAY | VT_UI1;
    pVal->parray = OutputArray;
    OutputArray = nullptr;
    return S_OK;
}
