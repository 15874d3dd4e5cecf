#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/Runtime.h"

namespace {

void SetDescription(const char16_t* text) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(text));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    SetErrorInfo(0, info);
    info->Release();
    create->Release();
}

std::u16string TakeDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return u"<none>";
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::u16string result(text == nullptr ? u"" : text);
    SysFreeString(text);
    info->Release();
    return result;
}

TEST(ErrorInfo, IsTakenOnceAndBelongsToItsThread) {
    SetDescription(u"first");
    std::u16string seen_by_other_thread;
    std::thread([&] { seen_by_other_thread = TakeDescription(); }).join();
    EXPECT_EQ(seen_by_other_thread, u"<none>");
    EXPECT_EQ(TakeDescription(), u"first");
    EXPECT_EQ(TakeDescription(), u"<none>");
}

TEST(ErrorInfo, ALaterErrorReplacesAnEarlierOne) {
    SetDescription(u"old");
    SetDescription(u"new");
    EXPECT_EQ(TakeDescription(), u"new");
}

}  // namespace
