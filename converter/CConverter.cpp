#include "converter/CConverter.h"

#include <memory>
#include <new>

#include "platform/common/ErrorReporting.h"

namespace {

constexpr int kEscapeLength = 5;  // "~d" and three digits

HRESULT Fail(HRESULT hr, LPCOLESTR description) {
    return platform::ReportError(hr, IID__Converter, kConverterProgId, description);
}

}  // namespace

void CConverter::GetByteEscape(std::int16_t value, OLECHAR* escape) {
    escape[0] = u'~';
    escape[1] = u'd';
    escape[2] = static_cast<OLECHAR>(u'0' + value / 100);
    escape[3] = static_cast<OLECHAR>(u'0' + value % 100 / 10);
    escape[4] = static_cast<OLECHAR>(u'0' + value % 10);
}

// The text is converted up to its first U+0000. An error returns no string at all, never a
// partial one.
HRESULT CConverter::GetUTF8String(BSTR UnicodeText, BSTR* result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;

    if (UnicodeText == nullptr || UnicodeText[0] == 0) {
        *result = SysAllocString(OLESTR(""));
        return *result != nullptr ? S_OK : Fail(E_OUTOFMEMORY, OLESTR("Out of memory"));
    }

    const int size = WideCharToMultiByte(CP_UTF8, 0, UnicodeText, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return Fail(E_FAIL, OLESTR("The text could not be converted to UTF-8"));
    const int count = size - 1;  // without the terminating zero
    if (count > kMaxUtf8Bytes) {
        return Fail(DISP_E_OVERFLOW,
                    OLESTR("The text's UTF-8 form is longer than 32766 bytes, the most Converter "
                           "can escape"));
    }

    std::unique_ptr<char[]> bytes(new (std::nothrow) char[size]);
    if (!bytes) return Fail(E_OUTOFMEMORY, OLESTR("Out of memory"));
    WideCharToMultiByte(CP_UTF8, 0, UnicodeText, -1, bytes.get(), size, nullptr, nullptr);

    BSTR escaped = SysAllocStringLen(nullptr, static_cast<UINT>(count * kEscapeLength));
    if (escaped == nullptr) return Fail(E_OUTOFMEMORY, OLESTR("Out of memory"));
    for (int i = 0; i < count; ++i) {
        GetByteEscape(static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i])),
                      escaped + i * kEscapeLength);
    }
    *result = escaped;
    return S_OK;
}
