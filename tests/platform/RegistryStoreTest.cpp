// The store behind the registry: what it reads and replaces, whom it trusts, how often it reads,
// and the transactions and private registries built on it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Runtime.h"
#include "platform/runtime/Registrar.h"
#include "platform/runtime/RegistryFormat.h"
#include "platform/runtime/RegistrySnapshot.h"
#include "platform/runtime/RegistryStore.h"
#include "tests/platform/FileEvents.h"
#include "tests/platform/TemporaryRegistry.h"

namespace {

class RegistryStore : public ::testing::Test {
protected:
    static LONG CreateKey(const char16_t* path) {
        HKEY key = nullptr;
        const LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, &key, nullptr);
        if (result == ERROR_SUCCESS) RegCloseKey(key);
        return result;
    }
    static LONG OpenKey(const char16_t* path) {
        HKEY key = nullptr;
        const LONG result = RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key);
        if (result == ERROR_SUCCESS) RegCloseKey(key);
        return result;
    }
    static std::string LastError() { return PlatformRegistryErrorText(); }

    TemporaryRegistry registry_;
};

const std::string kHeader = "Quillon Registry 1\n";

TEST_F(RegistryStore, AZeroCharacterInAValueSurvivesTheRoundTrip) {
    // The registrar stores quoted text as it stands, a zero character included; the file must
    // read back, or every later lookup fails.
    const std::string script =
        std::string("HKCR { Zero = s 'a") + '\0' + "b' { val 'n" + '\0' + "m' = s 'x' } }";
    ASSERT_EQ(RegistrarRegister(script, {}), S_OK);
    ASSERT_EQ(OpenKey(u"Zero"), ERROR_SUCCESS) << LastError();
    EXPECT_EQ(GetString(u"Zero", u""), std::u16string(u"a\0b", 3));

    platform::RegistryKeyNode tree;
    std::string error;
    ASSERT_TRUE(platform::ParseRegistryText(registry_.ReadFile(), &tree, &error)) << error;
    platform::RegistryKeyNode again;
    ASSERT_TRUE(platform::ParseRegistryText(platform::FormatRegistryText(tree), &again, &error));
    EXPECT_TRUE(platform::SameKeyTree(tree, again));
    EXPECT_EQ(platform::FindKey(again, {u"Zero"})->values.count(std::u16string(u"n\0m", 3)), 1u);
}

