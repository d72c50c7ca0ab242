// The hint texts of every window of the filter: one fixed table per window, looked up by the
// control's skin name (without regard to ASCII case), with the few rules that depend on the
// control's kind, on the window's mode and on whether the control is enabled. The texts are
// Windows-1252 ("\x96" is an en dash); "\n" breaks the line.
#include <cstring>

#include "framework/ui/qwf_control.h"
#include "plugin/main/filter_app.h"

namespace {

struct Hint {
    const char* key;
    const char* text;
};

constexpr char kReady[] = "\nReady...";
constexpr char kHelp[] = "Click for Help, On-line User Guide, About, etc.";

bool Same(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
        if (!x) return true;
    }
}

bool EndsWith(const char* text, const char* tail)
{
    const size_t n = std::strlen(text), m = std::strlen(tail);
    return n >= m && Same(text + n - m, tail);
}

template <size_t N>
const char* Find(const Hint (&table)[N], const char* key)
{
    for (const Hint& h : table)
        if (Same(h.key, key)) return h.text;
    return nullptr;
}

// --- Document Channels: one wording for knives (Layout mode), one for pieces ---

struct ChannelHints {
    const char* selNew;
    const char* selAdd;
    const char* selSub;
    const char* selInter;
    const char* description;
};

constexpr ChannelHints kChannelKnives = {
    "Click to use the content of the picked channel as a map for selecting knives. On \nthat "
    "action the knives on the map replace the existing selection.",
    "Click to use the content of the picked channel as a map for selecting knives. On \nthat "
    "action the selected knives will be added to the existing selection.",
    "Click to use the content of the picked channel as a map for selecting knives. On \nthat "
    "action the knives on the map will be removed from the existing selection.",
    "Click to use the content of the picked channel as a map for selecting knives. On \nthat "
    "action only the knives both selected and on the map stay selected.",
    "The Document Channels window. Use the controls located in this window when you \nwant to use "
    "the content of the document channels as maps for selecting knives.",
};

constexpr ChannelHints kChannelPieces = {
    "Click to use the content of the picked channel as a map for selecting pieces. On \nthat "
    "action the pieces on the map replace the existing selection.",
    "Click to use the content of the picked channel as a map for selecting pieces. On \nthat "
    "action the selected pieces will be added to the existing selection.",
    "Click to use the content of the picked channel as a map for selecting pieces. On \nthat "
    "action the pieces on the map will be removed from the existing selection.",
    "Click to use the content of the picked channel as a map for selecting pieces. On \nthat "
    "action only the pieces both selected and on the map stay selected.",
    "The Document Channels window. Use the controls located in this window when you \nwant to use "
    "the content of the document channels as maps for selecting pieces.",
};

constexpr Hint kChannels[] = {
    {"ChannelList_CloseX", "Click to close the Document Channels window and cancel \nall actions "
                           "that you have done."},
    {"ChannelList_Cancel", "Click the button to cancel the actions that you have done. \nThe "
                           "Document Channels window closes."},
    {"ChannelList_Ok", "Click the button to confirm the actions that you have done. \nThe "
                       "Document Channels window closes."},
    {"ChannelList_Invert", "Select, if you want the content of the picked channel \nto be used "
                           "inverted."},
    {"Zone_Preview", "Preview of the picked channel as it will be used as a map."},
    {"ChannelList_List", "The channels of the document. Click a channel to pick it \nas the map."},
};

const char* ChannelsHint(const char* key, uint8_t mode)
{
    const ChannelHints& h = mode == 1 ? kChannelKnives : kChannelPieces;
    if (Same(key, "ChannelList_SelNew")) return h.selNew;
    if (Same(key, "ChannelList_SelAdd")) return h.selAdd;
    if (Same(key, "ChannelList_SelSub")) return h.selSub;
    if (Same(key, "ChannelList_SelInter")) return h.selInter;
    if (const char* t = Find(kChannels, key)) return t;
    return h.description;
}

// --- the effect windows ---

