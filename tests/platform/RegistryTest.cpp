#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Runtime.h"
#include "tests/platform/TemporaryRegistry.h"

namespace {

class Registry : public ::testing::Test {
protected:
    HKEY Create(const char16_t* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    TemporaryRegistry registry_;
};

struct ValueCase {
    const char* what;
    std::u16string name;
    std::u16string data;
};

TEST_F(Registry, ValuesRoundTripThroughTheFile) {
    const std::vector<ValueCase> cases = {
        {"default value", u"", u"Quillon Class"},
        {"empty data", u"Empty", u""},
        {"path", u"Path", u"/usr/lib/x86_64-linux-gnu/libTarvexQuillon.so"},
        {"quotes and backslashes", u"Quoted \"name\"", u"C:\\dir\\\"file\".dll"},
        {"line breaks and tabs", u"Lines", u"one\ntwo\r\nthree\tfour"},
        {"other control characters", u"Controls", u"\x01\x1F\x7F end"},
        {"non-ASCII text", u"Caf\u00E9", u"\u00E9\u20AC\u4E2D \U0001F600"},
        {"unpaired surrogates", u"Lone", std::u16string(u"a\xD800z\xDC00")},
        {"section-like text", u"[Not a key]", u"@=\"not a value\""},
        {"long text", u"Long", std::u16string(5000, u'x')},
    };
    HKEY key = Create(u"Round\\Trip");
    for (const auto& c : cases) {
        ASSERT_EQ(SetString(key, c.name.c_str(), c.data), ERROR_SUCCESS) << c.what;
    }
    RegCloseKey(key);
    // Every query reads the file again, so what comes back has been written and parsed.
    for (const auto& c : cases) {
        EXPECT_EQ(GetString(u"Round\\Trip", c.name.c_str()), c.data) << c.what;
    }
}

TEST_F(Registry, DataEndsAtItsFirstZeroCharacter) {
    HKEY key = Create(u"Zero");
    const char16_t data[] = u"abc\0def";
    ASSERT_EQ(
        RegSetValueExW(key, u"V", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data),
        ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u"V"), u"abc");
    // Data without a terminating zero is taken whole.
    ASSERT_EQ(RegSetValueExW(key, u"W", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"xyz"), 6),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u"W"), u"xyz");
    RegCloseKey(key);
}

TEST_F(Registry, KeyAndValueNamesIgnoreLetterCase) {
    HKEY key = Create(u"Foo.Bar.1\\CLSID");
    ASSERT_EQ(SetString(key, u"ThreadingModel", u"Apartment"), ERROR_SUCCESS);
    RegCloseKey(key);

    EXPECT_EQ(GetString(u"FOO.BAR.1\\clsid", u"THREADINGMODEL"), u"Apartment");
    EXPECT_EQ(GetString(u"foo.bar.1\\Clsid", u"threadingmodel"), u"Apartment");

    // Creating under another spelling opens the same key and keeps the first spelling.
    HKEY again = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"FOO.bar.1", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(SetString(again, u"CAF\u00C9", u"upper"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(again, u"caf\u00E9"), u"upper");  // Latin-1 letters fold too
    RegCloseKey(again);

    char16_t name[256];
    DWORD length = 256;
    ASSERT_EQ(
        RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"Foo.Bar.1");
}

TEST_F(Registry, CreateReportsNewAndExistingKeysAndMakesTheKeysAbove) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    EXPECT_TRUE(KeyExists(u"A"));
    EXPECT_TRUE(KeyExists(u"A\\B"));
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"A\\B\\C\\", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    // A subkey path is relative to the handle it is given with.
    HKEY below = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key, u"D", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &below, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(below);
    RegCloseKey(key);
    EXPECT_TRUE(KeyExists(u"A\\B\\C\\D"));
}

