#include "library/session/Automation.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/common/DispatchByName.h"
#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"

namespace {

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// A host creates the servers built or installed with it, never those another checkout or
// installation registered. At its first creation the process switches to a registry of its
// own, in memory, and registers there each server it needs from beside the runtime library it
// runs with (see platform::RuntimeDirectory). The machine's and the user's registry files are
// then neither read nor written, so no registration anywhere else can redirect the host, and
// the host changes nothing anyone else sees.
class OwnServers {
public:
    // False, with *message saying why, when library cannot be registered.
    bool Register(const char* library, std::string* message) {
        std::lock_guard lock(mutex_);
        if (registered_.empty()) PlatformUsePrivateRegistry(TRUE);
        if (registered_.count(library) != 0) return true;
        const std::string path = platform::RuntimeDirectory() + "/" + library;
        // Kept loaded: the host creates a class of it next, and will never unload it, since
        // each thread keeps its class objects.
        if (platform::RegisterServerLibrary(path, false, message,
                                            platform::AfterRegistration::kKeepLoaded) !=
            platform::ServerRegistration::kDone) {
            return false;
        }
        registered_.insert(library);
        return true;
    }

private:
    std::mutex mutex_;
    std::set<std::string> registered_;
};

// Never destroyed: the page host's workers may still create objects while the process ends.
OwnServers& OwnServersOfThisProcess() {
    static auto* servers = new OwnServers;
    return *servers;
}

// The class objects this thread has looked up, by ProgID. A page host creates an object for
// every request, and finding the class in the registry each time would cost more than the
// request itself; the class object is kept instead, as page hosts keep theirs.
class ClassObjectCache {
public:
    ~ClassObjectCache() {
        for (auto& [progid, factory] : factories_) factory->Release();
    }
    HRESULT Get(const char16_t* progid, IClassFactory** factory) {
        const auto found = factories_.find(progid);
        if (found != factories_.end()) {
            *factory = found->second;
            return S_OK;
        }
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(progid, &clsid);
        if (FAILED(hr)) return hr;
        hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              reinterpret_cast<void**>(factory));
        if (SUCCEEDED(hr)) factories_.emplace(progid, *factory);
        return hr;
    }

private:
    std::map<std::u16string, IClassFactory*> factories_;
};

thread_local ClassObjectCache class_objects;

HRESULT TryCreate(const char16_t* progid, IDispatch** object) {
    IClassFactory* factory = nullptr;
    const HRESULT hr = class_objects.Get(progid, &factory);
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object));
}

}  // namespace

DispatchPtr& DispatchPtr::operator=(DispatchPtr&& other) noexcept {
    if (this != &other) {
        Reset();
        p_ = other.p_;
        other.p_ = nullptr;
    }
    return *this;
}

void DispatchPtr::Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
}

DispatchPtr CreateByProgId(const char16_t* progid, const char* library, CallError* error) {
    if (std::string message; !OwnServersOfThisProcess().Register(library, &message)) {
        error->hr = CO_E_ERRORINDLL;
        error->message = "cannot register the component: " + message;
        return {};
    }
    IDispatch* object = nullptr;
    const HRESULT hr = TryCreate(progid, &object);
    if (FAILED(hr)) {
        error->hr = hr;
        const std::string description = platform::TakeErrorDescription();
        error->message = "cannot create " + platform::Utf16ToUtf8(progid) + " (" + Hex(hr) + ")" +
                         (description.empty() ? "" : ": " + description);
        return {};
    }
    return DispatchPtr(object);
}

ByteArray::~ByteArray() {
    if (data_ != nullptr) SafeArrayUnaccessData(v_.parray);
    VariantClear(&v_);
}

bool ByteArray::Read(std::string_view* bytes) {
    if (v_.vt != (VT_ARRAY | VT_UI1) || SafeArrayGetDim(v_.parray) != 1) return false;
    if (data_ == nullptr && FAILED(SafeArrayAccessData(v_.parray, &data_))) return false;
    *bytes = {static_cast<const char*>(data_), v_.parray->rgsabound[0].cElements};
    return true;
}

namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

}  // namespace

MemberIds::MemberIds(std::vector<std::u16string> names)
    : names_(std::move(names)),
      ids_(new std::atomic<DISPID>[names_.size()]),
      slots_(std::bit_ceil(4 * names_.size() + 1), -1) {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        ids_[i].store(kNotLookedUp);
        std::size_t at = Start(names_[i]);
        while (slots_[at] >= 0) at = (at + 1) & (slots_.size() - 1);
        slots_[at] = static_cast<std::int16_t>(i);
    }
}

std::size_t MemberIds::Start(std::u16string_view name) const {
    // The length and three characters tell the component's names apart well enough.
    std::size_t hash = name.size();
    if (!name.empty())
        hash = hash * 31 + name.front() * 7 + name[name.size() / 2] * 3 + name.back();
    return hash & (slots_.size() - 1);
}

DISPID MemberIds::Find(IDispatch* object, std::u16string_view name) const {
    std::size_t at = Start(name);
    while (slots_[at] >= 0 && !SameName(names_[static_cast<std::size_t>(slots_[at])], name)) {
        at = (at + 1) & (slots_.size() - 1);
    }
    if (slots_[at] < 0) return DISPID_UNKNOWN;
    const auto index = static_cast<std::size_t>(slots_[at]);
    std::atomic<DISPID>& slot = ids_[index];
    DISPID dispid = slot.load(std::memory_order_relaxed);
    if (dispid == kNotLookedUp) {
        LPOLESTR text[] = {const_cast<LPOLESTR>(names_[index].c_str())};
        if (FAILED(object->GetIDsOfNames(IID_NULL, text, 1, 0, &dispid))) dispid = DISPID_UNKNOWN;
        slot.store(dispid, std::memory_order_relaxed);
    }
    return dispid;
}

HRESULT ScriptedObject::Invoke(std::u16string_view name, WORD flags, std::span<const VARIANT> args,
                               VARIANT* result, CallError* error) {
    DISPID dispid = known_ != nullptr ? known_->Find(object_.get(), name) : DISPID_UNKNOWN;
    if (dispid == DISPID_UNKNOWN) {
        const auto looked_up = std::find_if(ids_.begin(), ids_.end(), [&](const auto& entry) {
            return SameName(entry.first, name);
        });
        if (looked_up != ids_.end()) dispid = looked_up->second;
    }
    platform::DispatchCall call;
    if (dispid != DISPID_UNKNOWN) {
        call = platform::CallById(object_.get(), dispid, flags, args, result);
    } else {
        const std::u16string member(name);
        call = platform::CallByName(object_.get(), member.c_str(), flags, args, result);
        if (call.dispid != DISPID_UNKNOWN) ids_.emplace_back(member, call.dispid);
    }
    if (SUCCEEDED(call.hr)) return call.hr;
    error->hr = call.hr;
    if (call.dispid == DISPID_UNKNOWN) {
        const std::string reason = platform::TakeErrorDescription();
        error->message = call.hr == DISP_E_UNKNOWNNAME
                             ? "unknown member"
                             : "cannot look up " + platform::Utf16ToUtf8(name) + " (" +
                                   Hex(call.hr) + ")" + (reason.empty() ? "" : ": " + reason);
    } else if (call.hr == DISP_E_EXCEPTION) {
        error->hr = call.scode != 0 ? call.scode : call.hr;
        error->message = call.description.empty() ? "failed with " + Hex(error->hr)
                                                  : platform::Utf16ToUtf8(call.description);
    } else {
        error->message = call.hr == DISP_E_TYPEMISMATCH ? "type mismatch"
                         : call.hr == DISP_E_OVERFLOW   ? "out of range"
                                                        : "failed with " + Hex(call.hr);
    }
    return error->hr;
}
