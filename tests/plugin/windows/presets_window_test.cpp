// The presets manager opened from the compiled skin on a library in a temporary folder and driven
// through its cells, list, keys, buttons and file choices, headless, in its modal run.
#include "dialog_test_support.h"

#include <sys/stat.h>

#include <algorithm>

#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_static.h"
#include "platform/qw_paths.h"
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/wnd_presets.h"

using dlgtest::Click;
using dlgtest::Get;

namespace {

struct KnifeTaker : CShapeReceiver {
    void SetShape(const KnifeShape& shape, bool clone) override
    {
        received.push_back(shape.nodeCount);
        cloned = clone;
    }
    std::vector<int> received;
    bool cloned = false;
};

std::string Win(const std::string& path) { return qwp::ToWindowsPath(path.c_str()); }

int64_t FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

class PresetsWindow : public dlgtest::DialogTest {
protected:
    std::vector<std::string> Names(CWnd_PresetsManager& w)
    {
        std::vector<std::string> out;
        auto* list = static_cast<CQWF_CtrlList*>(Get(w, "PresMng_List", QWF_CTRL_LIST));
        for (int32_t i = 0; i < list->GetCount(); ++i) {
            CQWF_String text;
            list->GetItem(i, &text, nullptr, nullptr);
            out.push_back(text.GetBuffer());
        }
        return out;
    }
    std::vector<size_t> Selected(CWnd_PresetsManager& w)
    {
        std::vector<size_t> out;
        for (size_t i = 0; i < w.Model().GetCount(); ++i)
            if (w.Model().IsSelected(i)) out.push_back(i);
        return out;
    }
    void ClickCell(CWnd_PresetsManager& w, int cell, bool ctrl = false)
    {
        QWF_Rect r;
        CQWF_String key;
        ASSERT_TRUE(w.LoadRect(key.Format(w.Model().IsBigIcons() ? "PresMng_BigIco%d" : "PresMng_SmallIco%d", cell + 1), r));
        if (ctrl) ui.Ws().KeyDown(qwp::vk::Control);
        ui.Click(w, r.left + 5, r.top + 5);
        if (ctrl) ui.Ws().KeyUp(qwp::vk::Control);
        ui.Pump();
    }
    void CtrlKey(uint32_t key)
    {
        ui.Ws().KeyDown(qwp::vk::Control);
        ui.Key(key);
        ui.Ws().KeyUp(qwp::vk::Control);
        ui.Pump();
    }
    // Types a name over the proposal of the shape-name dialog (its field has the focus, the
    // proposal selected) and confirms.
    void NameInDialog(const char* name)
    {
        ui.Type(name);
        ui.Key(qwp::vk::Return);
    }
    bool Enabled(CWnd_PresetsManager& w, const char* name) { return Get(w, name, QWF_CTRL_BUTTON)->IsEnabled(); }
    KnifeTaker cutter;
    qwtest::TempDir dir;
};

}  // namespace