constexpr Hint kEffectEndings[] = {
    {"_CloseX", "Click to close the effect's window and cancel all \nactions that you have done."},
    {"_Cancel", "Click the button to cancel the actions that you \nhave done. The effect's window "
                "closes."},
    {"_Ok", "Click the button to confirm the actions that you \nhave done. The effect's window "
            "closes."},
    {"_Reset", "Click to cancel all adjustments and set all parameters \nto their initial values. "
               "The effect window remains open."},
    {"_Preview", "See in real time all changes that you make in the \neffect's window."},
    {"_AAdjust", "Select to switch on the Auto Adjustments mode: the values \nof the parameters "
                 "are distributed within the selected (or all) pieces."},
    {"_Object", "Click to adjust the effect of the selected pieces \n(of all pieces when none is "
                "selected)."},
    {"_Object2", "Click to adjust the effect of all pieces, whether \nselected or not."},
    {"_ARND", "Each click randomizes the distribution of the \nparameter's values within the "
              "selected (or all) pieces."},
};

constexpr Hint kEffect[] = {
    {"FXbevel_HLOpacity", "Drag the slider for the opacity of the highlight. In the \nAuto "
                          "Adjustments mode specifies the range of the values."},
    {"FXbevel_SHOpacity", "Drag the slider for the opacity of the shadow. In the \nAuto "
                          "Adjustments mode specifies the range of the values."},
    {"FXBevel_LightThumb", "Drag the light source to set the angle and the altitude \nof the "
                           "light that shapes the bevel."},
    {"Zone_Bevel_3DLight", "The light of the bevel. Click or drag inside to set \nthe angle and "
                           "the altitude of the light."},
    {"Zone_Bevel_HLSwatch", "Click the swatch to choose the color of the \nbevel's highlight."},
    {"Zone_Bevel_SHSwatch", "Click the swatch to choose the color of the \nbevel's shadow."},
    {"FXcovr_Color1", "Click the swatch to choose the color. In the Auto \nAdjustments mode, it "
                      "specifies the initial color."},
    {"FXcovr_Color2", "Click the swatch to choose the color. In the Auto \nAdjustments mode, it "
                      "specifies the final color."},
    {"FXcovr_AColor", "Select, if you want the overlay colors distributed \nbetween the initial "
                      "and the final color."},
    {"FXstroke_Color1", "Click the swatch to choose the color. In the Auto \nAdjustments mode, it "
                        "specifies the initial color."},
    {"FXstroke_Color2", "Click the swatch to choose the stroke's color. In the Auto \nAdjustments "
                        "mode, it specifies the final color."},
    {"FXstroke_AColor", "Select, if you want the stroke colors distributed \nbetween the initial "
                        "and the final color."},
    {"FXmblur_Dir1", "Rotate the slider for the desired value. In the Auto \nAdjustments mode "
                     "specifies the parameter's initial value."},
    {"FXmblur_Dir2", "Rotate the slider for the desired value. In the Auto \nAdjustments mode "
                     "specifies the parameter's final value."},
    {"FXiovr_ChooseImage", "Click to choose the document layer whose image \noverlays the "
                           "pieces."},
};

const char* EffectHint(const char* key, uint8_t kind)
{
    if (kind == QWF_CTRL_EDIT)
        return "Click and enter the desired value of the parameter.\nTo confirm, press Enter. To "
               "cancel, press Esc.";
    for (const Hint& h : kEffectEndings)
        if (EndsWith(key, h.key)) return h.text;
    if (kind == QWF_CTRL_RADIO)
        return "Click to set the direction of the distribution of the \nparameter's values within "
               "the selected (or all) pieces.";
    if (const char* t = Find(kEffect, key)) return t;
    if (kind == QWF_CTRL_CHECKBOX)
        return "Select, if you want the values of the parameter \ndistributed within the selected "
               "(or all) pieces.";
    if (kind == QWF_CTRL_SLIDER)
        return "Drag the slider(s) for the desired value(s). In the Auto\n Adjustments mode "
               "specifies the range of the values.";
    return "Use the controls located in this window and adjust the \nparameters of the effect.";
}

