// The two export option dialogs of the main window. "Export" chooses what the piece export
// writes (merged image, selected or all pieces; one PSD or PNG files; simple or extended names;
// four switches), shows the pieces' statistics, the result and a name example, and warns before
// very large exports. "ExportLM" chooses the knives (selected or all) and the file kind (EPS or
// Illustrator) of the knife-path export. The caller fills the model (options and counts), runs
// the window and on 1 exports with the model's options and count.
#pragma once

#include "plugin/main/export_dialogs.h"
#include "plugin/windows/dialog_window.h"

class CWnd_Export : public CDialogWindow {
public:
    static constexpr const char* kSkinName = "Export";

    explicit CWnd_Export(CDialogHost* host) : CDialogWindow(host) {}

    CExportDialogModel& Model() { return m_model; }
    // Creates the window at its stored position (centred when none) over the main window and
    // runs it.
    int32_t Run(CQWF_Window* owner);

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    void UpdateControls();
    void ShowStatistics();
    void ConfirmExport();

protected:
    const char* HintWindowName() const override { return "Export"; }
    const char* ZoneAt(int32_t x, int32_t y) const override;

private:
    CExportDialogModel m_model;
    int32_t m_help = -1, m_export = -1;
    int32_t m_merged = -1, m_selected = -1, m_all = -1;
    int32_t m_psd = -1, m_png = -1, m_simple = -1, m_extended = -1;
    int32_t m_composite = -1, m_withoutBevel = -1, m_hidden = -1, m_fullCanvas = -1;
    int32_t m_display = -1, m_naming = -1;
    bool m_updating = false;
};

class CWnd_ExportLM : public CDialogWindow {
public:
    static constexpr const char* kSkinName = "ExportLM";

    explicit CWnd_ExportLM(CDialogHost* host) : CDialogWindow(host) {}

    CExportLMDialogModel& Model() { return m_model; }
    int32_t Run(CQWF_Window* owner);

    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    void UpdateControls();
    void ShowStatistics();
    void ConfirmExport();

protected:
    const char* HintWindowName() const override { return "ExportLM"; }
    const char* ZoneAt(int32_t x, int32_t y) const override;

private:
    CExportLMDialogModel m_model;
    int32_t m_help = -1, m_export = -1;
    int32_t m_selected = -1, m_all = -1, m_eps = -1, m_ai = -1;
    int32_t m_display = -1;
    bool m_updating = false;
};
