// The items of the pop-up menus the main window builds (wnd_main_menus.cpp), by the id that a
// chosen item comes back with as a menu notification (QWF_NOTIFY_MENU); RunMenuItem
// (wnd_main_items.cpp) runs each through its table. The Help menu's items are the application's
// (QW_HELP_* in filter_app.h); the Cutter's node menu has its own (CKnifeShapeEditor).
#pragma once

#include <cstdint>

namespace qwmenu {

enum Item : uint16_t {
    // The units pop-up of the rulers, in the order of the unit codes 1 to 5.
    kPixels = 16,
    kInches = 17,
    kCentimetres = 18,
    kMillimetres = 19,
    kPercent = 20,

    // Select (also in the preview pop-up).
    kSelectAll = 32,         // "Select All Knives" / "Select All Pieces"
    kDeselect = 33,          // "Deselect Knives" / "Deselect Pieces"
    kInverseSelection = 34,  // "Inverse Selection"
    kSelectHidden = 35,      // "Select All Hidden Knives" / "... Pieces"
    kSelectShown = 36,       // "Select All Shown Knives" / "... Pieces"
    kSelectColumnKnives = 37,  // "Select All Columns Splitters"
    kSelectRowKnives = 38,     // "Select All Rows Splitters"
    kSelectExtraKnives = 39,   // "Select All Extra Knives"
    kLoadSelection = 40,       // "Load Selection..."
    kAddRandom = 41,           // "Add Randomly Selected Knives" / "... Pieces"
    kDeselectRandom = 42,      // "Deselect Random Knives" / "... Pieces"
    kAddSplitter = 43,         // "Add Splitter to Selection"
    kDeselectSplitter = 44,    // "Deselect Splitter"
    kShowExtras = 47,          // "Show Extras"

    // Zoom, in the preview pop-up.
    kActualPixels = 48,
    kFitOnPreview = 49,
    kZoomIn = 50,
    kZoomOut = 51,

    // The splitter rulers' pop-ups.
    kArrangeLines = 64,  // "Arrange"
    kCenterLine = 65,    // "Center"
    kInsertLine = 66,    // "Insert"
    kDeleteLine = 67,    // "Delete"
    kSelectLine = 68,    // "Select"
    kDeselectLine = 69,  // "Deselect"

    // Main.
    kUndo = 80,
    kPreferences = 81,
    kSave = 84,
    kCancel = 85,
    kApplySplitter = 86,  // "Apply (Draw Splitter)", Layout mode
    kApply = 87,          // "Apply", Puzzle mode
    kLoad = 88,
    kExport = 89,
    kRelayout = 90,

    // Adjust.
    kShow = 96,   // "Turn ON (Show) Knives" / "... Pieces"
    kHide = 97,   // "Turn OFF (Hide) Knives" / "... Pieces"
    kFlipH = 98,
    kFlipU = 99,
    kFlipHU = 100,
    kFlipHRandom = 101,
    kFlipURandom = 102,
    kFlipHURandom = 103,
    kFlipHInterleaved = 104,
    kFlipUInterleaved = 105,
    kFlipHUInterleaved = 106,
    kFlipHNonInterleaved = 107,
    kFlipUNonInterleaved = 108,
    kFlipHUNonInterleaved = 109,
    kCopy = 110,   // "Copy Knife" / "Copy Effects"
    kPaste = 111,  // "Paste Knife" / "Paste Effects"
    kBevel = 112,  // the effect windows: "Bevel..." to "Color Overlay...", "Stroke...", "Image Overlay..."
    kGaussianBlur = 113,
    kMotionBlur = 114,
    kOpacity = 115,
    kHueSaturation = 116,
    kBrightnessContrast = 117,
    kColourOverlay = 118,
    kEnableBevel = 119,  // the check items "Enable Bevel" to "Enable Stroke", and "Invert"
    kEnableGaussianBlur = 120,
    kEnableMotionBlur = 121,
    kEnableOpacity = 122,
    kEnableHueSaturation = 123,
    kEnableBrightnessContrast = 124,
    kEnableColourOverlay = 125,
    kStroke = 126,
    kEnableStroke = 127,
    kImageOverlay = 128,
    kEnableImageOverlay = 129,
    kInvert = 130,
    kResetEffects = 143,
    kReverseShowHide = 144,  // "Reverse On<->Off"

    // The preview pop-up: the knives and the knot under the pointer (Layout mode).
    kKnivesSelect = 256,    // "Add to Selection"
    kKnivesDeselect = 257,  // "Deselect"
    kKnivesFlipH = 258,
    kKnivesFlipU = 259,
    kKnivesFlipHU = 260,
    kKnivesOn = 261,
    kKnivesOff = 262,
    kResetKnot = 263,  // "Reset Knot Position"
    kKnifeCopy = 264,
    kKnifePaste = 265,
    kKnivesDelete = 266,

    // The preview pop-up: the piece under the pointer (Puzzle mode).
    kPieceSelect = 272,    // "Add to Selection"
    kPieceDeselect = 273,  // "Deselect"
    kPieceShow = 274,
    kPieceHide = 275,
    kPieceCopyEffects = 276,
    kPiecePasteEffects = 277,

    // Adjust, Layout mode.
    kAddExtraKnife = 3936,
    kDeleteExtraKnife = 3937,
    kEqualizeKnobs = 3938,  // "Equalize Knobs Size"
};

}  // namespace qwmenu
