#include "platform/common/RegistryKeyName.h"

namespace platform {

bool IsValidKeyName(std::u16string_view name) {
    if (name.empty() || name.size() > 255) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        // Printable ASCII, what names are nearly always made of, at one comparison (and the
        // backslash's).
        if (static_cast<unsigned>(c - 0x20) < 0x5F && c != u'\\') continue;
        if (c < 0x20 || c == 0x7F || c == u'\\') return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace platform
