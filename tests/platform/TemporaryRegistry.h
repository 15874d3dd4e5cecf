// A registry of its own for one test: a fresh directory with the store's file in it, named
// by QUILLON_REGISTRY while the object lives. Also small helpers to read and write the store.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "platform/runtime/Registry.h"

class TemporaryRegistry {
public:
    TemporaryRegistry() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX");
        directory_ = mkdtemp(pattern.data());
        file_ = directory_ + "/registry";
        if (const char* previous = std::getenv("QUILLON_REGISTRY")) previous_ = previous;
        setenv("QUILLON_REGISTRY", file_.c_str(), 1);
    }
    ~TemporaryRegistry() {
        if (previous_) {
            setenv("QUILLON_REGISTRY", previous_->c_str(), 1);
        } else {
            unsetenv("QUILLON_REGISTRY");
        }
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    TemporaryRegistry(const TemporaryRegistry&) = delete;
    TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;

    const std::string& file() const { return file_; }
    const std::string& directory() const { return directory_; }

    std::string ReadFile() const {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void WriteFile(const std::string& text) const {
        std::ofstream(file_, std::ios::binary) << text;
    }

private:
    std::string directory_;
    std::string file_;
    std::optional<std::string> previous_;
};

inline LONG SetString(HKEY key, const char16_t* name, const std::u16string& data) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
}

// The value's text, or nothing when it cannot be read.
inline std::optional<std::u16string> GetString(HKEY key, const char16_t* name) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::u16string data(size / sizeof(char16_t), u'\0');
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    data.resize(size / sizeof(char16_t) - 1);
    return data;
}

// Reads HKEY_CLASSES_ROOT\path's value; nothing when the key or the value is missing.
inline std::optional<std::u16string> GetString(const char16_t* path, const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    auto value = GetString(key, name);
    RegCloseKey(key);
    return value;
}

inline bool KeyExists(const char16_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Lists every key and value below HKEY_CLASSES_ROOT through the API, one line each:
// "Key\Sub" for a key, "Key\Sub @=text" or "Key\Sub Name=text" for its values.
inline void DumpKey(HKEY key, const std::u16string& path, std::u16string* out) {
    for (DWORD i = 0;; ++i) {
        char16_t name[16384];
        DWORD name_length = 16384;
        DWORD size = 0;
        if (RegEnumValueW(key, i, name, &name_length, nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        std::u16string data(size / sizeof(char16_t), u'\0');
        name_length = 16384;
        RegEnumValueW(key, i, name, &name_length, nullptr, nullptr,
                      reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(size / sizeof(char16_t) - 1);
        *out +=
            path + u" " + (name_length == 0 ? u"@" : std::u16string(name)) + u"=" + data + u"\n";
    }
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD name_length = 256;
        if (RegEnumKeyExW(key, i, name, &name_length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::u16string sub_path = path.empty() ? std::u16string(name) : path + u"\\" + name;
        *out += sub_path + u"\n";
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            DumpKey(sub, sub_path, out);
            RegCloseKey(sub);
        }
    }
}

inline std::string DumpRegistry() {
    std::u16string out;
    DumpKey(HKEY_CLASSES_ROOT, u"", &out);
    return std::string(out.begin(), out.end());  // the tests use ASCII names and data
}
