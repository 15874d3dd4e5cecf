// The page host's scripting context: the object a host hands to OnStartPage, from which a
// component obtains the page's Request, Response, Server, Session and Application objects.
// Only what a component asks of it is declared; the page objects themselves belong to the host.
#pragma once

#include "platform/Platform.h"

// {D97A6DA0-A868-11CF-83AE-00B0C90C2BD8}
constexpr IID IID_IScriptingContext = {
    0xD97A6DA0, 0xA868, 0x11CF, {0x83, 0xAE, 0x00, 0xB0, 0xC9, 0x0C, 0x2B, 0xD8}};

struct IScriptingContext : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Request(IDispatch** ppRequest) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Response(IDispatch** ppResponse) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Server(IDispatch** ppServer) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Session(IDispatch** ppSession) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Application(IDispatch** ppApplication) = 0;
};
