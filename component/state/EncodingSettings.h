// The settings an encoding reads, as the encoding left them: the encoder changes some of them
// (a text Mode for data text compaction cannot hold becomes mixed, Columns is raised for data
// that needs more rows than a symbol has), and the settings so changed encode to the same
// symbol again. An encoding kept with them stands for any later one of equal settings
// (QuillonState::EncodeUnlessKept). Every setting the encoder reads is here; the Data text is
// kept apart, being long.
#pragma once

#include <cstdint>

#include "component/state/SymbolOptions.h"
#include "platform/Platform.h"

struct EncodingSettings {
    BOOL HandleTilde = FALSE;
    std::int32_t Mode = 0;
    std::int32_t EccLevel = 0;
    std::int32_t Columns = 0;
    std::int32_t Rows = 0;
    BOOL OptimizeCompaction = FALSE;
    BOOL AutoErrorCorrection = FALSE;
    std::int32_t Eci = 0;
    std::int32_t MacroSegmentIndex = 0;
    std::int32_t MacroSegmentCount = 0;
    MacroFileIdCodewords MacroFileId;
    std::int32_t Symbology = 0;
    std::int32_t MicroColumns = 0;
    std::int32_t MicroRows = 0;

    bool operator==(const EncodingSettings&) const = default;
};
