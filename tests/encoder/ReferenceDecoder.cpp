#include "tests/encoder/ReferenceDecoder.h"

#include <cstring>

namespace encoder_test {
namespace {

enum class Submode { Alpha, Lower, Mixed, Punctuation };

// The PDF417 text compaction tables. A zero marks a value that is a sub-mode control
// in that table rather than a character.
constexpr char kMixedChars[] = "0123456789&\r\t,:#-.$/+%*=^";               // values 0..24
constexpr char kPunctuationChars[] = ";<>@[\\]_`~!\r\t,:\n-.$/\"|*()?{}'";  // values 0..28

class TextDecoder {
public:
    explicit TextDecoder(DecodeResult& result) : result_(result) {}

    // A latch to text (codeword 900) or the start of the symbol: Alpha, no shift pending.
    void Reset() {
        mode_ = Submode::Alpha;
        shifted_ = false;
    }

    bool Value(int v) {
        if (shifted_) {
            shifted_ = false;
            return Character(shift_, v, true);
        }
        return Character(mode_, v, false);
    }

    bool Fail(const std::string& why) {
        result_.error = why;
        return false;
    }

    // Before a byte shift (913) the text values are completed with 29: in Alpha, Lower and
    // Mixed that is a punctuation shift that nothing follows, which the byte shift cancels.
    bool BeforeByteShift() {
        if (shifted_ && shift_ == Submode::Alpha) return Fail("alpha shift before a byte shift");
        shifted_ = false;
        return true;
    }

private:
    bool Emit(char c) {
        result_.bytes.push_back(c);
        return true;
    }
    bool Shift(Submode to) {
        shifted_ = true;
        shift_ = to;
        return true;
    }

    bool Character(Submode table, int v, bool underShift) {
        switch (table) {
            case Submode::Alpha:
            case Submode::Lower:
                if (v < 26)
                    return Emit(static_cast<char>((table == Submode::Alpha ? 'A' : 'a') + v));
                if (v == 26) return Emit(' ');
                if (underShift) return Fail("sub-mode control after an alpha shift");
                if (v == 27) {
                    if (table == Submode::Alpha) return Latch(Submode::Lower);
                    return Shift(Submode::Alpha);
                }
                if (v == 28) return Latch(Submode::Mixed);
                return Shift(Submode::Punctuation);
            case Submode::Mixed:
                if (v < 25) return Emit(kMixedChars[v]);
                if (v == 26) return Emit(' ');
                if (v == 25) return Latch(Submode::Punctuation);
                if (v == 27) return Latch(Submode::Lower);
                if (v == 28) return Latch(Submode::Alpha);
                return Shift(Submode::Punctuation);
            case Submode::Punctuation:
                if (v < 29) return Emit(kPunctuationChars[v]);
                if (underShift) return Fail("alpha latch under a punctuation shift");
                return Latch(Submode::Alpha);
        }
        return Fail("unknown sub-mode");
    }

    bool Latch(Submode to) {
        mode_ = to;
        return true;
    }

