#include <gtest/gtest.h>

#include "installer/installer_test_support.h"
#include "installer/setup/qw_installhelpers.h"
#include "installer/setup/setup_destination.h"

using qwsetup::CDestinationChoice;
using qwtest::Machine;

namespace {
// The proposal for a package with these defaults, as the window computes it at creation.
std::string Propose(const std::map<std::string, std::string>& texts, uint64_t total = 0,
                    CDestinationChoice* out = nullptr)
{
    std::string bytes = qwtest::MakePackage(texts, {});
    CQWF_Storage package;
    EXPECT_TRUE(package.OpenMemory(bytes.data(), bytes.size()));
    CDestinationChoice choice;
    choice.Propose(package, total);
    if (out) *out = choice;
    return choice.GetDefaultDestination().GetBuffer();
}

void Host(const char* root, const char* version, const char* folder, const Machine& m)
{
    std::string key = std::string(root) + "\\" + version + "\\PluginPath";
    ASSERT_TRUE(qwp::RegCreateKey(qwp::RegRoot::LocalMachine, key.c_str()));
    qwp::RegSetValue(qwp::RegRoot::LocalMachine, key.c_str(), "", qwp::RegType::String, folder, std::strlen(folder));
    std::filesystem::create_directories(m.Host(folder));
}
}  // namespace

TEST(Destination, ProposalFollowsTheDefaultsAndTheHostsFound)
{
    Machine m;
    std::map<std::string, std::string> pl = {{"Defaults", "Path:PL AddIcons:YES"}, {"DefaultAdditionalFolder", "Jig"}};
    // No host: drive C with the additional folder (not Program Files).
    EXPECT_EQ(Propose(pl), "C:\\Jig\\");
    // Photoshop 9.0, 10.0 and 10.9 with existing folders: the highest version; a name without a number
    // and a folder that does not exist never win.
    Host("SOFTWARE\\Adobe\\Photoshop", "9.0", "C:\\PS9\\Plug-ins", m);
    Host("SOFTWARE\\Adobe\\Photoshop", "10.0", "C:\\PS10\\Plug-ins", m);
    Host("SOFTWARE\\Adobe\\Photoshop", "10.9", "C:\\PS109\\Plug-ins", m);  // a nine after the point
    Host("SOFTWARE\\Adobe\\Photoshop", "CSX", "C:\\PSCS\\Plug-ins", m);
    qwp::RegCreateKey(qwp::RegRoot::LocalMachine, "SOFTWARE\\Adobe\\Photoshop\\11.0\\PluginPath");
    qwp::RegSetValue(qwp::RegRoot::LocalMachine, "SOFTWARE\\Adobe\\Photoshop\\11.0\\PluginPath", "",
                     qwp::RegType::String, "C:\\Gone", 7);
    EXPECT_EQ(Propose(pl), "C:\\PS109\\Plug-ins\\Jig\\");
    // Elements and Jasc; the priority list puts the listed hosts first, the others follow. Its
    // last code may end the text.
    Host("SOFTWARE\\Adobe\\Photoshop Elements", "4.0", "C:\\PE\\Plug-ins", m);
    qwp::RegCreateKey(qwp::RegRoot::CurrentUser, "Software\\Jasc\\PSP9\\ImageProcessingFilter");
    qwp::RegSetValue(qwp::RegRoot::CurrentUser, "Software\\Jasc\\PSP9\\ImageProcessingFilter", "Directory3",
                     qwp::RegType::String, "C:\\Jasc", 7);
    std::filesystem::create_directories(m.Host("C:\\Jasc"));
    CDestinationChoice choice;
    EXPECT_EQ(Propose({{"Defaults", "Path:PL HostPriority:JP"}}, 0, &choice), "C:\\Jasc\\");
    const uint8_t* order = choice.GetHostPriority();
    EXPECT_EQ(order[0] * 100 + order[1] * 10 + order[2], 213);  // Jasc, Photoshop, Elements
    EXPECT_EQ(Propose({{"Defaults", "Path:pl HostPriority:PE,XX,PS"}}), "C:\\PE\\Plug-ins\\");
    // The list at the text's start; an unknown code alone keeps the default order.
    for (const auto& [text, want] : {std::pair{"HostPriority:JP", 213}, {"Path:PL HostPriority:XX", 132}}) {
        Propose({{"Defaults", text}}, 0, &choice);
        order = choice.GetHostPriority();
        EXPECT_EQ(order[0] * 100 + order[1] * 10 + order[2], want) << text;
    }
    EXPECT_EQ(Propose({{"Defaults", "Path:PL"}}), "C:\\PS109\\Plug-ins\\");
    // Program Files: the registry's folder when it exists, else drive C.
    EXPECT_EQ(Propose({{"Defaults", "Path:PF"}}), "C:\\Program Files\\");
    qwp::RegCreateKey(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    qwp::RegSetValue(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                     qwp::RegType::String, "C:\\Missing", 10);
    EXPECT_EQ(Propose({{"Defaults", "Path:PF"}, {"DefaultAdditionalFolder", "Jig"}}), "C:\\Jig\\");
    EXPECT_EQ(Propose({}), "C:\\");

    // The other defaults: tokens are case-sensitive, their values are not.
    Propose({{"Defaults", "AddIcons:no"}, {"DefaultShortcutGroupName", "Tools"}}, 0, &choice);
    EXPECT_FALSE(choice.GetAddIcons());
    EXPECT_STREQ(choice.GetShortcutGroupName().GetBuffer(), "Tools");
    Propose({{"Defaults", "addicons:no"}}, 0, &choice);
    EXPECT_TRUE(choice.GetAddIcons());
    EXPECT_STREQ(choice.GetShortcutGroupName().GetBuffer(), "Quarrow");
    Propose({{"Defaults", "AddIcons:yes"}}, 0, &choice);
    EXPECT_TRUE(choice.GetAddIcons());
    EXPECT_STREQ(choice.GetUserDataFolderPath().GetBuffer(), "C:\\Users\\me\\AppData");
    qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::AppData, "");
    Propose({{"DefaultAdditionalFolder", "Jig"}}, 0, &choice);
    EXPECT_STREQ(choice.GetUserDataFolderPath().GetBuffer(), "C:\\Jig\\");
}

