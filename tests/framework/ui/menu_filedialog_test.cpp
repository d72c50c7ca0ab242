// The popup menu and the file dialogs over the headless window system: captions, command ids and
// the notification; the filter list, the dialog requests, writers with their opened files,
// deletion after a failed writer or close, the names of a series and the two messages.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <tuple>
#include <sys/resource.h>

#include "framework/ui/qwf_filedialog.h"
#include "framework/ui/qwf_popupmenu.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"
#include "ui_test_windows.h"

using namespace uitest;
using qwtest::SkinBuilder;

namespace {

// Records the notifications with their 16-bit data.
class MenuWindow : public RecordingWindow {
public:
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override
    {
        RecordingWindow::OnNotify(code, index, name, kind, data);
        commands.push_back(data ? *static_cast<uint16_t*>(data) : -1);
        return true;
    }
    std::vector<int32_t> commands;
};

// The headless system that lets a test look around while a chooser is open.
class ObservedSystem : public qwp::HeadlessWindowSystem {
public:
    std::function<void()> whileChoosing;

protected:
    bool NativeChooseFile(const qwp::FileChoiceRequest& request, std::string& path) override
    {
        if (whileChoosing) whileChoosing();
        return HeadlessWindowSystem::NativeChooseFile(request, path);
    }
};

// A headless system, an application with a small skin, and drive C: in a temporary folder.
struct Fixture : ::testing::Test {
    ObservedSystem ws;
    CQWF_App app;
    SkinBuilder skin;
    qwtest::TempDir drives;
    qwp::WindowSystem* previousWs = nullptr;
    CQWF_App* previousApp = nullptr;

    void SetUp() override
    {
        previousWs = qwp::SetWindowSystem(&ws);
        previousApp = CQWF_App::GetApp();
        CQWF_App::SetApp(&app);
        AddWindowSkin(skin, "Demo", 200, 120);
        ASSERT_TRUE(skin.LoadInto(app));
        qwp::SetDriveRoot(drives.Path().c_str());
        ASSERT_TRUE(qwp::CreateFolders("C:\\out"));
    }
    void TearDown() override
    {
        qwp::SetDriveRoot(nullptr);
        qwp::SetModuleFileNameForTesting(nullptr);
        CQWF_App::SetApp(previousApp);
        qwp::SetWindowSystem(previousWs);
    }
    // The text, caption and owner of a message box shown.
    auto Said(size_t i) const
    {
        const qwp::MessageBoxRequest& r = ws.MessageBoxes()[i].request;
        return std::tie(r.text, r.caption, r.owner);
    }
    std::string Read(const char* windowsPath)
    {
        std::string bytes;
        qwtest::ReadWholeFile(qwp::ToHostPath(windowsPath), bytes);
        return bytes;
    }
};

using MenuFixture = Fixture;
using FileDialog = Fixture;

// The writers of the tests: their context says what to write and whether to fail.
struct WriteJob {
    std::string text = "data";
    int failAt = -1;        // the index whose writer fails (-1: none)
    bool readBack = true;   // the writer reads its output back, as package writers do
    std::vector<int32_t> indices;
    std::string readText;
};

bool WriteText(CQWF_StdFile* file, void* context, int32_t index)
{
    WriteJob& job = *static_cast<WriteJob*>(context);
    job.indices.push_back(index);
    if (!file || !file->IsOpen()) return false;
    if (file->Write(job.text.data(), job.text.size()) != static_cast<int64_t>(job.text.size())) return false;
    if (job.readBack) {
        std::string back(job.text.size(), '\0');
        if (file->Seek(0) != 0 || file->Read(back.data(), back.size()) != static_cast<int64_t>(back.size())) return false;
        job.readText = back;
    }
    return index != job.failAt;
}

bool WriteSingle(CQWF_StdFile* file, void* context) { return WriteText(file, context, 0); }

}  // namespace

