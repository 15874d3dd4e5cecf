// Settings and Data, then the three requests, on an object of the server. The settings are put
// through the interface itself with any values of their types (module widths in the
// thousands of centimetres, NaN, lone surrogates in Data...), except that pictures stay small
// enough to draw quickly. Beyond not failing, the requests must agree with each other: the
// data fits for all three or for none, GetActualSize succeeds exactly when PNGImage does, and
// the PNG is a picture of the size asked for.
#include <cstdint>
#include <cstring>

#include "component/contract/IQuillon.h"
#include "fuzz/support/FuzzInput.h"
#include "fuzz/support/Servers.h"

namespace {

// Pictures above this many pixels a side are not asked for: they only cost time.
constexpr SHORT kLargestSide = 640;

IQuillon* quillon = nullptr;

struct Picture {
    SHORT width = 300;
    SHORT height = 200;
};

void PutSetting(FuzzInput& input, Picture& picture) {
    switch (input.Below(16)) {
        case 0:
            quillon->put_BorderStyle(input.Take<SHORT>());
            break;
        case 1:
        case 2: {
            const std::u16string text = input.Utf16(5100);
            BSTR data = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            quillon->put_Data(data);
            SysFreeString(data);
            break;
        }
        case 3:
            quillon->put_ErrorCorrectionLevel(input.Take<SHORT>());
            break;
        case 4:
            quillon->put_Orientation(input.Take<SHORT>());
            break;
        case 5:
            quillon->put_Columns(input.Take<SHORT>());
            break;
        case 6:
            quillon->put_Rows(input.Take<SHORT>());
            break;
        case 7:
            quillon->put_TruncateSymbol(input.Take<VARIANT_BOOL>());
            break;
        case 8:
            quillon->put_Y2XRatio(input.Take<FLOAT>());
            break;
        case 9:
        case 10: {
            const SHORT side = input.Take<SHORT>();
            if (side > kLargestSide) break;
            if (input.Bool()) {
                quillon->put_Width(side);
                if (side > 0) picture.width = side;
            } else {
                quillon->put_Height(side);
                if (side > 0) picture.height = side;
            }
            break;
        }
        case 11:
            quillon->put_NarrowBarWidth(input.Take<DOUBLE>());
            break;
        case 12:
            quillon->put_BackColor(input.Take<LONG>());
            break;
        case 13:
            quillon->put_BarColor(input.Take<LONG>());
            break;
        case 14:
            quillon->put_Mode(input.Take<SHORT>());
            break;
        default:
            quillon->put_HandleTilde(input.Take<VARIANT_BOOL>());
            break;
    }
}

std::uint32_t BigEndian(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void CheckPng(const VARIANT& png, const Picture& picture) {
    FUZZ_CHECK(png.vt == (VT_ARRAY | VT_UI1) && png.parray != nullptr);
    const ULONG length = png.parray->rgsabound[0].cElements;
    const auto* bytes = static_cast<const std::uint8_t*>(png.parray->pvData);
    FUZZ_CHECK(length > 33 && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0);
    FUZZ_CHECK(std::memcmp(bytes + 12, "IHDR", 4) == 0);
    FUZZ_CHECK(BigEndian(bytes + 16) == static_cast<std::uint32_t>(picture.width));
    FUZZ_CHECK(BigEndian(bytes + 20) == static_cast<std::uint32_t>(picture.height));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseServers();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillon = fuzz::Create<IQuillon>(kQuillonProgId, IID_IQuillon);
    FuzzInput input(data, size);
    Picture picture;
    for (int step = 0; step < 24 && !input.empty(); ++step) PutSetting(input, picture);

    VARIANT rows, columns, width, height, png;
    for (VARIANT* v : {&rows, &columns, &width, &height, &png}) VariantInit(v);
    const HRESULT rc = quillon->GetActualRC(&rows, &columns);
    const HRESULT measured = quillon->GetActualSize(&width, &height);
    const HRESULT drawn = quillon->get_PNGImage(&png);

    const bool fits = rc != QUILLON_E_DATA_DOES_NOT_FIT;
    FUZZ_CHECK(fits == (measured != QUILLON_E_DATA_DOES_NOT_FIT));
    FUZZ_CHECK(fits == (drawn != QUILLON_E_DATA_DOES_NOT_FIT));
    FUZZ_CHECK(SUCCEEDED(measured) == SUCCEEDED(drawn));
    if (SUCCEEDED(rc)) {
        FUZZ_CHECK(rows.vt == VT_I2 && rows.iVal >= 3 && rows.iVal <= 90);
        FUZZ_CHECK(columns.vt == VT_I2 && columns.iVal >= 1 && columns.iVal <= 30);
    }
    if (SUCCEEDED(measured)) {
        FUZZ_CHECK(width.vt == VT_I4 && width.lVal > 0);
        FUZZ_CHECK(height.vt == VT_I4 && height.lVal >= 0);
    }
    if (SUCCEEDED(drawn)) CheckPng(png, picture);
    for (VARIANT* v : {&rows, &columns, &width, &height, &png}) VariantClear(v);
    quillon->Release();
    return 0;
}
