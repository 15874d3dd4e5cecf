#include "platform/runtime/TypeLibStore.h"

#include <dlfcn.h>

#include <cstdio>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"
#include "platform/runtime/Registry.h"
#include "platform/runtime/RegistrySnapshot.h"
#include "platform/runtime/RegistryStore.h"
#include "platform/runtime/TrustedFiles.h"
#include "platform/runtime/TypeLibObject.h"
#include "platform/runtime/TypeLibRegistry.h"
#include "platform/winapi/Bstr.h"

namespace {

// The proxy/stub class of automation-compatible interfaces: calls go through IDispatch
// marshalling, which is what Interface\{IID}\ProxyStubClsid32 (and ProxyStubClsid, its 16-bit
// name, which RegisterTypeLib writes too) names for them.
constexpr char16_t kAutomationProxyStub[] = u"{00020424-0000-0000-C000-000000000046}";

std::u16string GuidKey(REFGUID guid) {
    OLECHAR text[kGuidStringLength + 1];
    StringFromGUID2(guid, text, kGuidStringLength + 1);
    return text;
}

std::u16string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string VersionKey(WORD major, WORD minor) {
    return Hex(major) + u"." + Hex(minor);
}

// The key under a locale that holds the module's path for one system kind.
const char16_t* SystemKey(SYSKIND syskind) {
    switch (syskind) {
        case SYS_WIN16:
            return u"win16";
        case SYS_WIN64:
            return u"win64";
        default:
            return u"win32";
    }
}

// The keys and values a registration writes, gathered in a tree of their own and then moved
// into the store in one update. Each through RegCreateKeyExW, RegSetValueExW and RegCloseKey
// would look the store up three times, and registering a server is much of what a short-lived
// host does. Every name here is a GUID, hexadecimal digits or a fixed word, and so a valid key
// name.
class EntryWrites {
public:
    using Key = platform::RegistryKeyNode;

    // The key at path below `under` (the tree's root when null), made when missing.
    Key& At(std::initializer_list<std::u16string_view> path, Key* under = nullptr) {
        return *platform::CreateKeyAt(under != nullptr ? *under : tree_,
                                      {path.begin(), path.size()}, nullptr);
    }
    // The key's value name (null: its default value).
    static void Set(Key& key, const OLECHAR* name, std::u16string value) {
        key.values.insert_or_assign(name == nullptr ? u"" : name, std::move(value));
    }