TEST_F(MenuFixture, CaptionsCommandsAndNotification)
{
    MenuWindow window;
    ASSERT_TRUE(window.CreateFromSkin("Demo", 300, 200, nullptr, 0));
    window.Show();

    CQWF_PlatformPopupMenu menu;
    EXPECT_FALSE(menu.AddItem("Early", 1, false, false));
    EXPECT_EQ(menu.GetError(), QWF_ERR_EMPTY);
    EXPECT_FALSE(menu.AddSeparator());
    EXPECT_FALSE(menu.Track(&window, 0, 0, true));
    EXPECT_EQ(menu.GetError(), QWF_ERR_EMPTY);
    ASSERT_TRUE(menu.Create());
    EXPECT_FALSE(menu.Create());
    EXPECT_EQ(menu.GetError(), QWF_ERR_ARGUMENT);

    // Commands 7, 3 and 9 with a separator between the first two; 0 is a command too.
    ASSERT_TRUE(menu.AddItem("Relayout", 7, false, false));
    ASSERT_TRUE(menu.AddSeparator());
    ASSERT_TRUE(menu.AddItemWithKey("Delete knives", 3, true, false, true, true, false, "Del"));
    ASSERT_TRUE(menu.AddItemWithKey("Select all", 9, false, true, true, true, true, "Delete"));
    QWF_MenuShortcut own;
    own.alt = 1;
    std::memcpy(own.key, "F4xyz", 5);  // a record without its end: four characters are shown
    ASSERT_TRUE(menu.AddItem("Close", 0, false, false, &own));
    ASSERT_EQ(menu.GetItemCount(), 5u);
    const uint16_t commands[] = {7, 65535, 3, 9, 0};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(menu.GetCommand(i), commands[i]);
    EXPECT_STREQ(menu.GetCaption(0).GetBuffer(), "Relayout");
    EXPECT_STREQ(menu.GetCaption(2).GetBuffer(), "Delete knives\tCtrl+Shift+'Del'");
    EXPECT_STREQ(menu.GetCaption(3).GetBuffer(), "Select all\tCtrl+Alt+Shift+'Dele'");
    EXPECT_STREQ(menu.GetCaption(4).GetBuffer(), "Close\tAlt+'F4xy'");
    EXPECT_STREQ(menu.GetCaption(5).GetBuffer(), "");  // past the last item

    // Tracking: at the client point converted to the screen, with the button; the chosen item's
    // command reaches the window. A greyed item, a separator and a dismissed menu send nothing.
    // The window that holds the pointer loses it first.
    ws.SetCapture(window.GetHWND());
    ws.AnswerMenu(2);
    ws.AnswerMenu(4);
    ws.AnswerMenu(3);
    ws.AnswerMenu(1);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(menu.Track(&window, 20, 30, i != 1));
    EXPECT_EQ(ws.GetCapture(), 0);
    EXPECT_EQ(window.Only("notify:"), (std::vector<std::string>{"notify:304:-1:Menu:255", "notify:304:-1:Menu:255"}));
    EXPECT_EQ(window.commands, (std::vector<int32_t>{3, 0}));
    ASSERT_EQ(ws.Menus().size(), 5u);
    const qwp::MenuRequest& shown = ws.Menus()[1];
    EXPECT_EQ(shown.owner, window.GetHWND());
    EXPECT_EQ(shown.screenX, 320);
    EXPECT_EQ(shown.screenY, 230);
    EXPECT_FALSE(shown.leftButton);
    ASSERT_EQ(shown.items.size(), 5u);
    EXPECT_TRUE(shown.items[1].separator);
    EXPECT_TRUE(shown.items[2].checked);
    EXPECT_TRUE(shown.items[3].greyed);
    EXPECT_FALSE(shown.items[4].checked || shown.items[4].greyed);
    EXPECT_FALSE(menu.Track(nullptr, 0, 0, true));
    window.Close();
}

