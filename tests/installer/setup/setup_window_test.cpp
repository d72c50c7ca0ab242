// The setup window and the uninstall dialog as the programs open them, over the packages the
// built QWSetup and QWUninstall carry, on a machine in a temporary prefix: the pages headless on
// the virtual clock with the installation's faults reported through the window, a damaged package
// refused at start-up, and every page photographed under X11.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>

#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_static.h"
#include "installer/installer_test_support.h"
#include "installer/setup/qw_installhelpers.h"
#include "installer/setup/setup_window.h"
#include "installer/uninstall/uninstall_window.h"
#include "platform/qw_clock.h"
#include "platform/qw_module.h"
#include "platform/qw_process.h"
#include "platform/qw_resource.h"
#include "support/ui_test_support.h"

using qwtest::Machine;

namespace {

std::string Bin(const std::string& name) { return qwtest::BinaryDir() + "/bin/" + name; }

const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The program's package read from its own file while the test runs.
struct ProgramResource {
    explicit ProgramResource(const std::string& program) { qwp::SetResourceFileForTesting(program.c_str()); }
    ~ProgramResource() { qwp::SetResourceFileForTesting(nullptr); }
};

// The setup program opened headless on a machine with a host image editor.
struct HeadlessSetup {
    Machine m;
    ProgramResource resource{Bin("QWSetup")};
    qwsetup::CApp app;
    qwtest::HeadlessUi ui{&app};
    qwsetup::CWndMain& w = app.GetWindow();

    HeadlessSetup() { qwtest::RegisterPhotoshop(m); }
    // The clock runs on in 10 ms steps, dispatching after each.
    void Wait(uint32_t ms)
    {
        for (uint32_t t = 0; t < ms; t += 10) ui.Advance(10);
    }
    // From the start to the destination page.
    void ToDestinationPage()
    {
        ASSERT_TRUE(app.Open());
        ui.Pump();
        Wait(6000);
        ASSERT_TRUE(w.Model().IsAgreementShown());
        ui.Key(qwp::vk::Return);
        Wait(200);
        ASSERT_TRUE(w.IsShown(qwsetup::kFieldName));
    }
    std::string Text(const char* name)
    {
        return static_cast<CQWF_CtrlStatic*>(w.GetControl(w.FindControl(name)))->GetText();
    }
    bool Registered()
    {
        std::string name;
        return qwp::RegEnumKey(qwp::RegRoot::LocalMachine, kUninstallKey, 0, name);
    }
};

}  // namespace

