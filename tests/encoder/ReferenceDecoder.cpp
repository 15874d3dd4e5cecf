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
                if (v == 26)
                    return Emit(' ');
                if (underShift)
                    return Fail("sub-mode control after an alpha shift");
                if (v == 27) {
                    if (table == Submode::Alpha)
                        return Latch(Submode::Lower);
                    return Shift(Submode::Alpha);
                }
                if (v == 28)
                    return Latch(Submode::Mixed);
                return Shift(Submode::Punctuation);
            case Submode::Mixed:
                if (v < 25)
                    return Emit(kMixedChars[v]);
                if (v == 26)
                    return Emit(' ');
                if (v == 25)
                    return Latch(Submode::Punctuation);
                if (v == 27)
                    return Latch(Submode::Lower);
                if (v == 28)
                    return Latch(Submode::Alpha);
                return Shift(Submode::Punctuation);
            case Submode::Punctuation:
                if (v < 29)
                    return Emit(kPunctuationChars[v]);
                if (underShift)
                    return Fail("alpha latch under a punctuation shift");
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
        for (int d = 0; d < 5; ++d)
            v = v * 900 + static_cast<std::uint64_t>(cw[5 * g + d]);
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

}  // namespace

DecodeResult DecodeDataCodewords(const std::vector<int>& codewords) {
    DecodeResult result;
    TextDecoder text(result);
    text.Reset();
    const int n = static_cast<int>(codewords.size());
    int i = 0;
    while (i < n) {
        const int cw = codewords[i];
        if (cw < 0 || cw > 928) {
            result.error = "codeword out of range at " + std::to_string(i);
            return result;
        }
        if (cw < 900) {
            if (!text.Value(cw / 30) || !text.Value(cw % 30))
                return result;
            ++i;
        } else if (cw == 900) {
            text.Reset();
            ++i;
        } else if (cw == 901 || cw == 924) {
            int end = i + 1;
            while (end < n && codewords[end] < 900)
                ++end;
            if (!DecodeByteSegment(codewords.data() + i + 1, end - i - 1, cw, result)) {
                return result;
            }
            // Text after a byte segment needs its own latch, which resets the sub-mode.
            i = end;
        } else {
            result.error = "unexpected codeword " + std::to_string(cw);
            return result;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace encoder_test
