// The server kit on Windows: the library found by an address inside it, scripts read from its
// REGISTRY resources, and the registrar applying them to the real HKEY_CLASSES_ROOT
// (RegistryScript.cpp).
#include "platform/serverkit/ModuleHost.h"

#include <string>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"

namespace serverkit {
namespace {

// The library this kit is linked into: any address inside it names it.
HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

}  // namespace

std::string ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // cut short: try again with room for a longer path
    }
    return platform::Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(path.data()), path.size()));
}

HRESULT LoadRegistrationScript(const RegistrationScript& script, std::string_view* text) {
    if (script.text != nullptr) {
        *text = script.text;
        return S_OK;
    }
    const HMODULE module = ThisModule();
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(script.resource), L"REGISTRY");
    const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return platform::ReportFailure(
            HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND),
            "the library carries no REGISTRY resource " + std::to_string(script.resource));
    }
    *text = std::string_view(static_cast<const char*>(data), SizeofResource(module, found));
    return S_OK;
}

}  // namespace serverkit
