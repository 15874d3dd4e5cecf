// The symbol options beyond the first interface's settings: an Extended Channel Interpretation,
// the compaction choice, the automatic error-correction level, Macro PDF417, and MicroPDF417
// with its size. Here are the values each accepts, as the accessors check them, and the
// defaults, with which the encoder writes exactly the symbols it writes without the options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Eci: 0 for none, else an ECI assignment number. The designator codewords can carry 0..811799
// (927 n up to 899, 926 with two codewords up to 810899, 925 with one up to 811799); 0 itself
// cannot be asked for, since it means none here.
constexpr std::int32_t kNoEci = 0;
constexpr std::int32_t kMaxEci = 811799;
constexpr bool IsEciSetting(std::int64_t value) {
    return value >= kNoEci && value <= kMaxEci;
}

// MacroSegmentIndex: −1 for a symbol that is not part of a Macro PDF417 set, else the segment's
// position in its set, from 0. The index is written as five digits, and 99999 segments at most
// make a set, so the last index is 99998.
constexpr std::int32_t kNoMacroSegment = -1;
constexpr std::int32_t kMaxMacroSegmentIndex = 99998;
constexpr bool IsMacroSegmentIndexSetting(std::int64_t value) {
    return value >= kNoMacroSegment && value <= kMaxMacroSegmentIndex;
}

// MacroSegmentCount: 0 for a set whose size the symbols do not say, else the number of
// segments, written in the optional segment-count field.
constexpr std::int32_t kNoMacroSegmentCount = 0;
constexpr std::int32_t kMaxMacroSegmentCount = 99999;
constexpr bool IsMacroSegmentCountSetting(std::int64_t value) {
    return value >= kNoMacroSegmentCount && value <= kMaxMacroSegmentCount;
}

// MacroFileId: the digits that every segment of one set carries, in groups of three, each group
// 000..899 and written as one codeword. At least one group, and at most ten: 30 digits, as
// much as other PDF417 writers accept, are more than enough to tell sets apart.
constexpr std::int32_t kMacroFileIdGroupDigits = 3;
constexpr std::int32_t kMaxMacroFileIdGroups = 10;
constexpr std::int32_t kMaxMacroFileIdDigits = kMaxMacroFileIdGroups * kMacroFileIdGroupDigits;
constexpr std::int32_t kMaxMacroFileIdGroupValue = 899;

struct MacroFileIdCodewords {
    std::uint16_t Values[kMaxMacroFileIdGroups] = {0};  // the default file ID, "000"
    std::int32_t Count = 1;

    bool operator==(const MacroFileIdCodewords& other) const {
        if (Count != other.Count) return false;
        for (std::int32_t g = 0; g < Count && g < kMaxMacroFileIdGroups; ++g) {
            if (Values[g] != other.Values[g]) return false;
        }
        return true;
    }
};

// The file ID that `digits` spells, or false (and `id` untouched) when it is not 3 to 30
// decimal digits in groups of three of at most 899.
constexpr bool ParseMacroFileId(std::string_view digits, MacroFileIdCodewords& id) {
    const auto length = static_cast<std::int32_t>(digits.size());
    if (length == 0 || length > kMaxMacroFileIdDigits || length % kMacroFileIdGroupDigits != 0) {
        return false;
    }
    MacroFileIdCodewords parsed;
    parsed.Count = length / kMacroFileIdGroupDigits;
    for (std::int32_t g = 0; g < parsed.Count; ++g) {
        std::int32_t value = 0;
        for (std::int32_t d = 0; d < kMacroFileIdGroupDigits; ++d) {
            const char c = digits[static_cast<std::size_t>(g * kMacroFileIdGroupDigits + d)];
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        if (value > kMaxMacroFileIdGroupValue) return false;
        parsed.Values[g] = static_cast<std::uint16_t>(value);
    }
    id = parsed;
    return true;
}

// The digits of a file ID, three to a codeword.
inline std::string MacroFileIdText(const MacroFileIdCodewords& id) {
    std::string text;
    for (std::int32_t g = 0; g < id.Count && g < kMaxMacroFileIdGroups; ++g) {
        const std::uint16_t v = id.Values[g];
        text += static_cast<char>('0' + v / 100);
        text += static_cast<char>('0' + v / 10 % 10);
        text += static_cast<char>('0' + v % 10);
    }
    return text;
}

// Symbology: which symbol the data is written in. MicroPDF417 shares PDF417's codewords,
// compaction and error-correction code, in a frame and a table of sizes of its own.
constexpr std::int32_t kSymbologyPdf417 = 0;
constexpr std::int32_t kSymbologyMicroPdf417 = 1;

// MicroColumns: a MicroPDF417 symbol's data columns, 1 to 4, or 0 to have them chosen.
constexpr std::int32_t kMicroColumnsChosen = 0;
constexpr std::int32_t kMaxMicroColumns = 4;

// MicroRows: a MicroPDF417 symbol's rows, one of the row counts its sizes have (some with one
// column count, some with several), or 0 for the fewest that hold the data. Whether a column
// count has a size of that many rows is asked when a symbol is made, not when it is set.
constexpr std::int32_t kMicroRowsChosen = 0;
constexpr std::int32_t kMicroRowCounts[] = {4,  6,  8,  10, 11, 12, 14, 15, 17,
                                            20, 23, 24, 26, 28, 32, 38, 44};
