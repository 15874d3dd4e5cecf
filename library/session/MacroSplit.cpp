#include "library/session/MacroSplit.h"

#include <algorithm>
#include <cstdio>

#include "platform/common/Utf8.h"

namespace {

// No symbol holds more characters than this: 925 data codewords of numeric compaction carry
// about 2,700 digits. Searching for the longest piece never looks further.
constexpr std::size_t kMostCharactersPerSymbol = 2720;

// A file ID group is 000..899.
constexpr std::uint64_t kFileIdGroupValues = 900;

Outcome DoesNotFit(std::string message) {
    return {Failure::DoesNotFit, std::move(message)};
}

// Cuts the data at boundary indexes; tests pieces through `fits`.
class Cutter {
public:
    Cutter(std::string_view data, const std::vector<std::size_t>& boundaries, const PieceFits& fits)
        : data_(data), boundaries_(boundaries), fits_(fits) {}

    std::size_t characters() const { return boundaries_.size() - 1; }
    std::string_view Piece(std::size_t from, std::size_t to) const {
        return data_.substr(boundaries_[from], boundaries_[to] - boundaries_[from]);
    }
    Outcome Fits(std::size_t from, std::size_t to, std::int32_t index, std::int32_t count) const {
        return fits_(Piece(from, to), index, count);
    }

    // The last boundary up to `latest` at which a piece from `from` still fits, in *to; a
    // failure other than DoesNotFit ends it. *to stays `from` when not one character fits.
    Outcome LongestFitting(std::size_t from, std::size_t latest, std::int32_t index,
                           std::int32_t count, std::size_t* to) const {
        *to = from;
        std::size_t fitting = from;  // fits (an empty piece needs no test)
        std::size_t too_long = std::min(latest, from + kMostCharactersPerSymbol) + 1;
        while (too_long - fitting > 1) {
            const std::size_t middle = fitting + (too_long - fitting) / 2;
            const Outcome outcome = Fits(from, middle, index, count);
            if (outcome.ok()) {
                fitting = middle;
            } else if (outcome.failure == Failure::DoesNotFit) {
                too_long = middle;
            } else {
                return outcome;
            }
        }
        *to = fitting;
        return {};
    }

private:
    std::string_view data_;
    const std::vector<std::size_t>& boundaries_;
    const PieceFits& fits_;
};

// `segments` pieces of about equal length; ok only when each fits.
Outcome EqualPieces(const Cutter& cutter, std::int32_t segments, std::vector<std::size_t>* ends) {
    ends->clear();
    std::size_t from = 0;
    for (std::int32_t i = 0; i < segments; ++i) {
        const std::size_t to = cutter.characters() * static_cast<std::size_t>(i + 1) /
                               static_cast<std::size_t>(segments);
        const Outcome outcome = cutter.Fits(from, to, i, segments);
        if (!outcome.ok()) return outcome;
        ends->push_back(to);
        from = to;
    }
    return {};
}

// The longest pieces first, each leaving a character for every later one.
Outcome FullPieces(const Cutter& cutter, std::int32_t segments, std::vector<std::size_t>* ends) {
    ends->clear();
    std::size_t from = 0;
    for (std::int32_t i = 0; i + 1 < segments; ++i) {
        const std::size_t latest = cutter.characters() - static_cast<std::size_t>(segments - 1 - i);
        std::size_t to = from;
        const Outcome outcome = cutter.LongestFitting(from, latest, i, segments, &to);
        if (!outcome.ok()) return outcome;
        if (to == from) return DoesNotFit("");
        ends->push_back(to);
        from = to;
    }
    const Outcome last = cutter.Fits(from, cutter.characters(), segments - 1, segments);
    if (last.ok()) ends->push_back(cutter.characters());
    return last;
}

// As few pieces as fit, up to `most`: the rest whole when it fits as the last, else the
// longest piece that does and a character left.
Outcome FewestPieces(const Cutter& cutter, std::int32_t most, std::vector<std::size_t>* ends) {
    ends->clear();
    std::size_t from = 0;
    for (std::int32_t i = 0; i < most; ++i) {
        if (cutter.characters() - from <= kMostCharactersPerSymbol) {
            const Outcome whole = cutter.Fits(from, cutter.characters(), i, i + 1);
            if (whole.ok()) {
                ends->push_back(cutter.characters());
                return {};
            }
            if (whole.failure != Failure::DoesNotFit) return whole;
        }
        if (i + 1 == most) break;
        // `most` as the count: the same length as any count, and no terminator.
        std::size_t to = from;
        const Outcome outcome = cutter.LongestFitting(from, cutter.characters() - 1, i, most, &to);
        if (!outcome.ok()) return outcome;
        if (to == from) {
            return DoesNotFit("not even one character fits in a symbol with these settings");
        }
        ends->push_back(to);
        from = to;
    }
    return DoesNotFit("the data needs more than " + std::to_string(most) +
                      " symbols with these settings, the most a set may have here");
}

}  // namespace

