// The component state: the one record of settings, working storage and last results that
// every barcode object owns. The encoder (encoder/), the renderer (render/) and the PNG
// writer (png/) are plain operations on it that read and write its fields; each is defined
// in its own subsystem's folder. Fields are listed in the order the component defines them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "component/state/DrawnRows.h"
#include "component/state/EncodingSettings.h"
#include "component/state/MicroPdf417.h"
#include "component/state/SymbolLimits.h"
#include "component/state/SymbolOptions.h"
#include "platform/Platform.h"

// The codeword work areas. The mixed-compaction value list can hold up to three cells per
// data byte (a one-byte run takes four cells for one byte, text two values), so its area is
// sized for the longest data; everything past a symbol's 928 codewords can never fit.
constexpr int kCompactionCells = 3 * kMaxDataLength + 1;
constexpr int kSymbolCells = 5000;
// The compaction choice's record: for each data byte, the state each of ten states of its
// search came from (encoder/CompactionPlan.cpp).
constexpr int kCompactionTrailColumns = 10;

struct CodewordAreas {
    // One compaction runs per encoding: the value list of those that Mode selects, or the
    // record of the compaction choice.
    union {
        std::uint16_t CompactionValues[kCompactionCells];  // work list of the compaction procedures
        std::uint8_t CompactionTrail[kMaxDataLength][kCompactionTrailColumns];
    };
    std::uint16_t SymbolCodewords[kSymbolCells];  // descriptor, data, pad and ECC codewords
    std::uint16_t EccScratch[kMaxEccCodewords];   // register of the error-correction division
};

// Why the last encoding produced no symbol.
enum class SymbolFit : std::int32_t {
    Fits = 0,
    TooManyRows,             // even 30 columns need more than 90 rows
    TooManyCodewords,        // the chosen shape would hold more than 928 codewords
    MacroSegmentOutsideSet,  // MacroSegmentIndex is not below a MacroSegmentCount that is set
    NoSuchMicroSize,         // MicroPDF417 has no size of MicroColumns and MicroRows
    MicroSizeTooSmall,       // no MicroPDF417 size they allow holds the data
};

struct ModuleRow;
class SymbolPicture;

class QuillonState {
public:
    // ---- Encoder (encoder/) ----
    // Turns DataText into the finished codeword sequence; on success leaves Columns,
    // ActualRows, CodewordCount and SymbolCodewords set and LastFit at Fits. Keeps the
    // settings it encoded (KeptSettings).
    void EncodeData();
    // What every request runs: EncodeData, unless the last encoding was of the settings and
    // Data as they stand, whose results are then still in the state (KeepEncodings allowing).
    void EncodeUnlessKept();
    // The settings the encoder reads, as they stand.
    EncodingSettings CurrentEncodingSettings() const;
    // Records the settings and Data that the encoding results in the state are of.
    void KeepEncoding();
    // The steps of EncodeData between the Macro check and the restoring of DataText: the bytes
    // to encode (DataText and DataLength, escapes expanded), and the compaction that
    // OptimizeCompaction or Mode selects over them, with dimensioning and error correction.
    void PrepareData();
    void CompactData();
    // For splitting data over a Macro PDF417 set: how many of the data's first bytes (escapes
    // expanded) one symbol holds with the current settings, its Macro control block included.
    // Leaves the state as EncodeData leaves it.
    std::int32_t FittingDataLength();
    void ExpandTildeEscapes();
    void RestoreDataText();
    static bool IsTextEncodable(BYTE byte);
    void ClassifyTextChar(BYTE byte);
    void EncodeTextCompaction();
    void EncodeByteCompaction();
    void EncodeMixedCompaction();
    // The compaction choice (OptimizeCompaction): text, byte or numeric compaction for each
    // stretch of the data, whichever way takes the fewest codewords.
    void EncodeOptimizedCompaction();
    // Fills CompactionTrail and leaves, in its first column, the state after each byte on one
    // of the cheapest ways through the data; returns that way's codewords, in half codewords.
    std::int32_t PlanCompaction();
    // The error-correction level of the symbol being built or drawn: EccLevel, or with
    // AutoErrorCorrection the level the last encoding chose.
    std::int32_t SymbolEccLevel() const { return AutoErrorCorrection ? AutoEccLevel : EccLevel; }
    // Number of error-correction codewords: of that level, 2, 4, ... 512; in MicroPDF417 those
    // its size has.
    std::int32_t EccCount() const {
        if (!IsMicroPdf417()) return 2 << SymbolEccLevel();
        return IsMicroSize(MicroSize) ? kMicroPdf417Sizes[MicroSize].eccCodewords : 0;
    }
    // The two steps every compaction takes before it compacts: EccCount and the Columns check.
    void PrepareDimensioning();
    // Chooses Columns and ActualRows for `required` codewords; false when no symbol holds them.
    bool DimensionSymbol(std::int32_t required);
    // Chooses the error-correction level for `dataCodewords` (the length descriptor and every
    // codeword before the error correction but the pad codewords), then dimensions the symbol.
    bool DimensionData(std::int32_t dataCodewords);

