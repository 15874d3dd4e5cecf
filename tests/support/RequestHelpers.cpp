#include "tests/support/RequestHelpers.h"

std::vector<std::uint8_t> BytesOf(const VARIANT& value) {
    if (value.vt != (VT_ARRAY | VT_UI1) || value.parray == nullptr) return {};
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(value.parray, 1, &lower);
    SafeArrayGetUBound(value.parray, 1, &upper);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(value.parray, &data))) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::vector<std::uint8_t> out(bytes, bytes + (upper - lower + 1));
    SafeArrayUnaccessData(value.parray);
    return out;
}

HRESULT PutData(CQuillon& q, const std::u16string& text) {
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    const HRESULT hr = q.put_Data(s);
    SysFreeString(s);
    return hr;
}

std::uint32_t CapturedColour(std::uint32_t rgb, int bits) {
    static const std::uint32_t kVga[16] = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
        0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    static const std::uint32_t kMono[2] = {0x000000, 0xFFFFFF};
    const std::uint32_t* table = bits == 1 ? kMono : kVga;
    const int entries = bits == 1 ? 2 : 16;
    std::uint32_t best = table[0];
    long best_distance = -1;
    for (int i = 0; i < entries; ++i) {
        long distance = 0;
        for (int shift : {16, 8, 0}) {
            const long d = static_cast<long>((rgb >> shift) & 0xFF) -
                           static_cast<long>((table[i] >> shift) & 0xFF);
            distance += d * d;
        }
        if (best_distance < 0 || distance < best_distance) {
            best = table[i];
            best_distance = distance;
        }
    }
    return best;
}
