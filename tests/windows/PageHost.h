// The page host's side of OnStartPage, as a stand-in: a scripting context that hands out its
// five page objects (Request, Response, Server, Session, Application) and records the order
// it was asked in; each page object counts its references, so a test sees which the
// component holds. One of the requests can be made to fail.
#pragma once

#include <string>

#include "platform/common/ScriptingContext.h"
#include "tests/support/WithoutDispatch.h"

class PageObject final : public WithoutDispatch<IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    ULONG references = 1;  // the host's own
};

class PageContext final : public WithoutDispatch<IScriptingContext> {
public:
    static constexpr int kObjects = 5;
    static constexpr const char* kNames[kObjects] = {"Request", "Response", "Server", "Session",
                                                     "Application"};

    // failing: the index of the request that fails with E_FAIL, or -1.
    explicit PageContext(int failing = -1) : failing_(failing) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE get_Request(IDispatch** p) override { return Hand(0, p); }
    HRESULT STDMETHODCALLTYPE get_Response(IDispatch** p) override { return Hand(1, p); }
    HRESULT STDMETHODCALLTYPE get_Server(IDispatch** p) override { return Hand(2, p); }
    HRESULT STDMETHODCALLTYPE get_Session(IDispatch** p) override { return Hand(3, p); }
    HRESULT STDMETHODCALLTYPE get_Application(IDispatch** p) override { return Hand(4, p); }

    // How many page objects someone other than the host holds.
    int Held() const;

    PageObject objects[kObjects];
    std::string asked;  // the first letters of the requests, in their order
    ULONG references = 1;

private:
    HRESULT Hand(int index, IDispatch** object);

    int failing_;
};
