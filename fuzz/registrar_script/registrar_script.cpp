// Registration scripts (.rgs), parsed and run by the registrar against a registry private to
// the process. Whatever a script registers, the store writes and reads back unchanged;
// registering the same script twice leaves what registering it once left; unregistering runs.
#include <cstdint>
#include <string>

#include "fuzz/support/FuzzInput.h"
#include "platform/Runtime.h"
#include "platform/runtime/Registrar.h"
#include "platform/runtime/RegistryFormat.h"
#include "platform/runtime/RegistryStore.h"

namespace {

using platform::RegistryKeyNode;

RegistryKeyNode Snapshot() {
    RegistryKeyNode tree;
    std::string error;
    FUZZ_CHECK(platform::ReadRegistry(platform::RegistryStoreName(), &tree, &error) ==
               ERROR_SUCCESS);
    RegistryKeyNode read;
    FUZZ_CHECK(platform::ParseRegistryText(platform::FormatRegistryText(tree), &read, &error));
    FUZZ_CHECK(platform::SameKeyTree(tree, read));
    return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const RegistrarReplacements replacements{{"MODULE", "/opt/quillon/lib/libTarvexQuillon.so"},
                                             {"Quote", "it's {a} '%' value"}};
    PlatformUsePrivateRegistry(TRUE);
    std::string message;
    if (FAILED(RegistrarRegister(script, replacements, &message))) {
        // A script with an error changes nothing.
        FUZZ_CHECK(platform::SameKeyTree(Snapshot(), RegistryKeyNode()));
        return 0;
    }
    const RegistryKeyNode once = Snapshot();
    FUZZ_CHECK(SUCCEEDED(RegistrarRegister(script, replacements, &message)));
    FUZZ_CHECK(platform::SameKeyTree(Snapshot(), once));
    FUZZ_CHECK(SUCCEEDED(RegistrarUnregister(script, replacements, &message)));
    Snapshot();
    return 0;
}
