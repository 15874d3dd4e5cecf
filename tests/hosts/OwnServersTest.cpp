// The hosts use the component built or installed with them, whatever any registry says: two
// installations side by side (copies of the build's programs and libraries) never use each
// other's servers, and running one changes no registry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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
             {"quillon", "quillon-serve", "regsvr", "libQuillonRuntime.so", "libQuillonWinApi.so",
              "libTarvexQuillon.so", "libTarvexUnicode.so"}) {
            fs::copy_file(built / file, directory_ / file);
        }
    }
    ~Installation() {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    std::string operator/(const char* file) const { return (directory_ / file).string(); }

private:
    fs::path directory_;
};

// Both installations, the registry the tests run with (as a machine's registry, where the
// other installation registered its server last), and the dynamic loader's account of which
// libraries a program started.
class TwoInstallations : public ::testing::Test {
protected:
    void SetUp() override {
        registry_ = std::getenv("QUILLON_REGISTRY");
        const ProcessResult r = RunProgram(other_ / "regsvr", {other_ / "libTarvexQuillon.so"});
        ASSERT_EQ(r.status, 0) << r.err;
        registered_ = ReadText(registry_);
        ASSERT_NE(registered_.find(other_ / "libTarvexQuillon.so"), std::string::npos);

        char pattern[] = "/tmp/quillon-loader-XXXXXX";
        loader_log_ = mkdtemp(pattern);
        setenv("LD_DEBUG", "files", 1);
        setenv("LD_DEBUG_OUTPUT", (loader_log_ / "log").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("LD_DEBUG");
        unsetenv("LD_DEBUG_OUTPUT");
        std::error_code ignored;
        fs::remove_all(loader_log_, ignored);
    }

    // Every library the programs run since SetUp initialised ("calling init: PATH").
    std::string Initialised() const {
        std::string lines;
        for (const auto& entry : fs::directory_iterator(loader_log_)) {
            const std::string log = ReadText(entry.path());
            const std::regex init(R"(calling init: (\S+))");
            for (std::sregex_iterator m(log.begin(), log.end(), init), end; m != end; ++m) {
                lines += (*m)[1].str() + "\n";
            }
        }
        return lines;
    }

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
    fs::path loader_log_;
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

}  // namespace
