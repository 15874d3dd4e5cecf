#include "platform/runtime/TypeLibRegistry.h"

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Registration {
    GUID libid;
    WORD major;
    WORD minor;
    LCID lcid;
    SYSKIND syskind;
    std::u16string path;
    std::u16string help_dir;
    ITypeLib* lib;  // one reference held
};

struct Table {
    std::mutex mutex;
    std::vector<Registration> entries;
};

// Never destroyed: libraries may be registered or looked up while the process shuts down.
Table& TheTable() {
    static Table* table = new Table();
    return *table;
}

std::atomic<const TypeLibRegistryStore*> the_store{nullptr};

constexpr LCID PrimaryLanguage(LCID lcid) {
    return lcid & 0x3FF;
}

// 3 for the requested locale, 2 for its primary language, 1 for neutral, 0 for no fit.
int LocaleFit(LCID registered, LCID requested) {
    if (registered == requested) return 3;
    if (registered == PrimaryLanguage(requested)) return 2;
    if (registered == 0) return 1;
    return 0;
}

// The best entry for the request, or -1.
int Choose(const std::vector<Registration>& entries, REFGUID libid, WORD major, WORD minor,
           LCID lcid) {
    int best = -1;
    auto rank = [&](const Registration& r) {
        // The exact minor version first, then the highest; the locale decides among equals.
        const int version = r.minor == minor ? 0x10000 : r.minor;
        return version * 4 + LocaleFit(r.lcid, lcid);
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Registration& r = entries[i];
        if (r.libid != libid || r.major != major || r.minor < minor) continue;
        if (LocaleFit(r.lcid, lcid) == 0) continue;
        if (best < 0 || rank(r) > rank(entries[static_cast<std::size_t>(best)])) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

// Takes an entry out of the table; the caller releases its library outside the lock.
ITypeLib* Remove(std::vector<Registration>& entries, std::size_t index) {
    ITypeLib* lib = entries[index].lib;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    return lib;
}

}  // namespace

void SetTypeLibRegistryStore(const TypeLibRegistryStore* store) {
    the_store.store(store);
}

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    if (ptlib == nullptr || szFullPath == nullptr) return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = ptlib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    Registration entry{
        attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind, {}, {},
        ptlib};
    ptlib->ReleaseTLibAttr(attr);

    Table& table = TheTable();
    ITypeLib* replaced = nullptr;
    try {
        entry.path = szFullPath;
        if (szHelpDir != nullptr) entry.help_dir = szHelpDir;
        std::lock_guard<std::mutex> lock(table.mutex);
        table.entries.reserve(table.entries.size() + 1);  // nothing below throws then
        for (std::size_t i = 0; i < table.entries.size(); ++i) {
            const Registration& r = table.entries[i];
            if (r.libid == entry.libid && r.major == entry.major && r.minor == entry.minor &&
                r.lcid == entry.lcid && r.syskind == entry.syskind) {
                replaced = Remove(table.entries, i);
                break;
            }
        }
        table.entries.push_back(std::move(entry));
        ptlib->AddRef();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (replaced != nullptr) replaced->Release();

    const TypeLibRegistryStore* store = the_store.load();
    if (store == nullptr || store->Write == nullptr) return S_OK;
    hr = store->Write(ptlib, szFullPath, szHelpDir);
    if (FAILED(hr)) {
        ITypeLib* undone = nullptr;
        {
            std::lock_guard<std::mutex> lock(table.mutex);
            for (std::size_t i = 0; i < table.entries.size(); ++i) {
                if (table.entries[i].lib == ptlib) {
                    undone = Remove(table.entries, i);
                    break;
                }
            }
        }
        if (undone != nullptr) undone->Release();
        return hr;
    }
    return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind) {
    Table& table = TheTable();
    ITypeLib* removed = nullptr;
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        for (std::size_t i = 0; i < table.entries.size(); ++i) {
            const Registration& r = table.entries[i];
            if (r.libid == libID && r.major == wVerMajor && r.minor == wVerMinor &&
                r.lcid == lcid && r.syskind == syskind) {
                removed = Remove(table.entries, i);
                break;
            }
        }
    }
    if (removed != nullptr) removed->Release();

    const TypeLibRegistryStore* store = the_store.load();
    HRESULT stored = TYPE_E_LIBNOTREGISTERED;
    if (store != nullptr && store->Erase != nullptr) {
        stored = store->Erase(libID, wVerMajor, wVerMinor, lcid, syskind);
    }
    if (FAILED(stored) && stored != TYPE_E_LIBNOTREGISTERED) return stored;
    return (removed != nullptr || SUCCEEDED(stored)) ? S_OK : TYPE_E_LIBNOTREGISTERED;
}

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                       ITypeLib** pptlib) {
    if (pptlib == nullptr) return E_INVALIDARG;
    *pptlib = nullptr;
    Table& table = TheTable();
    for (;;) {
        ITypeLib* lib = nullptr;
        {
            std::lock_guard<std::mutex> lock(table.mutex);
            const int best = Choose(table.entries, rguid, wVerMajor, wVerMinor, lcid);
            if (best < 0) break;
            lib = table.entries[static_cast<std::size_t>(best)].lib;
            lib->AddRef();
        }
        TLIBATTR* attr = nullptr;
        const HRESULT hr = lib->GetLibAttr(&attr);
        if (SUCCEEDED(hr)) {
            lib->ReleaseTLibAttr(attr);
            *pptlib = lib;
            return S_OK;
        }
        if (hr != TYPE_E_CANTLOADLIBRARY) {
            lib->Release();
            return hr;
        }
        // A library whose module has gone: forget it and look again.
        ITypeLib* stale = nullptr;
        {
            std::lock_guard<std::mutex> lock(table.mutex);
            for (std::size_t i = 0; i < table.entries.size(); ++i) {
                if (table.entries[i].lib == lib) {
                    stale = Remove(table.entries, i);
                    break;
                }
            }
        }
        if (stale != nullptr) stale->Release();
        lib->Release();
    }
    const TypeLibRegistryStore* store = the_store.load();
    if (store != nullptr && store->Load != nullptr) {
        return store->Load(rguid, wVerMajor, wVerMinor, lcid, pptlib);
    }
    return TYPE_E_LIBNOTREGISTERED;
}
