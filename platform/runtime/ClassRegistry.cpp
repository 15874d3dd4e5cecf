#include "platform/runtime/ClassRegistry.h"

#include <cstring>
#include <new>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"
#include "platform/runtime/ClassRuntime.h"
#include "platform/runtime/RegistrySnapshot.h"
#include "platform/winapi/Memory.h"

namespace platform {
namespace {

// Longer CurVer chains than this are taken for a loop.
constexpr int kMaxCurVerSteps = 8;

std::string Narrow(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

HRESULT RegistryFailure(const std::string& message) {
    return ReportFailure(REGDB_E_READREGDB, "cannot read the registry: " + message);
}

std::string InRegistry(const RegistrySnapshot& registry) {
    return " (registry " + registry.Describe() + ")";
}

// The default value of a key, or nothing when the key has none or an empty one.
std::optional<std::u16string> NonEmptyDefault(const RegistrySnapshot& registry,
                                              std::u16string_view path) {
    auto value = registry.Value(path, u"");
    if (value && value->empty()) value.reset();
    return value;
}

}  // namespace

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[kGuidStringLength + 1];
    StringFromGUID2(guid, text, kGuidStringLength + 1);
    return std::u16string(text, kGuidStringLength);
}

HRESULT FindInprocServer(REFCLSID clsid, std::string* path, std::string* message) {
    RegistrySnapshot registry;
    if (registry.Read(message) != ERROR_SUCCESS) {
        *message = "cannot read the registry: " + *message;
        return REGDB_E_READREGDB;
    }
    const std::u16string key = u"CLSID\\" + GuidText(clsid) + u"\\InprocServer32";
    const auto library = NonEmptyDefault(registry, key);
    if (!library) {
        *message = "class " + Narrow(GuidText(clsid)) + " is not registered: HKEY_CLASSES_ROOT\\" +
                   Narrow(key) + (registry.HasKey(key) ? " names no library" : " does not exist") +
                   InRegistry(registry);
        return REGDB_E_CLASSNOTREG;
    }
    *path = Narrow(*library);
    return S_OK;
}

}  // namespace platform

using platform::ReportFailure;

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
    try {
        std::u16string prog_id(lpszProgID);
        const std::string asked = platform::Utf16ToUtf8(prog_id);
        platform::RegistrySnapshot registry;
        if (std::string message; registry.Read(&message) != ERROR_SUCCESS) {
            return platform::RegistryFailure(message);
        }
        for (int step = 0; step <= platform::kMaxCurVerSteps; ++step) {
            if (!platform::IsValidKeyName(prog_id)) break;
            if (const auto text = registry.Value(prog_id + u"\\CLSID", u"")) {
                if (SUCCEEDED(CLSIDFromString(text->c_str(), lpclsid))) return S_OK;
                return ReportFailure(CO_E_CLASSSTRING, "ProgID " + platform::Utf16ToUtf8(prog_id) +
                                                           " names a malformed CLSID \"" +
                                                           platform::Utf16ToUtf8(*text) + "\"");
            }
            const auto current = platform::NonEmptyDefault(registry, prog_id + u"\\CurVer");
            if (!current) break;
            prog_id = *current;
        }
        return ReportFailure(CO_E_CLASSSTRING, "ProgID " + asked + " is not registered" +
                                                   platform::InRegistry(registry));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    try {
        platform::RegistrySnapshot registry;
        if (std::string message; registry.Read(&message) != ERROR_SUCCESS) {
            return platform::RegistryFailure(message);
        }
        const std::u16string key = u"CLSID\\" + platform::GuidText(clsid) + u"\\ProgID";
        const auto text = platform::NonEmptyDefault(registry, key);
        if (!text) {
            return ReportFailure(REGDB_E_CLASSNOTREG,
                                 "class " + platform::Utf16ToUtf8(platform::GuidText(clsid)) +
                                     " has no ProgID" + platform::InRegistry(registry));
        }
        const size_t bytes = (text->size() + 1) * sizeof(char16_t);
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::memcpy(copy, text->c_str(), bytes);
        *lplpszProgID = copy;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
