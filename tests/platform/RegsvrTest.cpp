#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/platform/TemporaryRegistry.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class Regsvr : public ::testing::Test {
protected:
    // Runs the built tool with the arguments (already quoted for the shell).
    ToolRun Tool(const std::string& arguments) {
        const std::string out = registry_.directory() + "/out";
        const std::string err = registry_.directory() + "/err";
        const std::string command =
            std::string(REGSVR_PATH) + " " + arguments + " >" + out + " 2>" + err;
        const int status = std::system(command.c_str());
        ToolRun run;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Read(out);
        run.err = Read(err);
        return run;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string FullPath(const char* path) {
        char resolved[PATH_MAX];
        return realpath(path, resolved) != nullptr ? resolved : path;
    }

    TemporaryRegistry registry_;  // the tool inherits QUILLON_REGISTRY
};

const char16_t kWidgetServer[] = u"CLSID\\{BE0D0261-4B60-4C59-9273-7B82A87240BF}\\InprocServer32";

TEST_F(Regsvr, RegistersAndUnregistersAServer) {
    ToolRun run = Tool(TEST_SERVER_PATH);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "DllRegisterServer in " + FullPath(TEST_SERVER_PATH) +
                           " succeeded (registry " + registry_.file() + ").\n");
    EXPECT_EQ(run.err, "");
    const std::string path = FullPath(TEST_SERVER_PATH);
    EXPECT_EQ(GetString(kWidgetServer, u""), std::u16string(path.begin(), path.end()));

    run = Tool(std::string("-u ") + TEST_SERVER_PATH);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "DllUnregisterServer in " + FullPath(TEST_SERVER_PATH) +
                           " succeeded (registry " + registry_.file() + ").\n");
    EXPECT_FALSE(KeyExists(kWidgetServer));
    EXPECT_TRUE(KeyExists(u"CLSID"));
}

TEST_F(Regsvr, SilentPrintsNothingWhenItSucceeds) {
    ToolRun run = Tool(std::string("-s ") + TEST_SERVER_PATH);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(KeyExists(kWidgetServer));
    run = Tool(std::string("-us ") + TEST_SERVER_PATH);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(KeyExists(kWidgetServer));
}

struct FailureCase {
    const char* what;
    std::string arguments;
    int status;
    std::string message;  // in standard error
};

TEST_F(Regsvr, FailuresExitWithRegsvr32sCodesAndSayWhy) {
    const std::string missing = registry_.directory() + "/missing.so";
    const FailureCase cases[] = {
        {"no library", "", 1, "no library given"},
        {"unknown option", std::string("-x ") + TEST_SERVER_PATH, 1, "unknown option -x"},
        {"two libraries", std::string(TEST_SERVER_PATH) + " " + TEST_SERVER_PATH, 1,
         "one library at a time"},
        {"missing library", missing, 3, "cannot load " + missing},
        {"no entry point", NO_ENTRY_POINT_PATH, 4, "has no entry point DllRegisterServer"},
        {"no entry point, silent", std::string("-s -u ") + NO_ENTRY_POINT_PATH, 4,
         "has no entry point DllUnregisterServer"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.what;
    }
}

TEST_F(Regsvr, AFailingEntryPointReportsItsCodeAndReason) {
    registry_.WriteFile("Quillon Registry 1\n[Broken\n");
    const ToolRun run = Tool(std::string("-s ") + TEST_SERVER_PATH);
    EXPECT_EQ(run.status, 5);
    // HRESULT_FROM_WIN32(ERROR_REGISTRY_CORRUPT), then the registry's own explanation.
    EXPECT_NE(run.err.find("DllRegisterServer in " + FullPath(TEST_SERVER_PATH) +
                           " failed with 0x800703F7: " + registry_.file() + " is corrupt: line 2"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(registry_.ReadFile(), "Quillon Registry 1\n[Broken\n");
}

// Unregistering makes sure a server is not registered: one that is not is no failure, whether
// it has a type library (whose unregistering finds nothing) or not, and whether the registry
// was written by the store or laid out by hand.
TEST_F(Regsvr, UnregisteringWhatIsNotRegisteredSucceedsWithANote) {
    for (const char* library : {TEST_SERVER_PATH, COMPONENT_SERVER_PATH}) {
        const std::string note = FullPath(library) + " was not registered (registry " +
                                 registry_.file() + "); nothing to unregister.\n";
        registry_.WriteFile("Quillon Registry 1\n; by hand\n[Other]\n@=\"kept\"\n");
        ToolRun run = Tool(std::string("-u ") + library);
        EXPECT_EQ(run.status, 0) << library << ": " << run.err;
        EXPECT_EQ(run.out, note);
        EXPECT_EQ(run.err, "");

        ASSERT_EQ(Tool(library).status, 0) << library;
        run = Tool(std::string("-u ") + library);
        EXPECT_EQ(run.status, 0) << library << ": " << run.err;
        EXPECT_EQ(run.out, "DllUnregisterServer in " + FullPath(library) + " succeeded (registry " +
                               registry_.file() + ").\n");
        run = Tool(std::string("-u ") + library);
        EXPECT_EQ(run.status, 0) << library << ": " << run.err;
        EXPECT_EQ(run.out, note);
        run = Tool(std::string("-us ") + library);
        EXPECT_EQ(run.status, 0) << library << ": " << run.err;
        EXPECT_EQ(run.out + run.err, "");
    }
}

// Loading a library runs its code (as root, for the machine's registry): one that others than
// its owner and root could have changed is refused before it is loaded, to register it or not.
TEST_F(Regsvr, AServerOthersCouldChangeIsRefused) {
    const std::string library = registry_.directory() + "/libshared.so";
    std::filesystem::copy_file(TEST_SERVER_PATH, library);
    chmod(library.c_str(), 0666);
    for (const char* option : {"", "-u ", "-s "}) {
        const ToolRun run = Tool(option + library);
        EXPECT_EQ(run.status, 3) << option;
        EXPECT_EQ(run.err, "regsvr: refusing the server library " + library + ": " + library +
                               " is writable by others (mode 0666)\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(registry_.file()));
}

TEST_F(Regsvr, HelpIsNoError) {
    const ToolRun run = Tool("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("usage: regsvr [-u] [-s] LIBRARY.so"), std::string::npos);
}

}  // namespace
