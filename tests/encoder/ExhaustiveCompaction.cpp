#include "tests/encoder/ExhaustiveCompaction.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace encoder_test {
namespace {

class ExhaustiveSearch {
public:
    explicit ExhaustiveSearch(const Bytes& data) : data_(data) {}

    int Fewest() { return (Best(0, kText, kAlpha, false, 0) + 1) / 2; }
    // The latch to text first, or one to bytes or digits with the first of them.
    int FewestMicro() {
        int best = 2 + Best(0, kText, kAlpha, false, 0);
        best = std::min(best, 2 + Best(1, kByte, kAlpha, false, 1));
        if (IsDigit(data_[0])) best = std::min(best, 2 + Best(1, kNumeric, kAlpha, false, 1));
        return (best + 1) / 2;
    }

private:
    enum Mode { kText, kByte, kNumeric };
    enum Sub { kAlpha, kLower, kMixed, kPunct };

    static int ValueIn(Sub sub, char c) {
        static const std::string mixed = "0123456789&\r\t,:#-.$/+%*=^";
        static const std::string punct = ";<>@[\\]_`~!\r\t,:\n-.$/\"|*()?{}'";
        if (c == ' ' && sub != kPunct) return 26;
        switch (sub) {
            case kAlpha:
                return c >= 'A' && c <= 'Z' ? c - 'A' : -1;
            case kLower:
                return c >= 'a' && c <= 'z' ? c - 'a' : -1;
            case kMixed:
                return mixed.find(c) != std::string::npos ? static_cast<int>(mixed.find(c)) : -1;
            case kPunct:
                return punct.find(c) != std::string::npos ? static_cast<int>(punct.find(c)) : -1;
        }
        return -1;
    }
    // Values of the shortest latch: Alpha→Lower LL, Alpha→Mixed ML, Alpha→Punct ML PL,
    // Lower→Alpha ML AL, Lower→Mixed ML, Lower→Punct ML PL, Mixed→Alpha AL, Mixed→Lower LL,
    // Mixed→Punct PL, Punct→Alpha AL, Punct→Lower AL LL, Punct→Mixed AL ML.
    static int LatchLength(Sub from, Sub to) {
        static const int lengths[4][4] = {{0, 1, 1, 2}, {2, 0, 1, 2}, {1, 1, 0, 1}, {1, 2, 2, 0}};
        return lengths[from][to];
    }
    static int ByteRunCodewords(int n) { return 5 * (n / 6) + n % 6; }
    static int NumericRunCodewords(int n) { return 15 * (n / 44) + (n % 44 ? n % 44 / 3 + 1 : 0); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    // The fewest half codewords from `pos` on, in text at (sub, odd) or in a run of `run`.
    int Best(int pos, Mode mode, Sub sub, bool odd, int run) {
        const auto key = std::make_tuple(pos, mode, sub, odd, run);
        if (const auto it = memo_.find(key); it != memo_.end()) return it->second;
        int best;
        if (mode == kText) {
            best = pos == static_cast<int>(data_.size()) ? (odd ? 1 : 0) : FromText(pos, sub, odd);
        } else {
            const int runCost =
                2 * (mode == kByte ? ByteRunCodewords(run) : NumericRunCodewords(run));
            if (pos == static_cast<int>(data_.size())) {
                best = runCost;
            } else {
                const char c = data_[static_cast<size_t>(pos)];
                best = runCost + 2 + FromText(pos, kAlpha, false);  // 900
                if (mode == kByte) {
                    best = std::min(best, Best(pos + 1, kByte, kAlpha, false, run + 1));
                    if (IsDigit(c))
                        best =
                            std::min(best, runCost + 2 + Best(pos + 1, kNumeric, kAlpha, false, 1));
                } else {
                    if (IsDigit(c))
                        best = std::min(best, Best(pos + 1, kNumeric, kAlpha, false, run + 1));
                    best = std::min(best, runCost + 2 + Best(pos + 1, kByte, kAlpha, false, 1));
                }
            }
        }
        memo_[key] = best;
        return best;
    }

    // The character at `pos` written from text at (sub, odd), and the rest.
    int FromText(int pos, Sub sub, bool odd) {
        const char c = data_[static_cast<size_t>(pos)];
        int best = 1 << 20;
        for (int t = kAlpha; t <= kPunct; ++t) {
            if (ValueIn(static_cast<Sub>(t), c) < 0) continue;
            const int values = LatchLength(sub, static_cast<Sub>(t)) + 1;
            best = std::min(best, values + Best(pos + 1, kText, static_cast<Sub>(t),
                                                odd != (values % 2 == 1), 0));
        }
        if (sub != kPunct && ValueIn(kPunct, c) >= 0)
            best = std::min(best, 2 + Best(pos + 1, kText, sub, odd, 0));
        if (sub == kLower && ValueIn(kAlpha, c) >= 0)
            best = std::min(best, 2 + Best(pos + 1, kText, sub, odd, 0));
        const int complete = odd ? 1 : 0;
        // 913: the filler 29 before it is a latch to Alpha in a latched Punctuation.
        const Sub after = sub == kPunct && odd ? kAlpha : sub;
        best = std::min(best, complete + 4 + Best(pos + 1, kText, after, false, 0));
        best = std::min(best, complete + 2 + Best(pos + 1, kByte, kAlpha, false, 1));
        if (IsDigit(c))
            best = std::min(best, complete + 2 + Best(pos + 1, kNumeric, kAlpha, false, 1));
        return best;
    }

    Bytes data_;
    std::map<std::tuple<int, Mode, Sub, bool, int>, int> memo_;
};

}  // namespace

int FewestCodewordsByExhaustiveSearch(const Bytes& data) {
    return ExhaustiveSearch(data).Fewest();
}

int FewestMicroCodewordsByExhaustiveSearch(const Bytes& data) {
    return ExhaustiveSearch(data).FewestMicro();
}

}  // namespace encoder_test
