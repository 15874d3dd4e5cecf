#include "hosts/common/PropertyCatalog.h"

#include "hosts/common/AsciiCase.h"

namespace {

template <int Low, int High>
bool ShortIn(const VARIANT& v) {
    return v.iVal >= Low && v.iVal <= High;
}
bool NonNegativeLong(const VARIANT& v) {
    return v.lVal >= 0;
}
bool RatioInRange(const VARIANT& v) {
    return v.fltVal > 0.0f && v.fltVal <= 5.0f;
}
bool PositiveWidth(const VARIANT& v) {
    const float width = static_cast<float>(v.dblVal);
    return v.dblVal > 0.0 && width > 0.0f && width <= 3.4e38f;
}

constexpr PropertyInfo kProperties[] = {
    {"Data", VT_BSTR, "string", "12", "text of at most 4999 bytes",
     "the text to encode (Windows-1252 characters; others become '?')", nullptr},
    {"Mode", VT_I2, "16-bit integer", "0", "0..2",
     "compaction: 0 byte, 1 text (falls back to 2 for other bytes), 2 mixed", ShortIn<0, 2>},
    {"ErrorCorrectionLevel", VT_I2, "16-bit integer", "2", "0..8",
     "error-correction level: 2^(level+1) codewords", ShortIn<0, 8>},
    {"Columns", VT_I2, "16-bit integer", "3", "2..30",
     "data columns; raised when more than 90 rows would be needed", ShortIn<2, 30>},
    {"Rows", VT_I2, "16-bit integer", "0", "2..30", "least number of rows (0: no minimum)",
     ShortIn<2, 30>},
    {"TruncateSymbol", VT_BOOL, "boolean", "False", "True or False",
     "truncated symbol: no right row indicator and stop pattern", nullptr},
    {"Y2XRatio", VT_R4, "single-precision real", "3", "above 0, at most 5",
     "row height as a multiple of the module width", RatioInRange},
    {"Width", VT_I2, "16-bit integer", "300", "1..32767", "picture width in pixels",
     ShortIn<1, 32767>},
    {"Height", VT_I2, "16-bit integer", "200", "1..32767", "picture height in pixels",
     ShortIn<1, 32767>},
    {"NarrowBarWidth", VT_R8, "real", "0.07", "above 0", "module width in centimetres (96 dpi)",
     PositiveWidth},
    {"BackColor", VT_I4, "32-bit integer", "16777215", "0..2147483647",
     "background colour 0x00BBGGRR (only the low 24 bits count)", NonNegativeLong},
    {"BarColor", VT_I4, "32-bit integer", "0", "0..2147483647",
     "bar colour 0x00BBGGRR (only the low 24 bits count)", NonNegativeLong},
    {"Orientation", VT_I2, "16-bit integer", "0", "0..3", "quarter turns counter-clockwise",
     ShortIn<0, 3>},
    {"BorderStyle", VT_I2, "16-bit integer", "0", "0..2", "0 none, 1 dashed, 2 solid",
     ShortIn<0, 2>},
    {"HandleTilde", VT_BOOL, "boolean", "False", "True or False",
     "expand ~dNNN escapes into the byte NNN", nullptr},
};

}  // namespace

std::span<const PropertyInfo> Properties() {
    return kProperties;
}

const PropertyInfo* FindProperty(std::string_view name) {
    for (const PropertyInfo& p : kProperties) {
        if (EqualsIgnoringCase(p.name, name)) return &p;
    }
    return nullptr;
}
