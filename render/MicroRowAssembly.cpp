// Row assembly of a MicroPDF417 symbol: the left row address pattern, the row's codewords with
// a centre row address pattern among them in symbols of three and four columns, the right row
// address pattern and the stop bar. Each column's patterns go on from its size's starting
// pattern one a row, round the table; the left one's number tells the row's cluster.
#include "component/state/QuillonState.h"
#include "render/ClusterPatternTable.h"
#include "render/ModuleRow.h"
#include "render/RowAddressPatternTable.h"
#include "render/SymbolGeometry.h"

namespace {

// Pattern number `first` (1 to 52) moved on by `rows`, as an index into its table.
std::int32_t PatternIndex(std::int32_t first, std::int32_t rows) {
    return (first - 1 + rows) % kRowAddressPatterns;
}

// The data column the centre pattern comes before: the second of three, the third of four.
std::int32_t CentreColumn(std::int32_t columns) {
    return columns == 3 ? 1 : columns == 4 ? 2 : columns;
}

}  // namespace

void QuillonState::AssembleMicroRow(std::int32_t r, ModuleRow& row) const {
    const MicroPdf417Size& size = kMicroPdf417Sizes[MicroSize];
    const std::int32_t left = PatternIndex(size.leftRap, r);
    // Numbers 1, 4, 7, ... take cluster 0, then 3, then 6: one table block each.
    const std::uint32_t* cluster = ClusterPatternTable + left % kClusterBlocks * kCodewordValues;
    const std::uint16_t* codeword = CodewordBuffer.SymbolCodewords + r * Columns;
    row.Append(kSideRowAddressPatterns[left], kRowAddressModules);
    for (std::int32_t c = 0; c < Columns; ++c) {
        if (c == CentreColumn(Columns)) {
            row.Append(kCentreRowAddressPatterns[PatternIndex(size.centreRap, r)],
                       kRowAddressModules);
        }
        row.Append(cluster[codeword[c]], kPatternModules);
    }
    row.Append(kSideRowAddressPatterns[PatternIndex(size.rightRap, r)], kRowAddressModules);
    row.Append(1, kMicroStopModules);
}
