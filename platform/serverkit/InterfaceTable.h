// How a class says which interfaces it answers: a static table of interface identifiers, each
// with the conversion of the object to that interface. IUnknown is answered by the object
// wrappers; the first entry's pointer is also the object's IUnknown identity.
//
//     class Widget : public IWidget, public IPeer {
//     public:
//         static constexpr serverkit::InterfaceEntry<Widget> kInterfaces[] = {
//             serverkit::Answer<Widget, IWidget>(IID_IWidget),
//             serverkit::Answer<Widget, IWidget>(IID_IDispatch),  // IWidget is a dual interface
//             serverkit::Answer<Widget, IPeer>(IID_IPeer),
//         };
//         ...the interfaces' own members; IUnknown's three are left to the wrappers...
//     };
#pragma once

#include "platform/Platform.h"

namespace serverkit {

template <class T>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(T* object);
};

template <class T, class Interface>
IUnknown* CastTo(T* object) {
    return static_cast<Interface*>(object);
}

template <class T, class Interface>
constexpr InterfaceEntry<T> Answer(const IID& iid) {
    return {&iid, &CastTo<T, Interface>};
}

// The interface pointer of object for riid (IUnknown excluded), not AddRef'd; null if none.
template <class T>
IUnknown* FindInterface(T* object, REFIID riid) {
    for (const InterfaceEntry<T>& entry : T::kInterfaces) {
        if (*entry.iid == riid) return entry.cast(object);
    }
    return nullptr;
}

// The pointer that stands for the object's identity.
template <class T>
IUnknown* IdentityOf(T* object) {
    return T::kInterfaces[0].cast(object);
}

}  // namespace serverkit