// Intro, agreement, read-me and destination pages, the installation and the end, headless.
TEST(SetupWindow, RealPackageFromTheIntroToTheEnd)
{
    HeadlessSetup s;
    ASSERT_TRUE(s.app.Open()) << s.w.GetError();
    s.ui.Pump();
    EXPECT_TRUE(s.w.IsShown("x86"));
    EXPECT_FALSE(s.w.IsShown("x64") || s.w.IsShown("Agree") || s.w.IsShown(qwsetup::kFieldName));
    s.ui.Key(qwp::vk::Escape);  // the intro cannot be cancelled
    EXPECT_EQ(s.ui.Ws().Beeps(), 1);
    s.Wait(1000);
    EXPECT_TRUE(s.w.IsShown("LCD") && s.w.IsShown("Logo"));
    s.Wait(5000);
    ASSERT_TRUE(s.w.Model().IsAgreementShown());
    EXPECT_FALSE(s.w.IsShown("Logo") || s.w.IsShown("TestingMsg") || s.w.IsShown("StartingMsg"));
    EXPECT_TRUE(s.w.IsShown("Agree") && s.w.IsShown("BigText") && s.w.IsShown("AgreementScroll"));
    EXPECT_EQ(s.Text("Header"), "Quarrow. Jigcrafter 3.0 Setup");
    EXPECT_EQ(s.Text("BigText").rfind("QUARROW. JIGCRAFTER 3.0 - LICENCE AGREEMENT", 0), 0u);

    ASSERT_TRUE(s.ui.ClickControl(s.w, "Agree"));
    s.Wait(200);
    EXPECT_FALSE(s.w.IsShown("Agree") || s.w.IsShown("BigText"));
    EXPECT_TRUE(s.w.IsShown("Install") && s.w.IsShown("Browse") && s.w.IsShown(qwsetup::kFieldName));
    EXPECT_STREQ(s.w.GetFieldText().GetBuffer(), qwtest::kProductDestination);
    EXPECT_EQ(s.Text("SetupTxtSpace").rfind("Space Required: ", 0), 0u) << s.Text("SetupTxtSpace");
    EXPECT_TRUE(s.w.GetControl(s.w.FindControl("Install"))->IsEnabled());
    EXPECT_TRUE(s.w.GetCheck("AddIcons"));

    // The read-me page and back again.
    ASSERT_TRUE(s.ui.ClickControl(s.w, "ReadMe"));
    EXPECT_TRUE(s.w.IsShown("BigText") && s.w.IsShown("Back"));
    EXPECT_FALSE(s.w.IsShown("Install") || s.w.IsShown(qwsetup::kFieldName));
    s.ui.Key(qwp::vk::Back);
    EXPECT_TRUE(s.w.IsShown("Install") && s.w.IsShown(qwsetup::kFieldName));

    // The folder picker puts the picked folder with the product's folder into the field.
    s.ui.Ws().AnswerFolder("D:\\");
    s.ui.Ws().AnswerFolder("");
    ASSERT_TRUE(s.ui.ClickControl(s.w, "Browse"));
    EXPECT_STREQ(s.w.GetFieldText().GetBuffer(), "D:\\Jigcrafter 3.0\\");
    ASSERT_EQ(s.ui.Ws().FolderChoices().size(), 1u);
    EXPECT_EQ(s.ui.Ws().FolderChoices()[0].title, qwsetup::kFolderPickerTitle);
    EXPECT_EQ(s.ui.Ws().FolderChoices()[0].startFolder, qwtest::kProductDestination);
    s.Wait(200);  // no drive D: on this machine: no free space known, no Install
    EXPECT_FALSE(s.w.GetControl(s.w.FindControl("Install"))->IsEnabled());
    EXPECT_EQ(s.Text("SetupTxtSpace").find("Space Available: ???"), s.Text("SetupTxtSpace").size() - 20);
    ASSERT_TRUE(s.ui.ClickControl(s.w, "Browse"));  // cancelled: nothing changes
    EXPECT_STREQ(s.w.GetFieldText().GetBuffer(), "D:\\Jigcrafter 3.0\\");

    // The field is the user's: typed text is the destination.
    ASSERT_TRUE(s.ui.ClickControl(s.w, qwsetup::kFieldName));
    s.ui.Ws().KeyDown(qwp::vk::Control);
    s.ui.Key('A');
    s.ui.Ws().KeyUp(qwp::vk::Control);
    s.ui.Type(qwtest::kProductDestination);
    s.ui.Pump();
    EXPECT_STREQ(s.w.GetFieldText().GetBuffer(), qwtest::kProductDestination);
    s.Wait(200);
    ASSERT_TRUE(s.w.GetControl(s.w.FindControl("Install"))->IsEnabled());

    ASSERT_TRUE(s.ui.ClickControl(s.w, "Install"));
    s.ui.Pump();
    EXPECT_FALSE(s.w.Model().IsBusy());
    EXPECT_TRUE(s.ui.Ws().MessageBoxes().empty());
    EXPECT_EQ(s.Text("InstStatus"), "Setup complete");
    EXPECT_TRUE(s.w.IsShown("Progress") && s.w.IsShown("ProgCover") && !s.w.IsShown("Install"));
    EXPECT_TRUE(s.w.GetControl(s.w.FindControl("Finish"))->IsEnabled());
    EXPECT_FALSE(s.w.GetControl(s.w.FindControl("Cancel"))->IsEnabled());
    // Browse stays dimmed, Read Me goes (disabled at its hidden opacity).
    EXPECT_EQ(s.w.GetControl(s.w.FindControl("Browse"))->GetDisabledOpacity(), 80);
    EXPECT_EQ(s.w.GetControl(s.w.FindControl("ReadMe"))->GetDisabledOpacity(), 0);
    EXPECT_TRUE(s.m.Exists(std::string(qwtest::kProductDestination) + "QWJigcrafter30.8bf"));
    EXPECT_TRUE(s.m.Exists(std::string(qwtest::kProductDestination) + "Uninstall.conf"));
    EXPECT_TRUE(s.Registered());

    // Keys and the mouse that came while the installation ran are dropped; every other queued
    // event stays.
    for (int t = static_cast<int>(qwp::EventType::Paint); t <= static_cast<int>(qwp::EventType::Quit); ++t) {
        qwp::Event e;
        e.type = static_cast<qwp::EventType>(t);
        e.window = s.w.GetHWND();
        ASSERT_TRUE(qwp::WS().Post(e));
    }
    s.w.DiscardPendingInput();
    std::vector<qwp::EventType> left;
    for (qwp::Event e; s.ui.Ws().GetEvent(e);) left.push_back(e.type);  // up to the quit request
    using T = qwp::EventType;
    EXPECT_EQ(left, (std::vector<T>{T::Paint, T::Close, T::Timer, T::User}));

    // Enter on the final state ends the program after the closing animation.
    s.ui.Key(qwp::vk::Return);
    s.Wait(3000);
    EXPECT_EQ(s.w.GetHWND(), 0);
    qwp::Event e;
    EXPECT_FALSE(s.ui.Ws().GetEvent(e));  // the quit request
}