TEST_F(PresetsWindow, ManagesTheLibraryThroughCellsListKeysAndSets)
{
    const std::string library = dir.File("ckss.data");
    const std::string set = dir.File("two.qwjk");
    CWnd_PresetsManager w(&host, &cutter);
    w.SetLibraryPath(Win(library).c_str());
    std::vector<std::string> builtIn;
    ui.Ws().PushIdleAction([&] {
        // No library yet: the built-in set becomes it, on disk at once.
        builtIn = Names(w);
        ASSERT_GE(builtIn.size(), 10u);
        EXPECT_EQ(FileSize(library), int64_t(836 * builtIn.size()));
        EXPECT_FALSE(Enabled(w, "PresMng_DelShape"));
        // Each of the eight cells, the first one too, shows its record's light curve on the
        // dark cell.
        const qwtest::Picture start = ui.Pixels(w);
        for (int k = 1; k <= 8; ++k) {
            QWF_Rect cell;
            CQWF_String key;
            ASSERT_TRUE(w.LoadRect(key.Format("PresMng_SmallIco%d", k), cell));
            int light = 0;
            for (int32_t y = cell.top; y < cell.bottom; ++y)
                for (int32_t x = cell.left; x < cell.right; ++x)
                    light += (start.At(x, y) & 0x808080u) == 0x808080u;
            EXPECT_GT(light, 20) << k;
        }
        // Cells select; Ctrl adds; the buttons follow the selection, the list too.
        ClickCell(w, 1);
        EXPECT_EQ(Selected(w), (std::vector<size_t>{1}));
        EXPECT_TRUE(Enabled(w, "PresMng_RenShape"));
        ClickCell(w, 3, true);
        EXPECT_EQ(Selected(w), (std::vector<size_t>{1, 3}));
        EXPECT_FALSE(Enabled(w, "PresMng_RenShape"));
        EXPECT_TRUE(Enabled(w, "PresMng_SaveSet"));
        bool listed = false;
        static_cast<CQWF_CtrlList*>(Get(w, "PresMng_List", QWF_CTRL_LIST))->GetItem(3, nullptr, &listed, nullptr);
        EXPECT_TRUE(listed);
        // The selected cells are filled; an unselected one is not.
        QWF_Rect sel, other;
        ASSERT_TRUE(w.LoadRect("PresMng_SelSmallIco2", sel));
        ASSERT_TRUE(w.LoadRect("PresMng_SelSmallIco3", other));
        const qwtest::Picture shown = ui.Pixels(w);
        EXPECT_NE(shown.At(sel.left + 2, sel.top + 2), shown.At(other.left + 2, other.top + 2));
        // Ctrl+A selects all, Ctrl+D deselects.
        CtrlKey('A');
        EXPECT_EQ(Selected(w).size(), builtIn.size());
        CtrlKey('D');
        EXPECT_TRUE(Selected(w).empty());
        // A click on a list item selects its record.
        auto* list = static_cast<CQWF_CtrlList*>(Get(w, "PresMng_List", QWF_CTRL_LIST));
        const QWF_Rect text = list->GetTextRect();
        ui.Click(w, text.left + 10, text.top + 16 + 8);
        EXPECT_EQ(Selected(w), (std::vector<size_t>{1}));
        // R renames through the shape-name dialog (it opens where its position is stored).
        host.positions["Pres Mng>Shape Name"] = {200, 150};
        ui.Ws().PushIdleAction([&] { NameInDialog("aaa first"); });
        ui.Key('R');
        EXPECT_EQ(Names(w)[1], "aaa first");
        // Two shapes saved as a set.
        ClickCell(w, 0);
        ClickCell(w, 1, true);
        ui.Ws().AnswerFile(Win(set));
        Click(ui, w, "PresMng_SaveSet", QWF_CTRL_BUTTON);
        EXPECT_GT(FileSize(set), 0);
        // Delete removes them without a question; the set appended brings them back, last.
        ui.Key(qwp::vk::Delete);
        EXPECT_EQ(w.Model().GetCount(), builtIn.size() - 2);
        EXPECT_TRUE(Selected(w).empty());
        ui.Ws().AnswerFile(Win(set));
        Click(ui, w, "PresMng_LoadSet", QWF_CTRL_BUTTON);
        std::vector<std::string> names = Names(w);
        ASSERT_EQ(names.size(), builtIn.size());
        EXPECT_EQ(names[names.size() - 2], builtIn[0]);
        EXPECT_EQ(names.back(), "aaa first");
        // Sorting is byte-wise: capitals first, so "aaa first" ends last of the sorted names.
        Click(ui, w, "PresMng_Sort", QWF_CTRL_BUTTON);
        names = Names(w);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        // Large icons: two cells, the scroll bar moves them on; the names show under them.
        Click(ui, w, "PresMng_Lico", QWF_CTRL_RADIO);
        EXPECT_EQ(w.Model().GetCellCount(), 2);
        Click(ui, w, "PresMng_ScrollH_Right", QWF_CTRL_BUTTON);
        EXPECT_EQ(w.Model().GetFirstShown(), 1u);
        auto* name2 = static_cast<CQWF_CtrlStaticText*>(Get(w, "PresMng_BigIcoName2", QWF_CTRL_STATIC_TEXT));
        EXPECT_EQ(std::string(name2->GetText()), names[2]);
        // A rename in large-icon mode shows the new name under its cell at once.
        ClickCell(w, 1);
        ui.Ws().PushIdleAction([&] { NameInDialog("zzz renamed"); });
        ui.Key('R');
        EXPECT_EQ(Names(w)[2], "zzz renamed");
        EXPECT_EQ(std::string(name2->GetText()), "zzz renamed");
        ASSERT_TRUE(ui.Screenshot(w, "presets_large_renamed"));
        // An empty set file is of no known kind.
        names = Names(w);
        ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("empty.qwjk"), ""));
        ui.Ws().AnswerFile(Win(dir.File("empty.qwjk")));
        Click(ui, w, "PresMng_LoadSet", QWF_CTRL_BUTTON);
        EXPECT_EQ(host.errors, std::vector<std::string>{shape_text::kUnknownFormat});
        EXPECT_EQ(Names(w), names);
        // A knife-shape file joins the library under the name given to it, last.
        KnifeShape three{};
        three.nodeCount = 3;
        for (int i = 0; i < 3; ++i) three.U[i] = 0.25 * (i + 1);
        {
            CQWF_StdFile file;
            ASSERT_TRUE(file.Open(CQWF_String(Win(dir.File("three.qwjh")).c_str()), CQWF_StdFile::kModeCreateReadWrite));
            ASSERT_TRUE(SaveKnifeShapeFile(file, three, nullptr));
        }
        ui.Ws().AnswerFile(Win(dir.File("three.qwjh")));
        ui.Ws().PushIdleAction([&] { NameInDialog("loaded"); });
        Click(ui, w, "PresMng_LoadShape", QWF_CTRL_BUTTON);
        EXPECT_EQ(Names(w).back(), "loaded");
        // A double click on a cell sends its shape to the Cutter, and Enter, and "To Cutter";
        // the window stays. The Help menu's chosen item goes to the host.
        QWF_Rect big;
        ASSERT_TRUE(w.LoadRect("PresMng_BigIco1", big));
        ui.Click(w, big.left + 20, big.top + 20);
        ui.Click(w, big.left + 20, big.top + 20);
        ASSERT_EQ(cutter.received.size(), 1u);
        EXPECT_TRUE(cutter.cloned);
        ui.Key(qwp::vk::Return);
        Click(ui, w, "PresMng_ToCutter", QWF_CTRL_BUTTON);
        ui.Ws().AnswerMenu(2);
        Click(ui, w, "PresMng_Help", QWF_CTRL_BUTTON);
        EXPECT_EQ(cutter.received.size(), 3u);
        // "To Cutter, Close" sends it again and ends the run.
        Click(ui, w, "PresMng_ToCutterClose", QWF_CTRL_BUTTON);
    });
    EXPECT_EQ(w.Run(nullptr), 0);
    EXPECT_EQ(cutter.received.size(), 4u);
    EXPECT_EQ(host.helpCommands, (std::vector<int32_t>{1}));
    // Closing wrote the sorted library.
    EXPECT_EQ(FileSize(library), int64_t(836 * (builtIn.size() + 1)));
    CPresetsManagerModel reread;
    reread.SetLibraryPath(CQWF_String(Win(library).c_str()));
    ASSERT_TRUE(reread.ReadLibrary());
    CQWF_String last;
    reread.GetName(reread.GetCount() - 2, last);
    EXPECT_STREQ(last.GetBuffer(), "aaa first");
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Pres Mng>Shape Name", "Pres Mng>Shape Name",
                                                    "Pres Mng>Shape Name", "Cutter>Pres Mng"}));
}

TEST_F(PresetsWindow, ALibraryThatCannotBeWrittenIsReportedAlsoOnClosing)
{
    // The library's folder is a file: the built-in set cannot become the library, and the
    // library in memory cannot be written when the window closes; both are reported.
    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("plain"), "x"));
    CWnd_PresetsManager w(&host, &cutter);
    w.SetLibraryPath(Win(dir.File("plain/ckss.data")).c_str());
    ui.Ws().PushIdleAction([&] {
        EXPECT_EQ(host.errors, (std::vector<std::string>{"Cannot update presets file..."}));
        EXPECT_EQ(w.Model().GetCount(), 0u);
        ui.Key(qwp::vk::Escape);
    });
    EXPECT_EQ(w.Run(nullptr), 0);
    EXPECT_EQ(host.errors, (std::vector<std::string>{"Cannot update presets file...", "Cannot update presets file..."}));
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Cutter>Pres Mng"}));
    EXPECT_TRUE(cutter.received.empty());
}