// --- Auto Layout ---

constexpr Hint kAutoLayout[] = {
    {"AutoLayout_CloseX", "Click to close the Auto Layout window and cancel \nall actions that "
                          "you have done."},
    {"AutoLayout_Ok", "Click the button to create the chosen layout. \nThe Auto Layout window "
                      "closes."},
    {"AutoLayout_Cancel", "Click the button to cancel the actions that you have done. \nThe Auto "
                          "Layout window closes."},
    {"AutoLayout_Tri", "Select to create a triangular layout."},
    {"AutoLayout_Hex", "Select to create a hexagonal layout."},
    {"AutoLayout_Regular", "Select, if you want regular triangles or hexagons \n(all sides of "
                           "the same length)."},
    {"AutoLayout_Rows", "Drag the slider to set the number of rows of the layout."},
    {"AutoLayout_Cols", "Drag the slider to set the number of columns of the layout."},
};

// --- Preset Manager ---

constexpr Hint kPresets[] = {
    {"PresMng_CloseX", "Click to close the Preset Manager window."},
    {"PresMng_Done", "Click the button to confirm the actions that you have done. \nThe Preset "
                     "Manager window closes."},
    {"PresMng_SaveSet", "Click to save the current Set of Paths as an .QWJK file."},
    {"PresMng_ReplaceSet", "Click to replace the current Set of Paths with a Set \nloaded from an "
                           ".QWJK file."},
    {"PresMng_LoadSet", "Click to load a Set of Paths from an .QWJK file and add \nits Paths to "
                        "the current Set."},
    {"PresMng_LoadShape", "Click to load a knife's Path from an .QWJH file \ninto the current "
                          "Set."},
    {"PresMng_RenShape", "Click to rename the selected knife's Path."},
    {"PresMng_DelShape", "Click to delete the selected knives' Paths from the current Set."},
    {"PresMng_Sort", "Click to sort the Paths of the current Set by their names."},
    {"PresMng_Sico", "Click to show the Paths of the current Set as small icons."},
    {"PresMng_Lico", "Click to show the Paths of the current Set as big icons."},
    {"PresMng_List", "The Paths of the current Set by name. Click a Path to select it; \n"
                     "double-click it to pass it to the Cutter."},
    {"PresMng_BigIcoBg", "The Paths of the current Set as big icons. Click a Path to select \nit; "
                         "double-click it to pass it to the Cutter."},
    {"PresMng_SmallIcoBg", "The Paths of the current Set as small icons. Click a Path to select "
                           "\nit; double-click it to pass it to the Cutter."},
    {"PresMng_ToCutter", "Click to pass the selected knife's Path to the Cutter. \nThe Preset "
                         "Manager window remains open."},
    {"PresMng_ToCutterClose", "Click to pass the selected knife's Path to the Cutter. \nThe "
                              "Preset Manager window closes."},
};

// --- Preferences ---

constexpr Hint kPreferences[] = {
    {"Pref_CloseX", "Click to close the Preferences window and cancel \nall changes that you have "
                    "done."},
    {"Pref_Cancel", "Click the button to cancel the changes that you have done. \nThe Preferences "
                    "window closes."},
    {"Pref_Ok", "Click the button to confirm the changes that you have done. \nThe Preferences "
                "window closes."},
    {"Pref_FCB", "Select to show the Frame around the image as a checkerboard."},
    {"Pref_FSolid", "Select to show the Frame around the image in a solid color."},
    {"Pref_TCB", "Select to show the Transparency as a checkerboard."},
    {"Pref_TSolid", "Select to show the Transparency in a solid color."},
    {"Pref_FitOnLoad", "Select, if you want the image to fit the preview \nwhen the plug-in "
                       "opens."},
    {"Pref_DisOpacity", "Drag the slider to set the opacity of the knives that are hidden."},
    {"Zone_SwatchT", "Click a swatch to choose a color of the Transparency's checkerboard."},
    {"Zone_SwatchF", "Click a swatch to choose a color of the Frame's checkerboard."},
    {"Zone_SwatchTS", "Click the swatch to choose the solid color of the Transparency."},
    {"Zone_SwatchFS", "Click the swatch to choose the solid color of the Frame."},
    {"Zone_Preview", "Preview of the chosen setting of the Frame and the Transparency."},
};

