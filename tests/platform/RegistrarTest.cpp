#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Runtime.h"
#include "platform/common/ErrorReporting.h"
#include "platform/runtime/Registrar.h"
#include "tests/platform/TemporaryRegistry.h"

namespace {

// Shaped like a real server's script: two ProgIDs, the class key under a NoRemove CLSID.
const std::string kScript = R"(HKCR
{
	Foo.Bar.1 = s 'Foo Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	Foo.Bar = s 'Foo Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
		CurVer = s 'Foo.Bar.1'
	}
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Foo Class'
		{
			ProgID = s 'Foo.Bar.1'
			VersionIndependentProgID = s 'Foo.Bar'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
	}
}
)";

const RegistrarReplacements kModule = {{"MODULE", "/opt/foo/libfoo.so"}};

// The script's entries, written out by hand in the order DumpRegistry lists them.
const std::string kRegistered =
    "CLSID\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555} @=Foo Class\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32 @=/opt/foo/libfoo.so\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32 ThreadingModel=Apartment\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\ProgID\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\ProgID @=Foo.Bar.1\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\Programmable\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\VersionIndependentProgID\n"
    "CLSID\\{11111111-2222-3333-4444-555555555555}\\VersionIndependentProgID @=Foo.Bar\n"
    "Foo.Bar\n"
    "Foo.Bar @=Foo Class\n"
    "Foo.Bar\\CLSID\n"
    "Foo.Bar\\CLSID @={11111111-2222-3333-4444-555555555555}\n"
    "Foo.Bar\\CurVer\n"
    "Foo.Bar\\CurVer @=Foo.Bar.1\n"
    "Foo.Bar.1\n"
    "Foo.Bar.1 @=Foo Class\n"
    "Foo.Bar.1\\CLSID\n"
    "Foo.Bar.1\\CLSID @={11111111-2222-3333-4444-555555555555}\n";