    // MicroPDF417 (Symbology 1): PDF417's codewords in sizes of their own (MicroSize).
    bool IsMicroPdf417() const { return Symbology == kSymbologyMicroPdf417; }
    // The size that MicroColumns and MicroRows allow and that holds `dataCodewords` (every
    // codeword but the error correction); false, with LastFit saying why, when there is none.
    bool DimensionMicroSymbol(std::int32_t dataCodewords);
    // Puts the caller's Columns back where the last MicroPDF417 symbol's columns stand in it.
    void RestoreColumnsSetting();

    // The symbol's frame around the compacted data: the length descriptor (none in
    // MicroPDF417), the ECI designator that follows it, and the Macro PDF417 control block after
    // the pad codewords.
    std::int32_t DescriptorLength() const { return IsMicroPdf417() ? 0 : 1; }
    std::int32_t EciDesignatorLength() const;
    std::int32_t MacroControlBlockLength() const;
    std::int32_t FrameLength() const {
        return DescriptorLength() + EciDesignatorLength() + MacroControlBlockLength();
    }
    // A MicroPDF417 symbol starts in byte compaction, so data that starts in text compaction
    // starts with a latch to it; a PDF417 symbol starts in text.
    std::int32_t TextEntryLength() const { return IsMicroPdf417() ? 1 : 0; }
    // The first cell of the compacted data, and the cell after the last pad codeword.
    std::int32_t DataStartCell() const { return DescriptorLength() + EciDesignatorLength(); }
    std::int32_t PadEndCell() const {
        return CodewordCount - EccCount() - MacroControlBlockLength();
    }
    // Whether the Macro settings describe a segment of a set: none, or an index below the count.
    bool MacroSettingsAreConsistent() const;
    void WriteEciDesignator();  // after the length descriptor
    void WriteMacroControlBlock(std::int32_t firstCell);
    // After the data and pad codewords are in place: the descriptor, the ECI designator, the
    // Macro control block and the error correction.
    void CompleteSymbol();
    void ComputeErrorCorrection();
    std::int32_t EccCoefficient(std::int32_t j) const;

    // Shared by text and mixed compaction: the sub-mode state machine's two variables (the
    // current and the return sub-mode, as TextSubmodeLetter letters) and one step of it, which
    // appends the values of one text-encodable byte to CompactionValues from cell `count` and
    // returns the new count.
    struct TextSubmodeState {
        char Current = 'A';
        char Return = 'A';
    };
    std::int32_t AppendTextValues(BYTE byte, TextSubmodeState& submodes, std::int32_t count);
    // Shared by byte and mixed compaction: the six-to-five groups and the single bytes of
    // DataText[begin, end), appended to CompactionValues from cell `count`; returns the new count.
    std::int32_t AppendByteValues(std::int32_t begin, std::int32_t end, std::int32_t count);

