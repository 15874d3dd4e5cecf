// Failures the component reports to its caller: the error object for every failure, and the
// descriptions of a symbol that could not be built or drawn, for the page that asked for it.
#include "component/ComponentError.h"

#include <cstdint>
#include <string>

#include "component/state/QuillonState.h"
#include "platform/common/ErrorReporting.h"

HRESULT ReportError(HRESULT hr, LPCOLESTR description, REFIID iid) {
    return platform::ReportError(hr, iid, kQuillonProgId, description);
}

namespace {

HRESULT ReportText(HRESULT hr, const std::string& text) {
    const std::basic_string<OLECHAR> description(text.begin(), text.end());
    return ReportError(hr, description.c_str());
}

}  // namespace

HRESULT ReportDataDoesNotFit(const QuillonState& state) {
    if (state.LastFit == SymbolFit::MacroSegmentOutsideSet) {
        return ReportText(E_INVALIDARG, "MacroSegmentIndex " +
                                            std::to_string(state.MacroSegmentIndex) +
                                            " is not below MacroSegmentCount " +
                                            std::to_string(state.MacroSegmentCount) +
                                            ": a segment's index counts from 0 within its set.");
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
    return ReportText(QUILLON_E_DATA_DOES_NOT_FIT, text + ".");
}

HRESULT ReportSymbolTooLarge(const QuillonState& state) {
    return ReportText(E_INVALIDARG, "The symbol would be " +
                                        std::to_string(state.SymbolWidthInPixels()) + " x " +
                                        std::to_string(state.SymbolHeightInPixels()) +
                                        " pixels, more than the " + std::to_string(INT32_MAX) +
                                        " a side that can be drawn. Lower the NarrowBarWidth.");
}
