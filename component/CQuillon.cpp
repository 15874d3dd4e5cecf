#include "component/CQuillon.h"

namespace {

void ReleasePageObject(IDispatch*& page_object) {
    if (page_object != nullptr) page_object->Release();
    page_object = nullptr;
}

}  // namespace

// Page objects still held when the object dies are released in the reverse of the order in
// which OnStartPage obtains them.
CQuillon::~CQuillon() {
    ReleasePageObject(PageApplication);
    ReleasePageObject(PageServer);
    ReleasePageObject(PageSession);
    ReleasePageObject(PageResponse);
    ReleasePageObject(PageRequest);
}

HRESULT CQuillon::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
HRESULT CQuillon::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT CQuillon::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT CQuillon::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT CQuillon::OnStartPage(IUnknown*) { return E_NOTIMPL; }

HRESULT CQuillon::OnEndPage() {
    ReleasePageObject(PageRequest);
    ReleasePageObject(PageResponse);
    ReleasePageObject(PageServer);
    ReleasePageObject(PageSession);
    ReleasePageObject(PageApplication);
    return S_OK;
}
