// libTarvexQuillon.so: the in-process server of the barcode component. Its one class is
// created plain or aggregated by the class object, answers IUnknown, IDispatch, IQuillon,
// IQuillon2 and IQuillon3 with one pointer (each derives from the one before), and is called
// by name through the registered type library, whose IQuillon3 finds its bases' members too.
#include "TarvexQuillon.rgs.h"
#include "component/CQuillon.h"
#include "platform/serverkit/ServerKit.h"
#include "server/QuillonTypeLib.h"

namespace {

serverkit::TypeInfoHolder quillon_type_info(LIBID_TarvexQuillonLib, kTarvexQuillonLibMajorVersion,
                                            kTarvexQuillonLibMinorVersion, IID_IQuillon3);

class Quillon : public serverkit::TypeInfoDispatch<CQuillon, IQuillon3, quillon_type_info> {
public:
    static constexpr serverkit::InterfaceEntry<Quillon> kInterfaces[] = {
        serverkit::Answer<Quillon, IQuillon3>(IID_IQuillon3),
        serverkit::Answer<Quillon, IQuillon3>(IID_IQuillon2),
        serverkit::Answer<Quillon, IQuillon3>(IID_IQuillon),
        serverkit::Answer<Quillon, IQuillon3>(IID_IDispatch),
    };

protected:
    ~Quillon() = default;
};

constexpr serverkit::ServerClass kClasses[] = {
    serverkit::ClassEntry<Quillon>(CLSID_Quillon, kTarvexQuillonScript),
};

}  // namespace

SERVERKIT_ENTRY_POINTS(kClasses, kTarvexQuillonLib)