// --- Export (Puzzle mode) and Export (Layout mode) ---

constexpr Hint kExport[] = {
    {"Export_CloseX", "Click to close the Export window and cancel the export."},
    {"Export_Export", "Click the button to export the pieces with the chosen options. \nThe "
                      "Export window closes."},
    {"Export_Cancel", "Click the button to cancel the export. \nThe Export window closes."},
    {"Export_Merged", "Select to export the pieces merged into one image."},
    {"Export_Selected", "Select to export only the selected pieces."},
    {"Export_All", "Select to export all pieces."},
    {"Export_ToPSD", "Select to export the pieces as the layers of one .PSD file."},
    {"Export_Hidden", "Select, if you want the hidden pieces exported too."},
    {"Export_ToPNG", "Select to export every piece as a .PNG file of its own."},
    {"Export_FullCanvas", "Select, if you want every piece on a canvas of the document's \nsize, "
                          "at its own place in the image."},
    {"Export_NamingSimple", "Select to name the exported pieces by their numbers."},
    {"Export_NamingExtended", "Select to name the exported pieces by their numbers, \nrows and "
                              "columns."},
    {"Export_WOBevel", "Select, if you want the pieces exported without the bevel effect."},
    {"Zone_Display", "Shows what will be exported with the chosen options."},
    {"Zone_DisplayNaming", "Shows how the exported files or layers will be named."},
};

constexpr Hint kExportLM[] = {
    {"ExportLM_CloseX", "Click to close the Export window and cancel the export of knives."},
    {"ExportLM_Cancel", "Click the button to cancel the export of knives. \nThe Export window "
                        "closes."},
    {"ExportLM_All", "Select to export all knives that are not hidden."},
    {"ExportLM_Selected", "Select to export only the selected knives."},
    {"ExportLM_ToEPS", "Select to export the knives as an Encapsulated PostScript (.EPS) file."},
    {"ExportLM_ToAI", "Select to export the knives as an Adobe Illustrator (.AI) file."},
    {"ExportLM_Export", "Click the button to export the knives with the chosen options. \nThe "
                        "Export window closes."},
};

// --- the main window ---

constexpr Hint kMainAlways[] = {
    {"Main_CloseX", "Click to close the plug-in. This cancels all actions that you have done in "
                    "the plug-in."},
    {"Main_Cancel", "Click the button to cancel all actions that you have done in the plug-in. "
                    "The plug-in closes."},
    {"Zone_Status", "Indicates the current working mode of the plug-in."},
    {"Main_Zoom", "Click to choose the zoom of the preview, or use the mouse wheel \nwith Ctrl "
                  "held."},
    {"Main_Navigator", "The Navigator shows the whole image. Drag the frame to choose \nthe part "
                       "of the image that the preview shows."},
};

constexpr char kRuler[] = "Ruler. Right-click to change the units of measurement.";

