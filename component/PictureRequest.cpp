// PNGImage: draws the symbol into a picture and returns it as a PNG file in a byte array. The
// picture is drawn straight from the symbol's rows (QuillonState::DrawPicture), or painted on a
// memory device context and read back, as the tests that hold the two to each other ask.
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
        state_.ReleaseDrawnPicture();
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

HRESULT ReportUndrawable(QuillonState& q) {
    if (q.LastFit != SymbolFit::Fits) return ReportDataDoesNotFit(q);
    return ReportSymbolTooLarge(q);
}

// Paints the picture on a memory device context compatible with the screen and reads it back
// into CaptureBlock.
HRESULT PaintAndCapture(QuillonState& q, PictureResources& resources) {
    resources.screen = GetDC(nullptr);
    if (resources.screen == nullptr)
        return OutOfMemory(OLESTR("Not enough memory to reach the screen"));
    q.DrawDC = CreateCompatibleDC(resources.screen);
    if (q.DrawDC == nullptr) return OutOfMemory(OLESTR("Not enough memory for a drawing context"));
    resources.bitmap = CreateCompatibleBitmap(resources.screen, q.ImageWidth, q.ImageHeight);
    if (resources.bitmap == nullptr) {
        return OutOfMemory(OLESTR("Not enough memory for a picture of this Width and Height"));
    }
    resources.old_bitmap = SelectObject(q.DrawDC, resources.bitmap);
    SetMapMode(q.DrawDC, MM_TEXT);
    SetWindowExtEx(q.DrawDC, q.ImageWidth, q.ImageHeight, nullptr);
    SetWindowOrgEx(q.DrawDC, 0, 0, nullptr);
    q.OriginX = 0;
    q.OriginY = 0;

    if (!q.RenderSymbol()) return OutOfMemory(OLESTR("Not enough memory to draw the symbol"));
    if (q.LastFit != SymbolFit::Fits || !q.SymbolFitsCoordinates()) return ReportUndrawable(q);

    q.CaptureBlock = q.CaptureBitmap(resources.bitmap);
    if (q.CaptureBlock == nullptr)
        return OutOfMemory(OLESTR("Not enough memory to read the picture"));
    return S_OK;
}

// The palette, the zlib stream and the file, from the picture drawn or captured, into a new
// array created at the file's exact length.
HRESULT WritePngFile(QuillonState& q) {
    q.BuildPalette();
    if (!q.BuildZlibStream()) return OutOfMemory(OLESTR("Not enough memory for the image data"));
    q.OutputBounds.cElements = static_cast<ULONG>(q.PngFileLength());
    q.OutputBounds.lLbound = 0;
    q.OutputArray = SafeArrayCreate(VT_UI1, 1, &q.OutputBounds);
    if (q.OutputArray == nullptr) return OutOfMemory(OLESTR("Not enough memory for the PNG file"));
    q.OutputPosition = 0;
    q.WritePng();
    return S_OK;
}

}  // namespace

HRESULT CQuillon::get_PNGImage(VARIANT* pVal) {
    if (pVal == nullptr) return E_POINTER;
    PictureResources resources(*this);
    HRESULT hr = S_OK;
    if (DrawOnDevice) {
        hr = PaintAndCapture(*this, resources);
        if (SUCCEEDED(hr)) hr = WritePngFile(*this);
    } else {
        OriginX = 0;
        OriginY = 0;
        if (!ComputeModuleGeometry()) {
            return OutOfMemory(OLESTR("Not enough memory to draw the symbol"));
        }
        PlaceSymbol();
        if (LastFit != SymbolFit::Fits || !SymbolFitsCoordinates()) return ReportUndrawable(*this);
        if (!DrawPicture()) {
            return OutOfMemory(OLESTR("Not enough memory for a picture of this Width and Height"));
        }
        hr = WritePngFile(*this);
    }
    if (FAILED(hr)) return hr;

    // The array is handed over as it is: a copy would hold the same bytes.
    pVal->vt = VT_ARRAY | VT_UI1;
    pVal->parray = OutputArray;
    OutputArray = nullptr;
    return S_OK;
}