void Put(const char16_t* path, const char16_t* name, const std::u16string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    if (name != nullptr) {
        EXPECT_EQ(SetString(key, name, data), ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

class Registrar : public ::testing::Test {
protected:
    TemporaryRegistry registry_;
};

TEST_F(Registrar, RegisteringTwiceLeavesExactlyTheScriptsEntries) {
    ASSERT_EQ(RegistrarRegister(kScript, kModule), S_OK);
    EXPECT_EQ(DumpRegistry(), kRegistered);
    ASSERT_EQ(RegistrarRegister(kScript, kModule), S_OK);
    EXPECT_EQ(DumpRegistry(), kRegistered);
}

TEST_F(Registrar, ForceRemoveKeysAreRewrittenFromScratch) {
    ASSERT_EQ(RegistrarRegister(kScript, kModule), S_OK);
    // Left over from an older version of the server.
    Put(u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale", u"", u"old");
    Put(u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Programmable\\Old", nullptr, u"");
    Put(u"CLSID\\{11111111-2222-3333-4444-555555555555}", u"Extra", u"old");
    ASSERT_EQ(RegistrarRegister(kScript, kModule), S_OK);
    EXPECT_EQ(DumpRegistry(), kRegistered);
}

TEST_F(Registrar, UnregisteringRemovesTheEntriesAndKeepsNoRemoveKeys) {
    Put(u"CLSID\\{99999999-0000-0000-0000-000000000000}\\InprocServer32", u"", u"/other.so");
    ASSERT_EQ(RegistrarRegister(kScript, kModule), S_OK);
    ASSERT_EQ(RegistrarUnregister(kScript, kModule), S_OK);
    EXPECT_EQ(DumpRegistry(),
              "CLSID\n"
              "CLSID\\{99999999-0000-0000-0000-000000000000}\n"
              "CLSID\\{99999999-0000-0000-0000-000000000000}\\InprocServer32\n"
              "CLSID\\{99999999-0000-0000-0000-000000000000}\\InprocServer32 @=/other.so\n");

    // CLSID stays even when nothing is left in it.
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{99999999-0000-0000-0000-000000000000}"),
              ERROR_SUCCESS);
    ASSERT_EQ(RegistrarRegister(kScript, kModule), S_OK);
    ASSERT_EQ(RegistrarUnregister(kScript, kModule), S_OK);
    EXPECT_EQ(DumpRegistry(), "CLSID\n");
    // Unregistering what is not there is no error.
    EXPECT_EQ(RegistrarUnregister(kScript, kModule), S_OK);
    EXPECT_EQ(DumpRegistry(), "CLSID\n");
}

TEST_F(Registrar, KeysHoldingWhatTheScriptDidNotWriteSurviveUnregistration) {
    ASSERT_EQ(RegistrarRegister(kScript, kModule), S_OK);
    Put(u"Foo.Bar.1", u"Owner", u"someone else");
    Put(u"Foo.Bar\\Shell\\Open", nullptr, u"");
    ASSERT_EQ(RegistrarUnregister(kScript, kModule), S_OK);
    EXPECT_EQ(DumpRegistry(),
              "CLSID\n"
              "Foo.Bar\n"
              "Foo.Bar\\Shell\n"
              "Foo.Bar\\Shell\\Open\n"
              "Foo.Bar.1\n"
              "Foo.Bar.1 Owner=someone else\n");
}

TEST_F(Registrar, ValuesInPlainKeysGoAndThoseInNoRemoveKeysStay) {
    const std::string script = R"(HKCR {
        NoRemove Shared = s 'shared default' { val Kept = s '1' Mine { val Gone = s '2' } }
    })";
    ASSERT_EQ(RegistrarRegister(script, {}), S_OK);
    EXPECT_EQ(DumpRegistry(),
              "Shared\n"
              "Shared @=shared default\n"
              "Shared Kept=1\n"
              "Shared\\Mine\n"
              "Shared\\Mine Gone=2\n");
    ASSERT_EQ(RegistrarUnregister(script, {}), S_OK);
    EXPECT_EQ(DumpRegistry(), "Shared\nShared @=shared default\nShared Kept=1\n");
}

TEST_F(Registrar, DeleteKeysAreDeletedOnRegistrationOnly) {
    Put(u"Obsolete.Name\\CLSID", u"", u"{old}");
    const std::string script = "HKCR { Delete Obsolete.Name  New.Name = s 'x' }";
    ASSERT_EQ(RegistrarRegister(script, {}), S_OK);
    EXPECT_EQ(DumpRegistry(), "New.Name\nNew.Name @=x\n");
    Put(u"Obsolete.Name", u"", u"back");
    ASSERT_EQ(RegistrarUnregister(script, {}), S_OK);
    EXPECT_EQ(DumpRegistry(), "Obsolete.Name\nObsolete.Name @=back\n");
}

struct ReplacementCase {
    const char* what;
    std::string script;
    RegistrarReplacements replacements;
    std::string expected;
};

TEST_F(Registrar, ReplacementsAreSubstitutedInNamesAndText) {
    const std::vector<ReplacementCase> cases = {
        {"module path", "HKCR { K = s '%MODULE%' }", kModule, "K\nK @=/opt/foo/libfoo.so\n"},
        {"any letter case", "HKCR { K = s '%module%' }", kModule, "K\nK @=/opt/foo/libfoo.so\n"},
        {"quotes, braces and spaces in a value stay text",
         "HKCR { K = s '%MODULE%' { val V = s 'x' } }",
         {{"MODULE", "/a dir/it's {odd}.so"}},
         "K\nK @=/a dir/it's {odd}.so\nK V=x\n"},
        {"inside a key name and a value name",
         "HKCR { %NAME%.1 { val %NAME% = s '%NAME%' } }",
         {{"NAME", "Thing"}},
         "Thing.1\nThing.1 Thing=Thing\n"},
        {"two in one text and a percent sign",
         "HKCR { K = s '%A%-%B% 100%%' }",
         {{"A", "a"}, {"B", "b"}},
         "K\nK @=a-b 100%\n"},
        {"a quote written twice",
         "HKCR { 'It''s' = s 'say ''hi''' }",
         {},
         "It's\nIt's @=say 'hi'\n"},
        {"keywords ignore case, quoted keywords are names",
         "hkey_classes_root { noremove 'Delete' { VAL v = S 'x' } }",
         {},
         "Delete\nDelete v=x\n"},
        {"closing braces need no spaces between them",
         "HKCR { A { B { C }}}",
         {},
         "A\nA\\B\nA\\B\\C\n"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
        std::string message;
        EXPECT_EQ(RegistrarRegister(c.script, c.replacements, &message), S_OK)
            << c.what << ": " << message;
        EXPECT_EQ(DumpRegistry(), c.expected) << c.what;
    }
}

struct SyntaxErrorCase {
    const char* what;
    std::string script;
    const char* expected;  // in the message
};

TEST_F(Registrar, ErrorsInTheScriptAreReportedWithTheirLineAndChangeNothing) {
    const std::vector<SyntaxErrorCase> cases = {
        {"missing closing brace", "HKCR\n{\n  A\n  {\n    B\n}\n",
         "line 7: missing '}' for the '{' of line 2"},
        {"unterminated quote", "HKCR\n{\n  A = s 'open\n}\n", "line 3: unterminated quoted text"},
        {"another value type", "HKCR\n{\n  A\n  {\n    val N = d '5'\n  }\n}\n",
         "line 5: only string values"},
        {"value without '='", "HKCR {\n val N s 'x'\n}", "line 2: expected '='"},
        {"'=' without s", "HKCR {\n A = 'x'\n}", "line 2: expected s '...'"},
        {"s without quotes", "HKCR {\n A = s x\n}", "line 2: expected quoted text"},
        {"unknown replacement", "HKCR {\n\n A = s '%NOPE%'\n}",
         "line 3: unknown replacement %NOPE%"},
        {"lone percent sign", "HKCR {\n A = s '50%'\n}", "line 2: a '%' without"},
        {"another root key", "HKLM\n{\n}\n", "line 1: only HKEY_CLASSES_ROOT"},
        {"no root key", "{ A }", "line 1: expected HKCR"},
        {"backslash in a key name", "HKCR {\n 'A\\B'\n}", "line 2: invalid key name"},
        {"two markings", "HKCR {\n NoRemove ForceRemove A\n}", "line 2: unexpected ForceRemove"},
        {"stray '='", "HKCR {\n = s 'x'\n}", "line 2: expected a key name"},
        {"missing root brace", "HKCR\n\nA", "line 3: expected '{' after HKCR"},
    };
    const std::string before = "Quillon Registry 1\n\n[Untouched]\n@=\"yes\"\n";
    for (const auto& c : cases) {
        registry_.WriteFile(before);
        std::string message;
        EXPECT_EQ(RegistrarRegister(c.script, {}, &message), E_INVALIDARG) << c.what;
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.what << ": " << message;
        // The thread's error object carries the same explanation.
        EXPECT_NE(platform::TakeErrorDescription().find(c.expected), std::string::npos) << c.what;
        EXPECT_EQ(RegistrarUnregister(c.script, {}, &message), E_INVALIDARG) << c.what;
        EXPECT_EQ(registry_.ReadFile(), before) << c.what;
    }
}

TEST_F(Registrar, ACorruptStoreIsReportedAndLeftAlone) {
    registry_.WriteFile("not a registry\n");
    std::string message;
    EXPECT_EQ(RegistrarRegister(kScript, kModule, &message),
              HRESULT_FROM_WIN32(ERROR_REGISTRY_CORRUPT));
    EXPECT_NE(message.find("corrupt"), std::string::npos) << message;
    EXPECT_EQ(registry_.ReadFile(), "not a registry\n");
}

}  // namespace
