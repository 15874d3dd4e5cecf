#include "platform/runtime/TypeLibObject.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/runtime/DispatchInvoke.h"
#include "platform/winapi/Memory.h"

namespace {

// IDispatch-derived interfaces have IUnknown's three slots and IDispatch's four before theirs.
constexpr int kInheritedSlots = 7;

// Copies a text into a BSTR the caller owns; out may be null when the caller wants none.
HRESULT CopyText(const OLECHAR* text, BSTR* out) {
    if (out == nullptr) return S_OK;
    *out = nullptr;
    if (text == nullptr) return S_OK;
    *out = SysAllocString(text);
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT Document(const OLECHAR* name, const OLECHAR* help, BSTR* pName, BSTR* pDoc, DWORD* pContext,
                 BSTR* pHelpFile) {
    if (FAILED(CopyText(name, pName))) return E_OUTOFMEMORY;
    if (FAILED(CopyText(help, pDoc))) {
        if (pName != nullptr) SysFreeString(*pName);
        if (pName != nullptr) *pName = nullptr;
        return E_OUTOFMEMORY;
    }
    if (pContext != nullptr) *pContext = 0;
    if (pHelpFile != nullptr) *pHelpFile = nullptr;
    return S_OK;
}

struct FuncDescBlock {
    FUNCDESC desc;  // first, so that the block is freed through the FUNCDESC pointer
    ELEMDESC params[kMaxDispatchParameters];
    TYPEDESC pointees[kMaxDispatchParameters];
};

class DescribedTypeLib;

class DescribedTypeInfo final : public ITypeInfo {
public:
    DescribedTypeInfo(DescribedTypeLib* lib, UINT index, const InterfaceDescription* interface,
                      const ClassDescription* klass)
        : lib_(lib), index_(index), interface_(interface), class_(klass) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override {
        return Revoked() ? TYPE_E_CANTLOADLIBRARY : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                       UINT* pcNames) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                            MEMBERID* pMemId) override;
    HRESULT STDMETHODCALLTYPE Invoke(void* pvInstance, MEMBERID memid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName,
                                               BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override;
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override {
        CoTaskMemFree(pTypeAttr);
    }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override {
        CoTaskMemFree(pFuncDesc);
    }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

    const OLECHAR* Name() const { return interface_ != nullptr ? interface_->name : class_->name; }
    const OLECHAR* Help() const { return interface_ != nullptr ? interface_->help : class_->help; }
    TYPEKIND Kind() const { return interface_ != nullptr ? TKIND_INTERFACE : TKIND_COCLASS; }
    GUID Guid() const { return interface_ != nullptr ? interface_->iid : class_->clsid; }

private:
    bool Revoked() const;
    std::span<const MemberDescription> Members() const {
        return interface_ != nullptr ? interface_->members : std::span<const MemberDescription>();
    }
    // A member of the interface or of a base, as Windows looks a base up for a derived
    // interface's names and documentation.
    const MemberDescription* FindMember(MEMBERID memid) const {
        if (interface_ == nullptr) return nullptr;
        return FindReachableMember(*interface_,
                                   [&](const MemberDescription& m) { return m.dispid == memid; });
    }

    DescribedTypeLib* lib_;
    UINT index_;
    const InterfaceDescription* interface_;  // exactly one of these two is set
    const ClassDescription* class_;
};

class DescribedTypeLib final : public ITypeLib {
public:
    explicit DescribedTypeLib(const TypeLibDescription* d) : description_(d) {}

    // Builds the type information objects; false when memory runs out.
    bool Populate() {
        try {
            infos_.reserve(description_->interfaces.size() + description_->classes.size());
            UINT index = 0;
            for (const InterfaceDescription* i : description_->interfaces) {
                infos_.emplace_back(this, index++, i, nullptr);
            }
            for (const ClassDescription& c : description_->classes) {
                infos_.emplace_back(this, index++, nullptr, &c);
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeLib) {
            *ppv = static_cast<ITypeLib*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override {
        return Revoked() ? 0 : static_cast<UINT>(infos_.size());
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
        if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *ppTInfo = &infos_[index];
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
        if (pTKind == nullptr) return E_INVALIDARG;
        if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
        if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = infos_[index].Kind();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
        for (UINT i = 0; i < infos_.size(); ++i) {
            if (infos_[i].Guid() == guid) return GetTypeInfo(i, ppTInfo);
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (ppTLibAttr == nullptr) return E_INVALIDARG;
        *ppTLibAttr = nullptr;
        if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
        auto* attr = static_cast<TLIBATTR*>(CoTaskMemAlloc(sizeof(TLIBATTR)));
        if (attr == nullptr) return E_OUTOFMEMORY;
        std::memset(attr, 0, sizeof *attr);
        attr->guid = description_->libid;
        attr->lcid = description_->lcid;
        attr->syskind = description_->syskind;
        attr->wMajorVerNum = description_->majorVersion;
        attr->wMinorVerNum = description_->minorVersion;
        *ppTLibAttr = attr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
        if (index == -1) {
            return Document(description_->name, description_->help, pBstrName, pBstrDocString,
                            pdwHelpContext, pBstrHelpFile);
        }
        if (index < 0 || static_cast<std::size_t>(index) >= infos_.size()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        const DescribedTypeInfo& info = infos_[static_cast<std::size_t>(index)];
        return Document(info.Name(), info.Help(), pBstrName, pBstrDocString, pdwHelpContext,
                        pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override {
        return E_NOTIMPL;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override {
        CoTaskMemFree(pTLibAttr);
    }

    const TypeLibDescription* Description() const { return description_; }
    bool Revoked() const { return revoked_.load(std::memory_order_acquire); }
    void Revoke() { revoked_.store(true, std::memory_order_release); }
    // The index of the library's type information for an interface, or -1.
    int IndexOf(const InterfaceDescription* interface) const {
        for (std::size_t i = 0; i < description_->interfaces.size(); ++i) {
            if (description_->interfaces[i] == interface) return static_cast<int>(i);
        }
        return -1;
    }

private:
    ~DescribedTypeLib() = default;

    std::atomic<ULONG> references_{1};
    const TypeLibDescription* description_;
    std::vector<DescribedTypeInfo> infos_;
    std::atomic<bool> revoked_{false};
};

// Every live library, so that a description can be revoked in all of them.
std::mutex live_mutex;
std::vector<DescribedTypeLib*>& LiveLibraries() {
    static auto* libraries = new std::vector<DescribedTypeLib*>();  // outlives static teardown
    return *libraries;
}

ULONG DescribedTypeLib::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        {
            std::lock_guard<std::mutex> lock(live_mutex);
            auto& live = LiveLibraries();
            live.erase(std::remove(live.begin(), live.end(), this), live.end());
        }
        delete this;
    }
    return left;
}

bool DescribedTypeInfo::Revoked() const {
    return lib_->Revoked();
}

HRESULT DescribedTypeInfo::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
        *ppv = static_cast<ITypeInfo*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// Type information lives and dies with its library.
ULONG DescribedTypeInfo::AddRef() {
    return lib_->AddRef();
}
ULONG DescribedTypeInfo::Release() {
    return lib_->Release();
}

HRESULT DescribedTypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) {
    if (ppTypeAttr == nullptr) return E_INVALIDARG;
    *ppTypeAttr = nullptr;
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    auto* attr = static_cast<TYPEATTR*>(CoTaskMemAlloc(sizeof(TYPEATTR)));
    if (attr == nullptr) return E_OUTOFMEMORY;
    std::memset(attr, 0, sizeof *attr);
    const TypeLibDescription* lib = lib_->Description();
    attr->guid = Guid();
    attr->lcid = lib->lcid;
    attr->memidConstructor = MEMBERID_NIL;
    attr->memidDestructor = MEMBERID_NIL;
    attr->typekind = Kind();
    attr->wMajorVerNum = lib->majorVersion;
    attr->wMinorVerNum = lib->minorVersion;
    attr->cbAlignment = alignof(void*);
    if (interface_ != nullptr) {
        attr->cbSizeInstance = sizeof(void*);
        attr->cFuncs = static_cast<WORD>(interface_->members.size());
        attr->cImplTypes = interface_->base != nullptr ? 1 : 0;
        attr->cbSizeVft = static_cast<WORD>(
            (kInheritedSlots + BaseSlotCount(*interface_) + interface_->members.size()) *
            sizeof(void*));
        attr->wTypeFlags = static_cast<WORD>(interface_->flags | TYPEFLAG_FDISPATCHABLE);
    } else {
        attr->cImplTypes = class_->defaultInterface != nullptr ? 1 : 0;
        attr->wTypeFlags = class_->flags;
    }
    *ppTypeAttr = attr;
    return S_OK;
}

HRESULT DescribedTypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
    if (ppFuncDesc == nullptr) return E_INVALIDARG;
    *ppFuncDesc = nullptr;
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    if (index >= Members().size()) return TYPE_E_ELEMENTNOTFOUND;
    const MemberDescription& m = Members()[index];
    auto* block = static_cast<FuncDescBlock*>(CoTaskMemAlloc(sizeof(FuncDescBlock)));
    if (block == nullptr) return E_OUTOFMEMORY;
    std::memset(block, 0, sizeof *block);
    FUNCDESC& f = block->desc;
    f.memid = m.dispid;
    f.lprgelemdescParam = m.paramCount > 0 ? block->params : nullptr;
    f.funckind = FUNC_PUREVIRTUAL;
    f.invkind = m.kind;
    f.callconv = CC_STDCALL;
    f.cParams = m.paramCount;
    f.oVft =
        static_cast<SHORT>((kInheritedSlots + BaseSlotCount(*interface_) + index) * sizeof(void*));
    f.elemdescFunc.tdesc.vt = VT_HRESULT;
    for (int i = 0; i < m.paramCount; ++i) {
        const ParameterDescription& p = m.params[i];
        ELEMDESC& e = block->params[i];
        if ((p.type & VT_BYREF) != 0) {
            e.tdesc.vt = VT_PTR;
            e.tdesc.lptdesc = &block->pointees[i];
            block->pointees[i].vt = static_cast<VARTYPE>(p.type & ~VT_BYREF);
        } else {
            e.tdesc.vt = p.type;
        }
        e.paramdesc.wParamFlags = p.flags;
        if ((p.flags & PARAMFLAG_FOPT) != 0) ++f.cParamsOpt;
    }
    *ppFuncDesc = &block->desc;
    return S_OK;
}

// The member's name, then its parameters' names up to the first unnamed one.
HRESULT DescribedTypeInfo::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                    UINT* pcNames) {
    if (pcNames == nullptr || (rgBstrNames == nullptr && cMaxNames > 0)) return E_INVALIDARG;
    *pcNames = 0;
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    const MemberDescription* m = FindMember(memid);
    if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    UINT count = 0;
    auto add = [&](const OLECHAR* text) {
        if (count >= cMaxNames) return true;
        rgBstrNames[count] = SysAllocString(text);
        if (rgBstrNames[count] == nullptr) return false;
        ++count;
        return true;
    };
    bool ok = add(m->name);
    for (int i = 0; ok && i < m->paramCount && m->params[i].name != nullptr; ++i) {
        ok = add(m->params[i].name);
    }
    if (!ok) {
        for (UINT i = 0; i < count; ++i) {
            SysFreeString(rgBstrNames[i]);
            rgBstrNames[i] = nullptr;
        }
        return E_OUTOFMEMORY;
    }
    *pcNames = count;
    return S_OK;
}

HRESULT DescribedTypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) {
    if (pRefType == nullptr) return E_INVALIDARG;
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    // Implemented type 0: a class's default interface, or the interface a derived one derives
    // from.
    const InterfaceDescription* implemented = index != 0          ? nullptr
                                              : class_ != nullptr ? class_->defaultInterface
                                                                  : interface_->base;
    if (implemented != nullptr) {
        const int target = lib_->IndexOf(implemented);
        if (target < 0) return TYPE_E_ELEMENTNOTFOUND;
        *pRefType = static_cast<HREFTYPE>(target);
        return S_OK;
    }
    if (interface_ != nullptr && index == static_cast<UINT>(-1) &&
        (interface_->flags & TYPEFLAG_FDUAL) != 0) {
        *pRefType = index_;
        return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT DescribedTypeInfo::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) {
    if (pImplTypeFlags == nullptr) return E_INVALIDARG;
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    if (class_ != nullptr && index == 0 && class_->defaultInterface != nullptr) {
        *pImplTypeFlags = IMPLTYPEFLAG_FDEFAULT;
        return S_OK;
    }
    if (interface_ != nullptr && index == 0 && interface_->base != nullptr) {
        *pImplTypeFlags = 0;  // a base interface carries no flags
        return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT DescribedTypeInfo::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) {
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    static const InterfaceDescription kNoMembers{};
    return platform::FindIDsOfNames(interface_ != nullptr ? *interface_ : kNoMembers, rgszNames,
                                    cNames, pMemId);
}

HRESULT DescribedTypeInfo::Invoke(void* pvInstance, MEMBERID memid, WORD wFlags,
                                  DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                  EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    if (interface_ == nullptr) return DISP_E_MEMBERNOTFOUND;
    return platform::InvokeDescribedMember(pvInstance, *interface_, memid, wFlags, pDispParams,
                                           pVarResult, pExcepInfo, puArgErr);
}

HRESULT DescribedTypeInfo::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                            DWORD* pdwHelpContext, BSTR* pBstrHelpFile) {
    if (Revoked()) return TYPE_E_CANTLOADLIBRARY;
    if (memid == MEMBERID_NIL) {
        return Document(Name(), Help(), pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
    }
    const MemberDescription* m = FindMember(memid);
    if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    return Document(m->name, m->help, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
}

HRESULT DescribedTypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
    return lib_->GetTypeInfo(hRefType, ppTInfo);
}

HRESULT DescribedTypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
    if (ppTLib == nullptr) return E_INVALIDARG;
    if (Revoked()) {
        *ppTLib = nullptr;
        return TYPE_E_CANTLOADLIBRARY;
    }
    lib_->AddRef();
    *ppTLib = lib_;
    if (pIndex != nullptr) *pIndex = index_;
    return S_OK;
}

bool IsWellFormed(const TypeLibDescription& d) {
    if (d.name == nullptr) return false;
    for (std::size_t n = 0; n < d.interfaces.size(); ++n) {
        const InterfaceDescription* i = d.interfaces[n];
        if (i == nullptr || i->name == nullptr) return false;
        // A base comes before the interfaces derived from it, so no chain runs in a circle.
        const auto before = d.interfaces.first(n);
        if (i->base != nullptr &&
            std::find(before.begin(), before.end(), i->base) == before.end()) {
            return false;
        }
        for (const MemberDescription& m : i->members) {
            if (m.name == nullptr || m.paramCount < 0 || m.paramCount > kMaxDispatchParameters) {
                return false;
            }
            // No other member that callers reach has its DISPID and kind, a base's included.
            const auto clashes = [&](const MemberDescription& other) {
                return &other != &m && other.dispid == m.dispid && other.kind == m.kind;
            };
            if (FindReachableMember(*i, clashes) != nullptr) return false;
        }
    }
    for (const ClassDescription& c : d.classes) {
        if (c.name == nullptr) return false;
        if (c.defaultInterface != nullptr && std::find(d.interfaces.begin(), d.interfaces.end(),
                                                       c.defaultInterface) == d.interfaces.end()) {
            return false;
        }
    }
    return true;
}

}  // namespace

HRESULT CreateTypeLibFromDescription(const TypeLibDescription* description, ITypeLib** pptlib) {
    if (pptlib == nullptr) return E_POINTER;
    *pptlib = nullptr;
    if (description == nullptr || !IsWellFormed(*description)) return E_INVALIDARG;
    auto* lib = new (std::nothrow) DescribedTypeLib(description);
    if (lib == nullptr) return E_OUTOFMEMORY;
    try {
        std::lock_guard<std::mutex> lock(live_mutex);
        LiveLibraries().push_back(lib);
    } catch (const std::bad_alloc&) {
        lib->Release();
        return E_OUTOFMEMORY;
    }
    if (!lib->Populate()) {
        lib->Release();
        return E_OUTOFMEMORY;
    }
    *pptlib = lib;
    return S_OK;
}

void RevokeTypeLibDescription(const TypeLibDescription* description) {
    std::lock_guard<std::mutex> lock(live_mutex);
    for (DescribedTypeLib* lib : LiveLibraries()) {
        if (lib->Description() == description) lib->Revoke();
    }
}
