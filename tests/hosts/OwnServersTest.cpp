// The hosts use the component built or installed with them, whatever any registry says: two
// installations side by side (copies of the build's programs and libraries) never use each
// other's servers, and running one changes no registry. The command line carries its component
// and the runtime itself and loads no library of ours; the page host registers the servers
// beside its runtime, and names one it cannot register or will not trust.
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
        for (const char* file : {"quillon", "quillon-serve", "regsvr", "libQuillonRuntime.so",
                                 "libTarvexQuillon.so", "libTarvexUnicode.so"}) {
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

// The page host's answer to GET /measure.
std::string MeasureThroughPageHost(const std::string& serve) {
    RunningProgram server(serve, {"--port", "0", "--threads", "1"});
    const std::string banner = server.WaitFor("\n");
    std::smatch m;
    if (!std::regex_search(banner, m, std::regex(R"(127\.0\.0\.1:(\d+)/)"))) {
        ADD_FAILURE() << banner;
        return {};
    }
    RawHttpClient client(std::stoi(m[1]));
    EXPECT_TRUE(client.Send("GET /measure HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n"));
    return client.ReadResponse();
}

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

    // loads_own: whether the host loads its own installation's runtime and component, or
    // neither, carrying them itself.
    void ExpectOwnComponentAndNoRegistryChange(bool loads_own) {
        const std::string initialised = Initialised();
        for (const char* file : {"libTarvexQuillon.so", "libQuillonRuntime.so"}) {
            EXPECT_EQ(initialised.find(own_ / file) != std::string::npos, loads_own)
                << file << ":\n"
                << initialised;
            EXPECT_EQ(initialised.find(other_ / file), std::string::npos) << file << ":\n"
                                                                          << initialised;
        }
        EXPECT_EQ(ReadText(registry_), registered_);
    }

    Installation own_;
    Installation other_;
    std::string registry_;
    std::string registered_;
    std::unique_ptr<LoaderLog> loader_;  // from the end of SetUp, after the registration
};

TEST_F(TwoInstallations, TheCommandLineUsesItsBuiltInComponent) {
    const ProcessResult r = RunProgram(own_ / "quillon", {"--measure", "Columns=5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"rows\":3,\"columns\":5,\"width\":465,\"height\":27}\n");
    ExpectOwnComponentAndNoRegistryChange(false);
}

TEST_F(TwoInstallations, ThePageHostUsesItsOwnComponent) {
    const std::string response = MeasureThroughPageHost(own_ / "quillon-serve");
    EXPECT_NE(response.find("{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}"),
              std::string::npos)
        << response;
    ExpectOwnComponentAndNoRegistryChange(true);
}

// What lies beside the command line is not even read: it draws with files there named like
// the libraries it once loaded that are no libraries at all.
TEST(OwnServers, TheCommandLineNeedsNoLibraryBesideIt) {
    char pattern[] = "/tmp/quillon-alone-XXXXXX";
    const fs::path directory = mkdtemp(pattern);
    fs::copy_file(QUILLON_PATH, directory / "quillon");
    for (const char* name : {"libTarvexQuillon.so", "libQuillonRuntime.so"}) {
        std::ofstream(directory / name) << "not a library\n";
    }
    const ProcessResult r = RunProgram((directory / "quillon").string(), {"--measure"});
    fs::remove_all(directory);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");
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
    const ProcessResult cli = RunProgram(QUILLON_PATH, {"--measure"});
    const ProcessResult page_host = RunProgram(SERVE_PATH, {"--version"});
    fs::current_path(before);
    fs::remove_all(directory);
    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(page_host.status, 0) << page_host.err;
}

TEST(OwnServers, AServerThatCannotBeRegisteredIsNamedWithTheReason) {
    Installation broken;
    std::ofstream(broken / "libTarvexQuillon.so", std::ios::trunc) << "not a library\n";
    const std::string response = MeasureThroughPageHost(broken / "quillon-serve");
    EXPECT_EQ(response.rfind("HTTP/1.1 500 ", 0), 0u) << response;
    // The loader's own words follow ("file too short", "invalid ELF header"...).
    const std::string said =
        "cannot register the component: cannot load " + (broken / "libTarvexQuillon.so") + ": ";
    const std::size_t at = response.find(said);
    ASSERT_NE(at, std::string::npos) << response;
    EXPECT_GT(response.size(), at + said.size() + 1) << response;
}

// The page host's servers are judged before they are loaded, as the runtime judges the
// libraries a registry names: one that others than its owner and root could have changed never
// runs, not even its constructors.
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
        const std::string response = MeasureThroughPageHost(installation / "quillon-serve");
        EXPECT_EQ(response.rfind("HTTP/1.1 500 ", 0), 0u) << c.what << ": " << response;
        EXPECT_NE(response.find("cannot register the component: refusing the server library " +
                                server + ": " + changed + " " + c.reason),
                  std::string::npos)
            << c.what << ": " << response;
        const std::string initialised = loader.Initialised();
        EXPECT_EQ(initialised.find(server), std::string::npos) << c.what << ": " << initialised;
        chmod(changed.c_str(), 0755);
    }
}

}  // namespace