// Faults of the installation reach the user through the window: its message box, then either
// the aborted state or the destination page again, and nothing registered as installed.
TEST(SetupWindow, InstallationFaultsAreReportedThroughTheWindow)
{
    struct Fault {
        const char* name;
        const char* destination;
        const char* message;
        bool backToDestination;
    };
    for (const Fault& f : {Fault{"full disk", "C:\\Full\\", "Error!\n\nError writing to file \"", false},
                           Fault{"folder creation", "C:\\Blocked\\Jig\\", "Error!\n\nError creating folder \"", true},
                           Fault{"registry", "C:\\Jig\\", "Error!\n\nError writing registry key \"", false}}) {
        SCOPED_TRACE(f.name);
        HeadlessSetup s;
        s.ToDestinationPage();
        if (f.name[0] == 'f' && f.name[1] == 'u') qwp::SetFreeSpace("C:\\", 4096);
        if (f.name[1] == 'o') s.m.Write("C:\\Blocked", "a file where the folder would go");
        if (f.name[0] == 'r') qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, kUninstallKey);
        s.w.SetFieldText(f.destination);
        s.w.Model().OnFieldChanged();
        s.Wait(200);
        ASSERT_TRUE(s.ui.ClickControl(s.w, "Install"));
        s.ui.Pump();
        qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, nullptr);
        const auto& boxes = s.ui.Ws().MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].request.text.rfind(f.message, 0), 0u) << boxes[0].request.text;
        EXPECT_EQ(boxes[0].request.caption, "Error!");
        EXPECT_EQ(boxes[0].request.owner, s.w.GetHWND());
        EXPECT_EQ(boxes[0].request.icon, qwp::MessageIcon::Error);
        EXPECT_EQ(boxes[0].request.buttons, qwp::MessageButtons::Ok);
        EXPECT_FALSE(s.Registered());
        EXPECT_FALSE(s.w.Model().IsBusy());
        if (f.backToDestination) {
            EXPECT_TRUE(s.w.IsShown("Install") && s.w.GetControl(s.w.FindControl("Install"))->IsEnabled());
            EXPECT_TRUE(s.w.GetControl(s.w.FindControl(qwsetup::kFieldName))->IsEnabled());
            EXPECT_FALSE(s.w.IsShown("Finish") || s.w.IsShown("Progress") || s.w.IsShown("InstStatus"));
        } else {
            EXPECT_EQ(s.Text("InstStatus"), "Setup has been aborted");
            EXPECT_TRUE(s.w.GetControl(s.w.FindControl("Finish"))->IsEnabled());
            EXPECT_FALSE(s.w.IsShown("Install"));
            EXPECT_LT(static_cast<CQWF_CtrlProgress*>(s.w.GetControl(s.w.FindControl("Progress")))->GetPos(), 100.0);
        }
    }
}

