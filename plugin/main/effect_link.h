// The meeting point of the main window and its effect windows and channel picker, which live in
// the windows layer: the main window makes an effect window through the maker the windows layer
// installs, owns it, and asks the channel picker for a selection map the same way.
#pragma once

#include "framework/core/qwf_mem.h"

#include <cstdint>

class CQWF_Window;
class CWnd_Main;

// An effect window as the main window holds it.
class CEffectWindowLink {
public:
    virtual ~CEffectWindowLink() = default;
    // Creates the window from its skin at the position (-32000 centres it), owned by the main
    // window and modeless; false when it cannot be created.
    virtual bool Open(int32_t x, int32_t y) = 0;
    virtual CQWF_Window* GetWindow() = 0;
    // "FX" + the effect's name: the skin window and the name of its stored position.
    virtual const char* GetSkinName() const = 0;
};

// Makes the window of an effect type (the bit number of the effect mask: 0 Gaussian blur, 1
// bevel, 2 hue/saturation, 3 colour overlay, 4 brightness/contrast, 5 motion blur, 6 opacity,
// 8 stroke, 9 image overlay); null for another type or when memory runs out.
using EffectWindowFactory = CEffectWindowLink* (*)(CWnd_Main& main, uint8_t effectType);
void SetEffectWindowFactory(EffectWindowFactory factory);
EffectWindowFactory GetEffectWindowFactory();

// What the channel picker hands back after OK: the map of the filter rectangle (width x height
// bytes, rows without gaps, the channel's values as read), the combine mode (0 new, 1 add,
// 2 subtract, 3 intersect) and the invert switch.
struct ChannelPick {
    CQWF_Mem map;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t mode = 0;
    uint8_t invert = 0;
};
// Runs the channel picker modally over the main window for pieces (target 0) or knives (1);
// true when it ended with OK.
using ChannelPickerRunner = bool (*)(CWnd_Main& main, bool selectionExists, uint8_t target,
                                     ChannelPick& out);
void SetChannelPickerRunner(ChannelPickerRunner runner);
ChannelPickerRunner GetChannelPickerRunner();