TEST_F(Registry, MissingKeysAndValuesAreNotFound) {
    HKEY key = reinterpret_cast<HKEY>(0x1234);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Nothing\\Here", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_NE(std::string(PlatformRegistryErrorText()).find("Nothing\\Here"), std::string::npos);

    key = Create(u"Here");
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);  // a key starts without a default value
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Nothing"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, QueryAsksForTheSizeAndRefusesASmallBuffer) {
    HKEY key = Create(u"Sizes");
    ASSERT_EQ(SetString(key, nullptr, u"12345"), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);  // five characters and the zero, two bytes each

    char16_t buffer[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    size = 10;
    EXPECT_EQ(RegQueryValueExW(key, u"", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(buffer[0], u'#');
    size = 12;
    DWORD type = REG_NONE;
    ASSERT_EQ(RegQueryValueExW(key, u"", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::u16string(buffer), u"12345");
    RegCloseKey(key);
}

TEST_F(Registry, OnlyStringValuesAreStored) {
    HKEY key = Create(u"Types");
    const DWORD number = 7;
    EXPECT_EQ(RegSetValueExW(key, u"N", 0, 4 /* REG_DWORD */,
                             reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetString(key, u"N"), std::nullopt);
    RegCloseKey(key);
}

TEST_F(Registry, DeletingKeysAndValues) {
    HKEY key = Create(u"Tree\\Leaf");
    ASSERT_EQ(SetString(key, u"V", u"1"), ERROR_SUCCESS);
    RegCloseKey(key);
    key = Create(u"Tree\\Other\\Deep");
    RegCloseKey(key);

    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree"), ERROR_ACCESS_DENIED);  // has subkeys
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"tree\\leaf"), ERROR_SUCCESS);  // values go too
    EXPECT_FALSE(KeyExists(u"Tree\\Leaf"));
    EXPECT_TRUE(KeyExists(u"Tree\\Other\\Deep"));

    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Tree"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(u"Tree"));

    key = Create(u"Kept\\Child");
    RegCloseKey(key);
    key = Create(u"Kept");
    ASSERT_EQ(SetString(key, u"A", u"1"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"B", u"2"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"a"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u"A"), std::nullopt);
    EXPECT_EQ(GetString(key, u"B"), u"2");
    // Without a subkey name, the tree call empties the key and keeps it.
    EXPECT_EQ(RegDeleteTreeW(key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(KeyExists(u"Kept"));
    EXPECT_FALSE(KeyExists(u"Kept\\Child"));
    EXPECT_EQ(GetString(u"Kept", u"B"), std::nullopt);
}

TEST_F(Registry, AKeyDeletedElsewhereAnswersKeyDeleted) {
    HKEY key = Create(u"Doomed");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Doomed"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, u"V", u"x"), ERROR_KEY_DELETED);
    EXPECT_FALSE(KeyExists(u"Doomed"));  // and the write did not bring it back
    HKEY child = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(key, u"Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_KEY_DELETED);
    EXPECT_FALSE(KeyExists(u"Doomed"));
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationIsOrderedWithoutRegardToCase) {
    for (const char16_t* name : {u"beta", u"Alpha", u"GAMMA", u"alpha2"}) RegCloseKey(Create(name));
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD length = 256;
        const LONG result =
            RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(result, ERROR_SUCCESS);
        names.emplace_back(name, length);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"alpha2", u"beta", u"GAMMA"}));

    char16_t small[5];
    DWORD length = 5;  // "alpha2" needs 7 with its zero
    EXPECT_EQ(
        RegEnumKeyExW(HKEY_CLASSES_ROOT, 1, small, &length, nullptr, nullptr, nullptr, nullptr),
        ERROR_MORE_DATA);
}

struct BadPathCase {
    const char16_t* path;
    LONG expected;
};

TEST_F(Registry, MalformedPathsAreRefused) {
    const BadPathCase cases[] = {
        {u"\\Leading", ERROR_BAD_PATHNAME},
        {u"Double\\\\Backslash", ERROR_BAD_PATHNAME},
        {u"Control\x01Char", ERROR_INVALID_PARAMETER},
        {u"Lone\xD800Surrogate", ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, c.path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  c.expected);
        EXPECT_EQ(key, nullptr);
    }
    const std::u16string long_name(256, u'k');
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, long_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, ClosedAndUnknownHandlesAreInvalid) {
    HKEY key = Create(u"Handle");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(key, u"V", u"x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
}

TEST_F(Registry, TheStoreDirectoryIsCreatedOnFirstWrite) {
    const std::string nested = registry_.directory() + "/a/b/registry";
    setenv("QUILLON_REGISTRY", nested.c_str(), 1);
    EXPECT_EQ(std::string(PlatformRegistryPath()), nested);
    HKEY key = Create(u"Nested");
    RegCloseKey(key);
    struct stat info {};
    EXPECT_EQ(stat(nested.c_str(), &info), 0);
    setenv("QUILLON_REGISTRY", registry_.file().c_str(), 1);
}

TEST_F(Registry, ADefaultPathIsChosenWithoutTheOverride) {
    unsetenv("QUILLON_REGISTRY");
    const std::string path = PlatformRegistryPath();
    if (geteuid() == 0) {
        EXPECT_EQ(path, "/var/lib/quillon/registry");
    } else {
        setenv("XDG_DATA_HOME", "/xdg/data", 1);
        EXPECT_EQ(std::string(PlatformRegistryPath()), "/xdg/data/quillon/registry");
    }
    setenv("QUILLON_REGISTRY", registry_.file().c_str(), 1);
    EXPECT_EQ(std::string(PlatformRegistryPath()), registry_.file());
}

// Damaged stores, each with the line at which reading must stop.
struct CorruptCase {
    const char* what;
    std::string text;
    const char* line;
};

TEST_F(Registry, ACorruptStoreGivesAnErrorAndIsNeverWrittenOver) {
    const std::string header = "Quillon Registry 1\n";
    const std::vector<CorruptCase> cases = {
        {"foreign file",
         "\x7F"
         "ELF\x02\x01\x01",
         "line 1"},
        {"wrong header", "Quillon Registry 2\n[A]\n", "line 1"},
        {"unterminated string", header + "[A]\n@=\"open\n", "line 3"},
        {"value before any key", header + "@=\"x\"\n", "line 2"},
        {"unknown escape", header + "[A]\n\n\"N\"=\"a\\qb\"\n", "line 4"},
        {"malformed UTF-8", header + "[A]\n@=\"\xC3\x28\"\n", "line 3"},
        {"garbage line", header + "[A]\nnonsense\n", "line 3"},
        {"key line without end", header + "[A\n", "line 2"},
        {"bad key path", header + "[A\\\\B]\n", "line 2"},
        {"text after a value", header + "[A]\n@=\"x\" y\n", "line 3"},
        {"truncated escape", header + "[A]\n@=\"\\u12\"\n", "line 3"},
    };
    for (const auto& c : cases) {
        registry_.WriteFile(c.text);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"A", 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT)
            << c.what;
        const std::string message = PlatformRegistryErrorText();
        EXPECT_NE(message.find(registry_.file()), std::string::npos) << c.what << ": " << message;
        EXPECT_NE(message.find(c.line), std::string::npos) << c.what << ": " << message;

        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_REGISTRY_CORRUPT)
            << c.what;
        EXPECT_EQ(SetString(HKEY_CLASSES_ROOT, u"V", u"x"), ERROR_REGISTRY_CORRUPT) << c.what;
        EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr), ERROR_REGISTRY_CORRUPT) << c.what;
        EXPECT_EQ(registry_.ReadFile(), c.text) << c.what;
    }
}

