// The shape-name, custom mutations and auto layout dialogs opened from the compiled skin and
// driven through their controls, headless, in their modal runs.
#include "dialog_test_support.h"

#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "plugin/windows/wnd_autolayout.h"
#include "plugin/windows/wnd_custommutations.h"
#include "plugin/windows/wnd_shapename.h"

using dlgtest::Click;
using dlgtest::EditText;
using dlgtest::Get;
using dlgtest::TypeInto;

namespace {

using SmallDialogs = dlgtest::DialogTest;

}  // namespace

TEST_F(SmallDialogs, ShapeNameEnablesOkForNonBlankNamesAndReturnsTheTextAsTyped)
{
    CWnd_ShapeName w(&host);
    w.SetName("");
    w.SetPositionGroup("Pres Mng");
    const int32_t result = RunWith(w, [&] {
        CQWF_Control* ok = Get(w, "ShapeName_Ok", QWF_CTRL_BUTTON);
        EXPECT_FALSE(ok->IsEnabled());
        // The name field has the focus from the start: typing goes into it.
        EXPECT_TRUE(Get(w, "ShapeName_Name", QWF_CTRL_EDIT)->IsFocused());
        ui.Type(" ");
        EXPECT_EQ(EditText(w, "ShapeName_Name"), " ");
        EXPECT_FALSE(ok->IsEnabled());
        ui.Type("a");
        EXPECT_TRUE(ok->IsEnabled());
        TypeInto(ui, w, "ShapeName_Name", "  Tab  ");
        EXPECT_TRUE(ok->IsEnabled());
        // The Help button opens the host's menu; its chosen item goes back to the host.
        ui.Ws().AnswerMenu(2);
        Click(ui, w, "ShapeName_Help", QWF_CTRL_BUTTON);
        // One Enter in the field confirms (it ends the editing on the way).
        Click(ui, w, "ShapeName_Name", QWF_CTRL_EDIT);
        ui.Key(qwp::vk::End);
        ui.Key(qwp::vk::Return);
        EXPECT_FALSE(w.GetHWND()) << "one Enter did not end the dialog";
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(w.GetName(), "  Tab  ");
    EXPECT_EQ(host.helpCommands, (std::vector<int32_t>{1}));
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Pres Mng>Shape Name"}));

    // Escape cancels even after the text changed; the proposal stays, no position is stored.
    CWnd_ShapeName again(&host);
    again.SetName("Star");
    again.SetPositionGroup("Cutter");
    const int32_t second = RunWith(again, [&] {
        EXPECT_TRUE(Get(again, "ShapeName_Ok", QWF_CTRL_BUTTON)->IsEnabled());
        EXPECT_EQ(EditText(again, "ShapeName_Name"), "Star");
        TypeInto(ui, again, "ShapeName_Name", "Moon");
        ui.Key(qwp::vk::Escape);
        EXPECT_FALSE(again.GetHWND()) << "one Escape did not end the dialog";
    });
    EXPECT_EQ(second, 0);
    EXPECT_STREQ(again.GetName(), "Star");
    EXPECT_EQ(host.saved.size(), 1u);
    // The stored position is where the next one opens.
    CWnd_ShapeName third(&host);
    third.SetPositionGroup("Pres Mng");
    RunWith(third, [&] {
        QWF_Rect r;
        third.GetWindowRect(r);
        EXPECT_EQ(r.left, host.positions["Pres Mng>Shape Name"].first);
        Click(ui, third, "ShapeName_CloseX", QWF_CTRL_BUTTON);
    });
}

TEST_F(SmallDialogs, CustomMutationsKeepSlidersEditsAndAmountsTogether)
{
    CWnd_CustomMutations w(&host);
    w.Model().SetAmount(CCustomMutationsModel::kS, 0.125f);
    w.Model().SetAmount(CCustomMutationsModel::kU, 0.124f);
    const int32_t result = RunWith(w, [&] {
        auto* s = static_cast<CQWF_CtrlSlider*>(Get(w, "CMuts_MutS", QWF_CTRL_SLIDER));
        auto* u = static_cast<CQWF_CtrlSlider*>(Get(w, "CMuts_MutU", QWF_CTRL_SLIDER));
        auto* h = static_cast<CQWF_CtrlSlider*>(Get(w, "CMuts_MutH", QWF_CTRL_SLIDER));
        EXPECT_EQ(EditText(w, "CMuts_MutS"), "13");
        EXPECT_EQ(EditText(w, "CMuts_MutU"), "12");
        EXPECT_EQ(s->GetValue(), 13u);
        // Typed values move the slider at once, clamped; the text is rewritten on leaving.
        TypeInto(ui, w, "CMuts_MutH", "250");
        EXPECT_EQ(h->GetValue(), 100u);
        EXPECT_EQ(EditText(w, "CMuts_MutH"), "250");
        // An emptied edit reads as 0.
        TypeInto(ui, w, "CMuts_MutU", "");
        ui.Key(qwp::vk::Back);
        EXPECT_EQ(EditText(w, "CMuts_MutH"), "100");
        EXPECT_EQ(EditText(w, "CMuts_MutU"), "");
        EXPECT_EQ(u->GetValue(), 0u);
        Click(ui, w, "CMuts_MutS", QWF_CTRL_EDIT);
        EXPECT_EQ(EditText(w, "CMuts_MutU"), "0");
        // Dragging S to 40 with Shift held sets all three.
        const CQWF_CtrlSlider::Point* from = s->GetPoint(s->GetCurrentPoint());
        const CQWF_CtrlSlider::Point* to = s->GetPoint(40);
        ui.Ws().KeyDown(qwp::vk::Shift);
        ui.Drag(w, from->x, from->y, to->x, to->y, 5);
        ui.Ws().KeyUp(qwp::vk::Shift);
        EXPECT_EQ(s->GetValue(), 40u);
        EXPECT_EQ(u->GetValue(), 40u);
        EXPECT_EQ(h->GetValue(), 40u);
        EXPECT_EQ(EditText(w, "CMuts_MutH"), "40");
        // The Help button's menu: its chosen item goes to the host.
        ui.Ws().AnswerMenu(2);
        Click(ui, w, "CMuts_Help", QWF_CTRL_BUTTON);
        // One Enter in a field confirms.
        Click(ui, w, "CMuts_MutH", QWF_CTRL_EDIT);
        ui.Key(qwp::vk::Return);
        EXPECT_FALSE(w.GetHWND()) << "one Enter did not end the dialog";
    });
    EXPECT_EQ(result, 1);
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(w.Model().GetAmount(k), 0.40f) << k;
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Cutter>CMuts"}));
    EXPECT_EQ(host.helpCommands, (std::vector<int32_t>{1}));

    CWnd_CustomMutations cancelled(&host);
    EXPECT_EQ(RunWith(cancelled, [&] { Click(ui, cancelled, "CMuts_Cancel", QWF_CTRL_BUTTON); }), 0);
    EXPECT_EQ(host.saved.size(), 1u);
}

TEST_F(SmallDialogs, AutoLayoutHoldsValuesToTheChosenShapeAndShowsItsPicture)
{
    CWnd_AutoLayout w(&host);
    w.Model().SetRegular(true);
    const int32_t result = RunWith(w, [&] {
        auto* cols = static_cast<CQWF_CtrlSlider*>(Get(w, "AutoLayout_Cols", QWF_CTRL_SLIDER));
        auto* tri = static_cast<CQWF_CtrlStaticImage*>(Get(w, "AutoLayout_Tri", QWF_CTRL_STATIC_IMAGE));
        auto* hex = static_cast<CQWF_CtrlStaticImage*>(Get(w, "AutoLayout_Hex", QWF_CTRL_STATIC_IMAGE));
        EXPECT_TRUE(Get(w, "AutoLayout_Tri", QWF_CTRL_RADIO)->GetCheck());
        EXPECT_TRUE(Get(w, "AutoLayout_Regular", QWF_CTRL_CHECKBOX)->GetCheck());
        EXPECT_EQ(tri->GetOpacity(), 255);
        EXPECT_EQ(hex->GetOpacity(), 0);
        EXPECT_EQ(EditText(w, "AutoLayout_Rows"), "2");
        // "0" rows give 1; 90 columns stand for triangles.
        TypeInto(ui, w, "AutoLayout_Rows", "0");
        EXPECT_EQ(w.Model().GetRows(), 1);
        EXPECT_EQ(EditText(w, "AutoLayout_Rows"), "0");
        TypeInto(ui, w, "AutoLayout_Cols", "90");
        EXPECT_EQ(EditText(w, "AutoLayout_Rows"), "1");
        EXPECT_EQ(cols->GetValueScaled(1, 97), 90);
        // Hexagons clamp the columns to 48 and show their picture.
        Click(ui, w, "AutoLayout_Hex", QWF_CTRL_RADIO);
        EXPECT_EQ(w.Model().GetShape(), CAutoLayoutModel::kHexagonal);
        EXPECT_EQ(w.Model().GetColumns(), 48);
        EXPECT_EQ(EditText(w, "AutoLayout_Cols"), "48");
        EXPECT_EQ(cols->GetValueScaled(1, 48), 48);
        EXPECT_EQ(tri->GetOpacity(), 0);
        EXPECT_EQ(hex->GetOpacity(), 255);
        // The slider's end is the shape's maximum.
        const CQWF_CtrlSlider::Point* from = cols->GetPoint(cols->GetCurrentPoint());
        const CQWF_CtrlSlider::Point* mid = cols->GetPoint(cols->GetPointCount() / 2);
        ui.Drag(w, from->x, from->y, mid->x, mid->y, 4);
        EXPECT_EQ(w.Model().GetColumns(), cols->GetValueScaled(1, 48));
        EXPECT_EQ(EditText(w, "AutoLayout_Cols"), std::to_string(w.Model().GetColumns()));
        EXPECT_LT(w.Model().GetColumns(), 40);
        // Ten wheel notches back: the model follows.
        const int32_t dragged = w.Model().GetColumns();
        ui.Wheel(w, mid->x, mid->y, -10);
        EXPECT_LT(w.Model().GetColumns(), dragged);
        EXPECT_EQ(w.Model().GetColumns(), cols->GetValueScaled(1, 48));
        Click(ui, w, "AutoLayout_Regular", QWF_CTRL_CHECKBOX);
        EXPECT_FALSE(w.Model().IsRegular());
        ui.Ws().AnswerMenu(2);
        Click(ui, w, "AutoLayout_Help", QWF_CTRL_BUTTON);
        Click(ui, w, "AutoLayout_Cancel", QWF_CTRL_BUTTON);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(host.saved.empty());
    EXPECT_EQ(host.helpCommands, (std::vector<int32_t>{1}));

    // A second run: the hints of the controls under the mouse fade in; OK stores the position.
    CWnd_AutoLayout again(&host);
    again.Model().SetShape(CAutoLayoutModel::kHexagonal);
    const int32_t ok = RunWith(again, [&] {
        auto* status = static_cast<CQWF_CtrlStaticText*>(Get(again, "AutoLayout_Status", QWF_CTRL_STATIC_TEXT));
        dlgtest::Wait(ui, 300);
        EXPECT_STREQ(status->GetText(), "AutoLayout::0:0");
        const QWF_Rect r = Get(again, "AutoLayout_Regular", QWF_CTRL_CHECKBOX)->GetRect();
        ui.MoveTo(again, r.left + 3, (r.top + r.bottom) / 2);
        dlgtest::Wait(ui, 600);
        EXPECT_STREQ(status->GetText(), "AutoLayout:AutoLayout_Regular:1:7");
        EXPECT_EQ(status->GetOpacity(), 255);
        const QWF_Rect p = Get(again, "AutoLayout_Hex", QWF_CTRL_STATIC_IMAGE)->GetRect();
        ui.MoveTo(again, (p.left + p.right) / 2, (p.top + p.bottom) / 2);
        dlgtest::Wait(ui, 600);
        EXPECT_STREQ(status->GetText(), "AutoLayout:AutoLayout_Regular:1:7");
        // One Enter in a field confirms.
        Click(ui, again, "AutoLayout_Rows", QWF_CTRL_EDIT);
        ui.Key(qwp::vk::Return);
        EXPECT_FALSE(again.GetHWND()) << "one Enter did not end the dialog";
    });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(again.Model().GetShape(), CAutoLayoutModel::kHexagonal);
    EXPECT_EQ(host.saved, (std::vector<std::string>{"Cutter>AutoLayout"}));
}
