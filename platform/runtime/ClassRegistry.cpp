#include "platform/runtime/ClassRegistry.h"

#include <cstring>
#include <new>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"
#include "platform/runtime/ClassRuntime.h"
#include "platform/runtime/Registry.h"
#include "platform/runtime/RegistryTree.h"
#include "platform/winapi/Memory.h"

namespace platform {
namespace {

// Longer CurVer chains than this are taken for a loop.
constexpr int kMaxCurVerSteps = 8;

std::string Narrow(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

// Reads the default value of HKEY_CLASSES_ROOT\path. ERROR_FILE_NOT_FOUND when the key or the
// value is missing (*key_found tells which); other codes when the store cannot be read
// (message set).
long ReadDefault(const std::u16string& path, std::u16string* data, std::string* message,
                 bool* key_found = nullptr) {
    HKEY key = nullptr;
    long result = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
    if (key_found != nullptr) *key_found = result == ERROR_SUCCESS;
    if (result == ERROR_SUCCESS) {
        DWORD size = 0;
        result = RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size);
        if (result == ERROR_SUCCESS) {
            data->assign(size / sizeof(char16_t), u'\0');
            result = RegQueryValueExW(key, nullptr, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(data->data()), &size);
            data->resize(size >= sizeof(char16_t) ? size / sizeof(char16_t) - 1 : 0);
        }
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        *message = PlatformRegistryErrorText();
    }
    return result;
}

HRESULT RegistryFailure(const std::string& message) {
    return ReportFailure(REGDB_E_READREGDB, "cannot read the registry: " + message);
}

std::string InRegistry() {
    return std::string(" (registry ") + PlatformRegistryPath() + ")";
}

}  // namespace

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[kGuidStringLength + 1];
    StringFromGUID2(guid, text, kGuidStringLength + 1);
    return std::u16string(text, kGuidStringLength);
}

HRESULT FindInprocServer(REFCLSID clsid, std::string* path, std::string* message) {
    const std::u16string key = u"CLSID\\" + GuidText(clsid) + u"\\InprocServer32";
    std::u16string data;
    bool key_found = false;
    const long result = ReadDefault(key, &data, message, &key_found);
    if (result == ERROR_FILE_NOT_FOUND || (result == ERROR_SUCCESS && data.empty())) {
        *message = "class " + Narrow(GuidText(clsid)) + " is not registered: HKEY_CLASSES_ROOT\\" +
                   Narrow(key) + (key_found ? " names no library" : " does not exist") +
                   InRegistry();
        return REGDB_E_CLASSNOTREG;
    }
    if (result != ERROR_SUCCESS) {
        *message = "cannot read the registry: " + *message;
        return REGDB_E_READREGDB;
    }
    *path = Narrow(data);
    return S_OK;
}

}  // namespace platform

using platform::ReportFailure;

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
    try {
        std::u16string prog_id(lpszProgID);
        const std::string asked = platform::Utf16ToUtf8(prog_id);
        std::string message;
        for (int step = 0; step <= platform::kMaxCurVerSteps; ++step) {
            if (!platform::IsValidKeyName(prog_id)) break;
            std::u16string text;
            long result = platform::ReadDefault(prog_id + u"\\CLSID", &text, &message);
            if (result == ERROR_SUCCESS) {
                if (SUCCEEDED(CLSIDFromString(text.c_str(), lpclsid))) return S_OK;
                return ReportFailure(CO_E_CLASSSTRING, "ProgID " + platform::Utf16ToUtf8(prog_id) +
                                                           " names a malformed CLSID \"" +
                                                           platform::Utf16ToUtf8(text) + "\"");
            }
            if (result != ERROR_FILE_NOT_FOUND) return platform::RegistryFailure(message);
            result = platform::ReadDefault(prog_id + u"\\CurVer", &text, &message);
            if (result == ERROR_FILE_NOT_FOUND || (result == ERROR_SUCCESS && text.empty())) break;
            if (result != ERROR_SUCCESS) return platform::RegistryFailure(message);
            prog_id = text;
        }
        return ReportFailure(CO_E_CLASSSTRING,
                             "ProgID " + asked + " is not registered" + platform::InRegistry());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    try {
        const std::u16string key = u"CLSID\\" + platform::GuidText(clsid) + u"\\ProgID";
        std::u16string text;
        std::string message;
        const long result = platform::ReadDefault(key, &text, &message);
        if (result == ERROR_FILE_NOT_FOUND || (result == ERROR_SUCCESS && text.empty())) {
            return ReportFailure(REGDB_E_CLASSNOTREG,
                                 "class " + platform::Utf16ToUtf8(platform::GuidText(clsid)) +
                                     " has no ProgID" + platform::InRegistry());
        }
        if (result != ERROR_SUCCESS) return platform::RegistryFailure(message);
        const size_t bytes = (text.size() + 1) * sizeof(char16_t);
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::memcpy(copy, text.c_str(), bytes);
        *lplpszProgID = copy;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
