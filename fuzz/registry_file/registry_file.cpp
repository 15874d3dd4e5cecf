// The registry file's writer and reader, both ways round. The first byte chooses:
// - text: whatever the reader accepts, the writer writes back as text that reads as the same
//   tree and that the writer reproduces exactly;
// - calls: keys and values made through the registry API, with any names and data it accepts,
//   written and read back as the same tree (a value the API stores but the reader refuses
//   would break every program that uses the registry after it).
#include <cstdint>
#include <string>

#include "fuzz/support/FuzzInput.h"
#include "platform/Runtime.h"
#include "platform/runtime/RegistryFormat.h"
#include "platform/runtime/RegistryStore.h"

namespace {

using platform::RegistryKeyNode;

void CheckRoundTrip(const RegistryKeyNode& tree) {
    const std::string text = platform::FormatRegistryText(tree);
    RegistryKeyNode read;
    std::string error;
    if (!platform::ParseRegistryText(text, &read, &error)) {
        std::fprintf(stderr, "the reader refuses what the writer wrote: %s\n", error.c_str());
        std::abort();
    }
    FUZZ_CHECK(platform::SameKeyTree(tree, read));
    FUZZ_CHECK(platform::FormatRegistryText(read) == text);
}

void FromText(std::string_view text) {
    RegistryKeyNode tree;
    std::string error;
    if (platform::ParseRegistryText(text, &tree, &error)) CheckRoundTrip(tree);
}

LONG SetValue(HKEY key, const std::u16string& name, const std::u16string& data) {
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(char16_t)));
}

void FromCalls(FuzzInput& input) {
    PlatformUsePrivateRegistry(TRUE);  // emptied for every input
    HKEY keys[4] = {HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr};
    for (int step = 0; step < 32 && !input.empty(); ++step) {
        HKEY& key = keys[input.Below(4)];
        HKEY base = key == nullptr ? HKEY_CLASSES_ROOT : key;
        switch (input.Below(5)) {
            case 0: {  // open or create a key below one already open
                HKEY created = nullptr;
                if (RegCreateKeyExW(base, input.Utf16(300).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &created, nullptr) == ERROR_SUCCESS) {
                    HKEY& slot = keys[1 + input.Below(3)];
                    if (slot != nullptr) RegCloseKey(slot);
                    slot = created;
                }
                break;
            }
            case 1:
            case 2:
                SetValue(base, input.Utf16(), input.Utf16(600));
                break;
            case 3:
                RegDeleteValueW(base, input.Utf16().c_str());
                break;
            default:
                RegDeleteTreeW(base, input.Bool() ? nullptr : input.Utf16().c_str());
                break;
        }
    }
    for (HKEY key : keys) {
        if (key != nullptr && key != HKEY_CLASSES_ROOT) RegCloseKey(key);
    }
    RegistryKeyNode tree;
    std::string error;
    FUZZ_CHECK(platform::ReadRegistry(platform::RegistryStoreName(), &tree, &error) ==
               ERROR_SUCCESS);
    CheckRoundTrip(tree);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    if (input.Bool()) {
        FromCalls(input);
    } else {
        FromText(input.Rest());
    }
    return 0;
}
