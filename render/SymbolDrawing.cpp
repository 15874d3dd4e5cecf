// The whole drawing: a measuring pass that encodes and sizes the symbol, centring, a painting
// pass, and the border.
#include "component/state/QuillonState.h"
#include "render/SymbolGeometry.h"

bool QuillonState::RenderSymbol() {
    BarBrush = CreateSolidBrush(BarColor);
    BackBrush = CreateSolidBrush(BackColor);
    const bool ready = BarBrush != nullptr && BackBrush != nullptr && ComputeModuleGeometry();
    if (ready) {
        MarginTop = MarginLeft = 0;
        MeasureOnly = TRUE;
        DrawSymbolPass();
        SymbolDepth = RowCursor;
        CentreSymbol(RunCursor);

        MeasureOnly = FALSE;
        SavedBrush = nullptr;
        DrawSymbolPass();
        if (BorderStyle == 1) DrawBorder(false);
        if (BorderStyle == 2) DrawBorder(true);
        if (SavedBrush != nullptr) SelectObject(DrawDC, SavedBrush);
    }
    if (BarBrush != nullptr) DeleteObject(BarBrush);
    if (BackBrush != nullptr) DeleteObject(BackBrush);
    BarBrush = BackBrush = nullptr;
    return ready;
}

// What the measuring pass finds, without a device to pass over: the rows' total depth, and
// their length, the same for every row.
void QuillonState::PlaceSymbol() {
    MarginTop = MarginLeft = 0;
    EncodeUnlessKept();
    const bool drawn = SymbolIsDrawable() && ActualRows > 0;
    SymbolDepth = drawn ? RowHeight * ActualRows : 0;
    CentreSymbol(drawn ? ModuleWidth * SymbolRowModules() : 0);
}

// Centred; an odd pixel left over goes after the symbol, and a symbol larger than the picture
// starts at its edge.
void QuillonState::CentreSymbol(std::int32_t rowLength) {
    const bool rows_run_across = RowsRunAcross(Orientation);
    const std::int32_t spare_across = (rows_run_across ? ImageHeight : ImageWidth) - SymbolDepth;
    const std::int32_t spare_along = (rows_run_across ? ImageWidth : ImageHeight) - rowLength;
    const std::int32_t margin_across = spare_across > 0 ? spare_across / 2 : 0;
    const std::int32_t margin_along = spare_along > 0 ? spare_along / 2 : 0;
    MarginTop = rows_run_across ? margin_across : margin_along;
    MarginLeft = rows_run_across ? margin_along : margin_across;
}

void QuillonState::DrawSymbolPass() {
    const int previous_mode = SetMapMode(DrawDC, MM_TEXT);
    if (!MeasureOnly) {
        SavedBrush = SelectObject(DrawDC, BackBrush);
        const RECT whole{OriginX, OriginY, OriginX + ImageWidth, OriginY + ImageHeight};
        FillRect(DrawDC, &whole, BackBrush);
    }
    const bool rows_run_across = RowsRunAcross(Orientation);
    RunCursor = rows_run_across ? MarginLeft : MarginTop;
    RowCursor = rows_run_across ? MarginTop : MarginLeft;
    if (MeasureOnly) EncodeUnlessKept();
    DrawRows();
    if (previous_mode != 0) SetMapMode(DrawDC, previous_mode);
}
