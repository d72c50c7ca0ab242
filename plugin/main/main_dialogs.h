// The main window's modal option windows (piece export, knife export, preferences) belong to the
// windows layer, which installs how to run them here; the main window fills their models, runs
// them and acts on 1 (OK). Not installed, a run answers -1 as a window that cannot open.
#pragma once

#include <cstdint>

#include "plugin/main/export_dialogs.h"
#include "plugin/main/view_preferences.h"

class CDialogHost;
class CQWF_Window;

struct MainDialogRunners {
    int32_t (*exportPieces)(CDialogHost* host, CQWF_Window* owner, CExportDialogModel& model) = nullptr;
    int32_t (*exportKnives)(CDialogHost* host, CQWF_Window* owner, CExportLMDialogModel& model) = nullptr;
    int32_t (*preferences)(CDialogHost* host, CQWF_Window* owner, ViewPreferences& values) = nullptr;
};

void SetMainDialogRunners(const MainDialogRunners& runners);
const MainDialogRunners& GetMainDialogRunners();
