// The interfaces of the test server, a small in-process server built with the server kit for
// the class runtime's and the kit's tests. Shared by the server and the tests.
#pragma once

#include "platform/winapi/Unknown.h"

// {BE0D0261-4B60-4C59-9273-7B82A87240BF}
constexpr CLSID CLSID_TestWidget = {
    0xBE0D0261, 0x4B60, 0x4C59, {0x92, 0x73, 0x7B, 0x82, 0xA8, 0x72, 0x40, 0xBF}};
// {E1E96D8D-C1D6-4A12-9B91-C1328E703C40}: the server's second class, QuillonTest.Gadget
constexpr CLSID CLSID_TestServerGadget = {
    0xE1E96D8D, 0xC1D6, 0x4A12, {0x9B, 0x91, 0xC1, 0x32, 0x8E, 0x70, 0x3C, 0x40}};
// {BB7A1DBA-4532-43B3-A79D-AD9E062B6781}
constexpr IID IID_ITestWidget = {
    0xBB7A1DBA, 0x4532, 0x43B3, {0xA7, 0x9D, 0xAD, 0x9E, 0x06, 0x2B, 0x67, 0x81}};
// {16D20BC8-9CD1-4574-9DAB-A05DCB5ED716}
constexpr IID IID_ITestPeer = {
    0x16D20BC8, 0x9CD1, 0x4574, {0x9D, 0xAB, 0xA0, 0x5D, 0xCB, 0x5E, 0xD7, 0x16}};

struct ITestWidget : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetValue(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValue(LONG* value) = 0;
    // The objects of any class alive in the library that made this one.
    virtual HRESULT STDMETHODCALLTYPE GetLiveObjects(LONG* count) = 0;
};

// A second interface of the widget, to see identity and delegation across interfaces.
struct ITestPeer : IUnknown {
    // The same object's ITestWidget, obtained through its own QueryInterface.
    virtual HRESULT STDMETHODCALLTYPE GetWidget(ITestWidget** widget) = 0;
};

// Exported by the test server besides the four entry points: its module lock count.
using TestServerModuleLocksFunction = LONG (*)();
