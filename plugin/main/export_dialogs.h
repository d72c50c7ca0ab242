// What the Export and ExportLM windows compute without a window: which choices are open, how many
// layers, files or knives the choice gives, the statistics and naming texts they show, and the
// warnings before very large exports. The windows set the controls from these models and route
// their clicks to them.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"
#include "plugin/main/knife_export.h"
#include "plugin/main/piece_export.h"

class CExportDialogModel {
public:
    PieceExportOptions options;
    PieceCounts counts;

    // Control states after Update.
    bool compositeAllowed = false;
    bool hiddenAllowed = false;
    bool fullCanvasAllowed = false;
    bool withoutBevelAllowed = false;
    bool selectedEnabled = false;
    bool exportEnabled = false;
    bool namingEnabled = false;
    uint32_t itemCount = 0;  // layers (PSD) or files (PNG)

    // Recomputes the states and the count; "selected pieces" with none selected switches the
    // choice to all pieces.
    void Update();
    // "Export_Display" and "Export_NamingDisp".
    CQWF_String StatisticsText() const;
    const char* NamingExample() const;

    // The question ConfirmExport asks before writing; false when it asks none.
    struct Warning {
        CQWF_String header;
        const char* text = nullptr;
    };
    bool GetWarning(Warning& warning) const;
};

class CExportLMDialogModel {
public:
    KnifeExportOptions options;
    KnifeCounts counts;

    bool selectedEnabled = false;
    bool exportEnabled = false;
    uint32_t knifeCount = 0;

    void Update();
    CQWF_String StatisticsText() const;
};
