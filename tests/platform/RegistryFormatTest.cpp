#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/RegistryFormat.h"

namespace {

using platform::CreateKey;
using platform::FindKey;
using platform::FormatRegistryText;
using platform::ParseRegistryText;
using platform::RegistryKeyNode;

// The documented form of a small tree, written by hand.
const std::string kExpected =
    "Quillon Registry 1\n"
    "; HKEY_CLASSES_ROOT. Rewritten whole on every change; edit only while no program\n"
    "; uses it.\n"
    "\n"
    "[CLSID]\n"
    "\n"
    "[CLSID\\{0D5C0E3E-0000-4000-8000-000000000001}]\n"
    "@=\"Widget \\\"One\\\"\"\n"
    "\n"
    "[CLSID\\{0D5C0E3E-0000-4000-8000-000000000001}\\InprocServer32]\n"
    "@=\"/opt/lib/libwidget.so\"\n"
    "\"ThreadingModel\"=\"Apartment\"\n"
    "\n"
    "[Widget.1]\n"
    "@=\"tab\\there\\nC:\\\\x \\u0001\\uD800 \xC3\xA9\"\n";

TEST(RegistryFormat, WritesTheDocumentedText) {
    RegistryKeyNode root;
    CreateKey(root, {u"CLSID"}, nullptr);
    auto* clsid = CreateKey(root, {u"CLSID", u"{0D5C0E3E-0000-4000-8000-000000000001}"}, nullptr);
    clsid->values[u""] = u"Widget \"One\"";
    auto* server = CreateKey(
        root, {u"CLSID", u"{0D5C0E3E-0000-4000-8000-000000000001}", u"InprocServer32"}, nullptr);
    server->values[u"ThreadingModel"] = u"Apartment";
    server->values[u""] = u"/opt/lib/libwidget.so";
    // Written after CLSID although created first: keys come out in case-insensitive order.
    auto* widget = CreateKey(root, {u"Widget.1"}, nullptr);
    widget->values[u""] = std::u16string(u"tab\there\nC:\\x \x01") + char16_t(0xD800) + u" \u00E9";
    EXPECT_EQ(FormatRegistryText(root), kExpected);
}

TEST(RegistryFormat, ReadsWhatItWritesAndHandEditedText) {
    RegistryKeyNode root;
    std::string error;
    ASSERT_TRUE(ParseRegistryText(kExpected, &root, &error)) << error;
    EXPECT_EQ(FormatRegistryText(root), kExpected);

    // Windows line ends, comments, a key whose parents are not listed, and a key given twice.
    const std::string edited =
        "Quillon Registry 1\r\n"
        "; a comment\r\n"
        "[A\\B\\C]\r\n"
        "\"x\"=\"1\"\r\n"
        "\r\n"
        "[a\\b\\c]\r\n"
        "\"Y\"=\"2\"\r\n"
        "[]\r\n"
        "@=\"root default\"\r\n";
    RegistryKeyNode edited_root;
    ASSERT_TRUE(ParseRegistryText(edited, &edited_root, &error)) << error;
    RegistryKeyNode* c = FindKey(edited_root, {u"A", u"B", u"C"});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->values.size(), 2u);
    EXPECT_EQ(c->values[u"X"], u"1");
    EXPECT_EQ(c->values[u"y"], u"2");
    EXPECT_EQ(edited_root.values[u""], u"root default");
}

// The reader finds each key from the previous one and adds keys and values that come in order
// without a search; text in any other order must still read as the tree built key by key.
struct Entry {
    platform::RegistryPath key;
    const char16_t* name = nullptr;  // null for the key alone
    const char16_t* data = nullptr;
};

struct OrderCase {
    const char* what;
    const char* text;          // after the first line
    std::vector<Entry> built;  // the same, made with CreateKey and assignments in turn
};

TEST(RegistryFormat, KeysAndValuesInAnyOrderReadAsTheTreeTheyDescribe) {
    const OrderCase cases[] = {
        {"keys backwards",
         "[B]\n[A\\C]\n[A\\B]\n[A]\n",
         {{{u"B"}}, {{u"A", u"C"}}, {{u"A", u"B"}}, {{u"A"}}}},
        {"back up to a key left before",
         "[A\\B\\C]\n[A\\D]\n[A\\B\\E]\n@=\"e\"\n",
         {{{u"A", u"B", u"C"}}, {{u"A", u"D"}}, {{u"A", u"B", u"E"}, u"", u"e"}}},
        {"the same keys in another letter case",
         "[a\\b]\n[A\\C]\n[A\\B\\x]\n\"v\"=\"1\"\n",
         {{{u"a", u"b"}}, {{u"A", u"C"}}, {{u"A", u"B", u"x"}, u"v", u"1"}}},
        {"a parent after its child",
         "[A\\B]\n\"v\"=\"1\"\n[A]\n\"v\"=\"2\"\n",
         {{{u"A", u"B"}, u"v", u"1"}, {{u"A"}, u"v", u"2"}}},
        {"values backwards and given twice",
         "[K]\n\"b\"=\"1\"\n\"a\"=\"2\"\n\"B\"=\"3\"\n@=\"d\"\n",
         {{{u"K"}, u"b", u"1"}, {{u"K"}, u"a", u"2"}, {{u"K"}, u"B", u"3"}, {{u"K"}, u"", u"d"}}},
        {"escapes and plain text",
         "[K]\n\"q\\\"\"=\"a\\\\b\"\n\"p\"=\"c d\"\n",
         {{{u"K"}, u"q\"", u"a\\b"}, {{u"K"}, u"p", u"c d"}}},
    };
    for (const auto& c : cases) {
        RegistryKeyNode read;
        std::string error;
        ASSERT_TRUE(ParseRegistryText(std::string("Quillon Registry 1\n") + c.text, &read, &error))
            << c.what << ": " << error;
        RegistryKeyNode built;
        for (const Entry& entry : c.built) {
            RegistryKeyNode* key = CreateKey(built, entry.key, nullptr);
            if (entry.name != nullptr) key->values[entry.name] = entry.data;
        }
        EXPECT_TRUE(platform::SameKeyTree(read, built)) << c.what << ": read\n"
                                                        << FormatRegistryText(read) << "built\n"
                                                        << FormatRegistryText(built);
    }
}

}  // namespace