    // ---- Renderer (render/) ----
    // Draws the whole picture into DrawDC: background, symbol (running EncodeData in its
    // measuring pass) and border. False, with everything it created released, when the screen
    // or a brush cannot be had.
    bool RenderSymbol();
    // What the measuring pass leaves, for a picture drawn without a device
    // (render/SymbolPicture.h): encodes, and sets SymbolDepth and the margins that centre the
    // symbol. Needs the module geometry.
    void PlaceSymbol();
    // The margins that centre a symbol of SymbolDepth and `rowLength` pixels in the picture.
    void CentreSymbol(std::int32_t rowLength);
    // The picture drawn straight from the symbol's rows rather than on a device, once
    // PlaceSymbol has run: DrawPicture makes DrawnPicture (false when its working rows cannot
    // be had), which the PNG writer reads instead of CaptureBlock; ReleaseDrawnPicture frees it.
    bool DrawPicture();
    DrawnRowsFormat DrawnPictureFormat() const;
    void ForEachDrawnRun(RunVisitor visit) const;
    void ReleaseDrawnPicture();
    // Sets RowDpi, ModuleWidth, WideBarWidth and RowHeight from the settings and the screen;
    // false when the screen cannot be had.
    bool ComputeModuleGeometry();
    // The encoded symbol's width and height in pixels, as GetActualSize reports them:
    // ModuleWidth × the modules a measured row counts (render/SymbolGeometry.h) and
    // ActualRows × RowHeight, in 64 bits since a wide module can take them past 32.
    std::int64_t SymbolWidthInPixels() const;
    std::int64_t SymbolHeightInPixels() const;
    // Whether they fit the 32-bit coordinates of drawing (and of GetActualSize's figures). A
    // symbol beyond them cannot be drawn, however little of it the picture would show.
    bool SymbolFitsCoordinates() const;
    // One pass over the rows: measuring (MeasureOnly, which also encodes) or painting.
    void DrawSymbolPass();
    void DrawBorder(bool solid);
    // Row assembly: row r of the symbol as modules (render/ModuleRow.h), appended to `row`;
    // every row is SymbolRowModules() long.
    void AssembleRow(std::int32_t r, ModuleRow& row) const;
    void AssembleMicroRow(std::int32_t r, ModuleRow& row) const;
    std::int32_t SymbolRowModules() const;
    std::int32_t LeftRowIndicator(std::int32_t r) const;
    std::int32_t RightRowIndicator(std::int32_t r) const;
    // Every row, its bars painted a row at a time (render/RowPlacement.h), or in the measuring
    // pass the cursors moved past them.
    void DrawRows();
    // Whether the state holds a symbol that can be drawn: the last encoding fitted, its size
    // fits 32-bit coordinates, and the shape and every codeword are inside the limits the
    // pattern tables allow.
    bool SymbolIsDrawable() const;