TEST_F(FileDialog, FilterListAndRequests)
{
    CQWF_PlatformFileDialog dialog;
    dialog.AddFilter("PNG (.png)", "png");
    CQWF_StringArray two;
    two.Add("psd");
    two.Add("png");
    dialog.AddFilter("Images", two);
    const std::string want("PNG (.png)\0*.png\0Images\0*.psd;*.png\0\0", 38);
    ASSERT_EQ(dialog.GetFilterBytes(), 36u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dialog.GetFilterBuffer().GetData()), 37), want.substr(0, 37));
    EXPECT_STREQ(dialog.GetDefaultExtension().GetBuffer(), "psd");

    // 36 + 957 + 1 + 4 + 2 reaches 1000: dropped, the default extension kept; one byte less fits,
    // and after it even a short filter no longer does.
    dialog.AddFilter(std::string(957, 'x').c_str(), "big");
    EXPECT_EQ(dialog.GetFilterBytes(), 36u);
    EXPECT_STREQ(dialog.GetDefaultExtension().GetBuffer(), "psd");
    dialog.AddFilter("Short", "s");
    EXPECT_EQ(dialog.GetFilterBytes(), 36u + 10u);
    dialog.AddFilter(std::string(946, 'y').c_str(), "b");
    EXPECT_EQ(dialog.GetFilterBytes(), 997u);
    dialog.AddFilter("T", "t");
    EXPECT_EQ(dialog.GetFilterBytes(), 997u);
    EXPECT_STREQ(dialog.GetDefaultExtension().GetBuffer(), "b");
    EXPECT_EQ(dialog.GetFilterBuffer().GetData()[997], 0);

    // The initial folder beside the module; the request carries title, folder, the name (save
    // only, at most 259 characters), the default extension and the filters read back.
    qwp::SetModuleFileNameForTesting("C:\\Plug-ins\\QWJigcrafter30.8bf");
    ASSERT_TRUE(dialog.SetInitialDirToModule("shapes"));
    EXPECT_STREQ(dialog.GetInitialDir().GetBuffer(), "C:\\Plug-ins\\shapes\\");
    ASSERT_TRUE(dialog.SetInitialDirToModule(""));
    EXPECT_STREQ(dialog.GetInitialDir().GetBuffer(), "C:\\Plug-ins\\");
    dialog.SetTitle("Save Document...");
    dialog.SetFileName(std::string(300, 'n').c_str());
    MenuWindow window;
    ASSERT_TRUE(window.CreateFromSkin("Demo", 0, 0, nullptr, 0));
    WriteJob job;
    EXPECT_FALSE(dialog.Save(WriteSingle, &job, &window, 0x51576A64, 0));  // unanswered: cancelled
    EXPECT_FALSE(dialog.Open(nullptr));
    ASSERT_EQ(ws.FileChoices().size(), 2u);
    const qwp::FileChoiceRequest& save = ws.FileChoices()[0];
    EXPECT_EQ(std::tie(save.save, save.owner, save.title, save.folder, save.fileName, save.defaultExtension),
              std::make_tuple(true, window.GetHWND(), "Save Document...", "C:\\Plug-ins\\", std::string(259, 'n'), "b"));
    ASSERT_EQ(save.filters.size(), 4u);
    EXPECT_EQ(save.filters[1].description, "Images");
    EXPECT_EQ(save.filters[1].extensions, (std::vector<std::string>{"psd", "png"}));
    EXPECT_EQ(save.filters[3].extensions, (std::vector<std::string>{"b"}));
    const qwp::FileChoiceRequest& open = ws.FileChoices()[1];
    EXPECT_EQ(std::tie(open.save, open.owner, open.fileName), std::make_tuple(false, 0, ""));
    EXPECT_TRUE(job.indices.empty());
    EXPECT_TRUE(ws.MessageBoxes().empty());
    window.Close();
}

