#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "platform/qw_random.h"
#include "platform/qw_registry.h"
#include "support/test_support.h"

namespace {
using qwp::RegRoot;
using qwp::RegType;

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

struct RegistryFile {
    qwtest::TempDir dir;
    RegistryFile() { qwp::SetRegistryFileForTesting(dir.File("registry.txt").c_str()); }
    ~RegistryFile()
    {
        qwp::SetRegistryFileForTesting(nullptr);
        qwp::SetRegistryDeniedKey(RegRoot::LocalMachine, nullptr);
    }
};

std::string Text(const qwp::RegValue& v) { return std::string(v.data.begin(), v.data.end()); }
}  // namespace

// Random operations on the registry against a plain model: keys as upper-case paths, values by
// upper-case name. Names come in random case; the first spelling of a key is the one enumerated.
TEST(Registry, BehavesLikeAPlainModelAcrossRandomOperations)
{
    RegistryFile file;
    std::map<std::string, std::string> keys;  // upper-case path -> path as created
    std::map<std::string, std::map<std::string, std::string>> values;
    keys[""] = "";
    const char* names[] = {"Soft", "Adobe", "a b", "X=1", "%20", "[k]", "Uninstall"};
    qwp::SeedRandom(7);
    auto randomCase = [](std::string s) {
        for (char& c : s)
            if (qwp::Random15() % 2 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return s;
    };
    auto randomKey = [&]() {
        std::string path;
        int depth = qwp::Random15() % 4;
        for (int i = 0; i < depth; ++i) path += (i ? "\\" : "") + randomCase(names[qwp::Random15() % 7]);
        return path;
    };
    auto parentOf = [](const std::string& p) {
        size_t cut = p.rfind('\\');
        return cut == std::string::npos ? std::string() : p.substr(0, cut);
    };
    for (int step = 0; step < 600; ++step) {
        std::string key = randomKey();
        std::string up = Upper(key);
        bool exists = keys.count(up) != 0;
        switch (qwp::Random15() % 5) {
        case 0: {
            ASSERT_TRUE(qwp::RegCreateKey(RegRoot::CurrentUser, key.c_str()));
            std::string p = key;
            while (!p.empty() && !keys.count(Upper(p))) {
                // Each missing level keeps the spelling of this call.
                keys[Upper(p)] = p;
                p = parentOf(p);
            }
            break;
        }
        case 1: {
            std::string name = qwp::Random15() % 3 ? randomCase(names[qwp::Random15() % 7]) : "";
            std::string data = "v" + std::to_string(step) + "%\n";
            EXPECT_EQ(qwp::RegSetValue(RegRoot::CurrentUser, key.c_str(), name.c_str(), RegType::String,
                                       data.data(), data.size()),
                      exists);
            if (exists) values[up][Upper(name)] = data;
            break;
        }
        case 2: {
            bool hasSub = false;
            for (auto& [k, v] : keys)
                if (k.size() > up.size() && k.compare(0, up.size(), up) == 0 && (up.empty() || k[up.size()] == '\\'))
                    hasSub = true;
            bool expect = exists && !up.empty() && !hasSub;
            EXPECT_EQ(qwp::RegDeleteKey(RegRoot::CurrentUser, key.c_str()), expect) << key;
            if (expect) {
                keys.erase(up);
                values.erase(up);
            }
            break;
        }
        case 3: {
            std::string name = randomCase(names[qwp::Random15() % 7]);
            qwp::RegValue v;
            bool found = qwp::RegGetValue(RegRoot::CurrentUser, key.c_str(), name.c_str(), v);
            bool expect = exists && values[up].count(Upper(name));
            ASSERT_EQ(found, expect) << key << " " << name;
            if (found) {
                EXPECT_EQ(Text(v), values[up][Upper(name)]);
            }
            // Now and then the value goes again.
            if (qwp::Random15() % 3 == 0) {
                EXPECT_EQ(qwp::RegDeleteValue(RegRoot::CurrentUser, key.c_str(), name.c_str()), expect) << key << " " << name;
                if (expect) values[up].erase(Upper(name));
            }
            break;
        }
        default: {
            std::vector<std::string> expect;
            for (auto& [k, original] : keys) {
                std::string parent = parentOf(k);
                if (!k.empty() && parent == up) expect.push_back(original.substr(original.rfind('\\') + 1));
            }
            std::sort(expect.begin(), expect.end(), [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
            std::vector<std::string> got;
            std::string name;
            for (uint32_t i = 0; qwp::RegEnumKey(RegRoot::CurrentUser, key.c_str(), i, name); ++i) got.push_back(name);
            if (exists) {
                EXPECT_EQ(got, expect) << key;
            } else {
                EXPECT_TRUE(got.empty());
            }
            // The values by name in the same order ("" is the default value).
            std::vector<std::string> expectValues, gotValues;
            if (exists)
                for (auto& [n, data] : values[up]) expectValues.push_back(n);
            for (uint32_t i = 0; qwp::RegEnumValue(RegRoot::CurrentUser, key.c_str(), i, name); ++i)
                gotValues.push_back(Upper(name));
            EXPECT_EQ(gotValues, expectValues) << key;
        }
        }
    }
    EXPECT_GT(keys.size(), 8u);  // the walk built a real tree
    // The other roots stayed apart.
    std::string name;
    EXPECT_FALSE(qwp::RegEnumKey(RegRoot::LocalMachine, "", 0, name));
}

TEST(Registry, FileIsReadableAndWrittenWholeOrNotAtAll)
{
    RegistryFile file;
    // New files that writers stopped mid-write left in the registry's folder (nobody holds
    // them) go with its first use, a user's file of a name alike stays.
    for (const char* name : {".registry.txt.~qwAb12Cd", ".uninstall.conf.~qw000000", ".registry.txt.~qw"})
        ASSERT_TRUE(qwtest::WriteWholeFile(file.dir.File(name), "left"));
    EXPECT_FALSE(qwp::RegKeyExists(RegRoot::LocalMachine, "SOFTWARE"));
    EXPECT_EQ(qwtest::FolderNames(file.dir.Path()), std::vector<std::string>{".registry.txt.~qw"});
    const char* key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quarrow. Jigcrafter 3.0";
    ASSERT_TRUE(qwp::RegCreateKey(RegRoot::LocalMachine, key));
    std::string text = "C:\\Jig\\QWUninstall.exe";
    ASSERT_TRUE(qwp::RegSetValue(RegRoot::LocalMachine, key, "UninstallString", RegType::String, text.data(), text.size()));
    // The largest double word comes back from the file as it was written.
    uint32_t largest = 0xFFFFFFFFu;
    ASSERT_TRUE(qwp::RegSetValue(RegRoot::LocalMachine, "SOFTWARE", "", RegType::DWord, &largest, 4));
    uint8_t blob[] = {0, 0xAB};
    ASSERT_TRUE(qwp::RegSetValue(RegRoot::CurrentUser, "Software\\Jasc", "a=b@c", RegType::Binary, blob, 2) == false);
    ASSERT_TRUE(qwp::RegCreateKey(RegRoot::CurrentUser, "Software\\Jasc"));
    ASSERT_TRUE(qwp::RegSetValue(RegRoot::CurrentUser, "Software\\Jasc", "a=b@c", RegType::Binary, blob, 2));
    std::string written;
    ASSERT_TRUE(qwtest::ReadWholeFile(file.dir.File("registry.txt"), written));
    EXPECT_EQ(written,
              "; registry of the Quarrow programs (qwp)\n"
              "[HKEY_CURRENT_USER\\Software\\Jasc]\n"
              "a%3Db%40c=binary:00ab\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
              "@=dword:4294967295\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quarrow. Jigcrafter 3.0]\n"
              "UninstallString=sz:C:\\Jig\\QWUninstall.exe\n");

    qwp::RegValue v;
    ASSERT_TRUE(qwp::RegGetValue(RegRoot::LocalMachine, "software\\", "", v));
    EXPECT_EQ(v.type, RegType::DWord);
    EXPECT_EQ(v.data, (std::vector<uint8_t>{255, 255, 255, 255}));
    // A key with sub-keys stays; the leaf goes.
    EXPECT_FALSE(qwp::RegDeleteKey(RegRoot::LocalMachine, "SOFTWARE\\Microsoft"));
    EXPECT_FALSE(qwp::RegDeleteKey(RegRoot::LocalMachine, ""));

    // A denied key: nothing below it can be read, created, changed or deleted; its parent still
    // lists it.
    qwp::SetRegistryDeniedKey(RegRoot::LocalMachine, "software\\microsoft\\windows\\currentversion\\UNINSTALL");
    EXPECT_FALSE(qwp::RegGetValue(RegRoot::LocalMachine, key, "UninstallString", v));
    EXPECT_FALSE(qwp::RegCreateKey(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other"));
    EXPECT_FALSE(qwp::RegDeleteKey(RegRoot::LocalMachine, key));
    std::string name;
    EXPECT_TRUE(qwp::RegEnumKey(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, name));
    EXPECT_EQ(name, "Uninstall");
    qwp::SetRegistryDeniedKey(RegRoot::LocalMachine, nullptr);
    EXPECT_TRUE(qwp::RegDeleteKey(RegRoot::LocalMachine, key));

    // A damaged file fails every call and is left as it is.
    std::string damaged = written + "no value line\n";
    ASSERT_TRUE(qwtest::WriteWholeFile(file.dir.File("registry.txt"), damaged));
    EXPECT_FALSE(qwp::RegKeyExists(RegRoot::LocalMachine, "SOFTWARE"));
    EXPECT_FALSE(qwp::RegCreateKey(RegRoot::LocalMachine, "SOFTWARE\\New"));
    std::string after;
    ASSERT_TRUE(qwtest::ReadWholeFile(file.dir.File("registry.txt"), after));
    EXPECT_EQ(after, damaged);
}

// Keys lie at most 512 levels below their root, as the system's registry allows: a file with a
// deeper key is no registry (every call fails and the file stays as it is), and no call makes
// one. A registry whose last key goes is no file at all.
TEST(Registry, DepthIsBoundedAndTheLastKeyTakesTheFile)
{
    RegistryFile file;
    auto path = [](size_t depth) {
        std::string key;
        for (size_t i = 0; i < depth; ++i) key += i ? "\\k" : "k";
        return key;
    };
    ASSERT_TRUE(qwp::RegCreateKey(RegRoot::LocalMachine, path(512).c_str()));
    EXPECT_TRUE(qwp::RegKeyExists(RegRoot::LocalMachine, path(512).c_str()));
    // One line holds it, with every key on its way.
    std::string text;
    ASSERT_TRUE(qwtest::ReadWholeFile(file.dir.File("registry.txt"), text));
    EXPECT_TRUE(text == "; registry of the Quarrow programs (qwp)\n[HKEY_LOCAL_MACHINE\\" + path(512) + "]\n");
    EXPECT_TRUE(qwp::RegKeyExists(RegRoot::LocalMachine, path(300).c_str()));
    EXPECT_FALSE(qwp::RegCreateKey(RegRoot::LocalMachine, path(513).c_str()));
    for (size_t depth : {size_t(513), size_t(60000)}) {
        std::string deep = "[HKEY_LOCAL_MACHINE\\" + path(depth) + "]\nv=sz:deep\n";
        ASSERT_TRUE(qwtest::WriteWholeFile(file.dir.File("registry.txt"), deep));
        EXPECT_FALSE(qwp::RegKeyExists(RegRoot::LocalMachine, "k"));
        EXPECT_FALSE(qwp::RegCreateKey(RegRoot::LocalMachine, "SOFTWARE\\New"));
        std::string after;
        ASSERT_TRUE(qwtest::ReadWholeFile(file.dir.File("registry.txt"), after));
        EXPECT_TRUE(after == deep) << depth;
    }

    // Deleting the last key removes the file: an empty registry and no file are the same.
    std::filesystem::remove(file.dir.File("registry.txt"));
    ASSERT_TRUE(qwp::RegCreateKey(RegRoot::LocalMachine, "k"));
    ASSERT_TRUE(qwp::RegCreateKey(RegRoot::CurrentUser, "Software"));
    ASSERT_TRUE(qwp::RegDeleteKey(RegRoot::LocalMachine, "k"));
    EXPECT_TRUE(std::filesystem::exists(file.dir.File("registry.txt")));
    ASSERT_TRUE(qwp::RegDeleteKey(RegRoot::CurrentUser, "Software"));
    EXPECT_FALSE(std::filesystem::exists(file.dir.File("registry.txt")));
    EXPECT_FALSE(qwp::RegKeyExists(RegRoot::CurrentUser, "Software"));
    EXPECT_TRUE(qwp::RegKeyExists(RegRoot::CurrentUser, ""));
}