constexpr Hint kMainPuzzle[] = {
    {"Main_Main", "Click and choose the menu item: Save, Export, Preferences, Relayout, etc."},
    {"Main_Select", "Click and choose the menu item: Select All, Deselect All, Select by "
                    "Channel, etc."},
    {"Main_Adjust", "Click and choose the menu item: Copy Effects, Paste Effects, Reset Effects, "
                    "etc."},
    {"Main_Export", "Click the button to export the puzzle pieces as .PNG files or as one "
                    "layered .PSD file."},
    {"Main_Apply", "Click to apply the plug-in and obtain the created puzzle pieces as a "
                   "flattened layer inside your host. The plug-in closes."},
    {"Main_HideExtras", "Click to hide the marks of the selected pieces."},
    {"Main_ShowExtras", "Click to show the marks of the selected pieces."},
    {"Main_Relayout", "Click the button to open the Cutter window for changing the current "
                      "layout."},
    {"Main_Show", "Click to show the selected pieces (all pieces when none is selected)."},
    {"Main_Hide", "Click to hide the selected pieces (all pieces when none is selected)."},
    {"Main_RevShowHide", "Click to show the hidden pieces and hide the shown ones."},
    {"Zone_Preview", "Click on any piece to select it. Use Ctrl, Alt and/or Shift for selecting "
                     "options. Use Ctrl+Shift+drag for freehand selection."},
    {"Zone_HSplitter", "The column lines of the Splitter. Click the Relayout button to change "
                       "them."},
    {"Zone_VSplitter", "The row lines of the Splitter. Click the Relayout button to change them."},
    {"Main_FXBevel", "Bevel effect. Click the button to open the effect window or the ON/OFF "
                     "switch to enable/disable the effect."},
    {"Main_FXHSL", "Hue/Saturation effect. Click the button to open the effect window or the "
                   "ON/OFF switch to enable/disable the effect."},
    {"Main_FXBC", "Brightness/Contrast effect. Click the button to open the effect window or the "
                  "ON/OFF switch to enable/disable the effect."},
    {"Main_FXBlur", "Gaussian Blur effect. Click the button to open the effect window or the "
                    "ON/OFF switch to enable/disable the effect."},
    {"Main_FXMBlur", "Motion Blur effect. Click the button to open the effect window or the "
                     "ON/OFF switch to enable/disable the effect."},
    {"Main_FXOpacity", "Opacity effect. Click the button to open the effect window or the ON/OFF "
                       "switch to enable/disable the effect."},
    {"Main_FXCOver", "Color Overlay effect. Click the button to open the effect window or the "
                     "ON/OFF switch to enable/disable the effect."},
    {"Main_FXIOver", "Image Overlay effect. Click the button to open the effect window or the "
                     "ON/OFF switch to enable/disable the effect."},
    {"Main_FXStroke", "Stroke effect. Click the button to open the effect window or the ON/OFF "
                      "switch to enable/disable the effect."},
};

constexpr Hint kMainLayout[] = {
    {"Main_Main", "Click and choose the menu item: Save, Export, Preferences, etc."},
    {"Main_Select", "Click and choose the menu item for the knives: Select All, Deselect All, "
                    "Select by Channel, etc."},
    {"Main_Export", "Click the button to export the knives as an .EPS or an .AI file."},
    {"Main_Show", "Click to show the selected knives (all knives when none is selected)."},
    {"Main_Hide", "Click to hide the selected knives (all knives when none is selected)."},
    {"Main_RevShowHide", "Click to show the hidden knives and hide the shown ones."},
    {"Zone_Preview", "Click on any knife to select it. Drag a knot to change its position. Click "
                     "on a knot to make it ready for an extra knife."},
    {"Zone_HSplitter", "The column lines of the Splitter. Drag a line's mark to move the line; "
                       "its knives follow."},
    {"Zone_VSplitter", "The row lines of the Splitter. Drag a line's mark to move the line; its "
                       "knives follow."},
    {"Main_ResetKnots", "Click the button to put every knot back on the crossing of its grid "
                        "lines."},
    {"Main_AddKnives", "Click the button to add knives: an extra knife between the two picked "
                       "knots, else one more row and column."},
    {"Main_DelKnives", "Click the button to delete the selected extra knives, else one row and "
                       "column less."},
    {"Main_ApplyLM", "Click the button to apply the plug-in in the Layout mode. This will \"Draw "
                     "the Splitter\". The plug-in closes."},
};

