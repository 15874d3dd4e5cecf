// Registering the real server writes its class keys and its type library as one change of the
// store: a host that finds the class also finds the type library that dispatch needs.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "component/contract/IQuillon.h"
#include "platform/Runtime.h"
#include "platform/runtime/RegistrySnapshot.h"
#include "platform/runtime/ServerRegistration.h"
#include "tests/platform/FileEvents.h"
#include "tests/platform/TemporaryRegistry.h"

namespace {

std::u16string Braced(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return std::u16string(text, 38);
}

const std::u16string kClassKey = u"CLSID\\" + Braced(CLSID_Quillon) + u"\\InprocServer32";
const std::u16string kTypeLibKey = u"TypeLib\\" + Braced(LIBID_TarvexQuillonLib);

class ServerRegistration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }

    static void Run(bool unregister) {
        std::string message;
        ASSERT_EQ(platform::RegisterServerLibrary(QUILLON_SERVER_PATH, unregister, &message),
                  platform::ServerRegistration::kDone)
            << message;
    }

    TemporaryRegistry registry_;
};

TEST_F(ServerRegistration, ClassAndTypeLibraryAreOneReplacementOfTheFile) {
    FileEvents events(registry_.directory());
    Run(false);
    EXPECT_EQ(events.Count("registry", IN_MOVED_TO), 1);
    EXPECT_TRUE(KeyExists(kClassKey.c_str()));
    EXPECT_TRUE(KeyExists(kTypeLibKey.c_str()));
    Run(true);
    EXPECT_EQ(events.Count("registry", IN_MOVED_TO), 1);
    EXPECT_FALSE(KeyExists(kClassKey.c_str()));
    EXPECT_FALSE(KeyExists(kTypeLibKey.c_str()));
}

TEST_F(ServerRegistration, NoReaderSeesTheClassWithoutItsTypeLibrary) {
    std::atomic<bool> done{false};
    int halves = 0;
    int reads = 0;
    std::thread reader([&] {
        while (!done) {
            platform::RegistrySnapshot registry;
            std::string message;
            if (registry.Read(&message) != ERROR_SUCCESS) continue;
            ++reads;
            if (registry.HasKey(kClassKey) != registry.HasKey(kTypeLibKey)) ++halves;
        }
    });
    for (int i = 0; i < 10; ++i) {
        Run(false);
        Run(true);
    }
    done = true;
    reader.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(halves, 0) << "of " << reads << " reads";
}

}  // namespace
