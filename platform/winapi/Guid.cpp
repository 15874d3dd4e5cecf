#include "platform/winapi/Guid.h"

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The registry form lists the GUID's 16 bytes in this order of hex pairs, with dashes between
// the groups; Data1..Data3 are numbers written most significant digit first.
bool ParseHex(LPCOLESTR text, int digits, std::uint64_t* value) {
    *value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[i]);
        if (v < 0) return false;
        *value = (*value << 4) | static_cast<unsigned>(v);
    }
    return true;
}

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
    if (buffer == nullptr || cchMax < kGuidStringLength + 1) return 0;
    int pos = 0;
    auto put_hex = [&](std::uint64_t value, int digits) {
        for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
            buffer[pos++] = kHexDigits[(value >> shift) & 0xF];
        }
    };
    buffer[pos++] = u'{';
    put_hex(guid.Data1, 8);
    buffer[pos++] = u'-';
    put_hex(guid.Data2, 4);
    buffer[pos++] = u'-';
    put_hex(guid.Data3, 4);
    buffer[pos++] = u'-';
    put_hex(guid.Data4[0], 2);
    put_hex(guid.Data4[1], 2);
    buffer[pos++] = u'-';
    for (int i = 2; i < 8; ++i) put_hex(guid.Data4[i], 2);
    buffer[pos++] = u'}';
    buffer[pos++] = 0;
    return pos;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
    if (text == nullptr || iid == nullptr) return E_INVALIDARG;
    // Positions of the dashes and braces in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
    for (int i = 0; i < kGuidStringLength; ++i) {
        if (text[i] == 0) return CO_E_CLASSSTRING;
    }
    if (text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' ||
        text[24] != u'-' || text[37] != u'}' || text[38] != 0) {
        return CO_E_CLASSSTRING;
    }
    GUID g{};
    std::uint64_t v = 0;
    if (!ParseHex(text + 1, 8, &v)) return CO_E_CLASSSTRING;
    g.Data1 = static_cast<DWORD>(v);
    if (!ParseHex(text + 10, 4, &v)) return CO_E_CLASSSTRING;
    g.Data2 = static_cast<WORD>(v);
    if (!ParseHex(text + 15, 4, &v)) return CO_E_CLASSSTRING;
    g.Data3 = static_cast<WORD>(v);
    const int byte_offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ParseHex(text + byte_offsets[i], 2, &v)) return CO_E_CLASSSTRING;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    *iid = g;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    return IIDFromString(text, clsid);
}
