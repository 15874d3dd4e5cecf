#include "component/contract/QuillonProperties.h"

#include <cstdio>

#include "platform/common/AsciiCase.h"

namespace {

using enum PropertyValues;

constexpr IntegerRange kNoIntegers{0, -1};
constexpr RealRange kNoReals{0.0, 0.0};

constexpr QuillonProperty Integers(const char* name, DISPID dispid, VARTYPE type,
                                   const char* type_name, const char* default_value,
                                   IntegerRange range, const char* help) {
    return {name, dispid, type, type_name, default_value, kIntegers, range, kNoReals, help};
}

constexpr QuillonProperty Reals(const char* name, DISPID dispid, VARTYPE type,
                                const char* type_name, const char* default_value, RealRange range,
                                const char* help) {
    return {name, dispid, type, type_name, default_value, kReals, kNoIntegers, range, help};
}

constexpr QuillonProperty Switch(const char* name, DISPID dispid, const char* help) {
    return {name, dispid, VT_BOOL, "boolean", "False", kAnyValue, kNoIntegers, kNoReals, help};
}

constexpr QuillonProperty kProperties[] = {
    Integers("BorderStyle", DISPID_QUILLON_BORDERSTYLE, VT_I2, "16-bit integer", "0",
             kBorderStyleRange, "black frame around the picture: 0 none, 1 dashed, 2 solid"),
    {"Data", DISPID_QUILLON_DATA, VT_BSTR, "string", "12", kText, kNoIntegers, kNoReals,
     "the text to encode (Windows-1252 characters; others become '?')"},
    Integers("ErrorCorrectionLevel", DISPID_QUILLON_ERRORCORRECTIONLEVEL, VT_I2, "16-bit integer",
             "2", kEccLevelRange, "error-correction level: 2^(level+1) error-correction codewords"),
    Integers("Orientation", DISPID_QUILLON_ORIENTATION, VT_I2, "16-bit integer", "0",
             kOrientationRange, "quarter turns of the symbol, counter-clockwise"),
    Integers("Columns", DISPID_QUILLON_COLUMNS, VT_I2, "16-bit integer", "3", kColumnsRange,
             "data columns; raised when the data would need more rows than a symbol has"),
    Integers("Rows", DISPID_QUILLON_ROWS, VT_I2, "16-bit integer", "0", kRowsRange,
             "least number of rows (0, the default: no minimum)"),
    Switch("TruncateSymbol", DISPID_QUILLON_TRUNCATESYMBOL,
           "truncated symbol: no right row indicator and stop pattern"),
    Reals("Y2XRatio", DISPID_QUILLON_Y2XRATIO, VT_R4, "single-precision real", "3", kY2XRatioRange,
          "row height as a multiple of the module width"),
    Integers("Width", DISPID_QUILLON_WIDTH, VT_I2, "16-bit integer", "300", kPictureSideRange,
             "picture width in pixels"),
    Integers("Height", DISPID_QUILLON_HEIGHT, VT_I2, "16-bit integer", "200", kPictureSideRange,
             "picture height in pixels"),
    Reals("NarrowBarWidth", DISPID_QUILLON_NARROWBARWIDTH, VT_R8, "real", "0.07",
          kNarrowBarWidthRange, "module width in centimetres, at 96 pixels per inch"),
    Integers("BackColor", DISPID_QUILLON_BACKCOLOR, VT_I4, "32-bit integer", "16777215",
             kColourRange, "background colour 0x00BBGGRR (only the low 24 bits count)"),
    Integers("BarColor", DISPID_QUILLON_BARCOLOR, VT_I4, "32-bit integer", "0", kColourRange,
             "bar colour 0x00BBGGRR (only the low 24 bits count)"),
    Integers("Mode", DISPID_QUILLON_MODE, VT_I2, "16-bit integer", "0", kModeRange,
             "compaction: 0 byte, 1 text (becomes 2 for data text cannot hold), 2 mixed"),
    Switch("HandleTilde", DISPID_QUILLON_HANDLETILDE, "expand ~dNNN escapes into the byte NNN"),
};

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

bool QuillonProperty::Accepts(const VARIANT& converted) const {
    switch (values) {
        case kAnyValue:
        case kText:
            return true;
        case kIntegers:
            return integers.Contains(converted.vt == VT_I2 ? converted.iVal : converted.lVal);
        case kReals:
            return reals.Contains(
                static_cast<float>(converted.vt == VT_R4 ? converted.fltVal : converted.dblVal));
    }
    return false;
}

std::string QuillonProperty::AcceptedText() const {
    switch (values) {
        case kAnyValue:
            return "True or False";
        case kText:
            return "text of at most " + std::to_string(kMaxDataLength) + " bytes";
        case kIntegers:
            return std::to_string(integers.low) + ".." + std::to_string(integers.high);
        case kReals:
            return "above " + Number(reals.above) +
                   (reals.at_most < FLT_MAX ? ", at most " + Number(reals.at_most) : "");
    }
    return {};
}

std::span<const QuillonProperty> QuillonProperties() {
    return kProperties;
}

const QuillonProperty* FindQuillonProperty(std::string_view name) {
    for (const QuillonProperty& p : kProperties) {
        if (platform::EqualsIgnoringCase(p.name, name)) return &p;
    }
    return nullptr;
}
