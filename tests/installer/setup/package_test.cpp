#include <gtest/gtest.h>

#include "installer/installer_test_support.h"
#include "installer/setup/setup_package.h"
#include "installer/setup/setup_window.h"
#include "installer/uninstall/uninstall_window.h"
#include "platform/qw_resource.h"
#include "support/ui_test_support.h"

using qwtest::Entry;
using qwtest::MakePackage;

namespace {
struct Registered {
    std::string bytes;
    explicit Registered(std::string b) : bytes(std::move(b))
    {
        qwp::RegisterResource("qws4", "qws4", bytes.data(), bytes.size());
    }
    ~Registered() { qwp::ClearRegisteredResources(); }
};

// The program's own start-up over its package: true when it goes on; a refusal shows the
// "Corrupt Setup File!" box, and only a refusal.
bool OpensPackage(qwsetup::CApp& app, CQWF_String* why = nullptr)
{
    qwtest::HeadlessUi ui(&app);
    const bool ok = app.OpenPackage();
    if (why) *why = app.GetRefusal();
    const auto& boxes = ui.Ws().MessageBoxes();
    EXPECT_EQ(boxes.size(), ok ? 0u : 1u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.request.text, "Corrupt Setup File!\n\nPlease, download file again.");
        EXPECT_EQ(box.request.caption, "Corrupt Setup File!");
        EXPECT_EQ(box.request.icon, qwp::MessageIcon::Error);
    }
    return ok;
}

bool StartsUp(const std::string& bytes, CQWF_String* why = nullptr)
{
    Registered r(bytes);
    qwsetup::CApp app;
    return OpensPackage(app, why);
}
}  // namespace

// The deploy list as the program reads it at start-up: keys by number ("%02d", 100 in three
// digits), sizes summed in 64 bits, shortcuts by their names; a missing key or a bad entry ends
// the start.
TEST(SetupPackage, DeployListIsReadAndCheckedAtStartUp)
{
    std::vector<Entry> entries;
    for (int i = 1; i <= 100; ++i)
        entries.push_back(Entry{"f" + std::to_string(i) + ".dat", i % 2 ? "" : "{a}Sub", i == 7 ? "Seven" : "", "x"});
    std::string bytes = MakePackage({{"FullProductName", "P"}}, entries);
    CQWF_String why;
    {
        Registered r(bytes);
        qwsetup::CApp app;
        ASSERT_TRUE(OpensPackage(app, &why)) << why.GetBuffer();
        const qwsetup::CDeployList& list = app.GetDeployList();
        EXPECT_EQ(list.GetEntryCount(), 100u);
        EXPECT_EQ(list.GetTotalSize(), 100u);
        EXPECT_STREQ(list.GetDataKeys().GetAt(6).GetBuffer(), "Product>Deploy>file_07");
        EXPECT_EQ(list.GetDataKeys().GetAt(6).GetTag(), 7u);
        EXPECT_STREQ(list.GetDataKeys().GetAt(99).GetBuffer(), "Product>Deploy>file_100");
        EXPECT_STREQ(list.GetNames().GetAt(99).GetBuffer(), "f100.dat");
        EXPECT_EQ(list.GetIconFlags().GetAt(6), 1);
        EXPECT_EQ(list.GetIconFlags().GetAt(5), 0);
        EXPECT_STREQ(list.GetIconNames().GetAt(6).GetBuffer(), "Seven");
        EXPECT_STREQ(list.GetFolders().GetAt(1).GetBuffer(), "{a}Sub");
    }

    // N = 0 starts; a missing data block is noticed only by the installation.
    EXPECT_TRUE(StartsUp(MakePackage({}, {})));
    EXPECT_TRUE(StartsUp(MakePackage({}, {Entry{"a", "", "", "", false}})));
    // Three entries, the icon key of the third missing: refused; with an empty icon text: fine.
    {
        std::vector<Entry> three = {{"a", "", "", "1"}, {"b", "", "", "2"}, {"c", "", "", "3"}};
        EXPECT_TRUE(StartsUp(MakePackage({}, three)));
        qwtest::TempDir dir;
        std::string bad = MakePackage({}, three);
        CQWF_Storage s;
        // Rebuild without the icon key of entry 3.
        std::string path = dir.File("p.qws4");
        ASSERT_TRUE(qwtest::WriteWholeFile(path, bad));
        ASSERT_TRUE(s.OpenFile(qwp::ToWindowsPath(path.c_str()).c_str(), CQWF_Storage::kModeReadWrite));
        ASSERT_TRUE(s.Delete("Product>Deploy>icon_03"));
        ASSERT_TRUE(s.Close());
        ASSERT_TRUE(qwtest::ReadWholeFile(path, bad));
        EXPECT_FALSE(StartsUp(bad, &why));
        EXPECT_STREQ(why.GetBuffer(), "no Product>Deploy>icon_03");
    }

    // Entries that could write outside their folders, and unsafe product texts, are refused.
    struct Bad {
        const char* name;
        const char* folder;
        const char* icon;
    };
    for (Bad b : {Bad{"..", "", ""}, Bad{"{u}", "", ""}, Bad{"", "", ""}, Bad{"a\\b", "", ""}, Bad{"C:x", "", ""},
                  Bad{"*.dll", "", ""}, Bad{"a?", "", ""}, Bad{"ok", "..\\up", ""}, Bad{"ok", "{a}..", ""},
                  Bad{"ok", "\\abs", ""}, Bad{"ok", "C:\\abs", ""}, Bad{"ok", "sub\\*", ""},
                  Bad{"ok", "/abs", ""}, Bad{"ok", "", "..\\x"}, Bad{"ok", "", "a:b"}, Bad{"a\"b", "", ""},
                  Bad{" a", "", ""}, Bad{"a ", "", ""}}) {
        EXPECT_FALSE(StartsUp(MakePackage({}, {Entry{b.name, b.folder, b.icon, "x"}}), &why))
            << b.name << " | " << b.folder << " | " << b.icon;
    }
    EXPECT_TRUE(StartsUp(MakePackage({}, {Entry{"{U}plugin.conf", "{A}Sub\\Deeper\\", "", ""}})));
    EXPECT_FALSE(StartsUp(MakePackage({{"FullProductName", ""}}, {}), &why));
    EXPECT_FALSE(StartsUp(MakePackage({{"DefaultShortcutGroupName", "..\\.."}}, {}), &why));
    EXPECT_FALSE(StartsUp(MakePackage({{"FullProductName", "A\\B"}}, {}), &why));
}

