#include "platform/runtime/BuiltInServers.h"

#include <mutex>
#include <vector>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/runtime/ResolvedPaths.h"
#include "platform/runtime/ServerRegistration.h"

namespace platform {
namespace {

// Never destroyed: objects of the servers may be created while the process ends.
struct Servers {
    std::mutex mutex;
    std::vector<const BuiltInServer*> servers;
};

Servers& TheServers() {
    static auto* servers = new Servers;
    return *servers;
}

std::vector<const BuiltInServer*> Copy() {
    Servers& all = TheServers();
    std::lock_guard lock(all.mutex);
    return all.servers;
}

}  // namespace

void AddBuiltInServer(const BuiltInServer* server) {
    Servers& all = TheServers();
    std::lock_guard lock(all.mutex);
    all.servers.push_back(server);
}

const BuiltInServer* BuiltInServerFor(const std::string& library_path) {
    const std::vector<const BuiltInServer*> servers = Copy();
    if (servers.empty()) return nullptr;
    const std::string directory = RuntimeDirectory() + "/";
    for (const BuiltInServer* server : servers) {
        if (library_path == directory + server->file_name) return server;
    }
    return nullptr;
}

bool GetBuiltInClassObject(const std::string& module_path, REFCLSID clsid, REFIID riid, void** ppv,
                           HRESULT* result) {
    const std::vector<const BuiltInServer*> servers = Copy();
    if (servers.empty()) return false;
    if (module_path != ProgramPath()) return false;
    for (const BuiltInServer* server : servers) {
        *result = server->get_class_object(clsid, riid, ppv);
        if (*result != CLASS_E_CLASSNOTAVAILABLE) return true;
    }
    *result = ReportFailure(CLASS_E_CLASSNOTAVAILABLE,
                            "class " + Utf16ToUtf8(GuidText(clsid)) + " is registered in " +
                                module_path + ", but none of the servers built into it has it");
    return true;
}

}  // namespace platform
