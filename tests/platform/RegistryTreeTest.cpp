#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/runtime/RegistryFormat.h"
#include "platform/runtime/RegistryTree.h"

namespace {

using platform::CreateKey;
using platform::FindKey;
using platform::RegistryKeyNode;
using platform::RegistryPath;

// The key names of a tree, "A\B" for B below A, depth first in the tree's order.
void Names(const RegistryKeyNode& key, const std::u16string& prefix,
           std::vector<std::u16string>* out) {
    for (const auto& [name, subkey] : key.subkeys) {
        const std::u16string path = prefix.empty() ? name : prefix + u"\\" + name;
        out->push_back(path);
        Names(*subkey, path, out);
    }
}

// CreateKey on a tree that already holds `existing`: whether it reports the last key as new,
// and which keys the tree then holds (names keep the letter case they were created with).
TEST(RegistryTree, CreateKeyMakesTheMissingKeysOnly) {
    struct Case {
        std::vector<RegistryPath> existing;
        RegistryPath path;
        bool created;
        std::vector<std::u16string> after;
        const char* what;
    } cases[] = {
        {{}, {u"A"}, true, {u"A"}, "one new key"},
        {{}, {u"A", u"B", u"C"}, true, {u"A", u"A\\B", u"A\\B\\C"}, "a whole new chain"},
        {{{u"A"}}, {u"A"}, false, {u"A"}, "an existing key"},
        {{{u"A"}}, {u"A", u"B"}, true, {u"A", u"A\\B"}, "below an existing key"},
        {{{u"A", u"B"}},
         {u"a", u"b", u"C"},
         true,
         {u"A", u"A\\B", u"A\\B\\C"},
         "found without regard to case, the new one as spelt"},
        {{{u"A", u"B"}}, {u"a", u"B"}, false, {u"A", u"A\\B"}, "existing, other case"},
        {{{u"A"}}, {}, false, {u"A"}, "the root itself"},
    };
    for (const Case& c : cases) {
        RegistryKeyNode root;
        for (const RegistryPath& path : c.existing) CreateKey(root, path, nullptr);
        bool created = !c.created;
        RegistryKeyNode* key = CreateKey(root, c.path, &created);
        EXPECT_EQ(created, c.created) << c.what;
        EXPECT_EQ(key, FindKey(root, c.path)) << c.what;
        std::vector<std::u16string> after;
        Names(root, u"", &after);
        EXPECT_EQ(after, c.after) << c.what;
    }
}

// Trees read from the store's text: each differs from the first in one way, and the
// fingerprints must tell every one apart from every other; the same text gives the same one.
TEST(RegistryTree, FingerprintsTellTreesApart) {
    const char* const texts[] = {
        "[A]\n@=\"x\"\n",
        "[A]\n@=\"y\"\n",          // other data
        "[a]\n@=\"x\"\n",          // other letter case
        "[A]\n\"n\"=\"x\"\n",      // a named value, not the default
        "[A]\n@=\"x\"\n[A\\B]\n",  // an empty subkey more
        "[A]\n[A\\B]\n@=\"x\"\n",  // the value one key down
        "[A]\n\"x=y\"=\"z\"\n",    // name and data split otherwise...
        "[A]\n\"x\"=\"y=z\"\n",    // ...over the same characters
        "[A]\n@=\"x\"\n[B]\n",     // a key beside
        "[A\\B]\n",                // a key below where the other is beside
        "[]\n@=\"x\"\n[A]\n",      // the value at the root
        "",                        // nothing
    };
    std::vector<std::uint64_t> seen;
    for (const char* text : texts) {
        RegistryKeyNode tree;
        std::string error;
        ASSERT_TRUE(
            platform::ParseRegistryText(std::string("Quillon Registry 1\n") + text, &tree, &error))
            << text << ": " << error;
        const std::uint64_t fingerprint = platform::FingerprintKeyTree(tree);
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_NE(fingerprint, seen[i]) << text << " and " << texts[i];
        }
        seen.push_back(fingerprint);
        RegistryKeyNode again;
        platform::CopyKeyTree(tree, &again);
        EXPECT_EQ(platform::FingerprintKeyTree(again), fingerprint) << text;
    }
}

// MoveKeyTree of one tree into another, both as the store's text: what the second then holds
// is what writing the first's keys and values into it one by one would leave, as Windows
// writes them (a key found keeps its letter case, a value is replaced), and the first is empty.
TEST(RegistryTree, MoveKeyTreeWritesEveryKeyAndValueIntoTheOther) {
    struct Case {
        const char* from;
        const char* into;
        const char* after;
        const char* what;
    } cases[] = {
        {"[A]\n@=\"x\"\n[A\\B]\n", "", "[A]\n@=\"x\"\n[A\\B]\n", "into nothing"},
        {"[A]\n@=\"x\"\n", "[A]\n@=\"y\"\n\"n\"=\"z\"\n", "[A]\n@=\"x\"\n\"n\"=\"z\"\n",
         "a value replaced, another kept"},
        {"[a\\b]\n\"N\"=\"x\"\n", "[A]\n[A\\B]\n\"n\"=\"y\"\n", "[A]\n[A\\B]\n\"n\"=\"x\"\n",
         "keys and value names found without regard to case keep theirs"},
        {"[A\\C]\n", "[A]\n[A\\B]\n[D]\n", "[A]\n[A\\B]\n[A\\C]\n[D]\n", "beside what is there"},
    };
    const auto read = [](const char* text) {
        RegistryKeyNode tree;
        std::string error;
        EXPECT_TRUE(platform::ParseRegistryText(
            std::string(platform::kRegistryFileHeader) + "\n" + text, &tree, &error))
            << text << ": " << error;
        return tree;
    };
    for (const Case& c : cases) {
        RegistryKeyNode from = read(c.from);
        RegistryKeyNode into = read(c.into);
        platform::MoveKeyTree(std::move(from), &into);
        EXPECT_TRUE(platform::SameKeyTree(into, read(c.after)))
            << c.what << ":\n"
            << platform::FormatRegistryText(into);
        EXPECT_TRUE(from.values.empty() && from.subkeys.empty()) << c.what;
    }
}

}  // namespace