const char* MainHint(const char* key, uint8_t mode, uint8_t kind)
{
    if (const char* t = Find(kMainAlways, key)) return t;
    if (kind == QWF_CTRL_BUTTON && EndsWith(key, "Main_Ruler")) return "Click the button for menu";
    if (Same(key, "Main_Ruler") || Same(key, "Main_RulerCover_Top") ||
        Same(key, "Main_RulerCover_Left"))
        return kRuler;
    const char* description = " The Main window of Quarrow. Jigcrafter 3.0.";
    if (mode == 3 || mode == 4) {
        const char* t = Find(kMainPuzzle, key);
        return t ? t : description;
    }
    if (mode == 2 || mode == 5) {
        if (EndsWith(key, "Main_RndKnots")) {
            if (kind == QWF_CTRL_BUTTON)
                return "Click the button to re-randomize knots' position. Enabled if the level of "
                       "knots' position randomization is above 0 (zero).";
            if (kind == QWF_CTRL_EDIT)
                return "Click and enter the desired value of the parameter. To confirm, press "
                       "Enter. To cancel, press Esc.";
            if (Same(key, "Main_RndKnots"))
                return "Drag the slider to specify the level of knots' position randomization.";
        }
        const char* t = Find(kMainLayout, key);
        return t ? t : description;
    }
    return description;
}

// --- the Cutter ---

constexpr Hint kCutter[] = {
    {"Cutter_CloseX", "Click to close the Cutter and cancel all actions that you have done. "
                      "\nDisabled on the plug-in startup."},
    {"Cutter_Cancel", "Click the button to cancel the changes of the layout and close the "
                      "Cutter. \nDisabled on the plug-in startup."},
    {"Cutter_Reset", "Click to cancel all changes of the layout and of the knife's Path \nthat you "
                     "have done. The Cutter remains open."},
    {"Cutter_Cut", "Click to use the Splitter as the \"big knife\" and cut the document into "
                   "\nthe puzzle pieces. The plug-in switches into the Puzzle mode."},
    {"Zone_Preview", "The knife's Path. Drag a node to move it, click the Path to add a \nnode, "
                     "press Delete to remove the selected nodes."},
    {"Cutter_FlipH", "Click to flip the knife's Path across the knife."},
    {"Cutter_FlipU", "Click to flip the knife's Path along the knife."},
    {"Cutter_Undo", "Click to undo the last change of the knife's Path."},
    {"Cutter_Redo", "Click to redo the change of the knife's Path that you have undone."},
    {"Cutter_1x1", "Click to show the knife's Path at the scale 1:1."},
    {"Cutter_1x2", "Click to show the knife's Path at the scale 1:2."},
    {"Cutter_1x4", "Click to show the knife's Path at the scale 1:4."},
    {"Cutter_Save", "Click the button to save the knife's Path as an .QWJH (an internal "
                    "\nQuarrow. Jigcrafter 3.0 format) file."},
    {"Cutter_Load", "Click the button to load a knife's Path that has been earlier saved as \nan "
                    ".QWJH (an internal Quarrow. Jigcrafter 3.0 format) file."},
    {"Cutter_Presets", "Click to open the Preset Manager window and conveniently \nmanage "
                       "knives' Paths and Sets of Paths."},
    {"Cutter_AddToPM", "Click to add the knife's Path to the current Set of Paths of \nthe "
                       "Preset Manager."},
    {"Cutter_Clone", "Click to clone the knife's Path onto the selected (or all) knives \nwith a "
                     "random mutation."},
    {"Cutter_ReClone", "Click to clone the knife's Path once more with a new random \nmutation."},
    {"Cutter_CloneDisp", "Click and choose how strongly the clones of the knife's Path \nmay "
                         "differ from it."},
    {"Cutter_Rows", "Drag the slider to set the number of rows of the Splitter."},
    {"Cutter_Columns", "Drag the slider to set the number of columns of the Splitter."},
    {"Cutter_LinkRC", "Select, if you want the numbers of rows and columns to change \ntogether."},
    {"Cutter_AutoLayout", "Click to open the Auto Layout window and create a triangular \nor "
                          "hexagonal layout."},
    {"Cutter_TipsSize", "Drag the slider to adjust the tips size of the selected knife \nor a "
                        "group of knives."},
    {"Cutter_RazorCut", "Select, if you want the knives to cut without thickness (Razor Cut)."},
    {"Cutter_AntiAliasing", "Select, if you want the edges of the pieces smoothed \n"
                            "(anti-aliased)."},
};