// A damaged package: the program says so in its box, with no window, and ends.
TEST(SetupWindow, DamagedPackageIsRefusedAtStartUp)
{
    std::vector<qwp::ResourceBlock> blocks;
    std::string error;
    ASSERT_TRUE(qwp::ReadResourceTable(Bin("QWSetup").c_str(), blocks, error)) << error;
    ASSERT_EQ(blocks.size(), 1u);
    blocks[0].data[blocks[0].data.size() / 3] ^= 0x10;
    qwtest::TempDir dir;
    ASSERT_TRUE(qwp::WriteProgramWithResources(Bin("QWSetup").c_str(), dir.File("QWSetup").c_str(), blocks, error));
    ProgramResource resource(dir.File("QWSetup"));
    qwsetup::CApp app;
    qwtest::HeadlessUi ui(&app);
    EXPECT_EQ(app.InitInstance(), -1);
    ASSERT_EQ(ui.Ws().MessageBoxes().size(), 1u);
    const qwp::MessageBoxRequest& box = ui.Ws().MessageBoxes()[0].request;
    EXPECT_EQ(box.text, "Corrupt Setup File!\n\nPlease, download file again.");
    EXPECT_EQ(box.caption, "Corrupt Setup File!");
    EXPECT_EQ(box.owner, 0);
    EXPECT_EQ(ui.Ws().WindowCount(), 0u);
}

// The uninstall dialog: the question with Yes and Cancel over a record, Cancel alone without; a
// removal that cannot go on is said in a box.
TEST(UninstallWindow, QuestionOrNoRecord)
{
    Machine m;
    ProgramResource resource(Bin("QWUninstall"));
    const std::string dest = "C:\\Jig\\";
    m.Write(dest + "a.txt", "a");
    {
        CQWF_Storage record;
        ASSERT_TRUE(record.OpenFile((dest + "Uninstall.conf").c_str(), CQWF_Storage::kModeCreate));
        record.SetString("Product", "Jig");
        record.SetString("PathLog", "C:\\Jig\\\n");
        record.SetString("File_0", "C:\\Jig\\a.txt");
        record.SetString("File_1", "C:\\Jig\\Uninstall.conf");
        record.SetDWord("TotalFiles", 2);
        ASSERT_TRUE(record.Close());
    }
    qwp::RecordingProcessStarter starter;
    qwp::SetProcessStarter(&starter);
    for (bool withRecord : {false, true}) {
        qwp::SetModuleFileNameForTesting(withRecord ? "C:\\Jig\\QWUninstall.exe" : "C:\\Elsewhere\\QWUninstall.exe");
        qwuninstall::CApp app;
        qwtest::HeadlessUi ui(&app);
        ASSERT_TRUE(app.Open());
        ui.Pump();
        qwuninstall::CWndMain& w = app.GetWindow();
        EXPECT_STREQ(w.GetText(), withRecord ? "Do you want to uninstall\nJig?" : "Cannot open uninstall script...");
        EXPECT_EQ(w.HasYes(), withRecord);
        ASSERT_TRUE(ui.ClickControl(w, withRecord ? "Info_YES" : "Info_Cancel"));
        EXPECT_EQ(w.GetHWND(), 0);
        EXPECT_EQ(starter.requests.size(), withRecord ? 1u : 0u);
    }
    EXPECT_EQ(m.Read("C:\\Jig\\QWRemover.bat"), "del \"C:\\Jig\\a.txt\"\r\ndel \"C:\\Jig\\QWRemover.bat\"\r\n"
                                                "del \"C:\\Jig\\Uninstall.conf\"\r\nrmdir \"C:\\Jig\"\r\n");

    // Yes, and the batch file cannot be written: the program says so in its box before it ends.
    std::filesystem::remove(m.Host("C:\\Jig\\QWRemover.bat"));
    std::filesystem::create_directories(m.Host("C:\\Jig\\QWRemover.bat"));
    {
        qwuninstall::CApp app;
        qwtest::HeadlessUi ui(&app);
        ASSERT_TRUE(app.Open());
        ui.Pump();
        ASSERT_TRUE(ui.ClickControl(app.GetWindow(), "Info_YES"));
        ASSERT_EQ(ui.Ws().MessageBoxes().size(), 1u);
        const qwp::MessageBoxRequest& box = ui.Ws().MessageBoxes()[0].request;
        EXPECT_EQ(box.text, "Error!\n\nError writing to file \"C:\\Jig\\QWRemover.bat\"");
        EXPECT_EQ(box.caption, "Error!");
        EXPECT_EQ(box.icon, qwp::MessageIcon::Error);
        EXPECT_EQ(app.GetWindow().GetHWND(), 0);
        EXPECT_EQ(starter.requests.size(), 1u);
    }
    qwp::SetModuleFileNameForTesting(nullptr);
    qwp::SetProcessStarter(nullptr);
    EXPECT_TRUE(m.Exists("C:\\Jig\\a.txt"));
}

