#include <gtest/gtest.h>

#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "component/state/QuillonState.h"
#include "png/Crc32.h"
#include "png/CrcTable.h"

namespace {

std::uint32_t Crc32Of(QuillonState& q, const std::string& bytes) {
    q.CrcReset();
    q.CrcUpdate(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    return ~q.Crc;
}

TEST(CrcTable, HasTheStandardEntries) {
    EXPECT_EQ(CrcTable[0], 0x00000000u);
    EXPECT_EQ(CrcTable[1], 0x77073096u);
    EXPECT_EQ(CrcTable[128], 0xEDB88320u);
    EXPECT_EQ(CrcTable[255], 0x2D02EF8Du);
    static_assert(CrcTable[8] == 0x0EDB8832u, "computed while compiling");
}

struct CrcCase {
    std::string bytes;
    std::uint32_t crc;
};

class Crc32 : public testing::TestWithParam<CrcCase> {};

TEST_P(Crc32, MatchesKnownValues) {
    auto q = std::make_unique<QuillonState>();
    EXPECT_EQ(Crc32Of(*q, GetParam().bytes), GetParam().crc);
}

INSTANTIATE_TEST_SUITE_P(
    Known, Crc32,
    testing::Values(CrcCase{"123456789", 0xCBF43926u},  // the check value of CRC-32
                    CrcCase{"IEND", 0xAE426082u},       // every PNG file ends with it
                    // The IHDR of a 300 × 200 picture at bit depth 1, indexed colour.
                    CrcCase{
                        std::string("IHDR\x00\x00\x01\x2C\x00\x00\x00\xC8\x01\x03\x00\x00\x00", 17),
                        0x68114E16u},
                    CrcCase{std::string("PLTE\xFF\xFF\xFF\x00\x00\x00", 10), 0x55C2D37Eu},
                    CrcCase{"", 0x00000000u}));

TEST(Crc32, RunsOnAcrossCallsLikeOneBuffer) {
    auto q = std::make_unique<QuillonState>();
    std::vector<BYTE> data(100000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7 + i / 251);
    q->CrcReset();
    q->CrcUpdate(data.data(), 4);
    q->CrcUpdate(data.data() + 4, data.size() - 4);
    EXPECT_EQ(~q->Crc, crc32(0, data.data(), static_cast<uInt>(data.size())));
}

// A way to the CRC gives the register that the definition, a byte at a time, gives: for every
// length up to a few folding steps and around the block sizes, at every alignment, from any
// register.
void ExpectTheTableValue(CrcFunction crc) {
    std::vector<BYTE> data(70000);
    std::uint32_t state = 1;
    for (BYTE& b : data) {
        state = state * 1103515245u + 12345u;
        b = static_cast<BYTE>(state >> 16);
    }
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (std::size_t n : {1023, 1024, 1025, 4096, 65531, 65536, 69984}) lengths.push_back(n);
    for (std::size_t length : lengths) {
        for (std::size_t offset = 0; offset < 16; ++offset) {
            for (std::uint32_t start : {0x00000000u, 0xFFFFFFFFu, 0x9E3779B9u}) {
                const BYTE* bytes = data.data() + offset;
                ASSERT_EQ(crc(start, bytes, length), Crc32ByteAtATime(start, bytes, length))
                    << "length " << length << ", offset " << offset << ", from " << start;
            }
        }
    }
}

TEST(Crc32, EightBytesAStepGiveTheTableValue) {
    ExpectTheTableValue(Crc32Sliced);
}

TEST(Crc32, FoldingGivesTheTableValue) {
    const CrcFunction folding = Crc32Folding();
    if (folding == nullptr) GTEST_SKIP() << "this processor has no carry-less multiply";
    ExpectTheTableValue(folding);
}

TEST(Crc32, TheFastestWayGivesTheTableValue) {
    ExpectTheTableValue(Crc32Update);
}

TEST(Adler32, MatchesZlibOverLongRuns) {
    auto q = std::make_unique<QuillonState>();
    // All 0xFF is the worst case for the sums between reductions.
    for (std::size_t size :
         {std::size_t{1}, std::size_t{5552}, std::size_t{5553}, std::size_t{1000000}}) {
        std::vector<BYTE> data(size, 0xFF);
        q->AdlerLow = 1;
        q->AdlerHigh = 0;
        q->AdlerUpdate(data.data(), data.size());
        EXPECT_EQ(q->AdlerHigh * 65536 + q->AdlerLow,
                  adler32(1, data.data(), static_cast<uInt>(data.size())))
            << size;
    }
    const std::string wikipedia = "Wikipedia";
    q->AdlerLow = 1;
    q->AdlerHigh = 0;
    q->AdlerUpdate(reinterpret_cast<const BYTE*>(wikipedia.data()), wikipedia.size());
    EXPECT_EQ(q->AdlerHigh * 65536 + q->AdlerLow, 0x11E60398u);
}

// Every length up to a few groups of 16 bytes and beyond the longest run between reductions,
// from every starting sum a few bytes leave: the bytes taken 16 at a time and the rest one by
// one add up as zlib's byte-by-byte sums do.
TEST(Adler32, MatchesZlibAtEveryLengthAndStart) {
    auto q = std::make_unique<QuillonState>();
    std::vector<BYTE> data(5552 + 40);
    unsigned state = 99;
    for (BYTE& b : data) {
        state = state * 1103515245u + 12345u;
        b = static_cast<BYTE>(state >> 16);
    }
    for (std::size_t start = 0; start < 5; ++start) {
        for (std::size_t size = 0; size < data.size() - start; size += size < 80 ? 1 : 173) {
            const uLong before = adler32(1, data.data(), static_cast<uInt>(start));
            q->AdlerLow = static_cast<std::uint32_t>(before & 0xFFFF);
            q->AdlerHigh = static_cast<std::uint32_t>(before >> 16);
            q->AdlerUpdate(data.data() + start, size);
            ASSERT_EQ(q->AdlerHigh * 65536 + q->AdlerLow,
                      adler32(before, data.data() + start, static_cast<uInt>(size)))
                << "from " << start << ", " << size << " bytes";
        }
    }
}

// Copies of a row, taken at once, leave the sums where taking every copy would: zlib's
// Adler-32 over the copies is the oracle. All 0xFF is the worst case for the sums, and the
// largest case is the largest picture's: 32767 rows of 16385 bytes.
TEST(Adler32, RepeatingGivesWhatEveryCopyWouldGive) {
    struct Case {
        std::size_t bytes;
        std::int32_t times;
        bool all_ones;
    };
    for (const Case& c : {Case{1, 1, true}, Case{1, 65522, false}, Case{7, 3, false},
                          Case{39, 200, true}, Case{5552, 2, true}, Case{5553, 4681, false},
                          Case{16385, 32767, true}, Case{300, 0, false}}) {
        std::vector<BYTE> row(c.bytes, 0xFF);
        if (!c.all_ones) {
            for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<BYTE>(i * 37 + 11);
        }
        // From the sums some bytes before have left.
        const std::string before = "Wikipedia";
        uLong expected = adler32(1, reinterpret_cast<const Bytef*>(before.data()), 9);
        auto q = std::make_unique<QuillonState>();
        q->AdlerLow = static_cast<std::uint32_t>(expected & 0xFFFF);
        q->AdlerHigh = static_cast<std::uint32_t>(expected >> 16);
        for (std::int32_t i = 0; i < c.times; ++i) {
            expected = adler32(expected, row.data(), static_cast<uInt>(row.size()));
        }
        q->AdlerRepeat(row.data(), row.size(), c.times);
        EXPECT_EQ(q->AdlerHigh * 65536 + q->AdlerLow, expected)
            << c.bytes << " bytes " << c.times << " times";
    }
}

}  // namespace
