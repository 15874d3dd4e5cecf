// The hosts use the component built or installed with them, whatever any registry says: two
// installations side by side (copies of the build's programs and libraries) never use each
// other's servers, and running one changes no registry.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>

#include "tests/hosts/ChildProcess.h"
#include "tests/hosts/RawHttpClient.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A copy of everything a host needs, in a directory of its own.
class Installation {
public:
    Installation() {
        char pattern[] = "/tmp/quillon-install-XXXXXX";
        directory_ = mkdtemp(pattern);
        const fs::path built = fs::path(QUILLON_PATH).parent_path();
        for (const char* file :
             {"quillon", "quillon-serve", "regsvr", "libQuillonRuntime.so", "libTarvexQuillon.so",
              "libTarvexUnicode.so"}) {
            fs::copy_file(built / file, directory_ / file);
        }
        // libquillon by the name the hosts load it by, libquillon.so.MAJOR.
        for (const fs::directory_entry& entry : fs::directory_iterator(built)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("libquillon.so.", 0) == 0 && name.find('.', 14) == std::string::npos) {
                fs::copy_file(entry.path(), directory_ / name);
            }
        }
    }
    ~Installation() {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    std::string operator/(const char* file) const { return (directory_ / file).string(); }
    std::string directory() const { return directory_.string(); }

private:
    fs::path directory_;
};

// The dynamic loader's account of which libraries the programs run while it lives initialised.
class LoaderLog {
public:
    LoaderLog() {
        char pattern[] = "/tmp/quillon-loader-XXXXXX";
        directory_ = mkdtemp(pattern);
        setenv("LD_DEBUG", "files", 1);
        setenv("LD_DEBUG_OUTPUT", (directory_ / "log").c_str(), 1);
    }
    ~LoaderLog() {
        unsetenv("LD_DEBUG");
        unsetenv("LD_DEBUG_OUTPUT");
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    LoaderLog(const LoaderLog&) = delete;
    LoaderLog& operator=(const LoaderLog&) = delete;

    // Every library initialised ("calling init: PATH"), one a line.
    std::string Initialised() const {
        std::string lines;
        for (const auto& entry : fs::directory_iterator(directory_)) {
            const std::string log = ReadText(entry.path());
            const std::regex init(R"(calling init: (\S+))");
            for (std::sregex_iterator m(log.begin(), log.end(), init), end; m != end; ++m) {
                lines += (*m)[1].str() + "\n";
            }
        }
        return lines;
    }

private:
    fs::path directory_;
};

// Both installations, and the registry the tests run with (as a machine's registry, where the
// other installation registered its server last).
class TwoInstallations : public ::testing::Test {
protected:
    void SetUp() override {
        registry_ = std::getenv("QUILLON_REGISTRY");
        const ProcessResult r = RunProgram(other_ / "regsvr", {other_ / "libTarvexQuillon.so"});
        ASSERT_EQ(r.status, 0) << r.err;
        registered_ = ReadText(registry_);
        ASSERT_NE(registered_.find(other_ / "libTarvexQuillon.so"), std::string::npos);
        loader_ = std::make_unique<LoaderLog>();
    }

    std::string Initialised() const { return loader_->Initialised(); }

    void ExpectOwnComponentAndNoRegistryChange() {
        const std::string initialised = Initialised();
        EXPECT_NE(initialised.find(own_ / "libTarvexQuillon.so"), std::string::npos) << initialised;
        EXPECT_EQ(initialised.find(other_ / "libTarvexQuillon.so"), std::string::npos)
            << initialised;
        EXPECT_EQ(ReadText(registry_), registered_);
    }