// Every page of the setup and the uninstall dialog on the X server, photographed.
TEST(SetupWindowX11, EveryPageAndTheUninstallDialog)
{
    Machine m;
    qwtest::RegisterPhotoshop(m);
    auto waitFor = [](qwtest::UiDriver& ui, const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            ui.Pump();
            usleep(5000);
        }
        return done();
    };
    {
        ProgramResource resource(Bin("QWSetup"));
        qwsetup::CApp app;
        qwtest::X11Ui ui(&app);
        QW_REQUIRE_X11_OR_SKIP(ui);
        qwp::UseVirtualClock(false);  // the server's time
        qwsetup::CWndMain& w = app.GetWindow();
        ASSERT_TRUE(app.Open());
        ASSERT_TRUE(waitFor(ui, [&] { return w.IsShown("Logo"); }));
        ui.Screenshot(w, "setup_intro");
        ASSERT_TRUE(waitFor(ui, [&] { return w.Model().IsAgreementShown(); }));
        ui.Pump();
        ui.Screenshot(w, "setup_agreement");
        ui.Key(qwp::vk::PageDown);  // a page of 21 lines on, at most to the last page
        ui.Pump();
        EXPECT_EQ(w.Model().GetFirstLine(), std::min(21, static_cast<int>(w.Model().GetLineCount()) - 21));
        ui.Screenshot(w, "setup_agreement_next_page");
        ASSERT_TRUE(ui.ClickControl(w, "Agree"));
        ASSERT_TRUE(waitFor(ui, [&] { return w.IsShown("Install"); }));
        usleep(300000);
        ui.Pump();
        ui.Screenshot(w, "setup_destination");
        ASSERT_TRUE(ui.ClickControl(w, "ReadMe"));
        ui.Pump();
        ui.Screenshot(w, "setup_readme");
        ASSERT_TRUE(ui.ClickControl(w, "Back"));
        ui.Pump();
        ASSERT_TRUE(ui.ClickControl(w, "Install"));
        ASSERT_TRUE(waitFor(ui, [&] { return w.GetControl(w.FindControl("Finish"))->IsEnabled(); }));
        ui.Pump();
        ui.Screenshot(w, "setup_finish");
        ASSERT_TRUE(m.Exists(std::string(qwtest::kProductDestination) + "Uninstall.conf"));
    }
    {
        ProgramResource resource(Bin("QWUninstall"));
        qwp::SetModuleFileNameForTesting((std::string(qwtest::kProductDestination) + "QWUninstall.exe").c_str());
        qwuninstall::CApp app;
        qwtest::X11Ui ui(&app);
        ASSERT_TRUE(app.Open());
        ui.Pump();
        usleep(100000);
        ui.Pump();
        ui.Screenshot(app.GetWindow(), "uninstall_question");
        ASSERT_TRUE(ui.ClickControl(app.GetWindow(), "Info_Cancel"));
        qwp::SetModuleFileNameForTesting(nullptr);
    }
}