TEST_F(FileDialog, SaveAndOpenWithWritersAndMessages)
{
    // The dialog runs over a window owned by another: both are disabled while it is open and
    // enabled again after, also when it is cancelled.
    MenuWindow owner, window;
    ASSERT_TRUE(owner.CreateFromSkin("Demo", 0, 0, nullptr, 0));
    ASSERT_TRUE(window.CreateFromSkin("Demo", 40, 40, &owner, 0));
    owner.Show();
    window.Show();
    std::vector<std::pair<bool, bool>> enabled;
    ws.whileChoosing = [&] { enabled.push_back({ws.IsEnabled(owner.GetHWND()), ws.IsEnabled(window.GetHWND())}); };

    CQWF_PlatformFileDialog dialog;
    dialog.AddFilter("Quarrow. Jigcrafter Document (.qwjd)", "qwjd");
    WriteJob job;
    job.text = "QWJW30 layout";
    ws.AnswerFile("C:\\out\\Puzzle.qwjd");
    ASSERT_TRUE(dialog.Save(WriteSingle, &job, &window, 0x51576A64, 0));
    EXPECT_EQ(Read("C:\\out\\Puzzle.qwjd"), "QWJW30 layout");
    EXPECT_EQ(job.readText, "QWJW30 layout");  // read-write: the writer read its file back
    ws.AnswerFile("");
    EXPECT_FALSE(dialog.Save(WriteSingle, &job, &window));
    EXPECT_EQ(enabled, (std::vector<std::pair<bool, bool>>{{false, false}, {false, false}}));
    EXPECT_TRUE(ws.IsEnabled(owner.GetHWND()));
    EXPECT_TRUE(ws.IsEnabled(window.GetHWND()));
    EXPECT_EQ(job.indices.size(), 1u);

    // Another mode on request: write-only cannot read back.
    dialog.SetWriteMode(CQWF_StdFile::kModeWrite);
    ws.AnswerFile("C:\\out\\WriteOnly.qwjd");
    EXPECT_FALSE(dialog.Save(WriteSingle, &job, &window));
    EXPECT_FALSE(qwp::PathExists("C:\\out\\WriteOnly.qwjd"));
    dialog.SetWriteMode(CQWF_StdFile::kModeCreateReadWrite);

    // A failing writer shows nothing (the writer reports its own failure) and leaves the file it
    // was to replace as it was, with nothing new beside it.
    job.failAt = 0;
    ws.AnswerFile("C:\\out\\Puzzle.qwjd");
    EXPECT_FALSE(dialog.Save(WriteSingle, &job, &window));
    EXPECT_EQ(Read("C:\\out\\Puzzle.qwjd"), "QWJW30 layout");
    EXPECT_EQ(qwtest::FolderNames(qwp::ToHostPath("C:\\out")), (std::vector<std::string>{"Puzzle.qwjd"}));
    EXPECT_TRUE(ws.MessageBoxes().empty());
    job.failAt = -1;

    // A file that cannot be opened: the message without an owner, no writer call.
    const size_t calls = job.indices.size();
    ws.AnswerFile("C:\\missing\\Puzzle.qwjd");
    EXPECT_FALSE(dialog.Save(WriteSingle, &job, &window));
    EXPECT_EQ(job.indices.size(), calls);
    ASSERT_EQ(ws.MessageBoxes().size(), 1u);
    EXPECT_EQ(Said(0), std::make_tuple("Can't Open file for writing.\nChoose another location.", "Error", 0));

    // Data the writer left in the stream that cannot reach the disk: the save fails, with the
    // message, and the partial file is deleted.
    {
        struct rlimit old;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 100;
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        job.text = std::string(3000, 'z');
        job.readBack = false;
        ws.AnswerFile("C:\\out\\Big.qwjd");
        const bool saved = dialog.Save(WriteSingle, &job, &window);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        EXPECT_FALSE(saved);
        EXPECT_FALSE(qwp::PathExists("C:\\out\\Big.qwjd"));
        ASSERT_EQ(ws.MessageBoxes().size(), 2u);
        EXPECT_EQ(ws.MessageBoxes()[1].request.text, "Can't Open file for writing.\nChoose another location.");
    }

    // Open: an existing file opens for reading; a missing one shows "Can't access this file.";
    // a cancel shows nothing.
    ASSERT_TRUE(qwtest::WriteWholeFile(qwp::ToHostPath("C:\\out\\In.qwjd"), "QWJW20"));
    ws.AnswerFile("C:\\out\\In.qwjd");
    ws.AnswerFile("C:\\out\\Gone.qwjd");
    ws.AnswerFile("");
    ASSERT_TRUE(dialog.Open(&window, 0x51576A64));
    EXPECT_STREQ(dialog.GetChosenPath().GetBuffer(), "C:\\out\\In.qwjd");
    CQWF_StdFile in;
    ASSERT_TRUE(dialog.OpenChosenFile(in, CQWF_StdFile::kModeRead));
    char head[6] = {};
    EXPECT_EQ(in.Read(head, 6), 6);
    EXPECT_EQ(std::string(head, 6), "QWJW20");
    EXPECT_FALSE(dialog.Open(&window));
    ASSERT_EQ(ws.MessageBoxes().size(), 3u);
    EXPECT_EQ(Said(2), std::make_tuple("Can't access this file.", "Error", 0));
    EXPECT_FALSE(dialog.Open(&window));
    EXPECT_EQ(ws.MessageBoxes().size(), 3u);
    EXPECT_FALSE(dialog.OpenChosenFile(in, CQWF_StdFile::kModeRead));
    window.Close();
    owner.Close();
}

