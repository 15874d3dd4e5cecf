// The end of every compaction: with the data and pad codewords in place, the frame around
// them and the error correction over all of it.
#include "component/state/QuillonState.h"

void QuillonState::CompleteSymbol() {
    // The length descriptor counts itself and everything before the error correction.
    if (DescriptorLength() != 0) {
        CodewordBuffer.SymbolCodewords[0] = static_cast<std::uint16_t>(CodewordCount - EccCount());
    }
    WriteEciDesignator();
    WriteMacroControlBlock(PadEndCell());
    ComputeErrorCorrection();
}
