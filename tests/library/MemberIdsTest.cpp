// The session's table of the component's member names: every name finds the DISPID its object
// gives, each looked up once; a name not in the table, however like one that is, finds none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/session/Automation.h"

namespace {

// Answers GetIDsOfNames with 1000 + the name's place in `names`, counting the calls.
class NamedMembers : public IDispatch {
public:
    explicit NamedMembers(std::vector<std::u16string> names) : names_(std::move(names)) {}
    int lookups = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                            DISPID* ids) override {
        ++lookups;
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == names[0]) {
                ids[0] = static_cast<DISPID>(1000 + i);
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

private:
    std::vector<std::u16string> names_;
};

TEST(MemberIds, EveryNameFindsItsDispidLookedUpOnce) {
    // Many names of one length and the same first, middle and last characters, which share a
    // place in the table, besides names of every length up to 20.
    std::vector<std::u16string> names;
    for (char16_t c = u'a'; c <= u'z'; ++c) names.push_back(std::u16string{u'X', c, u'Y', c, u'Z'});
    for (std::size_t length = 1; length <= 20; ++length) names.emplace_back(length, u'q');
    std::vector<std::u16string> known = names;
    known.emplace_back(u"NotKnownToTheObject");
    const MemberIds ids(known);
    NamedMembers object(names);
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(ids.Find(&object, names[i]), static_cast<DISPID>(1000 + i)) << i;
        }
    }
    EXPECT_EQ(object.lookups, static_cast<int>(names.size()));
    EXPECT_EQ(ids.Find(&object, u"NotKnownToTheObject"), DISPID_UNKNOWN);
    EXPECT_EQ(ids.Find(&object, u"NotKnownToTheObject"), DISPID_UNKNOWN);
    EXPECT_EQ(object.lookups, static_cast<int>(names.size()) + 1);
}

TEST(MemberIds, NamesNotInTheTableFindNone) {
    const MemberIds ids({u"Data", u"Columns", u"PNGImage", u"X"});
    NamedMembers object({u"Data", u"Columns", u"PNGImage", u"X", u"Dxta", u"data"});
    for (const char16_t* name : {u"", u"Dxta", u"data", u"Dat", u"Datas", u"Y", u"PNGImagE"}) {
        EXPECT_EQ(ids.Find(&object, name), DISPID_UNKNOWN) << std::u16string(name).size();
    }
    EXPECT_EQ(object.lookups, 0);
}

}  // namespace
