// The two ways an object of a class T exists (T implements its interfaces' members and leaves
// IUnknown's three to these wrappers; it declares its interface table, see InterfaceTable.h):
//
// PlainObject<T>: an object on its own. Its reference count is not atomic: objects are
// apartment-threaded and called on one thread at a time. QueryInterface answers IUnknown with
// the identity pointer and the other interfaces from T's table.
//
// AggregatedObject<T>: T inside an outer object. The aggregated object is the inner identity
// that the outer object holds; querying it for IUnknown returns itself, for another interface
// returns T's interface. QueryInterface, AddRef and Release called through T's interfaces go
// to the outer object, so that the outer object and T look like one object to their clients.
//
// Both hold one module lock from construction to destruction. T's constructor runs before the
// wrapper can answer IUnknown calls, so it must not make them (on itself or through its
// interfaces); T must not be final.
#pragma once

#include <utility>

#include "platform/common/ReferenceCount.h"
#include "platform/serverkit/InterfaceTable.h"
#include "platform/serverkit/ModuleLock.h"

namespace serverkit {

template <class T>
class PlainObject final : private ModuleLockHolder, public T {
public:
    template <class... Args>
    explicit PlainObject(Args&&... args) : T(std::forward<Args>(args)...) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        IUnknown* found = riid == IID_IUnknown ? Identity() : FindInterface<T>(this, riid);
        *ppv = found;
        if (found == nullptr) return E_NOINTERFACE;
        references_.AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return references_.Release(this); }

    IUnknown* Identity() { return IdentityOf<T>(this); }

private:
    friend class ReferenceCount<ULONG>;
    ~PlainObject() = default;

    ReferenceCount<ULONG> references_;
};

template <class T>
class AggregatedObject final : public IUnknown {
public:
    template <class... Args>
    explicit AggregatedObject(IUnknown* outer, Args&&... args)
        : contained_(outer, std::forward<Args>(args)...) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            references_.AddRef();
            return S_OK;
        }
        IUnknown* found = FindInterface<T>(&contained_, riid);
        *ppv = found;
        if (found == nullptr) return E_NOINTERFACE;
        found->AddRef();  // the outer object's count: its client holds this pointer
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return references_.Release(this); }

    T& Object() { return contained_; }

private:
    class Contained final : public T {
    public:
        template <class... Args>
        explicit Contained(IUnknown* outer, Args&&... args)
            : T(std::forward<Args>(args)...), outer_(outer) {}
        ~Contained() = default;

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return outer_->QueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

    private:
        // Not counted: the outer object owns the aggregated one, not the other way round.
        IUnknown* outer_;
    };

    friend class ReferenceCount<ULONG>;
    ~AggregatedObject() = default;

    ModuleLockHolder lock_;  // declared first: released after the object is destroyed
    Contained contained_;
    ReferenceCount<ULONG> references_;
};

}  // namespace serverkit
