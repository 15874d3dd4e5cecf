// Random data through EncodeData and back through the reference decoder: whatever the mode,
// the symbol's data codewords must mean exactly the bytes that were put in.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/encoder/ReferenceDecoder.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

const std::string kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::string kLower = "abcdefghijklmnopqrstuvwxyz";
const std::string kMixed = "0123456789&,:#-.$/+%*=^ ";
const std::string kPunctuation = ";<>@[\\]_`~!\r\t\n\"|()?{}'";

bool IsText(char c) {
    return QuillonState::IsTextEncodable(static_cast<BYTE>(c));
}

class DataGenerator {
public:
    explicit DataGenerator(unsigned seed) : rng_(seed) {}

    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    // Text only, in stretches of one sub-mode so that latches, shifts and returns all occur.
    Bytes TextOnly(int length) {
        static const std::string* classes[] = {&kUpper, &kLower, &kMixed, &kPunctuation};
        Bytes data;
        const std::string* cls = classes[0];
        while (static_cast<int>(data.size()) < length) {
            if (Uniform(0, 3) == 0) cls = classes[Uniform(0, 3)];
            data.push_back((*cls)[Uniform(0, static_cast<int>(cls->size()) - 1)]);
        }
        return data;
    }

    // Alternating stretches of text and of non-text bytes, of lengths around a group of six.
    Bytes MixedRuns(int length) {
        Bytes data;
        bool text = Uniform(0, 1) == 0;
        while (static_cast<int>(data.size()) < length) {
            const int run = Uniform(1, 14);
            if (text) {
                data += TextOnly(run);
            } else {
                for (int i = 0; i < run; ++i) data.push_back(NonTextByte());
            }
            text = !text;
        }
        data.resize(length);
        return data;
    }

    Bytes AnyBytes(int length) {
        Bytes data;
        for (int i = 0; i < length; ++i) data.push_back(static_cast<char>(Uniform(0, 255)));
        return data;
    }

    // The Data text that carries `bytes` with tilde escapes on: every zero byte and every
    // tilde is escaped (a zero would end the text, a literal tilde could start an escape),
    // other bytes now and then, in either spelling.
    std::string Escaped(const Bytes& bytes) {
        std::string text;
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (b == 0 || c == '~' || Uniform(0, 9) == 0) {
                text += Uniform(0, 1) ? "~d" : "~D";
                text += static_cast<char>('0' + b / 100);
                text += static_cast<char>('0' + b / 10 % 10);
                text += static_cast<char>('0' + b % 10);
            } else {
                text.push_back(c);
            }
        }
        return text;
    }

private:
    char NonTextByte() {
        for (;;) {
            const char c = static_cast<char>(Uniform(0, 255));
            if (!IsText(c)) return c;
        }
    }

    std::mt19937 rng_;
};

enum class Distribution { TextOnly, MixedRuns, AnyBytes };

struct RoundTripCase {
    const char* name;
    int mode;
    Distribution distribution;
};

NAMED_CASES(RoundTrip, RoundTripCase);

