// The ECI designator: right after the length descriptor (first in MicroPDF417, which has none),
// before any latch, so that a reader knows how to interpret every byte of the data.
#include "component/state/QuillonState.h"
#include "encoder/Codewords.h"

std::int32_t QuillonState::EciDesignatorLength() const {
    if (Eci <= kNoEci || Eci > kMaxEci) return 0;
    return Eci >= kEciGeneralPurposeFirst && Eci < kEciUserDefinedFirst ? 3 : 2;
}

void QuillonState::WriteEciDesignator() {
    std::uint16_t* cell = CodewordBuffer.SymbolCodewords + DescriptorLength();
    switch (EciDesignatorLength()) {
        case 0:
            return;
        case 3:
            cell[0] = kEciGeneralPurposeCodeword;
            cell[1] = static_cast<std::uint16_t>(Eci / 900 - 1);
            cell[2] = static_cast<std::uint16_t>(Eci % 900);
            return;
        default:
            if (Eci < kEciGeneralPurposeFirst) {
                cell[0] = kEciCharacterSetCodeword;
                cell[1] = static_cast<std::uint16_t>(Eci);
            } else {
                cell[0] = kEciUserDefinedCodeword;
                cell[1] = static_cast<std::uint16_t>(Eci - kEciUserDefinedFirst);
            }
            return;
    }
}