// A damaged package is refused at start-up: any changed byte (the digest), a cut package, or no
// package at all.
TEST(SetupPackage, DamagedPackagesAreRefusedAtStartUp)
{
    std::string bytes = MakePackage({{"FullProductName", "P"}}, {Entry{"a.dat", "", "", std::string(5000, 'a')}});
    ASSERT_TRUE(StartsUp(bytes));
    for (size_t at : {size_t(30), bytes.size() / 2, bytes.size() - 20}) {
        std::string bad = bytes;
        bad[at] ^= 0x01;
        CQWF_String why;
        EXPECT_FALSE(StartsUp(bad, &why)) << at;
    }
    EXPECT_FALSE(StartsUp(bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(StartsUp(""));
    qwsetup::CApp app;
    EXPECT_FALSE(OpensPackage(app));  // nothing registered, no table
}

// A package that is whole but cannot make the program's window is a damaged one too: each program
// says so in the box, with no window, and ends.
TEST(SetupPackage, APackageWithoutTheWindowEndsWithTheBox)
{
    qwtest::Machine m;  // the programs prepare their drive when they start
    Registered r(MakePackage({{"FullProductName", "P"}}, {Entry{"a.dat", "", "", "a"}}));
    for (bool setup : {true, false}) {
        qwsetup::CApp setupApp;
        qwuninstall::CApp uninstallApp;
        qwtest::HeadlessUi ui(setup ? static_cast<CQWF_App*>(&setupApp) : &uninstallApp);
        EXPECT_EQ(setup ? setupApp.InitInstance() : uninstallApp.RunDialog(), -1);
        ASSERT_EQ(ui.Ws().MessageBoxes().size(), 1u) << (setup ? "setup" : "uninstall");
        const qwp::MessageBoxRequest& box = ui.Ws().MessageBoxes()[0].request;
        EXPECT_EQ(box.text, "Corrupt Setup File!\n\nPlease, download file again.");
        EXPECT_EQ(box.caption, "Corrupt Setup File!");
        EXPECT_EQ(box.icon, qwp::MessageIcon::Error);
        EXPECT_EQ(ui.Ws().WindowCount(), 0u);
    }
}

// The built QWSetup finds the package the build appended to it, and that package is the product.
TEST(SetupPackage, BuiltSetupProgramCarriesTheProduct)
{
    std::string program = qwtest::BinaryDir() + "/bin/QWSetup";
    qwp::SetResourceFileForTesting(program.c_str());
    qwsetup::CApp app;
    CQWF_String why;
    bool ok = OpensPackage(app, &why);
    qwp::SetResourceFileForTesting(nullptr);
    ASSERT_TRUE(ok) << why.GetBuffer();
    const qwsetup::CDeployList& list = app.GetDeployList();
    CQWF_Storage& package = *app.GetStorage();
    std::vector<std::string> names;
    for (size_t i = 0; i < list.GetEntryCount(); ++i) names.push_back(list.GetNames().GetAt(i).GetBuffer());
    EXPECT_EQ(names, (std::vector<std::string>{"QWJigcrafter30.8bf", "resource_jw30.qws4",
                                               "Quarrow. Jigcrafter 3.0 Help.pdf", "QWUninstall.exe",
                                               "Default Shapes.qwjk", "Sample Puzzle.qwjd", "{u}plugin.conf",
                                               "{u}last.data", "{u}ckss.data"}));
    uint64_t total = 0;
    for (std::string file : {"bin/QWJigcrafter30.8bf", "bin/resource_jw30.qws4",
                             "bin/Quarrow. Jigcrafter 3.0 Help.pdf", "bin/QWUninstall", "packages/sample.qwjd"})
        total += std::filesystem::file_size(qwtest::BinaryDir() + "/" + file);
    total += std::filesystem::file_size(qwtest::SourceDir() + "/skin/shapes/defset.qwjk");
    EXPECT_EQ(list.GetTotalSize(), total);
    CQWF_String text;
    EXPECT_TRUE(package.GetString("Product>Agreement", text) && text.GetLength() > 200);
    EXPECT_TRUE(package.GetString("Product>FullProductName", text));
    EXPECT_STREQ(text.GetBuffer(), "Quarrow. Jigcrafter 3.0");
}
