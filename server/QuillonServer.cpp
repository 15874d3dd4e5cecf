// libTarvexQuillon.so: the in-process server of the barcode component. Its one class is
// created plain or aggregated by the class object, answers IUnknown, IDispatch, IQuillon and
// IQuillon2 with one pointer (IQuillon2 derives from IQuillon), and is called by name through
// the registered type library, whose IQuillon2 finds IQuillon's members too.
#include "TarvexQuillon.rgs.h"
#include "component/CQuillon.h"
#include "platform/serverkit/ServerKit.h"
#include "server/QuillonTypeLib.h"

namespace {

serverkit::TypeInfoHolder quillon_type_info(LIBID_TarvexQuillonLib, kTarvexQuillonLibMajorVersion,
                                            kTarvexQuillonLibMinorVersion, IID_IQuillon2);

class Quillon : public serverkit::TypeInfoDispatch<CQuillon, IQuillon2, quillon_type_info> {
public:
    static constexpr serverkit::InterfaceEntry<Quillon> kInterfaces[] = {
        serverkit::Answer<Quillon, IQuillon2>(IID_IQuillon2),
        serverkit::Answer<Quillon, IQuillon2>(IID_IQuillon),
        serverkit::Answer<Quillon, IQuillon2>(IID_IDispatch),
    };

protected:
    ~Quillon() = default;
};

constexpr serverkit::ServerClass kClasses[] = {
    serverkit::ClassEntry<Quillon>(CLSID_Quillon, kTarvexQuillonScript),
};

}  // namespace

SERVERKIT_ENTRY_POINTS(kClasses, kTarvexQuillonLib)
