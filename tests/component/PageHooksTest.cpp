#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/common/ScriptingContext.h"
#include "tests/support/TestQuillon.h"
#include "tests/support/WithoutDispatch.h"

namespace {

// A page object that counts its references, so a test can see every AddRef matched.
class CountedPage final : public WithoutDispatch<IDispatch> {
public:
    ULONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

// A scripting context whose page requests are recorded, and one of which can be made to fail.
class FakeContext final : public WithoutDispatch<IScriptingContext> {
public:
    CountedPage pages[5];  // Request, Response, Server, Session, Application
    std::vector<std::string> asked;
    int fail_at = -1;
    ULONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IScriptingContext || riid == IID_IUnknown) {
            *ppv = static_cast<IScriptingContext*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE get_Request(IDispatch** out) override {
        return Give(0, "Request", out);
    }
    HRESULT STDMETHODCALLTYPE get_Response(IDispatch** out) override {
        return Give(1, "Response", out);
    }
    HRESULT STDMETHODCALLTYPE get_Server(IDispatch** out) override {
        return Give(2, "Server", out);
    }
    HRESULT STDMETHODCALLTYPE get_Session(IDispatch** out) override {
        return Give(3, "Session", out);
    }
    HRESULT STDMETHODCALLTYPE get_Application(IDispatch** out) override {
        return Give(4, "Application", out);
    }

    bool AllReleased() const {
        for (const CountedPage& page : pages) {
            if (page.references != 1) return false;
        }
        return references == 1;
    }

private:
    HRESULT Give(int index, const char* name, IDispatch** out) {
        asked.push_back(name);
        if (index == fail_at) {
            *out = reinterpret_cast<IDispatch*>(0xBAD);  // garbage the caller must not keep
            return E_FAIL;
        }
        *out = &pages[index];
        pages[index].AddRef();
        return S_OK;
    }
};

TEST(PageHooks, StartHoldsTheFivePageObjectsAndEndReleasesThem) {
    FakeContext context;
    {
        TestQuillon q;
        ASSERT_EQ(q.OnStartPage(&context), S_OK);
        EXPECT_EQ(context.asked, (std::vector<std::string>{"Request", "Response", "Server",
                                                           "Session", "Application"}));
        EXPECT_EQ(q.PageRequest, &context.pages[0]);
        EXPECT_EQ(q.PageApplication, &context.pages[4]);
        EXPECT_EQ(context.references, 1u);  // the context itself is not kept
        for (const CountedPage& page : context.pages) EXPECT_EQ(page.references, 2u);
        EXPECT_EQ(q.OnEndPage(), S_OK);
        EXPECT_TRUE(context.AllReleased());
        EXPECT_EQ(q.PageServer, nullptr);
        ASSERT_EQ(q.OnStartPage(&context), S_OK);
    }  // destroyed while holding: released all the same
    EXPECT_TRUE(context.AllReleased());
}

TEST(PageHooks, ASecondStartReleasesTheEarlierObjectsOnce) {
    FakeContext first, second;
    TestQuillon q;
    ASSERT_EQ(q.OnStartPage(&first), S_OK);
    ASSERT_EQ(q.OnStartPage(&second), S_OK);
    EXPECT_TRUE(first.AllReleased());
    EXPECT_EQ(q.PageSession, &second.pages[3]);
    q.OnEndPage();
    EXPECT_TRUE(second.AllReleased());
}

TEST(PageHooks, AFailedStartHoldsNothing) {
    for (int fail_at = 0; fail_at < 5; ++fail_at) {
        FakeContext context;
        context.fail_at = fail_at;
        TestQuillon q;
        EXPECT_EQ(q.OnStartPage(&context), E_FAIL);
        EXPECT_TRUE(context.AllReleased()) << "failing at page " << fail_at;
        EXPECT_EQ(q.PageRequest, nullptr);
        EXPECT_EQ(q.PageApplication, nullptr);
    }
}

TEST(PageHooks, StartRefusesNullAndObjectsThatAreNoContext) {
    TestQuillon q;
    EXPECT_EQ(q.OnStartPage(nullptr), E_POINTER);
    CountedPage not_a_context;
    EXPECT_EQ(q.OnStartPage(&not_a_context), E_NOINTERFACE);
    EXPECT_EQ(q.PageRequest, nullptr);
    EXPECT_EQ(q.OnEndPage(), S_OK);  // without a start: nothing to do
}

}  // namespace