    // Within the transaction that AsOneChange opens, so that a failure half-way drops the
    // transaction's copy with everything written to it.
    LONG Apply(std::string* message) {
        return platform::UpdateRegistry(
            platform::RegistryStoreName(),
            [&](platform::RegistryKeyNode& root) -> long {
                platform::MoveKeyTree(std::move(tree_), &root);
                return ERROR_SUCCESS;
            },
            message);
    }

private:
    platform::RegistryKeyNode tree_;
};

std::optional<std::u16string> GetString(const std::u16string& key, const OLECHAR* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD bytes = 0;
    std::optional<std::u16string> value;
    if (RegQueryValueExW(handle, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::u16string text(bytes / sizeof(OLECHAR) + 1, u'\0');
        if (RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                             &bytes) == ERROR_SUCCESS) {
            text.resize(bytes / sizeof(OLECHAR));
            while (!text.empty() && text.back() == 0) text.pop_back();
            value = text;
        }
    }
    RegCloseKey(handle);
    return value;
}

// Runs look on the store as it is now (as this thread's transaction has it). Asking the
// registry for a key's subkeys one index at a time would take time growing with the square of
// their number: Interface may hold tens of thousands.
void Look(const std::function<void(const platform::RegistryKeyNode& root)>& look) {
    std::string message;
    platform::VisitRegistry(
        platform::RegistryStoreName(),
        [&](const platform::RegistryKeyNode& root) {
            look(root);
            return ERROR_SUCCESS;
        },
        &message);
}

std::vector<std::u16string> SubKeys(const std::u16string& key) {
    std::vector<std::u16string> names;
    platform::RegistryPath path;
    if (platform::ParseRegistryPath(key, &path) != ERROR_SUCCESS) return names;
    Look([&](const platform::RegistryKeyNode& root) {
        if (const platform::RegistryKeyNode* node = platform::FindKey(root, path)) {
            for (const auto& [name, subkey] : node->subkeys) names.push_back(name);
        }
    });
    return names;
}

// The interfaces whose TypeLib key names the library.
std::vector<std::u16string> InterfacesOf(REFGUID libid) {
    std::vector<std::u16string> iids;
    Look([&](const platform::RegistryKeyNode& root) {
        const platform::RegistryKeyNode* interfaces = platform::FindKey(root, {u"Interface"});
        if (interfaces == nullptr) return;
        for (const auto& [iid, key] : interfaces->subkeys) {
            const auto type_library = key->subkeys.find(std::u16string_view(u"TypeLib"));
            if (type_library == key->subkeys.end()) continue;
            const auto owner = type_library->second->values.find(std::u16string_view());
            GUID owner_libid{};
            if (owner != type_library->second->values.end() &&
                SUCCEEDED(IIDFromString(owner->second.c_str(), &owner_libid)) &&
                owner_libid == libid) {
                iids.push_back(iid);
            }
        }
    });
    return iids;
}

HRESULT Failed(LONG status, const std::string& why) {
    return platform::ReportFailure(HRESULT_FROM_WIN32(status),
                                   "cannot write the type library's registration: " + why);
}

// Runs the writes of one registration or unregistration as one change of the store, so that
// no reader sees half of them.
template <class Writes>
HRESULT AsOneChange(Writes writes) {
    platform::RegistryTransaction transaction;
    std::string message;
    if (const long status = transaction.Begin(&message); status != ERROR_SUCCESS) {
        return Failed(status, message);
    }
    const HRESULT hr = writes();
    if (FAILED(hr)) return hr;
    if (const long status = transaction.Commit(&message); status != ERROR_SUCCESS) {
        return Failed(status, message);
    }
    return hr;
}

// Interface\{IID} entries of the library's dual and automation interfaces, so that hosts can
// find an interface's library from the interface alone.
void WriteInterfaces(ITypeLib* library, const std::u16string& libid, const std::u16string& version,
                     EntryWrites* writes) {
    const UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        ITypeInfo* info = nullptr;
        if (FAILED(library->GetTypeInfo(i, &info))) continue;
        TYPEATTR* attributes = nullptr;
        BSTR name = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
            const bool automation =
                attributes->typekind == TKIND_INTERFACE &&
                (attributes->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0;
            if (automation &&
                SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))) {
                EntryWrites::Key& key = writes->At({u"Interface", GuidKey(attributes->guid)});
                EntryWrites::Set(key, nullptr, name == nullptr ? u"" : name);
                for (const char16_t* proxy : {u"ProxyStubClsid", u"ProxyStubClsid32"}) {
                    EntryWrites::Set(writes->At({proxy}, &key), nullptr, kAutomationProxyStub);
                }
                EntryWrites::Key& type_library = writes->At({u"TypeLib"}, &key);
                EntryWrites::Set(type_library, nullptr, libid);
                EntryWrites::Set(type_library, u"Version", version);
            }
            info->ReleaseTypeAttr(attributes);
        }
        SysFreeString(name);
        info->Release();
    }
}

HRESULT WriteEntries(ITypeLib* library, LPCOLESTR path, LPCOLESTR help_directory) {
    TLIBATTR* attributes = nullptr;
    HRESULT hr = library->GetLibAttr(&attributes);
    if (FAILED(hr)) return hr;
    const std::u16string libid = GuidKey(attributes->guid);
    const std::u16string version = VersionKey(attributes->wMajorVerNum, attributes->wMinorVerNum);
    const std::u16string locale = Hex(attributes->lcid);
    const std::u16string system = SystemKey(attributes->syskind);
    library->ReleaseTLibAttr(attributes);

    BSTR name = nullptr;
    BSTR help = nullptr;
    library->GetDocumentation(-1, &name, &help, nullptr, nullptr);
    const std::u16string title = help != nullptr ? help : name != nullptr ? name : u"";
    SysFreeString(name);
    SysFreeString(help);

    EntryWrites writes;
    EntryWrites::Key& key = writes.At({u"TypeLib", libid, version});
    EntryWrites::Set(key, nullptr, title);
    EntryWrites::Set(writes.At({u"FLAGS"}, &key), nullptr, u"0");
    EntryWrites::Set(writes.At({u"HELPDIR"}, &key), nullptr, help_directory ? help_directory : u"");
    EntryWrites::Set(writes.At({locale, system}, &key), nullptr, path ? path : u"");
    WriteInterfaces(library, libid, version, &writes);
    std::string message;
    if (const LONG status = writes.Apply(&message); status != ERROR_SUCCESS) {
        return Failed(status, message);
    }
    return S_OK;
}