    Installation own_;
    Installation other_;
    std::string registry_;
    std::string registered_;
    std::unique_ptr<LoaderLog> loader_;  // from the end of SetUp, after the registration
};

TEST_F(TwoInstallations, TheCommandLineUsesItsOwnComponent) {
    const ProcessResult r = RunProgram(own_ / "quillon", {"--measure", "Columns=5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"rows\":3,\"columns\":5,\"width\":465,\"height\":27}\n");
    ExpectOwnComponentAndNoRegistryChange();
}

// Registering the server and then creating its class load the library once: a second load
// would map, relocate and initialise it again, which is a good part of a short run.
TEST_F(TwoInstallations, TheCommandLineLoadsItsComponentOnce) {
    const ProcessResult r = RunProgram(own_ / "quillon", {"-o", "/dev/null", "Data=12"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string initialised = Initialised();
    const std::string line = own_ / "libTarvexQuillon.so" + "\n";
    std::size_t loads = 0;
    for (std::size_t at = initialised.find(line); at != std::string::npos;
         at = initialised.find(line, at + 1)) {
        ++loads;
    }
    EXPECT_EQ(loads, 1u) << initialised;
}

TEST_F(TwoInstallations, ThePageHostUsesItsOwnComponent) {
    {
        RunningProgram server(own_ / "quillon-serve", {"--port", "0", "--threads", "1"});
        const std::string banner = server.WaitFor("\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(banner, m, std::regex(R"(127\.0\.0\.1:(\d+)/)"))) << banner;
        RawHttpClient client(std::stoi(m[1]));
        ASSERT_TRUE(
            client.Send("GET /measure HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n"));
        const std::string response = client.ReadResponse();
        EXPECT_NE(response.find("{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}"),
                  std::string::npos)
            << response;
    }
    ExpectOwnComponentAndNoRegistryChange();
}

// A program's libraries come from beside it and from the system, never from the directory it
// runs in: files there named like them are not even looked at.
TEST(OwnServers, TheWorkingDirectoryLendsTheHostsNoLibraries) {
    char pattern[] = "/tmp/quillon-cwd-XXXXXX";
    const fs::path directory = mkdtemp(pattern);
    for (const char* name : {"libc.so.6", "libstdc++.so.6"}) {
        std::ofstream(directory / name) << "not a library\n";
    }
    const fs::path before = fs::current_path();
    fs::current_path(directory);
    const ProcessResult r = RunProgram(QUILLON_PATH, {"--measure"});
    fs::current_path(before);
    fs::remove_all(directory);
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(OwnServers, AServerThatCannotBeRegisteredIsNamedWithTheReason) {
    Installation broken;
    std::ofstream(broken / "libTarvexQuillon.so", std::ios::trunc) << "not a library\n";
    const ProcessResult r = RunProgram(broken / "quillon", {"--measure"});
    EXPECT_EQ(r.status, 1);
    // The loader's own words follow ("file too short", "invalid ELF header"...).
    const std::string said =
        "cannot register the component: cannot load " + (broken / "libTarvexQuillon.so") + ": ";
    const std::size_t at = r.err.find(said);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_GT(r.err.find('\n', at), at + said.size() + 1) << r.err;
}

// A host's own servers are judged before they are loaded, as the runtime judges the libraries a
// registry names: one that others than its owner and root could have changed never runs, not
// even its constructors.
struct UntrustedServerCase {
    const char* what;
    const char* file;  // the file made writable, or null for the installation's folder
    mode_t mode;
    const char* reason;
};

TEST(OwnServers, AServerOthersCouldChangeIsNeverLoaded) {
    const UntrustedServerCase cases[] = {
        {"the server", "libTarvexQuillon.so", 0666, "is writable by others (mode 0666)"},
        {"its folder", nullptr, 0775, "is writable by its group (mode 0775)"},
    };
    for (const auto& c : cases) {
        Installation installation;
        const std::string server = installation / "libTarvexQuillon.so";
        const std::string changed = c.file ? installation / c.file : installation.directory();
        chmod(changed.c_str(), c.mode);
        LoaderLog loader;
        const ProcessResult r = RunProgram(installation / "quillon", {"--measure"});
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_NE(r.err.find("cannot register the component: refusing the server library " +
                             server + ": " + changed + " " + c.reason + "\n"),
                  std::string::npos)
            << c.what << ": " << r.err;
        const std::string initialised = loader.Initialised();
        EXPECT_EQ(initialised.find(server), std::string::npos) << c.what << ": " << initialised;
        chmod(changed.c_str(), 0755);
    }
}

}  // namespace
