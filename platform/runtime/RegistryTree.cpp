#include "platform/runtime/RegistryTree.h"

#include <cstring>
#include <utility>

#include "platform/winapi/WinError.h"

namespace platform {

char16_t FoldRegistryCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);  // Latin-1
    if (c == 0xFF) return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);  // Greek
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);                // Cyrillic
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

bool RegistryNameLess::operator()(std::u16string_view a, std::u16string_view b) const {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    // Names mostly agree where they are compared (a GUID found under CLSID is compared whole
    // with itself, ProgIDs share their vendor's prefix): the part that agrees is passed four
    // characters at a time, and only a difference needs folding.
    size_t i = 0;
    for (std::uint64_t x = 0, y = 0; i + 4 <= n; i += 4) {
        std::memcpy(&x, a.data() + i, sizeof x);
        std::memcpy(&y, b.data() + i, sizeof y);
        if (x != y) break;
    }
    for (; i < n; ++i) {
        if (a[i] == b[i]) continue;
        const char16_t x = FoldRegistryCase(a[i]);
        const char16_t y = FoldRegistryCase(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldRegistryCase(a[i]) != FoldRegistryCase(b[i])) return false;
    }
    return true;
}

long SplitRegistryPath(std::u16string_view text, std::vector<std::u16string_view>* names) {
    names->clear();
    if (text.empty()) return ERROR_SUCCESS;
    if (text.front() == u'\\') return ERROR_BAD_PATHNAME;
    if (text.back() == u'\\') text.remove_suffix(1);
    size_t start = 0;
    while (true) {
        const size_t end = text.find(u'\\', start);
        const std::u16string_view name = text.substr(
            start, end == std::u16string_view::npos ? text.size() - start : end - start);
        if (name.empty()) return ERROR_BAD_PATHNAME;
        if (!IsValidKeyName(name)) return ERROR_INVALID_PARAMETER;
        if (names->size() == kMaxRegistryDepth) return ERROR_BAD_PATHNAME;
        names->push_back(name);
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

long ParseRegistryPath(std::u16string_view text, RegistryPath* path) {
    std::vector<std::u16string_view> names;
    const long result = SplitRegistryPath(text, &names);
    path->clear();
    if (result == ERROR_SUCCESS) path->assign(names.begin(), names.end());
    return result;
}

std::u16string JoinRegistryPath(const RegistryPath& path) {
    std::u16string joined;
    for (const auto& name : path) {
        if (!joined.empty()) joined += u'\\';
        joined += name;
    }
    return joined;
}

const RegistryKeyNode* FindKey(const RegistryKeyNode& root, const RegistryPath& path) {
    const RegistryKeyNode* key = &root;
    for (const auto& name : path) {
        const auto it = key->subkeys.find(name);
        if (it == key->subkeys.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

RegistryKeyNode* FindKey(RegistryKeyNode& root, const RegistryPath& path) {
    return const_cast<RegistryKeyNode*>(FindKey(std::as_const(root), path));
}

namespace {

template <class Path>
RegistryKeyNode* CreateKeyAlong(RegistryKeyNode& root, const Path& path, bool* created) {
    // Down to the deepest key that exists; the missing ones are built apart and added by one
    // insertion, so that running out of memory on the way adds none of them.
    RegistryKeyNode* key = &root;
    size_t depth = 0;
    for (; depth < path.size(); ++depth) {
        const auto it = key->subkeys.find(path[depth]);
        if (it == key->subkeys.end()) break;
        key = it->second.get();
    }
    if (created != nullptr) *created = depth < path.size();
    if (depth == path.size()) return key;
    auto missing = std::make_unique<RegistryKeyNode>();
    RegistryKeyNode* last = missing.get();
    for (size_t i = depth + 1; i < path.size(); ++i) {
        last = last->subkeys.emplace(std::u16string(path[i]), std::make_unique<RegistryKeyNode>())
                   .first->second.get();
    }
    key->subkeys.emplace(std::u16string(path[depth]), std::move(missing));
    return last;
}

}  // namespace

RegistryKeyNode* CreateKey(RegistryKeyNode& root, const RegistryPath& path, bool* created) {
    return CreateKeyAlong(root, path, created);
}

RegistryKeyNode* CreateKeyAt(RegistryKeyNode& root, std::span<const std::u16string_view> path,
                             bool* created) {
    return CreateKeyAlong(root, path, created);
}

bool DeleteKeyTree(RegistryKeyNode& root, const RegistryPath& path) {
    if (path.empty()) return false;
    RegistryKeyNode* parent = FindKey(root, RegistryPath(path.begin(), path.end() - 1));
    return parent != nullptr && parent->subkeys.erase(path.back()) == 1;
}

void MoveKeyTree(RegistryKeyNode&& from, RegistryKeyNode* into) {
    // Node by node, so that no name or value is copied.
    while (!from.values.empty()) {
        auto value = from.values.extract(from.values.begin());
        if (const auto found = into->values.find(value.key()); found != into->values.end()) {
            found->second = std::move(value.mapped());
        } else {
            into->values.insert(std::move(value));
        }
    }
    while (!from.subkeys.empty()) {
        auto key = from.subkeys.extract(from.subkeys.begin());
        if (const auto found = into->subkeys.find(key.key()); found != into->subkeys.end()) {
            MoveKeyTree(std::move(*key.mapped()), found->second.get());
        } else {
            into->subkeys.insert(std::move(key));
        }
    }
}

void CopyKeyTree(const RegistryKeyNode& key, RegistryKeyNode* copy) {
    copy->values = key.values;
    copy->subkeys.clear();
    for (const auto& [name, subkey] : key.subkeys) {
        auto child = std::make_unique<RegistryKeyNode>();
        CopyKeyTree(*subkey, child.get());
        copy->subkeys.emplace_hint(copy->subkeys.end(), name, std::move(child));
    }
}

bool SameKeyTree(const RegistryKeyNode& a, const RegistryKeyNode& b) {
    if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
    for (auto x = a.values.begin(), y = b.values.begin(); x != a.values.end(); ++x, ++y) {
        if (x->first != y->first || x->second != y->second) return false;
    }
    for (auto x = a.subkeys.begin(), y = b.subkeys.begin(); x != a.subkeys.end(); ++x, ++y) {
        if (x->first != y->first || !SameKeyTree(*x->second, *y->second)) return false;
    }
    return true;
}

namespace {

// FNV-1a over a serialisation of the tree that tells every tree apart: each key's values and
// subkeys in order, each marked, each name and datum preceded by its length.
class Fingerprint {
public:
    void AddKey(const RegistryKeyNode& key) {
        for (const auto& [name, data] : key.values) {
            Mix(u'v');
            Add(name);
            Add(data);
        }
        for (const auto& [name, subkey] : key.subkeys) {
            Mix(u'k');
            Add(name);
            AddKey(*subkey);
        }
        Mix(u'e');
    }
    std::uint64_t value() const { return hash_; }

private:
    void Add(std::u16string_view text) {
        Mix(static_cast<char16_t>(text.size() >> 16));
        Mix(static_cast<char16_t>(text.size()));
        for (const char16_t c : text) Mix(c);
    }
    void Mix(char16_t c) {
        hash_ = (hash_ ^ (c & 0xFFu)) * 0x100000001B3u;
        hash_ = (hash_ ^ (c >> 8)) * 0x100000001B3u;
    }
    std::uint64_t hash_ = 0xCBF29CE484222325u;
};

}  // namespace

std::uint64_t FingerprintKeyTree(const RegistryKeyNode& root) {
    Fingerprint fingerprint;
    fingerprint.AddKey(root);
    return fingerprint.value();
}

}  // namespace platform
