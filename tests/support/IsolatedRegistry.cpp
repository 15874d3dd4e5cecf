// Linked into every test binary: each test process gets a registry file of its own, so tests
// never touch the machine's or the user's registry and never see each other's registrations,
// even when the environment names a registry (an exported QUILLON_REGISTRY is replaced here).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct IsolatedRegistry {
    std::string path;

    IsolatedRegistry() {
        char name[] = "/tmp/quillon-test-registry-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) {
            // Better no test at all than tests that write to someone's registry.
            std::perror("cannot create the tests' registry in /tmp");
            std::abort();
        }
        close(fd);
        path = name;
        setenv("QUILLON_REGISTRY", name, 1);
    }
    ~IsolatedRegistry() {
        unlink(path.c_str());
        unlink((path + ".lock").c_str());
        unlink((path + ".tmp").c_str());
    }
};

const IsolatedRegistry isolated_registry;

}  // namespace