TEST_F(Registry, AStoreThatCannotBeReadGivesAnError) {
    // A directory where the file should be: opened, but never read.
    ASSERT_EQ(mkdir(registry_.file().c_str(), 0755), 0);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"A", 0, KEY_READ, &key), ERROR_CANTREAD);
    EXPECT_NE(std::string(PlatformRegistryErrorText()).find("cannot read " + registry_.file()),
              std::string::npos)
        << PlatformRegistryErrorText();
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_CANTREAD);
    EXPECT_EQ(key, nullptr);
}

TEST_F(Registry, AnEmptyOrMissingStoreIsAnEmptyRegistry) {
    EXPECT_FALSE(KeyExists(u"A"));  // no file yet
    registry_.WriteFile("");
    EXPECT_FALSE(KeyExists(u"A"));
    char16_t name[256];
    DWORD length = 256;
    EXPECT_EQ(
        RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
        ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, AStrayTemporaryFileNeitherCorruptsNorBlocksTheNextUpdate) {
    HKEY key = Create(u"Before");
    ASSERT_EQ(SetString(key, u"V", u"old"), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string committed = registry_.ReadFile();

    // A writer died after writing half a new file and before renaming it; it left the file
    // read-only and full of junk.
    const std::string temporary = registry_.file() + ".tmp";
    { std::ofstream(temporary, std::ios::binary) << "Quillon Registry 1\n[Half\n\x01\x02"; }
    chmod(temporary.c_str(), 0444);

    EXPECT_EQ(registry_.ReadFile(), committed);
    EXPECT_EQ(GetString(u"Before", u"V"), u"old");

    key = Create(u"After");
    ASSERT_EQ(SetString(key, u"V", u"new"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(GetString(u"Before", u"V"), u"old");
    EXPECT_EQ(GetString(u"After", u"V"), u"new");
    EXPECT_FALSE(KeyExists(u"Half"));
    struct stat info {};
    EXPECT_NE(stat(temporary.c_str(), &info), 0);  // consumed by the rename
}

TEST_F(Registry, ConcurrentProcessesLoseNoUpdate) {
    constexpr int kProcesses = 4;
    constexpr int kValuesEach = 25;
    RegCloseKey(Create(u"Shared"));
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Shared", 0, KEY_ALL_ACCESS, &key) != 0) {
                _exit(100);
            }
            for (int i = 0; i < kValuesEach; ++i) {
                const std::string name = "P" + std::to_string(p) + "V" + std::to_string(i);
                const std::u16string wide(name.begin(), name.end());
                if (SetString(key, wide.c_str(), wide) != ERROR_SUCCESS) ++failures;
                // Keys are created by read-modify-write of the same file too.
                HKEY child = nullptr;
                if (RegCreateKeyExW(key, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &child, nullptr) != ERROR_SUCCESS) {
                    ++failures;
                }
                RegCloseKey(child);
            }
            RegCloseKey(key);
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kValuesEach; ++i) {
            const std::string name = "P" + std::to_string(p) + "V" + std::to_string(i);
            const std::u16string wide(name.begin(), name.end());
            EXPECT_EQ(GetString(u"Shared", wide.c_str()), wide);
            EXPECT_TRUE(KeyExists((u"Shared\\" + wide).c_str()));
        }
    }
}

}  // namespace
