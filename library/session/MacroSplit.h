// How data too long for one symbol is split over the symbols of a Macro PDF417 set, which a
// reader joins back into the data. The symbols' capacity depends on every setting and on the
// data itself (digits pack tighter than bytes), so whether a piece fits is asked of the
// component, through `fits`; this file only chooses where to cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "library/session/BarcodeSession.h"

// Where a piece may end: every byte for bytes, every character's start for text, so that no
// character is cut in two (a reader that turns each symbol into text would garble it). The
// offsets run from 0 to data.size(), both included.
std::vector<std::size_t> PieceBoundaries(std::string_view data, DataEncoding encoding);

// Whether `piece` fits as segment `index` of a set of `count`: an Outcome that is ok, or whose
// failure is DoesNotFit, or any other failure, which ends the split.
using PieceFits =
    std::function<Outcome(std::string_view piece, std::int32_t index, std::int32_t count)>;

// Splits `data` at `boundaries` into `segments` pieces (0: as few as fit, up to `most`), each
// of which fits. A chosen count gets pieces of about equal length when those fit, and else the
// longest first pieces that leave every later one at least a character.
Outcome SplitForMacroSet(std::string_view data, const std::vector<std::size_t>& boundaries,
                         std::int32_t segments, std::int32_t most, const PieceFits& fits,
                         std::vector<std::string_view>* pieces);

// The set's file ID, from its data and where it is cut: two groups of three digits, each
// 000..899, so that the same request gives the same symbols on any machine, and sets of other
// data or cut otherwise most likely get another ID.
std::string MacroFileIdFor(std::string_view data, const std::vector<std::string_view>& pieces);
