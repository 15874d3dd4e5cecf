// Failures the component reports to its caller: the error object for every failure, and the
// descriptions of a symbol that could not be built or drawn, for the page that asked for it.
#include "component/ComponentError.h"

#include <cstdint>
#include <string>
#include <vector>

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

// "1 column", "2 columns".
std::string Count(std::int32_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// A list as text: "a", "a or b", "a, b or c".
std::string Alternatives(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
        text += items[i];
    }
    return text;
}

// The MicroPDF417 sizes there are for what MicroColumns and MicroRows ask: the row counts of
// the columns asked for, the column counts of the rows asked for, or every size.
std::string MicroSizesThatExist(const QuillonState& state) {
    std::vector<std::string> rows, columns, all;
    for (const MicroPdf417Size& size : kMicroPdf417Sizes) {
        if (size.columns == state.MicroColumns) rows.push_back(std::to_string(size.rows));
        if (size.rows == state.MicroRows) columns.push_back(std::to_string(size.columns));
        all.push_back(std::to_string(size.columns) + " x " + std::to_string(size.rows));
    }
    if (!rows.empty()) {
        return "with " + Count(state.MicroColumns, "column") + " there are " + Alternatives(rows) +
               " rows";
    }
    if (!columns.empty()) {
        return "with " + Count(state.MicroRows, "row") + " there are " + Alternatives(columns) +
               " columns";
    }
    return "the sizes (columns x rows) are " + Alternatives(all);
}

HRESULT ReportMicroDoesNotFit(const QuillonState& state) {
    std::string asked;
    if (state.MicroColumns != kMicroColumnsChosen) {
        asked += " of " + Count(state.MicroColumns, "column");
    }
    if (state.MicroRows != kMicroRowsChosen) {
        asked += (asked.empty() ? " of " : " and ") + Count(state.MicroRows, "row");
    }
    if (state.LastFit == SymbolFit::NoSuchMicroSize) {
        return ReportText(QUILLON_E_DATA_DOES_NOT_FIT,
                          "There is no MicroPDF417 symbol" + asked +
                              " (MicroColumns, MicroRows): " + MicroSizesThatExist(state) + ".");
    }
    // The largest size asked for.
    const MicroPdf417Size* largest = nullptr;
    for (const MicroPdf417Size& size : kMicroPdf417Sizes) {
        if (IsMicroSizeAllowed(size, state.MicroColumns, state.MicroRows) &&
            (largest == nullptr || MicroDataCapacity(size) > MicroDataCapacity(*largest))) {
            largest = &size;
        }
    }
    std::string text = "The data does not fit in a MicroPDF417 symbol" + asked + ": it takes " +
                       std::to_string(state.CodewordCount) +
                       " codewords besides the error correction";
    if (largest != nullptr) {
        text += ", and " + Count(largest->columns, "column") + " x " + Count(largest->rows, "row") +
                " hold " + std::to_string(MicroDataCapacity(*largest));
    }
    text += ". Shorten the data";
    if (!asked.empty()) text += " or ask for a larger size (" + MicroSizesThatExist(state) + ")";
    return ReportText(QUILLON_E_DATA_DOES_NOT_FIT, text + ".");
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
    if (state.LastFit == SymbolFit::NoSuchMicroSize ||
        state.LastFit == SymbolFit::MicroSizeTooSmall) {
        return ReportMicroDoesNotFit(state);
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