    DecodeResult& result_;
    Submode mode_ = Submode::Alpha;
    bool shifted_ = false;
    Submode shift_ = Submode::Alpha;
};

// Decodes one byte-compaction segment of `count` codewords opened by `latch`.
bool DecodeByteSegment(const int* cw, int count, int latch, DecodeResult& result) {
    // 924: every codeword belongs to a five-codeword group. 901: the last one to five
    // codewords of the segment are single bytes, all before them five-codeword groups.
    int groups = 0;
    if (latch == 924) {
        if (count % 5 != 0) {
            result.error = "924 segment not made of whole groups";
            return false;
        }
        groups = count / 5;
    } else {
        groups = count > 0 ? (count - 1) / 5 : 0;
    }
    for (int g = 0; g < groups; ++g) {
        std::uint64_t v = 0;
        for (int d = 0; d < 5; ++d) v = v * 900 + static_cast<std::uint64_t>(cw[5 * g + d]);
        if (v >= (std::uint64_t{1} << 48)) {
            result.error = "byte group above 48 bits";
            return false;
        }
        for (int b = 5; b >= 0; --b)
            result.bytes.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
    }
    for (int i = 5 * groups; i < count; ++i) {
        if (cw[i] > 255) {
            result.error = "single-byte codeword above 255";
            return false;
        }
        result.bytes.push_back(static_cast<char>(cw[i]));
    }
    return true;
}

// Decodes one numeric-compaction segment: groups of up to 15 codewords, each the base-900
// digits of a number whose decimal digits, after a leading 1, are the data.
bool DecodeNumericSegment(const int* cw, int count, DecodeResult& result) {
    if (count == 0) {
        result.error = "empty numeric segment";
        return false;
    }
    for (int start = 0; start < count; start += 15) {
        std::vector<int> digits;  // decimal, least significant first
        for (int i = start; i < count && i < start + 15; ++i) {
            int carry = cw[i];
            for (int& d : digits) {
                const int v = d * 900 + carry;
                d = v % 10;
                carry = v / 10;
            }
            for (; carry > 0; carry /= 10) digits.push_back(carry % 10);
        }
        if (digits.empty() || digits.back() != 1) {
            result.error = "numeric group without its leading 1";
            return false;
        }
        for (int i = static_cast<int>(digits.size()) - 2; i >= 0; --i) {
            result.bytes.push_back(static_cast<char>('0' + digits[static_cast<size_t>(i)]));
        }
    }
    return true;
}

// The digits of a numeric group as a number (for the Macro fields); −1 when invalid.
int NumericNumber(const int* cw, int count) {
    DecodeResult digits;
    if (!DecodeNumericSegment(cw, count, digits) || digits.bytes.size() > 9) return -1;
    return std::stoi(digits.bytes);
}

// The Macro PDF417 control block after 928, to the end of the sequence.
bool DecodeMacroBlock(const int* cw, int count, DecodeResult& result) {
    int i = 2;
    if (count < i || (result.macroIndex = NumericNumber(cw, 2)) < 0) {
        result.error = "Macro segment index not two numeric codewords";
        return false;
    }
    for (; i < count && cw[i] < 900; ++i) {
        const int v = cw[i];
        result.macroFileId +=
            {static_cast<char>('0' + v / 100), static_cast<char>('0' + v / 10 % 10),
             static_cast<char>('0' + v % 10)};
    }
    if (result.macroFileId.empty()) {
        result.error = "Macro file ID missing";
        return false;
    }
    while (i < count) {
        if (cw[i] == 922 && i == count - 1) {
            result.macroLast = true;
            return true;
        }
        if (cw[i] != 923 || i + 1 >= count || cw[i + 1] != 1) {
            result.error = "unexpected codeword in the Macro control block";
            return false;
        }
        int end = i + 2;
        while (end < count && cw[end] < 900) ++end;
        if ((result.macroCount = NumericNumber(cw + i + 2, end - i - 2)) <= 0) {
            result.error = "Macro segment count not a positive number";
            return false;
        }
        i = end;
    }
    return true;
}

}  // namespace

DecodeResult DecodeDataCodewords(const std::vector<int>& codewords) {
    DecodeResult result;
    TextDecoder text(result);
    text.Reset();
    const int n = static_cast<int>(codewords.size());
    for (const int cw : codewords) {
        if (cw < 0 || cw > 928) {
            result.error = "codeword out of range: " + std::to_string(cw);
            return result;
        }
    }
    // The codewords of a segment opened at i: those below 900 that follow it.
    auto segmentEnd = [&](int i) {
        int end = i + 1;
        while (end < n && codewords[end] < 900) ++end;
        return end;
    };
    bool inText = true;
    int i = 0;
    while (i < n) {
        const int cw = codewords[i];
        if (cw < 900) {
            if (!inText) {
                result.error = "data codeword outside any segment at " + std::to_string(i);
                return result;
            }
            if (!text.Value(cw / 30) || !text.Value(cw % 30)) return result;
            ++i;
        } else if (cw == 900) {
            text.Reset();
            inText = true;
            ++i;
        } else if (cw == 913) {
            if (!inText || i + 1 >= n || codewords[i + 1] > 255) {
                result.error = "byte shift outside text or without a byte";
                return result;
            }
            if (!text.BeforeByteShift()) return result;
            result.bytes.push_back(static_cast<char>(codewords[i + 1]));
            i += 2;
        } else if (cw == 901 || cw == 924 || cw == 902) {
            const int end = segmentEnd(i);
            const int* first = codewords.data() + i + 1;
            const bool ok = cw == 902 ? DecodeNumericSegment(first, end - i - 1, result)
                                      : DecodeByteSegment(first, end - i - 1, cw, result);
            if (!ok) return result;
            // Text after the segment needs its own latch, which resets the sub-mode.
            inText = false;
            i = end;
        } else if (cw == 925 || cw == 926 || cw == 927) {
            const int length = cw == 926 ? 2 : 1;
            if (i + length >= n) {
                result.error = "ECI designator cut short";
                return result;
            }
            const int a = codewords[i + 1], b = length == 2 ? codewords[i + 2] : 0;
            result.ecis.push_back(cw == 927 ? a : cw == 926 ? (a + 1) * 900 + b : 810900 + a);
            i += 1 + length;
        } else if (cw == 928) {
            if (!DecodeMacroBlock(codewords.data() + i + 1, n - i - 1, result)) return result;
            i = n;
        } else {
            result.error = "unexpected codeword " + std::to_string(cw);
            return result;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace encoder_test