const char* CutterHint(const char* key, uint8_t enabled, uint8_t kind)
{
    if (kind == QWF_CTRL_EDIT)
        return "Click and enter the desired value of the parameter. To confirm,\npress Enter. To "
               "cancel, press Esc.";
    if (Same(key, "Cutter_Smoothness"))
        return enabled ? "Drag the slider to adjust the smoothness of the selected \nnodes of the "
                         "knife's Path."
                       : "Adjusts the smoothness of the selected nodes of the knife's Path. \nTo "
                         "enable \x96 select one or more nodes.";
    if (Same(key, "Cutter_KnifeTh"))
        return enabled ? "Drag the slider to adjust the thickness of the selected knife \nor a "
                         "group of knives."
                       : "Adjusts the thickness of the selected knife or a group of knives. \nTo "
                         "enable \x96 deselect the Razor Cut check box.";
    if (const char* t = Find(kCutter, key)) return t;
    return "The Cutter window. Use the controls located in this window and \ncreate or adjust the "
           "knife's Path and specify parameters of the Splitter.";
}

const char* HintOf(const char* key, const char* window, uint8_t mode, uint8_t kind)
{
    // The windows with hints, by the name they ask with.
    enum Window { kWinChannels, kWinEffect, kWinAutoLayout, kWinPresets, kWinPreferences, kWinExport,
                  kWinExportLM, kWinCutter, kWinMain, kWindowCount };
    static const char* const kWindows[kWindowCount] = {"ChannelsList", "Effect",  "AutoLayout",
                                                       "PresetsManager", "Preferences", "Export",
                                                       "ExportLM",     "Cutter",  "Main"};
    int which = -1;
    for (int i = 0; i < kWindowCount && which < 0; ++i)
        if (Same(window, kWindows[i])) which = i;
    if (which < 0) return kReady;

    static const char* const kHelpButtons[] = {"ChannelList_Help", "AutoLayout_Help",
                                               "PresMng_Help",     "Pref_Help",
                                               "Export_Help",      "ExportLM_Help",
                                               "Main_Help",        "Cutter_Help"};
    for (const char* h : kHelpButtons)
        if (Same(key, h)) return kHelp;
    if (which == kWinEffect && EndsWith(key, "_Help")) return kHelp;

    const char* t = nullptr;
    switch (which) {
    case kWinChannels: return ChannelsHint(key, mode);
    case kWinEffect: return EffectHint(key, kind);
    case kWinAutoLayout:
        if (kind == QWF_CTRL_EDIT)
            return "Click and enter the desired value of the parameter. \nTo confirm,press Enter. "
                   "To cancel, press Esc.";
        t = Find(kAutoLayout, key);
        return t ? t : "The Auto Layout window. Use the controls located in this \nwindow to "
                       "create the triangular and hexagonal layouts.";
    case kWinPresets:
        t = Find(kPresets, key);
        return t ? t : "The Preset Manager window. Use the controls located in this window to "
                       "\nconveniently manage knives' Paths and Sets of Paths.";
    case kWinPreferences:
        t = Find(kPreferences, key);
        return t ? t : "Set Quarrow. Jigcrafter 3.0 preferences using the controls located in this "
                       "window.";
    case kWinExport:
        t = Find(kExport, key);
        return t ? t : "The Export (Puzzle Mode) window. Use the controls located in this \nwindow "
                       "for exporting puzzle pieces.";
    case kWinExportLM:
        t = Find(kExportLM, key);
        return t ? t : "The Export (Layout Mode) window. Use the controls located in \nthis window "
                       "for exporting knives.";
    case kWinCutter: return CutterHint(key, mode, kind);
    default: return MainHint(key, mode, kind);
    }
}

}  // namespace

CQWF_String CApp::GetHintText(const char* control, const char* window, uint8_t mode, uint8_t kind)
{
    return CQWF_String(HintOf(control ? control : "", window ? window : "", mode, kind));
}