TEST_F(RegistryStore, KeysLieAtMost512LevelsDeep) {
    std::u16string path = u"K";
    for (int level = 1; level < 512; ++level) path += u"\\K";
    EXPECT_EQ(CreateKey(path.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(CreateKey((path + u"\\K").c_str()), ERROR_BAD_PATHNAME);

    // Nor through a key opened deep already, nor in the file, nor in a script.
    HKEY deep = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, &deep),
              ERROR_SUCCESS);
    HKEY deeper = nullptr;
    EXPECT_EQ(RegCreateKeyExW(deep, u"K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr),
              ERROR_BAD_PATHNAME);
    RegCloseKey(deep);
    std::string section = "[K";
    for (int level = 1; level < 513; ++level) section += "\\K";
    registry_.WriteFile(kHeader + section + "]\n");
    EXPECT_EQ(OpenKey(u"K"), ERROR_REGISTRY_CORRUPT);
    std::string script = "HKCR {";
    for (int level = 0; level < 513; ++level) script += " K {";
    script += std::string(513, '}') + " }";
    std::string message;
    EXPECT_EQ(RegistrarRegister(script, {}, &message), E_INVALIDARG);
    EXPECT_NE(message.find("more than 512 levels"), std::string::npos) << message;
}

// What a registry path may name besides a regular file, and how it must stay.
struct NotAFileCase {
    const char* what;
    bool (*make)(const std::string& path, const std::string& directory);
    mode_t type;
};

TEST_F(RegistryStore, OnlyRegularFilesAreReadOrReplaced) {
    const std::vector<NotAFileCase> cases = {
        {"a symbolic link to a registry",
         [](const std::string& path, const std::string& directory) {
             std::ofstream(directory + "/target") << kHeader << "[A]\n";
             return symlink((directory + "/target").c_str(), path.c_str()) == 0;
         },
         S_IFLNK},
        {"a character device like /dev/null",
         [](const std::string& path, const std::string&) {
             return mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
         },
         S_IFCHR},
        {"a directory",
         [](const std::string& path, const std::string&) { return mkdir(path.c_str(), 0700) == 0; },
         S_IFDIR},
    };
    for (const auto& c : cases) {
        const std::string path = registry_.directory() + "/not-a-file";
        if (!c.make(path, registry_.directory())) {
            std::printf("skipped: cannot make %s here\n", c.what);
            continue;
        }
        setenv("QUILLON_REGISTRY", path.c_str(), 1);
        EXPECT_EQ(OpenKey(u"A"), ERROR_CANTREAD) << c.what;
        EXPECT_NE(LastError().find(path), std::string::npos) << c.what << ": " << LastError();
        EXPECT_NE(CreateKey(u"B"), ERROR_SUCCESS) << c.what;
        struct stat info {};
        ASSERT_EQ(lstat(path.c_str(), &info), 0) << c.what;
        EXPECT_EQ(info.st_mode & S_IFMT, c.type) << c.what << " was replaced";
        std::filesystem::remove_all(path);
        setenv("QUILLON_REGISTRY", registry_.file().c_str(), 1);
    }
    EXPECT_EQ(registry_.ReadFile(), "");  // nothing was written anywhere else either
}

TEST_F(RegistryStore, TheLockFileIsNeverReachedThroughASymbolicLink) {
    const std::string victim = registry_.directory() + "/victim";
    ASSERT_EQ(symlink(victim.c_str(), (registry_.file() + ".lock").c_str()), 0);
    EXPECT_EQ(CreateKey(u"A"), ERROR_CANTWRITE);
    EXPECT_NE(LastError().find("symbolic link"), std::string::npos) << LastError();
    struct stat info {};
    EXPECT_NE(stat(victim.c_str(), &info), 0) << "the lock file was created through the link";
}

TEST_F(RegistryStore, AFileAboveTheSizeLimitIsRefused) {
    // A valid file, only too large: comments of a line each.
    std::string text = kHeader;
    const std::string comment = "; " + std::string(1022, 'c') + "\n";
    while (text.size() <= static_cast<size_t>(platform::kMaxRegistryFileBytes)) text += comment;
    registry_.WriteFile(text);
    EXPECT_EQ(OpenKey(u"A"), ERROR_REGISTRY_CORRUPT);
    EXPECT_NE(LastError().find("larger than 8 MiB"), std::string::npos) << LastError();
    EXPECT_EQ(CreateKey(u"A"), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(registry_.ReadFile().size(), text.size());
}

// A file or directory others than its owner and root could change, and how to spoil it.
struct UntrustedCase {
    const char* what;
    std::string (*spoil)(const TemporaryRegistry& registry);  // returns the path at fault
    const char* reason;
};

TEST_F(RegistryStore, ARegistryOthersCouldChangeIsRefused) {
    const std::vector<UntrustedCase> cases = {
        {"file writable by others",
         [](const TemporaryRegistry& r) {
             chmod(r.file().c_str(), 0666);
             return r.file();
         },
         "writable by others (mode 0666)"},
        {"file writable by its group",
         [](const TemporaryRegistry& r) {
             chmod(r.file().c_str(), 0620);
             return r.file();
         },
         "writable by its group (mode 0620)"},
        {"directory writable by its group",
         [](const TemporaryRegistry& r) {
             chmod(r.directory().c_str(), 0770);
             return r.directory();
         },
         "writable by its group (mode 0770)"},
    };
    registry_.WriteFile(kHeader + "[A]\n");
    for (const auto& c : cases) {
        chmod(registry_.file().c_str(), 0644);
        chmod(registry_.directory().c_str(), 0700);
        const std::string fault = c.spoil(registry_);
        EXPECT_EQ(OpenKey(u"A"), ERROR_ACCESS_DENIED) << c.what;
        EXPECT_NE(LastError().find("refusing the registry " + registry_.file() + ": " + fault +
                                   " is " + c.reason),
                  std::string::npos)
            << c.what << ": " << LastError();
        EXPECT_EQ(CreateKey(u"B"), ERROR_ACCESS_DENIED) << c.what;
    }
    // A world-writable directory with the sticky bit (as /tmp) lets no one replace the file.
    chmod(registry_.file().c_str(), 0644);
    chmod(registry_.directory().c_str(), 01777);
    EXPECT_EQ(OpenKey(u"A"), ERROR_SUCCESS) << LastError();
    chmod(registry_.directory().c_str(), 0700);
    EXPECT_EQ(registry_.ReadFile(), kHeader + "[A]\n");

    if (geteuid() != 0) return;  // only root can give the file away
    ASSERT_EQ(chown(registry_.file().c_str(), 4242, 4242), 0);
    EXPECT_EQ(OpenKey(u"A"), ERROR_ACCESS_DENIED);
    EXPECT_NE(LastError().find(registry_.file() +
                               " belongs to user 4242, neither root nor this process's user"),
              std::string::npos)
        << LastError();
}

// A registry named through a symbolic link: the link is followed name by name, and every folder
// on the way must be one that only root and this user could change.
class RegistryThroughALink : public RegistryStore {
protected:
    // A link to the registry's folder, in a folder of the given mode; the registry is named
    // through it.
    void MakeLink(mode_t folder_mode) {
        ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
        chmod(folder_.c_str(), folder_mode);
        ASSERT_EQ(symlink(registry_.directory().c_str(), link_.c_str()), 0);
        registry_.WriteFile(kHeader + "[A]\n");
        setenv("QUILLON_REGISTRY", (link_ + "/registry").c_str(), 1);
    }
    void ExpectRefused(const std::string& fault) {
        EXPECT_EQ(OpenKey(u"A"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(LastError(), "refusing the registry " + link_ + "/registry: " + fault);
    }

    const std::string folder_ = registry_.directory() + "/links";
    const std::string link_ = folder_ + "/to-registry";
};

struct LinkFolderCase {
    mode_t mode;
    const char* fault;  // after the folder's name; null when trusted
};

TEST_F(RegistryThroughALink, EveryFolderOnTheWayIsJudged) {
    const LinkFolderCase cases[] = {
        {0777, "is writable by others (mode 0777)"},
        {0770, "is writable by its group (mode 0770)"},
        {0755, nullptr},
        {01777, nullptr},  // sticky, as /tmp: the link is ours, and no one else can replace it
    };
    for (const auto& c : cases) {
        MakeLink(c.mode);
        if (c.fault == nullptr) {
            EXPECT_EQ(OpenKey(u"A"), ERROR_SUCCESS) << std::oct << c.mode << ": " << LastError();
        } else {
            ExpectRefused(folder_ + " " + c.fault);
        }
        std::filesystem::remove_all(folder_);
    }
}

// In a sticky folder anyone may make a link, and its owner may replace it.
TEST_F(RegistryThroughALink, AnotherUsersLinkInAStickyFolderIsRefused) {
    MakeLink(01777);
    if (geteuid() != 0 || lchown(link_.c_str(), 4242, 4242) != 0) {
        GTEST_SKIP() << "only root can give a link to another user";
    }
    ExpectRefused(link_ + " belongs to user 4242, neither root nor this process's user");
}

// Neither the registry's folders nor its lock file are made where the registry is refused.
TEST_F(RegistryStore, NothingIsCreatedWhereTheRegistryIsRefused) {
    const std::string open = registry_.directory() + "/open";
    ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
    chmod(open.c_str(), 0777);
    for (const std::string& file : {open + "/registry", open + "/below/registry"}) {
        setenv("QUILLON_REGISTRY", file.c_str(), 1);
        EXPECT_EQ(CreateKey(u"A"), ERROR_ACCESS_DENIED) << file;
        EXPECT_EQ(LastError(), "refusing the registry " + file + ": " + open +
                                   " is writable by others (mode 0777)");
    }
    setenv("QUILLON_REGISTRY", registry_.file().c_str(), 1);
    EXPECT_TRUE(std::filesystem::is_empty(open));
}

TEST_F(RegistryStore, ALookupReadsTheStoreOnce) {
    ASSERT_EQ(RegistrarRegister("HKCR { Widget = s 'W' { CurVer = s 'Widget.2' } "
                                "Widget.2 { CLSID = s '{BE0D0261-4B60-4C59-9273-7B82A87240BF}' } "
                                "NoRemove CLSID { {BE0D0261-4B60-4C59-9273-7B82A87240BF} "
                                "{ ProgID = s 'Widget.2' } } }",
                                {}),
              S_OK);
    FileEvents events(registry_.directory());
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Widget", &clsid), S_OK);  // two keys, through CurVer
    EXPECT_EQ(events.Count("registry", IN_OPEN), 1);
    LPOLESTR progid = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(clsid, &progid), S_OK);
    EXPECT_EQ(std::u16string(progid), u"Widget.2");
    CoTaskMemFree(progid);
    EXPECT_EQ(events.Count("registry", IN_OPEN), 1);
}

TEST_F(RegistryStore, ATransactionIsOneReplacementOrNone) {
    FileEvents events(registry_.directory());
    {
        platform::RegistryTransaction transaction;
        std::string message;
        ASSERT_EQ(transaction.Begin(&message), ERROR_SUCCESS) << message;
        ASSERT_EQ(CreateKey(u"One"), ERROR_SUCCESS);
        ASSERT_EQ(CreateKey(u"Two"), ERROR_SUCCESS);
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"V", u"x"), ERROR_SUCCESS);
        EXPECT_TRUE(KeyExists(u"One"));       // this thread sees its own changes
        EXPECT_EQ(registry_.ReadFile(), "");  // no one else does yet
        {
            platform::RegistryTransaction joined;  // a nested one joins
            ASSERT_EQ(joined.Begin(&message), ERROR_SUCCESS);
            ASSERT_EQ(CreateKey(u"Three"), ERROR_SUCCESS);
            ASSERT_EQ(joined.Commit(&message), ERROR_SUCCESS);
        }
        EXPECT_EQ(registry_.ReadFile(), "");
        ASSERT_EQ(transaction.Commit(&message), ERROR_SUCCESS) << message;
    }
    EXPECT_EQ(events.Count("registry", IN_MOVED_TO), 1);
    for (const char16_t* key : {u"One", u"Two", u"Three"}) EXPECT_TRUE(KeyExists(key));

    {
        platform::RegistryTransaction dropped;
        std::string message;
        ASSERT_EQ(dropped.Begin(&message), ERROR_SUCCESS);
        ASSERT_EQ(CreateKey(u"Four"), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"One"), ERROR_SUCCESS);
    }
    EXPECT_EQ(events.Count("registry", IN_MOVED_TO), 0);
    EXPECT_FALSE(KeyExists(u"Four"));
    EXPECT_TRUE(KeyExists(u"One"));
}

