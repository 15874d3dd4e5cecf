#include "encoder/NumericCompaction.h"

std::int32_t WriteNumericGroup(const BYTE* digits, std::int32_t count, std::uint16_t* out) {
    // The number as decimal digits, most significant first, divided by 900 again and again;
    // each remainder is the next base-900 digit from the least significant end. Every step of
    // the long division stays below 10 × 900.
    std::uint8_t number[kMaxNumericGroupDigits + 1];
    std::int32_t length = 0;
    number[length++] = 1;
    for (std::int32_t i = 0; i < count && i < kMaxNumericGroupDigits; ++i) {
        number[length++] = static_cast<std::uint8_t>(digits[i] - '0');
    }
    std::uint16_t reversed[kMaxNumericGroupCodewords + 1];
    std::int32_t written = 0;
    while (length > 0) {
        std::uint32_t remainder = 0;
        std::int32_t quotientLength = 0;
        for (std::int32_t i = 0; i < length; ++i) {
            const std::uint32_t current = remainder * 10 + number[i];
            const auto quotient = static_cast<std::uint8_t>(current / 900);
            remainder = current % 900;
            if (quotientLength > 0 || quotient != 0) number[quotientLength++] = quotient;
        }
        reversed[written++] = static_cast<std::uint16_t>(remainder);
        length = quotientLength;
    }
    for (std::int32_t i = 0; i < written; ++i) out[i] = reversed[written - 1 - i];
    return written;
}