    // ---- PNG writer (png/) ----
    // Capture and palette. CaptureBitmap copies the drawn bitmap into a new fixed global
    // block holding a 1- or 4-bit DIB (header, colour table, rows bottom-up); null when the
    // block or the screen cannot be had. The caller frees the block with GlobalFree.
    HGLOBAL CaptureBitmap(HBITMAP bitmap);
    // Reads CaptureBlock (a bottom-up DIB of 1, 4 or 8 bits a pixel): sets PngWidth and
    // PngHeight, the palette (the picture's distinct colours in the order of their first
    // appearance from the top-left pixel), PaletteIndexOfEntry, BitDepth and PaletteEntries.
    void BuildPalette();
    // Sets ZlibLength, which follows from the picture's size and BitDepth alone, and
    // allocates ScanlineBuffer for WriteZlibStream. False when out of memory.
    bool BuildZlibStream();
    // Writes the ZlibLength bytes of the zlib stream of stored blocks over the scanlines of
    // CaptureBlock to `out`; sets the Adler-32 fields and frees ScanlineBuffer.
    void WriteZlibStream(BYTE* out);
    // Writes the whole file into OutputArray from OutputPosition: signature, IHDR, PLTE,
    // IDAT (whose zlib stream is written straight into the array) and IEND.
    void WritePng();
    void WriteSignature();
    // Length, type and data, and the CRC of type and data; leaves the chunk's CRC in Crc.
    void WriteChunk(const BYTE* type, const BYTE* data, std::uint32_t length);
    void WriteHeaderChunk();
    void WritePaletteChunk();
    void WriteDataChunk();
    void WriteEndChunk();
    // Stores bytes at OutputPosition onward and advances it.
    void PutBytes(std::int32_t count, const BYTE* bytes);
    // Holds OutputArray's data in OutputData and OutputElements until ReleaseOutput; false
    // (and nothing held) when the array cannot be read.
    bool HoldOutput();
    void ReleaseOutput();
    void StoreBigEndian(std::uint32_t value);
    void CrcReset();
    void CrcUpdate(const BYTE* bytes, std::size_t count);
    void AdlerUpdate(const BYTE* bytes, std::size_t count);
    // AdlerUpdate over `times` copies of the bytes, in time independent of `times`.
    void AdlerRepeat(const BYTE* bytes, std::size_t count, std::int32_t times);
    // Length of the file WritePng writes: 69 + 3 × PaletteEntries + ZlibLength.
    std::int32_t PngFileLength() const { return 69 + 3 * PaletteEntries + ZlibLength; }
    // Frees ScanlineBuffer if it is held.
    void ReleasePngBuffers();

    // ---- Interface and page objects ----
    // (The object's reference count is kept by the object that owns the state: a plain or an
    // aggregated object of the server, without atomic operations.)
    IDispatch* PageRequest = nullptr;
    IDispatch* PageResponse = nullptr;
    IDispatch* PageSession = nullptr;
    IDispatch* PageServer = nullptr;
    IDispatch* PageApplication = nullptr;

    // ---- Settings and symbol shape ----
    std::int32_t BackColorBits = 1;  // 1 when BackColor is pure white, else 4
    std::int32_t BarColorBits = 1;   // 1 when BarColor is pure black, else 4
    std::int32_t Rows = 0;           // least number of rows; 0 means no minimum
    std::int32_t ActualRows = 2;
    std::int32_t Columns = kDefaultColumns;
    float Y2XRatio = 3.0f;
    std::int16_t BorderStyle = 0;  // 0 none, 1 dashed, 2 solid
    std::int32_t Mode = 0;         // 0 byte, 1 text, 2 mixed compaction
    std::int32_t EccLevel = 2;
    std::int32_t Orientation = 0;  // quarter turns counter-clockwise
    float NarrowBarWidth = 0.07f;  // centimetres

    // ---- Text and drawing ----
    BYTE DataText[kDataTextSize] = {'1', '2', 0};
    std::int32_t RunCursor = 0;
    std::int32_t RowCursor = 0;
    std::int32_t ModuleWidth = 0;
    std::int32_t WideBarWidth = 0;
    std::int32_t MarginTop = 0;
    std::int32_t SymbolDepth = 0;
    std::int32_t RowHeight = 0;
    std::int32_t MarginLeft = 0;
    std::int32_t ImageHeight = 200;
    std::int32_t ImageWidth = 300;
    COLORREF BackColor = 0xFFFFFF;
    COLORREF BarColor = 0x000000;
    HDC DrawDC = nullptr;
    char TextSubmodeLetter = 0;
    std::int32_t TextSubmodeValue = 0;
    BOOL MeasureOnly = FALSE;
    // Work areas, left without an initial value (46 KB a new object need not touch): every
    // request writes them before it reads them.
    BYTE DataScratch[kDataTextSize];
    BOOL TruncateSymbol = FALSE;
    CodewordAreas CodewordBuffer;  // a work area, as DataScratch
    std::int32_t RowDpi = 0;
    std::int32_t OriginX = 0;
    std::int32_t OriginY = 0;
    HBRUSH BarBrush = nullptr;
    HBRUSH BackBrush = nullptr;
    HGDIOBJ SavedBrush = nullptr;
    std::int32_t CodewordCount = 0;
    std::int32_t DataLength = 0;
    BOOL HandleTilde = FALSE;
    SymbolFit LastFit = SymbolFit::Fits;
    // The size of the last MicroPDF417 symbol, whose columns then stand in Columns, for drawing
    // and measuring, with the caller's Columns kept in SavedColumns; kNoMicroSize otherwise.
    std::int32_t MicroSize = kNoMicroSize;
    std::int32_t SavedColumns = kDefaultColumns;

