// The page hooks: between OnStartPage and OnEndPage the object holds the page's five
// objects, as a page host expects of a component it creates for a page.
#include "component/CQuillon.h"
#include "platform/common/ScriptingContext.h"

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

HRESULT CQuillon::OnStartPage(IUnknown* piUnk) {
    if (piUnk == nullptr) return E_POINTER;
    IScriptingContext* context = nullptr;
    HRESULT hr = piUnk->QueryInterface(IID_IScriptingContext, reinterpret_cast<void**>(&context));
    if (FAILED(hr)) return hr;

    // A second start without an end: the earlier page's objects are let go here, once, so
    // that nothing is held twice or leaked.
    OnEndPage();

    const struct {
        HRESULT (STDMETHODCALLTYPE IScriptingContext::*get)(IDispatch**);
        IDispatch** field;
    } pages[] = {{&IScriptingContext::get_Request, &PageRequest},
                 {&IScriptingContext::get_Response, &PageResponse},
                 {&IScriptingContext::get_Server, &PageServer},
                 {&IScriptingContext::get_Session, &PageSession},
                 {&IScriptingContext::get_Application, &PageApplication}};
    for (const auto& page : pages) {
        hr = (context->*page.get)(page.field);
        if (FAILED(hr)) {
            *page.field = nullptr;  // whatever the failing call left there is not ours
            OnEndPage();
            break;
        }
    }
    context->Release();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CQuillon::OnEndPage() {
    ReleasePageObject(PageRequest);
    ReleasePageObject(PageResponse);
    ReleasePageObject(PageServer);
    ReleasePageObject(PageSession);
    ReleasePageObject(PageApplication);
    return S_OK;
}
