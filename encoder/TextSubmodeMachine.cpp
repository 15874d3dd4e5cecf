// The text sub-mode state machine. It looks at one character at a time and never ahead:
// every change to Lower or Mixed is a latch, a capital letter met in Lower is shifted on its
// own, and every punctuation character gets its own shift (Punctuation is never latched).
#include "component/state/QuillonState.h"

namespace {

constexpr char kAlpha = 'A';
constexpr char kLower = 'B';
constexpr char kMixed = 'C';
constexpr char kPunctuation = 'D';

// The sub-mode change values as the PDF417 text tables define them.
constexpr std::uint16_t kLatchLowerFromAlphaOrMixed = 27;
constexpr std::uint16_t kShiftAlphaFromLower = 27;
constexpr std::uint16_t kLatchMixedFromAlphaOrLower = 28;
constexpr std::uint16_t kLatchAlphaFromMixed = 28;
constexpr std::uint16_t kShiftPunctuation = 29;

}  // namespace

std::int32_t QuillonState::AppendTextValues(BYTE byte, TextSubmodeState& submodes,
                                            std::int32_t count) {
    std::uint16_t* values = CodewordBuffer.CompactionValues;
    ClassifyTextChar(byte);
    const char letter = TextSubmodeLetter;
    const auto value = static_cast<std::uint16_t>(TextSubmodeValue);

    // A one-character alpha shift from Lower is over: the next character is read in Lower.
    if (submodes.Return == kLower && submodes.Current == kAlpha) submodes.Current = kLower;

    if (letter == submodes.Current) {
        values[count++] = value;
    } else if (letter == kPunctuation) {
        values[count++] = kShiftPunctuation;
        values[count++] = value;
    } else if (letter == kLower) {  // from Alpha or Mixed
        values[count++] = kLatchLowerFromAlphaOrMixed;
        values[count++] = value;
        submodes.Current = kLower;
        submodes.Return = kLower;
    } else if (letter == kMixed) {  // from Alpha or Lower
        values[count++] = kLatchMixedFromAlphaOrLower;
        values[count++] = value;
        submodes.Current = kMixed;
    } else if (submodes.Current == kLower) {  // a capital letter in Lower: shifted alone
        values[count++] = kShiftAlphaFromLower;
        values[count++] = value;
        submodes.Current = kAlpha;
    } else {  // a capital letter in Mixed
        values[count++] = kLatchAlphaFromMixed;
        values[count++] = value;
        submodes.Current = kAlpha;
        submodes.Return = kAlpha;
    }
    return count;
}
