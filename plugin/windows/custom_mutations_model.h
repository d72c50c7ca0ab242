// The custom mutations dialog without its window: three amounts 0..1 (S, U, H), each shown as a
// whole percentage on a slider and in an edit line.
#pragma once

#include "framework/core/qwf_string.h"

#include <cstdint>

class CQWF_Storage;

class CCustomMutationsModel {
public:
    enum Amount : int { kS = 0, kU = 1, kH = 2 };

    CCustomMutationsModel();

    // Presets the amounts stored under "Custom Mutations Settings" that exist.
    void LoadSettings(CQWF_Storage* prefs);
    // Writes the three amounts (OK).
    bool SaveSettings(CQWF_Storage* prefs) const;

    float GetAmount(int which) const { return m_amount[which]; }
    void SetAmount(int which, float v);
    // The slider position of an amount: amount x 100 rounded.
    int32_t GetSlider(int which) const { return m_slider[which]; }
    const char* GetEditText(int which) const { return m_text[which].GetBuffer(); }

    // Shows the amounts on the sliders and in the edits (when the dialog is created).
    void Show();
    // A slider moved to v: its edit shows v, the amount becomes v / 100; with Shift the other
    // two edits take the same text and follow it.
    void OnSlider(int which, int32_t v, bool shift);
    // Edit text changed: the number held to 0..100 moves the slider; the text stays as typed.
    void OnEditChanged(int which, const char* text);
    // The edit lost the focus: as a change, and the text is rewritten as the value.
    void OnEditDone(int which);

private:
    float m_amount[3] = {0.0f, 0.0f, 0.0f};
    int32_t m_slider[3] = {0, 0, 0};
    CQWF_String m_text[3];
};
