// The end of every compaction: with the data and pad codewords in place, the frame around
// them and the error correction over all of it.
#include "component/state/QuillonState.h"

void QuillonState::CompleteSymbol() {
    const std::int32_t dataEnd = CodewordCount - EccCount();
    CodewordBuffer.SymbolCodewords[0] = static_cast<std::uint16_t>(dataEnd);
    WriteEciDesignator();
    WriteMacroControlBlock(PadEndCell());
    ComputeErrorCorrection();
}
