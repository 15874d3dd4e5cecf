#include "platform/runtime/RegistrySnapshot.h"

#include "platform/runtime/RegistryStore.h"
#include "platform/winapi/WinError.h"

namespace platform {

long RegistrySnapshot::Read(std::string* message) {
    store_ = RegistryStoreName();
    return ShareRegistry(store_, &root_, message);
}

const RegistryKeyNode* RegistrySnapshot::Find(std::u16string_view path) const {
    RegistryPath names;
    if (root_ == nullptr || ParseRegistryPath(path, &names) != ERROR_SUCCESS) return nullptr;
    return FindKey(*root_, names);
}

std::optional<std::u16string> RegistrySnapshot::Value(std::u16string_view path,
                                                      std::u16string_view name) const {
    const RegistryKeyNode* key = Find(path);
    if (key == nullptr) return std::nullopt;
    const auto found = key->values.find(name);
    if (found == key->values.end()) return std::nullopt;
    return found->second.substr(0, found->second.find(u'\0'));
}

bool RegistrySnapshot::HasKey(std::u16string_view path) const {
    return Find(path) != nullptr;
}

std::vector<std::u16string> RegistrySnapshot::SubKeys(std::u16string_view path) const {
    std::vector<std::u16string> names;
    if (const RegistryKeyNode* key = Find(path)) {
        for (const auto& [name, subkey] : key->subkeys) names.push_back(name);
    }
    return names;
}

std::string RegistrySnapshot::Describe() const {
    return DescribeRegistryStore(store_);
}

}  // namespace platform
