// The description of a symbol that could not be built or drawn, for the page that asked for it.
#include <cstdint>
#include <string>

#include "component/ComponentError.h"
#include "component/state/QuillonState.h"

HRESULT ReportDataDoesNotFit(const QuillonState& state) {
    if (state.LastFit == SymbolFit::MacroSegmentOutsideSet) {
        const std::string text = "MacroSegmentIndex " + std::to_string(state.MacroSegmentIndex) +
                                 " is not below MacroSegmentCount " +
                                 std::to_string(state.MacroSegmentCount) +
                                 ": a segment's index counts from 0 within its set.";
        const std::basic_string<OLECHAR> description(text.begin(), text.end());
        return ReportError(E_INVALIDARG, description.c_str());
    }
    std::string text = "The data does not fit in a PDF417 symbol: ";
    if (state.LastFit == SymbolFit::TooManyRows) {
        // Dimensioning gave up with CodewordCount still holding what the data needs.
        text += std::to_string(state.CodewordCount) + " codewords need more than " +
                std::to_string(kMaxRows) + " rows even at " + std::to_string(kMaxColumns) +
                " columns.";
    } else {
        text += std::to_string(state.CodewordCount) + " codewords (" +
                std::to_string(state.Columns) + " columns x " + std::to_string(state.ActualRows) +
                " rows) are more than the " + std::to_string(kMaxSymbolCodewords) +
                " a symbol can hold.";
    }
    text += " Shorten the data or lower the ErrorCorrectionLevel";
    if (state.AutoErrorCorrection && state.AutoEccLevel > state.EccLevel) {
        text += " (AutoErrorCorrection raised it to " + std::to_string(state.AutoEccLevel) + ")";
    }
    text += ".";
    const std::basic_string<OLECHAR> description(text.begin(), text.end());
    return ReportError(QUILLON_E_DATA_DOES_NOT_FIT, description.c_str());
}

HRESULT ReportSymbolTooLarge(const QuillonState& state) {
    const std::string text = "The symbol would be " + std::to_string(state.SymbolWidthInPixels()) +
                             " x " + std::to_string(state.SymbolHeightInPixels()) +
                             " pixels, more than the " + std::to_string(INT32_MAX) +
                             " a side that can be drawn. Lower the NarrowBarWidth.";
    const std::basic_string<OLECHAR> description(text.begin(), text.end());
    return ReportError(E_INVALIDARG, description.c_str());
}