HRESULT Write(ITypeLib* library, LPCOLESTR path, LPCOLESTR help_directory) {
    try {
        return AsOneChange([&] { return WriteEntries(library, path, help_directory); });
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT EraseEntries(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    const std::u16string library_key = u"TypeLib\\" + GuidKey(libid);
    const std::u16string version_key = library_key + u"\\" + VersionKey(major, minor);
    const std::u16string locale_key = version_key + u"\\" + Hex(lcid);
    const std::u16string system_key = locale_key + u"\\" + SystemKey(syskind);
    if (!GetString(system_key, nullptr)) return TYPE_E_LIBNOTREGISTERED;

    RegDeleteKeyW(HKEY_CLASSES_ROOT, system_key.c_str());
    if (SubKeys(locale_key).empty()) RegDeleteKeyW(HKEY_CLASSES_ROOT, locale_key.c_str());
    bool other_locales = false;
    for (const std::u16string& sub : SubKeys(version_key)) {
        other_locales = other_locales || (sub != u"FLAGS" && sub != u"HELPDIR");
    }
    if (!other_locales) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, version_key.c_str());
        RegDeleteKeyW(HKEY_CLASSES_ROOT, version_key.c_str());
        if (SubKeys(library_key).empty()) RegDeleteKeyW(HKEY_CLASSES_ROOT, library_key.c_str());
        // The interfaces go with the library's last registration.
        for (const std::u16string& iid : InterfacesOf(libid)) {
            const std::u16string key = u"Interface\\" + iid;
            RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
            RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        }
    }
    return S_OK;
}

HRESULT Erase(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    return AsOneChange([&] { return EraseEntries(libid, major, minor, lcid, syskind); });
}

HRESULT Load(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** library) {
    platform::RegistrySnapshot registry;
    if (std::string message; registry.Read(&message) != ERROR_SUCCESS) {
        return platform::ReportFailure(TYPE_E_LIBNOTREGISTERED,
                                       "cannot read the registry: " + message);
    }
    const std::u16string library_key = u"TypeLib\\" + GuidKey(libid);
    // The requested minor version, or else the highest greater one of the same major.
    std::optional<std::u16string> chosen;
    unsigned chosen_minor = 0;
    for (const std::u16string& version : registry.SubKeys(library_key)) {
        unsigned v_major = 0, v_minor = 0;
        const std::string text = platform::Utf16ToUtf8(version);
        if (std::sscanf(text.c_str(), "%x.%x", &v_major, &v_minor) != 2) continue;
        if (v_major != major || v_minor < minor) continue;
        const bool better =
            !chosen || v_minor == minor || (chosen_minor != minor && v_minor > chosen_minor);
        if (better) {
            chosen = version;
            chosen_minor = v_minor;
        }
    }
    if (!chosen) return TYPE_E_LIBNOTREGISTERED;
    const std::u16string version_key = library_key + u"\\" + *chosen;
    auto path = registry.Value(version_key + u"\\" + Hex(lcid) + u"\\win32", u"");
    if (!path) path = registry.Value(version_key + u"\\0\\win32", u"");
    if (!path) return TYPE_E_LIBNOTREGISTERED;

    const std::string module = platform::Utf16ToUtf8(*path);
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    const bool already_loaded = handle != nullptr;
    if (!already_loaded) {
        if (std::string why; !platform::IsTrustedLibrary(module, &why)) {
            return platform::ReportFailure(TYPE_E_CANTLOADLIBRARY,
                                           "refusing the type library's module: " + why);
        }
        handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        return platform::ReportFailure(
            TYPE_E_CANTLOADLIBRARY,
            "cannot load the type library's module: " + std::string(dlerror()));
    }
    auto resource =
        reinterpret_cast<TypeLibResourceFunction>(dlsym(handle, kTypeLibResourceSymbol));
    HRESULT hr = resource == nullptr ? platform::ReportFailure(TYPE_E_CANTLOADLIBRARY,
                                                               module + " carries no type library")
                                     : CreateTypeLibFromDescription(resource(), library);
    // A module loaded for its library stays loaded while it may be used; one that was loaded
    // already keeps the reference its loader holds.
    if (already_loaded || FAILED(hr)) dlclose(handle);
    return hr;
}

constexpr TypeLibRegistryStore kStore{&Write, &Erase, &Load};

const bool connected = [] {
    SetTypeLibRegistryStore(&kStore);
    return true;
}();

}  // namespace
