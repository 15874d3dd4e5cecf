// Linked into every test binary: each test process gets a registry file of its own, so tests
// never touch the machine's registry and never see each other's registrations.
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

struct IsolatedRegistry {
    std::string path;

    IsolatedRegistry() {
        if (std::getenv("QUILLON_REGISTRY") != nullptr) return;  // the run chose one
        char name[] = "/tmp/quillon-test-registry-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) return;
        close(fd);
        path = name;
        setenv("QUILLON_REGISTRY", name, 1);
    }
    ~IsolatedRegistry() {
        if (path.empty()) return;
        unlink(path.c_str());
        unlink((path + ".lock").c_str());
    }
};

const IsolatedRegistry isolated_registry;

}  // namespace
