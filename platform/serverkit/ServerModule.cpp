#include "platform/serverkit/ServerModule.h"

#include <mutex>
#include <vector>

#include "platform/common/ErrorReporting.h"

namespace serverkit {
namespace {

// The class objects made so far. Destroyed when the library is unloaded, which releases the
// module's reference to each.
class ClassObjects {
public:
    ~ClassObjects() {
        for (auto& [clsid, factory] : made_) factory->Release();
    }

    HRESULT Get(const ServerClass& entry, IClassFactory** factory) {
        std::lock_guard lock(mutex_);
        for (auto& [clsid, made] : made_) {
            if (clsid == *entry.clsid) {
                *factory = made;
                return S_OK;
            }
        }
        IClassFactory* created = nullptr;
        const HRESULT hr = entry.create_class_object(&created);
        if (FAILED(hr)) return hr;
        try {
            made_.emplace_back(*entry.clsid, created);
        } catch (const std::bad_alloc&) {
            created->Release();
            return E_OUTOFMEMORY;
        }
        *factory = created;
        return S_OK;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<CLSID, IClassFactory*>> made_;
};

ClassObjects class_objects;

HRESULT RunScripts(std::span<const ServerClass> classes,
                   platform::RegistrarReplacementMap replacements, bool do_register) {
    const std::string path = ModulePath();
    if (path.empty()) {
        return platform::ReportFailure(E_UNEXPECTED, "cannot find the server library's own path");
    }
    replacements["MODULE"] = path;
    for (size_t i = 0; i < classes.size(); ++i) {
        // Unregistration goes backwards, undoing the last registered first.
        const ServerClass& entry = classes[do_register ? i : classes.size() - 1 - i];
        if (entry.registration_script == nullptr) continue;
        std::string_view script;
        HRESULT hr = LoadRegistrationScript(*entry.registration_script, &script);
        if (SUCCEEDED(hr)) hr = ApplyRegistrationScript(script, replacements, do_register);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT GetModuleClassObject(std::span<const ServerClass> classes, REFCLSID clsid, REFIID riid,
                             void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (const ServerClass& entry : classes) {
        if (*entry.clsid != clsid) continue;
        IClassFactory* factory = nullptr;
        const HRESULT hr = class_objects.Get(entry, &factory);
        if (FAILED(hr)) return hr;
        // The module's own reference keeps the class object alive: no lock needed here.
        return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT RegisterModule(std::span<const ServerClass> classes,
                       const platform::RegistrarReplacementMap& replacements) {
    try {
        return RunScripts(classes, replacements, true);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnregisterModule(std::span<const ServerClass> classes,
                         const platform::RegistrarReplacementMap& replacements) {
    try {
        return RunScripts(classes, replacements, false);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace serverkit