TEST_F(RegistryStore, APrivateRegistryNeitherReadsNorWritesTheFile) {
    ASSERT_EQ(CreateKey(u"InTheFile"), ERROR_SUCCESS);
    const std::string file = registry_.ReadFile();
    PlatformUsePrivateRegistry(TRUE);
    EXPECT_EQ(std::string(PlatformRegistryPath()), "the private registry of this process");
    EXPECT_FALSE(KeyExists(u"InTheFile"));
    ASSERT_EQ(CreateKey(u"Private"), ERROR_SUCCESS);
    ASSERT_EQ(RegistrarRegister("HKCR { Registered = s 'here' }", {}), S_OK);
    EXPECT_EQ(GetString(u"Registered", u""), u"here");
    {
        platform::RegistryTransaction transaction;
        std::string message;
        ASSERT_EQ(transaction.Begin(&message), ERROR_SUCCESS);
        ASSERT_EQ(CreateKey(u"InATransaction"), ERROR_SUCCESS);
        ASSERT_EQ(transaction.Commit(&message), ERROR_SUCCESS);
    }
    EXPECT_TRUE(KeyExists(u"InATransaction"));
    EXPECT_EQ(registry_.ReadFile(), file);

    PlatformUsePrivateRegistry(FALSE);
    EXPECT_TRUE(KeyExists(u"InTheFile"));
    EXPECT_FALSE(KeyExists(u"Private"));
    PlatformUsePrivateRegistry(TRUE);
    EXPECT_FALSE(KeyExists(u"Private"));  // a new private registry starts empty
    PlatformUsePrivateRegistry(FALSE);
}

