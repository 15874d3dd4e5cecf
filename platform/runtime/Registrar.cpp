#include "platform/runtime/Registrar.h"

#include <new>

#include "platform/common/ErrorReporting.h"
#include "platform/runtime/RegistryStore.h"
#include "platform/winapi/WinError.h"

using platform::RegistrarKey;
using platform::RegistrarKeyKind;
using platform::RegistryKeyNode;

namespace {

void Register(const RegistrarKey& script, RegistryKeyNode& key) {
    for (const auto& [name, data] : script.values) key.values[name] = data;
    for (const RegistrarKey& sub : script.subkeys) {
        if (sub.kind == RegistrarKeyKind::kDelete || sub.kind == RegistrarKeyKind::kForceRemove) {
            key.subkeys.erase(sub.name);
        }
        if (sub.kind == RegistrarKeyKind::kDelete) continue;
        auto it = key.subkeys.find(sub.name);
        if (it == key.subkeys.end()) {
            it = key.subkeys.emplace(sub.name, std::make_unique<RegistryKeyNode>()).first;
        }
        RegistryKeyNode& child = *it->second;
        if (sub.default_value) child.values[u""] = *sub.default_value;
        Register(sub, child);
    }
}

void Unregister(const RegistrarKey& script, RegistryKeyNode& key) {
    for (const RegistrarKey& sub : script.subkeys) {
        const auto it = key.subkeys.find(sub.name);
        if (it == key.subkeys.end()) continue;
        RegistryKeyNode& child = *it->second;
        switch (sub.kind) {
            case RegistrarKeyKind::kDelete:
                break;
            case RegistrarKeyKind::kForceRemove:
                key.subkeys.erase(it);
                break;
            case RegistrarKeyKind::kNoRemove:
                Unregister(sub, child);
                break;
            case RegistrarKeyKind::kPlain:
                Unregister(sub, child);
                for (const auto& [name, data] : sub.values) child.values.erase(name);
                if (sub.default_value) child.values.erase(u"");
                if (child.values.empty() && child.subkeys.empty()) key.subkeys.erase(it);
                break;
        }
    }
}

HRESULT Run(std::string_view script, const RegistrarReplacements& replacements, bool do_register,
            std::string* message) {
    std::string error;
    HRESULT hr = S_OK;
    try {
        RegistrarKey root;
        if (!platform::ParseRegistrarScript(script, replacements, &root, &error)) {
            error = "registration script, " + error;
            hr = E_INVALIDARG;
        } else {
            const long result = platform::UpdateRegistry(
                platform::RegistryStoreName(),
                [&](RegistryKeyNode& store) {
                    // A script changes many keys: they are changed in a copy, moved in whole,
                    // so that running out of memory half-way leaves the store as it was.
                    RegistryKeyNode changed;
                    platform::CopyKeyTree(store, &changed);
                    do_register ? Register(root, changed) : Unregister(root, changed);
                    store = std::move(changed);
                    return ERROR_SUCCESS;
                },
                &error);
            hr = HRESULT_FROM_WIN32(result);
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) return hr;
    if (message != nullptr) *message = error;
    return platform::ReportFailure(hr, error);
}

}  // namespace

HRESULT RegistrarRegister(std::string_view script, const RegistrarReplacements& replacements,
                          std::string* message) {
    return Run(script, replacements, true, message);
}

HRESULT RegistrarUnregister(std::string_view script, const RegistrarReplacements& replacements,
                            std::string* message) {
    return Run(script, replacements, false, message);
}
