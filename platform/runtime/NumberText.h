// Numbers in text the way Automation reads and writes them, with the invariant English
// conventions: '.' is the decimal point and ',' the thousands separator.
//
// Reading accepts, after and before any white space: an optional leading '+' or '-', digits
// with ',' allowed anywhere after the first digit of the integer part ("1,5" is 15,
// "1,000.5" is 1000.5), an optional fraction after '.', and an optional exponent 'e' or 'E'
// with its own sign ("1e3" is 1000). "&H" and "&O" introduce an unsigned hexadecimal or octal
// integer ("&H10" is 16, "&HFFFF" is 65535). The English currency symbol, a dollar sign, may
// stand after the sign or after the number ("$5", "-$5", "5$"), and parentheses around the number
// make it negative ("(5)" is -5), as in accounting. Everything else, "0x10", an empty text, a lone
// sign or point, other currency signs and trailing signs, is not a number.
#pragma once

#include <string>

#include "platform/winapi/HResult.h"
#include "platform/winapi/WinTypes.h"

namespace platform {

// S_OK with *value set; DISP_E_TYPEMISMATCH when the text is not a number; DISP_E_OVERFLOW
// when it is beyond the range of a double. Values too small for a double read as zero.
// *prefixed, when given, says whether the text was an "&H" or "&O" integer.
HRESULT ParseNumberText(const OLECHAR* text, std::size_t length, double* value,
                        bool* prefixed = nullptr);

// The value rounded to 15 significant digits (7 for floats), as Automation writes reals, so
// that 0.1 + 0.2 is "0.3"; trailing zeros are dropped. It is laid out as Automation lays out
// reals: plain decimals ("0.07", "-2.5", "100"), and an exponent with a sign and at least two
// digits ("1E+20", "1E-05") when the decimal exponent is below -4 or reaches
// fixedDigits (15 for doubles, 7 for floats). Negative zero is written "0".
std::u16string FormatRealText(double value, int fixedDigits);
std::u16string FormatRealText(float value);
std::u16string FormatIntegerText(long long value);

}  // namespace platform