// A snapshot holds the private registry's tree as it found it, without a copy: whatever
// changes it afterwards (an update, a value set, a transaction) goes to a tree of its own,
// which the next snapshot sees.
TEST_F(RegistryStore, APrivateRegistrySnapshotKeepsWhatItFound) {
    struct Private {
        Private() { PlatformUsePrivateRegistry(TRUE); }
        ~Private() { PlatformUsePrivateRegistry(FALSE); }
    } in_private;
    ASSERT_EQ(RegistrarRegister("HKCR { Kept = s 'before' }", {}), S_OK);
    std::string message;
    platform::RegistrySnapshot before;
    ASSERT_EQ(before.Read(&message), ERROR_SUCCESS) << message;

    ASSERT_EQ(RegistrarRegister("HKCR { Kept = s 'after' { Below = s 'new' } }", {}), S_OK);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"Named", u"set"), ERROR_SUCCESS);
    {
        platform::RegistryTransaction transaction;
        ASSERT_EQ(transaction.Begin(&message), ERROR_SUCCESS) << message;
        ASSERT_EQ(CreateKey(u"Committed"), ERROR_SUCCESS);
        ASSERT_EQ(transaction.Commit(&message), ERROR_SUCCESS) << message;
    }

    EXPECT_EQ(before.Value(u"Kept", u""), u"before");
    EXPECT_FALSE(before.HasKey(u"Kept\\Below"));
    EXPECT_EQ(before.Value(u"", u"Named"), std::nullopt);
    EXPECT_FALSE(before.HasKey(u"Committed"));
    platform::RegistrySnapshot after;
    ASSERT_EQ(after.Read(&message), ERROR_SUCCESS) << message;
    EXPECT_EQ(after.Value(u"Kept", u""), u"after");
    EXPECT_EQ(after.Value(u"Kept\\Below", u""), u"new");
    EXPECT_EQ(after.Value(u"", u"Named"), u"set");
    EXPECT_TRUE(after.HasKey(u"Committed"));
}

// Run in a child process by the next test, with QUILLON_REGISTRY naming a user's registry.
TEST(IsolatedRegistry, WritesAKey) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Left.Behind", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(IsolatedRegistry, TestsNeverUseAnExportedRegistry) {
    TemporaryRegistry user;
    user.WriteFile(kHeader + "[Users.Own]\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The test binary again, as a user who exported QUILLON_REGISTRY would run it.
        setenv("QUILLON_REGISTRY", user.file().c_str(), 1);
        execl("/proc/self/exe", "tests", "--gtest_filter=IsolatedRegistry.WritesAKey", nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(user.ReadFile(), kHeader + "[Users.Own]\n");
}

}  // namespace
