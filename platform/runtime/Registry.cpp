#include "platform/runtime/Registry.h"

#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "platform/common/Utf8.h"
#include "platform/runtime/RegistryStore.h"
#include "platform/runtime/RegistryTree.h"

using platform::RegistryKeyNode;
using platform::RegistryPath;

namespace {

// What a key handle names: a place in one store. The store is fixed when the key is opened,
// so that a handle keeps meaning the same store.
struct OpenKey {
    std::string store;
    RegistryPath path;
};

std::mutex open_keys_mutex;
std::set<const OpenKey*> open_keys;

thread_local std::string last_error_text;
thread_local std::string current_path_text;

long Fail(long code, std::string message) {
    last_error_text = std::move(message);
    return code;
}

std::u16string_view View(LPCWSTR text) {
    return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

std::string Describe(const RegistryPath& path) {
    std::string text = "HKEY_CLASSES_ROOT";
    if (!path.empty()) {
        text.append(1, '\\').append(platform::Utf16ToUtf8(platform::JoinRegistryPath(path)));
    }
    return text;
}

std::string DescribeValue(const RegistryPath& path, std::u16string_view name) {
    return Describe(path) +
           (name.empty() ? " (default value)" : ", value \"" + platform::Utf16ToUtf8(name) + "\"");
}

long Resolve(HKEY key, OpenKey* out) {
    if (key == HKEY_CLASSES_ROOT) {
        out->store = platform::RegistryStoreName();
        out->path.clear();
        return ERROR_SUCCESS;
    }
    const auto* open_key = reinterpret_cast<const OpenKey*>(key);
    std::lock_guard lock(open_keys_mutex);
    if (key == nullptr || open_keys.count(open_key) == 0) {
        return Fail(ERROR_INVALID_HANDLE, "not an open registry key");
    }
    *out = *open_key;
    return ERROR_SUCCESS;
}

long NewHandle(OpenKey key, PHKEY result) {
    auto* open_key = new OpenKey(std::move(key));
    {
        std::lock_guard lock(open_keys_mutex);
        open_keys.insert(open_key);
    }
    *result = reinterpret_cast<HKEY>(open_key);
    return ERROR_SUCCESS;
}

long ParseSubKey(LPCWSTR text, const OpenKey& base, RegistryPath* full) {
    RegistryPath sub;
    const long result = platform::ParseRegistryPath(View(text), &sub);
    if (result != ERROR_SUCCESS) {
        return Fail(result, "invalid key name \"" + platform::Utf16ToUtf8(View(text)) +
                                "\" below " + Describe(base.path));
    }
    if (base.path.size() + sub.size() > platform::kMaxRegistryDepth) {
        return Fail(ERROR_BAD_PATHNAME, "keys cannot lie more than " +
                                            std::to_string(platform::kMaxRegistryDepth) +
                                            " levels deep");
    }
    *full = base.path;
    full->insert(full->end(), sub.begin(), sub.end());
    return ERROR_SUCCESS;
}

long KeyDeleted(const RegistryPath& path) {
    return Fail(ERROR_KEY_DELETED, Describe(path) + " has been deleted");
}

// Runs body on the key of an open handle as the store holds it now.
long ReadKey(const OpenKey& key, const std::function<long(const RegistryKeyNode&)>& body) {
    std::string message;
    long body_result = ERROR_SUCCESS;
    const long result = platform::VisitRegistry(
        key.store,
        [&](const RegistryKeyNode& root) {
            const RegistryKeyNode* node = platform::FindKey(root, key.path);
            body_result = node == nullptr ? KeyDeleted(key.path) : body(*node);
            return body_result;
        },
        &message);
    // A failing body has already said why.
    if (result != ERROR_SUCCESS && result != body_result) return Fail(result, message);
    return result;
}

long UpdateKey(const OpenKey& key, const std::function<long(RegistryKeyNode&)>& body) {
    std::string message;
    long body_result = ERROR_SUCCESS;
    const long result = platform::UpdateRegistry(
        key.store,
        [&](RegistryKeyNode& root) {
            RegistryKeyNode* node = platform::FindKey(root, key.path);
            body_result = node == nullptr ? KeyDeleted(key.path) : body(*node);
            return body_result;
        },
        &message);
    // A failing body has already said why.
    if (result != ERROR_SUCCESS && result != body_result) return Fail(result, message);
    return result;
}

// The same on the key a handle names (HKEY_CLASSES_ROOT or one open), which the body is given
// too.
long ReadKey(HKEY handle, const std::function<long(const OpenKey&, const RegistryKeyNode&)>& body) {
    OpenKey key;
    const long result = Resolve(handle, &key);
    if (result != ERROR_SUCCESS) return result;
    return ReadKey(key, [&](const RegistryKeyNode& node) { return body(key, node); });
}

long UpdateKey(HKEY handle, const std::function<long(const OpenKey&, RegistryKeyNode&)>& body) {
    OpenKey key;
    const long result = Resolve(handle, &key);
    if (result != ERROR_SUCCESS) return result;
    return UpdateKey(key, [&](RegistryKeyNode& node) { return body(key, node); });
}

// Writes text and its zero as REG_SZ data, or says how many bytes that takes.
long CopyData(const std::u16string& text, LPBYTE data, LPDWORD cb_data) {
    const size_t needed = (text.size() + 1) * sizeof(char16_t);
    if (cb_data == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    if (data == nullptr) {
        *cb_data = static_cast<DWORD>(needed);
        return ERROR_SUCCESS;
    }
    if (*cb_data < needed) {
        *cb_data = static_cast<DWORD>(needed);
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, text.c_str(), needed);
    *cb_data = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
}

// Writes a name and its zero into a buffer of *cch characters; *cch becomes its length.
long CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD cch) {
    if (buffer == nullptr || cch == nullptr) return ERROR_INVALID_PARAMETER;
    if (*cch < name.size() + 1) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// RegEnumKeyExW and RegEnumValueW: the entry at `index` of a key's subkeys or values, its name
// copied out, then `fill` with what the entry holds, for the rest of what the call returns.
template <class Entries, class Fill>
long EnumerateEntry(HKEY handle, DWORD index, Entries RegistryKeyNode::*entries, LPWSTR name,
                    LPDWORD cch_name, Fill fill) {
    return ReadKey(handle, [&](const OpenKey&, const RegistryKeyNode& node) -> long {
        const Entries& all = node.*entries;
        if (index >= all.size()) return ERROR_NO_MORE_ITEMS;
        const auto it = std::next(all.begin(), static_cast<long>(index));
        const long copied = CopyName(it->first, name, cch_name);
        if (copied != ERROR_SUCCESS) return copied;
        return fill(it->second);
    });
}

// Registry calls report exhausted memory as a code instead of letting it escape.
template <class Body>
LONG Guarded(Body body) {
    try {
        return static_cast<LONG>(body());
    } catch (const std::bad_alloc&) {
        return static_cast<LONG>(Fail(ERROR_OUTOFMEMORY, "out of memory"));
    }
}

}  // namespace

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                     LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return Guarded([&]() -> long {
        if (phkResult == nullptr || lpSubKey == nullptr) {
            return Fail(ERROR_INVALID_PARAMETER, "RegCreateKeyExW needs a subkey and a result");
        }
        *phkResult = nullptr;
        OpenKey base;
        long result = Resolve(hKey, &base);
        if (result != ERROR_SUCCESS) return result;
        OpenKey key{base.store, {}};
        result = ParseSubKey(lpSubKey, base, &key.path);
        if (result != ERROR_SUCCESS) return result;

        // An existing key is opened without taking the writers' lock.
        bool exists = false;
        std::string message;
        result = platform::VisitRegistry(
            key.store,
            [&](const RegistryKeyNode& root) {
                exists = platform::FindKey(root, key.path) != nullptr;
                return ERROR_SUCCESS;
            },
            &message);
        if (result != ERROR_SUCCESS) return Fail(result, message);
        bool created = false;
        if (!exists) {
            bool base_deleted = false;
            result = platform::UpdateRegistry(
                key.store,
                [&](RegistryKeyNode& current) {
                    base_deleted = platform::FindKey(current, base.path) == nullptr;
                    if (base_deleted) return ERROR_KEY_DELETED;
                    platform::CreateKey(current, key.path, &created);
                    return ERROR_SUCCESS;
                },
                &message);
            if (base_deleted) return KeyDeleted(base.path);
            if (result != ERROR_SUCCESS) return Fail(result, message);
        }
        if (lpdwDisposition != nullptr) {
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return NewHandle(std::move(key), phkResult);
    });
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    return Guarded([&]() -> long {
        if (phkResult == nullptr) return Fail(ERROR_INVALID_PARAMETER, "no result for the key");
        *phkResult = nullptr;
        OpenKey base;
        long result = Resolve(hKey, &base);
        if (result != ERROR_SUCCESS) return result;
        OpenKey key{base.store, {}};
        result = ParseSubKey(lpSubKey, base, &key.path);
        if (result != ERROR_SUCCESS) return result;
        result = ReadKey(key, [](const RegistryKeyNode&) { return ERROR_SUCCESS; });
        if (result == ERROR_KEY_DELETED) {
            return Fail(ERROR_FILE_NOT_FOUND, Describe(key.path) + " does not exist");
        }
        if (result != ERROR_SUCCESS) return result;
        return NewHandle(std::move(key), phkResult);
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    const auto* open_key = reinterpret_cast<const OpenKey*>(hKey);
    {
        std::lock_guard lock(open_keys_mutex);
        if (hKey == nullptr || open_keys.erase(open_key) == 0) {
            return Fail(ERROR_INVALID_HANDLE, "not an open registry key");
        }
    }
    delete open_key;
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    return Guarded([&]() -> long {
        if (dwType != REG_SZ) {
            return Fail(ERROR_INVALID_PARAMETER, "only string values (REG_SZ) can be stored");
        }
        if (lpData == nullptr && cbData != 0) {
            return Fail(ERROR_INVALID_PARAMETER, "no data for the value");
        }
        std::u16string data(cbData / sizeof(char16_t), u'\0');
        if (!data.empty()) std::memcpy(data.data(), lpData, data.size() * sizeof(char16_t));
        data.resize(std::char_traits<char16_t>::length(data.c_str()));
        const std::u16string name(View(lpValueName));
        if (name.size() > 16383) return Fail(ERROR_INVALID_PARAMETER, "value name too long");
        return UpdateKey(hKey, [&](const OpenKey&, RegistryKeyNode& node) {
            node.values.insert_or_assign(name, data);  // all or nothing, even out of memory
            return ERROR_SUCCESS;
        });
    });
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    return Guarded([&]() -> long {
        if (lpData != nullptr && lpcbData == nullptr) {
            return Fail(ERROR_INVALID_PARAMETER, "a data buffer needs its size");
        }
        const std::u16string_view name = View(lpValueName);
        return ReadKey(hKey, [&](const OpenKey& key, const RegistryKeyNode& node) {
            const auto it = node.values.find(name);
            if (it == node.values.end()) {
                return Fail(ERROR_FILE_NOT_FOUND, DescribeValue(key.path, name) + " is not set");
            }
            if (lpType != nullptr) *lpType = REG_SZ;
            return CopyData(it->second, lpData, lpcbData);
        });
    });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return Guarded([&]() -> long {
        const std::u16string name(View(lpValueName));
        return UpdateKey(hKey, [&](const OpenKey& key, RegistryKeyNode& node) {
            if (node.values.erase(name) == 0) {
                return Fail(ERROR_FILE_NOT_FOUND, DescribeValue(key.path, name) + " is not set");
            }
            return ERROR_SUCCESS;
        });
    });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return Guarded([&]() -> long {
        if (View(lpSubKey).empty()) {
            return Fail(ERROR_INVALID_PARAMETER, "RegDeleteKeyW needs the name of a subkey");
        }
        OpenKey base;
        long result = Resolve(hKey, &base);
        if (result != ERROR_SUCCESS) return result;
        RegistryPath path;
        result = ParseSubKey(lpSubKey, base, &path);
        if (result != ERROR_SUCCESS) return result;
        return UpdateKey(base, [&](RegistryKeyNode& node) {
            // The body sees the handle's own key; the subkey's path is relative to it.
            const RegistryPath relative(path.begin() + static_cast<long>(base.path.size()),
                                        path.end());
            RegistryKeyNode* target = platform::FindKey(node, relative);
            if (target == nullptr) {
                return Fail(ERROR_FILE_NOT_FOUND, Describe(path) + " does not exist");
            }
            if (!target->subkeys.empty()) {
                return Fail(ERROR_ACCESS_DENIED, Describe(path) + " has subkeys");
            }
            platform::DeleteKeyTree(node, relative);
            return ERROR_SUCCESS;
        });
    });
}

LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return Guarded([&]() -> long {
        OpenKey base;
        long result = Resolve(hKey, &base);
        if (result != ERROR_SUCCESS) return result;
        RegistryPath path;
        result = ParseSubKey(lpSubKey, base, &path);
        if (result != ERROR_SUCCESS) return result;
        const bool whole_key = !View(lpSubKey).empty();
        return UpdateKey(base, [&](RegistryKeyNode& node) {
            if (!whole_key) {
                node.values.clear();
                node.subkeys.clear();
                return ERROR_SUCCESS;
            }
            const RegistryPath relative(path.begin() + static_cast<long>(base.path.size()),
                                        path.end());
            if (!platform::DeleteKeyTree(node, relative)) {
                return Fail(ERROR_FILE_NOT_FOUND, Describe(path) + " does not exist");
            }
            return ERROR_SUCCESS;
        });
    });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                   LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return Guarded([&]() -> long {
        if (lpName == nullptr || lpcchName == nullptr) {
            return Fail(ERROR_INVALID_PARAMETER, "RegEnumKeyExW needs a name buffer");
        }
        return EnumerateEntry(
            hKey, dwIndex, &RegistryKeyNode::subkeys, lpName, lpcchName, [&](const auto&) -> long {
                if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = 0;
                if (lpcchClass != nullptr) *lpcchClass = 0;
                if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
                return ERROR_SUCCESS;
            });
    });
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return Guarded([&]() -> long {
        if (lpValueName == nullptr || lpcchValueName == nullptr) {
            return Fail(ERROR_INVALID_PARAMETER, "RegEnumValueW needs a name buffer");
        }
        if (lpData != nullptr && lpcbData == nullptr) {
            return Fail(ERROR_INVALID_PARAMETER, "a data buffer needs its size");
        }
        return EnumerateEntry(hKey, dwIndex, &RegistryKeyNode::values, lpValueName, lpcchValueName,
                              [&](const std::u16string& data) -> long {
                                  if (lpType != nullptr) *lpType = REG_SZ;
                                  return CopyData(data, lpData, lpcbData);
                              });
    });
}

const char* PlatformRegistryErrorText() {
    return last_error_text.c_str();
}

const char* PlatformRegistryPath() {
    current_path_text = platform::DescribeRegistryStore(platform::RegistryStoreName());
    return current_path_text.c_str();
}

void PlatformUsePrivateRegistry(BOOL use) {
    platform::UsePrivateRegistry(use != FALSE);
}
