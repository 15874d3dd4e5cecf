// The registrar on Windows: a parsed registration script applied to the real
// HKEY_CLASSES_ROOT, key by key, with the meaning platform/runtime/Registrar.h sets out for
// our Linux registry. The script is parsed whole before the registry is touched, so a script
// with an error changes nothing; unlike our Linux store, the registry has no update that
// could take a whole script at once, so a failing write leaves the keys written before it.
#include <new>
#include <string>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"
#include "platform/serverkit/ModuleHost.h"

namespace serverkit {
namespace {

using platform::RegistrarKey;
using platform::RegistrarKeyKind;

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The first failure of a run: its Win32 code and the key it concerned.
struct Failure {
    LONG code = ERROR_SUCCESS;
    std::u16string key;
};

class Registrar {
public:
    bool Register(const RegistrarKey& script, HKEY key, const std::u16string& path) {
        for (const auto& [name, data] : script.values) {
            if (!SetString(key, name, data, path)) return false;
        }
        for (const RegistrarKey& sub : script.subkeys) {
            const std::u16string sub_path = Join(path, sub.name);
            if (sub.kind == RegistrarKeyKind::kDelete ||
                sub.kind == RegistrarKeyKind::kForceRemove) {
                if (!DeleteTree(key, sub.name, sub_path)) return false;
            }
            if (sub.kind == RegistrarKeyKind::kDelete) continue;
            HKEY child = nullptr;
            const LONG created = RegCreateKeyExW(key, Wide(sub.name), 0, nullptr, 0,
                                                 KEY_READ | KEY_WRITE, nullptr, &child, nullptr);
            if (!Check(created, sub_path)) return false;
            const bool done =
                (!sub.default_value || SetString(child, u"", *sub.default_value, sub_path)) &&
                Register(sub, child, sub_path);
            RegCloseKey(child);
            if (!done) return false;
        }
        return true;
    }

    bool Unregister(const RegistrarKey& script, HKEY key, const std::u16string& path) {
        for (const RegistrarKey& sub : script.subkeys) {
            const std::u16string sub_path = Join(path, sub.name);
            HKEY child = nullptr;
            const LONG opened = RegOpenKeyExW(key, Wide(sub.name), 0, KEY_READ | KEY_WRITE, &child);
            if (opened == ERROR_FILE_NOT_FOUND) continue;
            if (!Check(opened, sub_path)) return false;
            bool done = true;
            bool remove = false;
            switch (sub.kind) {
                case RegistrarKeyKind::kDelete:
                    break;
                case RegistrarKeyKind::kForceRemove:
                    remove = true;
                    break;
                case RegistrarKeyKind::kNoRemove:
                    done = Unregister(sub, child, sub_path);
                    break;
                case RegistrarKeyKind::kPlain:
                    done = Unregister(sub, child, sub_path) && DeleteValues(sub, child, sub_path);
                    remove = done && IsEmpty(child);
                    break;
            }
            RegCloseKey(child);
            if (!done) return false;
            if (remove && !DeleteTree(key, sub.name, sub_path)) return false;
        }
        return true;
    }

    const Failure& failure() const { return failure_; }

private:
    static std::u16string Join(const std::u16string& path, const std::u16string& name) {
        return path + u"\\" + name;
    }

    bool Check(LONG code, const std::u16string& path) {
        if (code == ERROR_SUCCESS) return true;
        failure_ = {code, path};
        return false;
    }

    bool SetString(HKEY key, const std::u16string& name, const std::u16string& data,
                   const std::u16string& path) {
        const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(char16_t));
        return Check(RegSetValueExW(key, name.empty() ? nullptr : Wide(name), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(data.c_str()), bytes),
                     path);
    }

    // The key with everything below it; a key that is not there is no error.
    bool DeleteTree(HKEY key, const std::u16string& name, const std::u16string& path) {
        const LONG code = RegDeleteTreeW(key, Wide(name));
        return code == ERROR_FILE_NOT_FOUND || Check(code, path);
    }

    // The values the script writes to this key: its default value and its val entries.
    bool DeleteValues(const RegistrarKey& script, HKEY key, const std::u16string& path) {
        for (const auto& [name, data] : script.values) {
            const LONG code = RegDeleteValueW(key, Wide(name));
            if (code != ERROR_FILE_NOT_FOUND && !Check(code, path)) return false;
        }
        if (!script.default_value) return true;
        const LONG code = RegDeleteValueW(key, nullptr);
        return code == ERROR_FILE_NOT_FOUND || Check(code, path);
    }

    static bool IsEmpty(HKEY key) {
        DWORD subkeys = 0, values = 0;
        return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
               subkeys == 0 && values == 0;
    }

    Failure failure_;
};

}  // namespace

HRESULT ApplyRegistrationScript(std::string_view script,
                                const platform::RegistrarReplacementMap& replacements,
                                bool do_register) {
    try {
        RegistrarKey root;
        std::string error;
        if (!platform::ParseRegistrarScript(script, replacements, &root, &error)) {
            return platform::ReportFailure(E_INVALIDARG, "registration script, " + error);
        }
        Registrar registrar;
        const std::u16string top = u"HKEY_CLASSES_ROOT";
        if (do_register ? registrar.Register(root, HKEY_CLASSES_ROOT, top)
                        : registrar.Unregister(root, HKEY_CLASSES_ROOT, top)) {
            return S_OK;
        }
        const Failure& failure = registrar.failure();
        return platform::ReportFailure(HRESULT_FROM_WIN32(failure.code),
                                       "cannot " + std::string(do_register ? "write " : "remove ") +
                                           platform::Utf16ToUtf8(failure.key) + " (error " +
                                           std::to_string(failure.code) + ")");
    } catch (const std::bad_alloc&) {
        return platform::ReportFailure(E_OUTOFMEMORY, "out of memory");
    }
}

}  // namespace serverkit