TEST(Destination, ComposedPathsAndSpaceTexts)
{
    Machine m;
    auto compose = [](const char* base, const char* sub) {
        return std::string(CDestinationChoice::ComposePath(base, sub).GetBuffer());
    };
    EXPECT_EQ(compose("C:\\", "Jig"), "C:\\Jig\\");
    EXPECT_EQ(compose("C:\\Plug-ins\\jig", "Jig"), "C:\\Plug-ins\\jig\\");
    EXPECT_EQ(compose("C:\\Plug-ins\\JIG\\", "Jig"), "C:\\Plug-ins\\JIG\\");
    EXPECT_EQ(compose("C:\\Plug-ins", "Jig"), "C:\\Plug-ins\\Jig\\");
    EXPECT_EQ(compose("C:\\Plug-ins", ""), "C:\\Plug-ins\\");

    CDestinationChoice choice;
    struct Case {
        uint64_t totalBytes;
        int64_t freeMB;
        const char* text;
        bool enabled;
    };
    for (Case c : {Case{12000 * 1024, 10240, "Space Required: 11.7 MB\nSpace Available: 10.0 GB", true},
                   Case{9999 * 1024, 9999, "Space Required: 9999 KB\nSpace Available: 9999 MB", true},
                   Case{2048ull * 1024 * 1024 * 5, 10239, "Space Required: 10240.0 MB\nSpace Available: 10.0 GB", false},
                   Case{0, 0, "Space Required: 0 KB\nSpace Available: 0 MB", true},
                   // 64 bits: 5 TB free against 4 GB needed (32-bit products would wrap).
                   Case{4096ull << 20, int64_t(5) << 20, "Space Required: 4096.0 MB\nSpace Available: 5120.0 GB", true}}) {
        std::string bytes = qwtest::MakePackage({}, {});
        CQWF_Storage package;
        ASSERT_TRUE(package.OpenMemory(bytes.data(), bytes.size()));
        choice.Propose(package, c.totalBytes);
        qwp::SetFreeSpaceForTesting(c.freeMB << 20);
        CQWF_String text;
        EXPECT_EQ(choice.SpaceText("C:\\New\\Folder\\", text), c.enabled) << c.text;
        EXPECT_STREQ(text.GetBuffer(), c.text);
    }
    CQWF_String text;
    EXPECT_FALSE(choice.SpaceText("Q:\\Jig\\", text));
    EXPECT_STREQ(text.GetBuffer(), "Space Required: 4096.0 MB\nSpace Available: ???");
    EXPECT_STREQ(choice.PickedFolder("D:\\").GetBuffer(), "D:\\");
}