TEST_P(RoundTrip, DecodedDataCodewordsGiveBackTheBytes) {
    const RoundTripCase& c = GetParam();
    DataGenerator gen(4170u + static_cast<unsigned>(c.mode) * 31u +
                      static_cast<unsigned>(c.distribution));
    int fitted = 0;
    const int rounds = 150;
    for (int round = 0; round < rounds; ++round) {
        const int length = round < 14 ? round : gen.Uniform(0, 400);
        Bytes data;
        switch (c.distribution) {
            case Distribution::TextOnly:
                data = gen.TextOnly(length);
                break;
            case Distribution::MixedRuns:
                data = gen.MixedRuns(length);
                break;
            case Distribution::AnyBytes:
                data = gen.AnyBytes(length);
                break;
        }
        auto q = NewState();
        q->Mode = c.mode;
        q->EccLevel = gen.Uniform(0, 5);
        q->Columns = gen.Uniform(1, 30);
        q->Rows = gen.Uniform(0, 1) ? 0 : gen.Uniform(2, 30);
        q->HandleTilde = TRUE;
        const std::string text = gen.Escaped(data);
        ASSERT_LE(text.size(), static_cast<size_t>(kMaxDataLength));
        SetData(*q, text);
        q->EncodeData();
        EXPECT_EQ(DataTextOf(*q), text);
        if (c.mode == 1) {
            bool allText = true;
            for (const char ch : data) allText = allText && IsText(ch);
            EXPECT_EQ(q->Mode, allText ? 1 : 2);
        }
        if (q->LastFit != SymbolFit::Fits) continue;
        ++fitted;

        ASSERT_EQ(q->CodewordCount, q->Columns * q->ActualRows);
        ASSERT_LE(q->CodewordCount, 928);
        ASSERT_GE(q->ActualRows, std::max(3, q->Rows));
        ASSERT_LE(q->ActualRows, 90);
        const Codewords symbol = SymbolOf(*q);
        ASSERT_EQ(symbol[0], q->CodewordCount - q->EccCount());
        ASSERT_TRUE(VanishesAtGeneratorRoots(symbol, q->EccCount()));

        Codewords cells = DataCellsOf(*q);
        while (!cells.empty() && cells.back() == 900) cells.pop_back();
        const DecodeResult decoded = DecodeDataCodewords(cells);
        ASSERT_TRUE(decoded.ok) << decoded.error << " (round " << round << ")";
        ASSERT_EQ(decoded.bytes, data) << "round " << round << ", mode " << q->Mode;
    }
    // Most random inputs fit; the ones that do not only widen the search, they prove nothing.
    EXPECT_GT(fitted, rounds * 3 / 4);
}

INSTANTIATE_NAMED_CASES(Encoder, RoundTrip, RoundTripCase{"ByteText", 0, Distribution::TextOnly},
                        RoundTripCase{"ByteMixedRuns", 0, Distribution::MixedRuns},
                        RoundTripCase{"ByteAny", 0, Distribution::AnyBytes},
                        RoundTripCase{"TextText", 1, Distribution::TextOnly},
                        RoundTripCase{"TextMixedRuns", 1, Distribution::MixedRuns},
                        RoundTripCase{"TextAny", 1, Distribution::AnyBytes},
                        RoundTripCase{"MixedText", 2, Distribution::TextOnly},
                        RoundTripCase{"MixedMixedRuns", 2, Distribution::MixedRuns},
                        RoundTripCase{"MixedAny", 2, Distribution::AnyBytes});

// The decoder itself against hand-made sequences, so that a round trip cannot pass through
// a decoder that accepts anything.
TEST(ReferenceDecoder, DecodesHandMadeSequencesAndRejectsInvalidOnes) {
    EXPECT_EQ(DecodeDataCodewords({237, 131, 344, 866, 862, 824, 521, 119}).bytes, "Hello World");
    // Mixed latch to Punctuation (25), then ';' and an alpha latch back.
    EXPECT_EQ(DecodeDataCodewords({30 * 28 + 1, 30 * 25 + 0, 30 * 29 + 0}).bytes, "1;A");
    EXPECT_EQ(DecodeDataCodewords({924, 109, 326, 368, 127, 330}).bytes, "ABCDEF");
    EXPECT_EQ(DecodeDataCodewords({901, 109, 326, 368, 127, 330, 65}).bytes, "ABCDEFA");
    // Behind 901 the last five codewords are single bytes, and 326 is no byte.
    EXPECT_FALSE(DecodeDataCodewords({901, 109, 326, 368, 127, 330}).ok);
    EXPECT_FALSE(DecodeDataCodewords({924, 1, 2}).ok);
    EXPECT_FALSE(DecodeDataCodewords({901, 300}).ok);
    EXPECT_FALSE(DecodeDataCodewords({902}).ok);
    // After a byte segment text starts again in Alpha: 900, then 'A' 'B'.
    EXPECT_EQ(DecodeDataCodewords({901, 65, 900, 1}).bytes, "AAB");
}

}  // namespace
}  // namespace encoder_test
