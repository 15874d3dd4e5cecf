// HKEY_CLASSES_ROOT as it was at one moment. A lookup that needs several keys and values (a
// ProgID's CLSID and CurVer, a class's library, a type library's versions and module) reads the
// store once and sees them all from one version of it, never a mix of the versions before and
// after another process's change.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/RegistryTree.h"

namespace platform {

class RegistrySnapshot {
public:
    // Reads the store this process uses now. ERROR_SUCCESS, or the store's error with *message
    // saying why.
    long Read(std::string* message);

    // The text of value name (empty for the default value) of the key at path ("A\B"), up to
    // its first zero character as programs read string data; nothing when the key or the value
    // does not exist, or the path is malformed.
    std::optional<std::u16string> Value(std::u16string_view path, std::u16string_view name) const;
    bool HasKey(std::u16string_view path) const;
    // The names of the key's subkeys in case-insensitive order; none for a missing key.
    std::vector<std::u16string> SubKeys(std::u16string_view path) const;

    // For messages: the file read, or the private registry.
    std::string Describe() const;

private:
    const RegistryKeyNode* Find(std::u16string_view path) const;

    std::string store_;
    std::shared_ptr<const RegistryKeyNode> root_;
};

}  // namespace platform
