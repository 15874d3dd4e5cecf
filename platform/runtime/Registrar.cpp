#include "platform/runtime/Registrar.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/common/ErrorReporting.h"
#include "platform/runtime/RegistryStore.h"
#include "platform/winapi/WinError.h"

using platform::RegistrarKey;
using platform::RegistrarKeyKind;
using platform::RegistryKeyNode;

namespace {

// What a script changes in the store, recorded as each change is made so that all of them can be
// undone, last first, should memory run out half-way: the store is changed where it lies rather
// than in a copy of the whole registry, and still left as it was found. Each record is made
// ready before its change (room reserved, new nodes built), so that recording the change, and
// undoing it, never allocates.
class ChangeLog {
public:
    using Values = decltype(RegistryKeyNode::values);
    using Keys = decltype(RegistryKeyNode::subkeys);

    void SetValue(Values& values, const std::u16string& name, const std::u16string& data) {
        std::u16string copy = data;
        MakeRoom();
        const auto found = values.find(name);
        if (found == values.end()) {
            const auto added = values.emplace(name, std::move(copy)).first;
            Change& change = Record(Kind::kValueAdded);
            change.values = &values;
            change.name = &added->first;
        } else {
            Change& change = Record(Kind::kValueSet);
            change.data = &found->second;
            change.old_data = std::exchange(found->second, std::move(copy));
        }
    }
    void RemoveValue(Values& values, Values::iterator value) {
        MakeRoom();
        Change& change = Record(Kind::kValueRemoved);
        change.values = &values;
        change.value = values.extract(value);
    }
    // The key name below keys, added unless it is there.
    RegistryKeyNode& Key(Keys& keys, const std::u16string& name) {
        if (const auto found = keys.find(name); found != keys.end()) return *found->second;
        auto key = std::make_unique<RegistryKeyNode>();
        MakeRoom();
        const auto added = keys.emplace(name, std::move(key)).first;
        Change& change = Record(Kind::kKeyAdded);
        change.keys = &keys;
        change.name = &added->first;
        return *added->second;
    }
    void RemoveKey(Keys& keys, Keys::iterator key) {
        MakeRoom();
        Change& change = Record(Kind::kKeyRemoved);
        change.keys = &keys;
        change.key = keys.extract(key);
    }

    void Undo() noexcept {
        for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
            switch (change->kind) {
                case Kind::kValueAdded:
                    change->values->erase(change->values->find(*change->name));
                    break;
                case Kind::kValueSet:
                    *change->data = std::move(change->old_data);
                    break;
                case Kind::kValueRemoved:
                    change->values->insert(std::move(change->value));
                    break;
                case Kind::kKeyAdded:
                    change->keys->erase(change->keys->find(*change->name));
                    break;
                case Kind::kKeyRemoved:
                    change->keys->insert(std::move(change->key));
                    break;
            }
        }
        changes_.clear();
    }

private:
    enum class Kind { kValueAdded, kValueSet, kValueRemoved, kKeyAdded, kKeyRemoved };
    struct Change {
        Kind kind = Kind::kValueAdded;
        Values* values = nullptr;
        Keys* keys = nullptr;
        const std::u16string* name = nullptr;  // of what was added
        std::u16string* data = nullptr;        // of a value set, and what it held
        std::u16string old_data;
        Values::node_type value;  // what was removed
        Keys::node_type key;
    };
    // Before a change: room for its record, so that recording it cannot fail.
    void MakeRoom() {
        if (changes_.size() == changes_.capacity()) changes_.reserve(2 * changes_.size() + 16);
    }
    // After MakeRoom.
    Change& Record(Kind kind) noexcept {
        Change& change = changes_.emplace_back();
        change.kind = kind;
        return change;
    }

    std::vector<Change> changes_;
};

void Register(const RegistrarKey& script, RegistryKeyNode& key, ChangeLog& log) {
    for (const auto& [name, data] : script.values) log.SetValue(key.values, name, data);
    for (const RegistrarKey& sub : script.subkeys) {
        if (sub.kind == RegistrarKeyKind::kDelete || sub.kind == RegistrarKeyKind::kForceRemove) {
            if (const auto found = key.subkeys.find(sub.name); found != key.subkeys.end()) {
                log.RemoveKey(key.subkeys, found);
            }
        }
        if (sub.kind == RegistrarKeyKind::kDelete) continue;
        RegistryKeyNode& child = log.Key(key.subkeys, sub.name);
        if (sub.default_value) log.SetValue(child.values, u"", *sub.default_value);
        Register(sub, child, log);
    }
}

void Unregister(const RegistrarKey& script, RegistryKeyNode& key, ChangeLog& log) {
    for (const RegistrarKey& sub : script.subkeys) {
        const auto it = key.subkeys.find(sub.name);
        if (it == key.subkeys.end()) continue;
        RegistryKeyNode& child = *it->second;
        auto remove_value = [&](const std::u16string& name) {
            if (const auto found = child.values.find(name); found != child.values.end()) {
                log.RemoveValue(child.values, found);
            }
        };
        switch (sub.kind) {
            case RegistrarKeyKind::kDelete:
                break;
            case RegistrarKeyKind::kForceRemove:
                log.RemoveKey(key.subkeys, it);
                break;
            case RegistrarKeyKind::kNoRemove:
                Unregister(sub, child, log);
                break;
            case RegistrarKeyKind::kPlain:
                Unregister(sub, child, log);
                for (const auto& [name, data] : sub.values) remove_value(name);
                if (sub.default_value) remove_value(u"");
                if (child.values.empty() && child.subkeys.empty()) log.RemoveKey(key.subkeys, it);
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
                    ChangeLog log;
                    try {
                        do_register ? Register(root, store, log) : Unregister(root, store, log);
                    } catch (...) {
                        log.Undo();
                        throw;
                    }
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