    // ---- PNG output (used only within one PNGImage request) ----
    SAFEARRAY* OutputArray = nullptr;
    std::int32_t OutputPosition = 0;
    // OutputArray's data and element count while WritePng holds it (one access for the whole
    // file instead of one for each piece); null otherwise.
    BYTE* OutputData = nullptr;
    std::int64_t OutputElements = 0;
    SAFEARRAYBOUND OutputBounds = {};
    std::int32_t PngWidth = 0;
    std::int32_t PngHeight = 0;
    // The captured picture, owned by the request. (No colour planes and no index per pixel:
    // the palette and the scanlines are worked out from the capture's colour-table entries,
    // once per run of equal rows, with the results that unpacked planes would give.)
    HGLOBAL CaptureBlock = nullptr;
    // The picture drawn directly, which the palette and the zlib stream read instead of
    // CaptureBlock while PNGImage writes it (DrawPicture); null otherwise.
    SymbolPicture* DrawnPicture = nullptr;
    // PNGImage paints the picture on a device and reads it back rather than drawing it
    // directly, as the Windows drawing calls do it: the tests hold the direct drawing to it.
    BOOL DrawOnDevice = FALSE;
    BYTE PaletteRed[256] = {};
    BYTE PaletteGreen[256] = {};
    BYTE PaletteBlue[256] = {};
    BYTE PaletteIndexOfEntry[256] = {};  // the palette entry of each capture colour-table entry
    std::int32_t PaletteCount = 0;
    std::int32_t PaletteEntries = 0;
    std::int32_t BitDepth = 0;
    std::uint32_t Crc = 0;
    std::uint32_t AdlerValue = 0;
    std::uint32_t AdlerLow = 0;
    std::uint32_t AdlerHigh = 0;
    BYTE* ScanlineBuffer = nullptr;  // one filtered scanline
    BYTE BigEndianWord[4] = {};
    std::int32_t ZlibLength = 0;

    // ---- Symbol options ----
    // Settings beyond the record above, for the features PDF417 readers and writers share:
    // component/state/SymbolOptions.h gives their ranges. At these defaults every symbol is
    // exactly what it is without them.
    std::int32_t Eci = kNoEci;         // ECI designator after the length descriptor; 0 none
    BOOL OptimizeCompaction = FALSE;   // choose the compaction per stretch; Mode is then unused
    BOOL AutoErrorCorrection = FALSE;  // at least the level recommended for the data's size
    std::int32_t MacroSegmentIndex = kNoMacroSegment;       // −1: not a Macro PDF417 symbol
    std::int32_t MacroSegmentCount = kNoMacroSegmentCount;  // 0: the count is not written
    MacroFileIdCodewords MacroFileId;                       // "000"
    std::int32_t Symbology = 0;
    std::int32_t MicroColumns = 0;
    std::int32_t MicroRows = 0;
    // The level AutoErrorCorrection chose for the last symbol (SymbolEccLevel).
    std::int32_t AutoEccLevel = 2;

    // ---- The last encoding, kept for the next request (EncodeUnlessKept) ----
    // Whether the encoding results in the state are those of KeptSettings and KeptDataText:
    // false until the first encoding, and after anything else wrote over them.
    BOOL EncodingKept = FALSE;
    EncodingSettings KeptSettings;
    BYTE KeptDataText[kDataTextSize];  // a work area: read only while EncodingKept
    // Cleared, every request encodes afresh: the tests hold the kept encodings to that.
    BOOL KeepEncodings = TRUE;
};