TEST_F(FileDialog, SaveMultipleNamesAndStops)
{
    CQWF_PlatformFileDialog dialog;
    dialog.AddFilter("Portable Network Graphics (.png)", "png");
    CQWF_StringArray suffixes;
    for (const char* s : {"_Composite", "_F001-Piece3_R0_C0", "_F002-Piece4_R0_C1"}) suffixes.Add(s);
    WriteJob job;

    // Every file: the name before its last '.', the suffix, the extension.
    ws.AnswerFile("C:\\out\\Puzzle.v2.png");
    ASSERT_TRUE(dialog.SaveMultiple(suffixes, WriteText, &job, nullptr, 0x504E4766, 0));
    EXPECT_EQ(job.indices, (std::vector<int32_t>{0, 1, 2}));
    for (const char* name : {"C:\\out\\Puzzle.v2_Composite.png", "C:\\out\\Puzzle.v2_F001-Piece3_R0_C0.png",
                             "C:\\out\\Puzzle.v2_F002-Piece4_R0_C1.png"})
        EXPECT_EQ(Read(name), "data") << name;
    EXPECT_FALSE(qwp::PathExists("C:\\out\\Puzzle.v2.png"));

    // No '.' after the last '\': the whole name and the default extension. The second writer
    // fails: the first file stays, the second is deleted, the third never written.
    ASSERT_TRUE(qwp::CreateFolders("C:\\out.d"));
    job = WriteJob();
    job.failAt = 1;
    ws.AnswerFile("C:\\out.d\\Pieces");
    EXPECT_FALSE(dialog.SaveMultiple(suffixes, WriteText, &job, nullptr));
    EXPECT_EQ(job.indices, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(Read("C:\\out.d\\Pieces_Composite.png"), "data");
    EXPECT_FALSE(qwp::PathExists("C:\\out.d\\Pieces_F001-Piece3_R0_C0.png"));
    EXPECT_FALSE(qwp::PathExists("C:\\out.d\\Pieces_F002-Piece4_R0_C1.png"));
    EXPECT_TRUE(ws.MessageBoxes().empty());

    // A file of the series that cannot be opened ends it with the message; the result tells that
    // not every file was written.
    CQWF_StringArray broken;
    broken.Add("_A");
    broken.Add("\\missing\\B");
    broken.Add("_C");
    job = WriteJob();
    ws.AnswerFile("C:\\out\\Set.png");
    EXPECT_FALSE(dialog.SaveMultiple(broken, WriteText, &job, nullptr));
    EXPECT_EQ(job.indices, (std::vector<int32_t>{0}));
    EXPECT_EQ(Read("C:\\out\\Set_A.png"), "data");
    EXPECT_FALSE(qwp::PathExists("C:\\out\\Set_C.png"));
    ASSERT_EQ(ws.MessageBoxes().size(), 1u);
    EXPECT_EQ(ws.MessageBoxes()[0].request.text, "Can't Open file for writing.\nChoose another location.");

    // Nothing to write, or cancelled: false.
    ws.AnswerFile("C:\\out\\None.png");
    EXPECT_FALSE(dialog.SaveMultiple(CQWF_StringArray(), WriteText, &job, nullptr));
    EXPECT_FALSE(dialog.SaveMultiple(suffixes, WriteText, &job, nullptr));
    EXPECT_FALSE(dialog.SaveMultiple(suffixes, nullptr, &job, nullptr));
    EXPECT_EQ(dialog.GetError(), QWF_ERR_ARGUMENT);
}