std::vector<std::size_t> PieceBoundaries(std::string_view data, DataEncoding encoding) {
    std::vector<std::size_t> boundaries{0};
    boundaries.reserve(data.size() + 1);
    for (std::size_t i = 0; i < data.size();) {
        if (encoding == DataEncoding::kBytes) {
            ++i;
        } else {
            char32_t c = 0;
            if (!platform::DecodeUtf8At(data, &i, &c)) i = boundaries.back() + 1;
        }
        boundaries.push_back(i);
    }
    return boundaries;
}

Outcome SplitForMacroSet(std::string_view data, const std::vector<std::size_t>& boundaries,
                         std::int32_t segments, std::int32_t most, const PieceFits& fits,
                         std::vector<std::string_view>* pieces) {
    const Cutter cutter(data, boundaries, fits);
    std::vector<std::size_t> ends;
    Outcome outcome;
    if (segments == 0) {
        outcome = FewestPieces(cutter, most, &ends);
    } else if (cutter.characters() < static_cast<std::size_t>(segments)) {
        const bool bytes = boundaries.size() == data.size() + 1;
        return {Failure::Refused, "a set of " + std::to_string(segments) +
                                      " symbols needs at least as many " +
                                      (bytes ? "bytes" : "characters") + " of data; there are " +
                                      std::to_string(cutter.characters())};
    } else {
        outcome = EqualPieces(cutter, segments, &ends);
        if (outcome.failure == Failure::DoesNotFit) outcome = FullPieces(cutter, segments, &ends);
        if (outcome.failure == Failure::DoesNotFit) {
            outcome.message = "the data does not fit in " + std::to_string(segments) +
                              (segments == 1 ? " symbol" : " symbols") +
                              " with these settings; choose more, or let the count be "
                              "chosen (auto)";
        }
    }
    if (!outcome.ok()) return outcome;
    pieces->clear();
    std::size_t from = 0;
    for (const std::size_t to : ends) {
        pieces->push_back(cutter.Piece(from, to));
        from = to;
    }
    return {};
}

std::string MacroFileIdFor(std::string_view data, const std::vector<std::string_view>& pieces) {
    // FNV-1a, 64 bits: the bytes, then each piece's length.
    std::uint64_t hash = 14695981039346656037ULL;
    const auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    };
    for (const unsigned char byte : data) mix(byte);
    for (const std::string_view piece : pieces) {
        for (std::size_t size = piece.size(), i = 0; i < sizeof size; ++i, size >>= 8) {
            mix(static_cast<unsigned char>(size & 0xFF));
        }
    }
    char id[8];
    std::snprintf(id, sizeof id, "%03u%03u", static_cast<unsigned>(hash % kFileIdGroupValues),
                  static_cast<unsigned>(hash / kFileIdGroupValues % kFileIdGroupValues));
    return id;
}
