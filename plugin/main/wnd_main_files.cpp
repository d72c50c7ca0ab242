// The main window's documents, exports and preferences.
#include "plugin/main/wnd_main.h"

#include <cstring>

#include "framework/core/qwf_file.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_filedialog.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/export_engine_source.h"
#include "plugin/main/filter_dialog_host.h"
#include "plugin/main/knife_export.h"
#include "plugin/main/layout_document.h"
#include "plugin/main/main_dialogs.h"
#include "plugin/main/message_box.h"
#include "plugin/main/piece_export.h"
#include "plugin/main/piece_view.h"

namespace {

constexpr const char* kDocumentFilter = "Quarrow. Jigcrafter Document (.qwjd)";
constexpr uint32_t kDocumentType = 0x51576A64;  // 'QWjd'

// Failures shown in the system message box under their caption.
class CBoxMessages : public CUserMessageSink {
public:
    explicit CBoxMessages(CQWF_Window* owner) : m_owner(owner) {}
    void ShowMessage(const char* text, const char* caption) override
    {
        if (CQWF_App* app = CQWF_App::GetApp())
            app->MessageBox(text ? text : "", caption ? caption : qwexport::kErrorCaption, m_owner);
    }

private:
    CQWF_Window* m_owner;
};

struct DocumentWrite {
    CLayoutModel* model;
    CUserMessageSink* messages;
};

bool WriteDocument(CQWF_StdFile* file, void* context)
{
    auto* w = static_cast<DocumentWrite*>(context);
    return w && qwdoc::WriteDocumentFile(file, w->model, w->messages);
}

struct KnifeWrite {
    const CLayoutModel* model;
    KnifePathSettings settings;
    CQWF_Progress* progress;
    CUserMessageSink* messages;
};

bool WriteKnives(CQWF_StdFile* file, void* context)
{
    auto* w = static_cast<KnifeWrite*>(context);
    return w && file &&
           qwexport::WriteLayoutPostScript(file, *w->model, w->settings, w->progress, w->messages);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Piece export.

void CWnd_Main::ShowExportDialog()
{
    if (!m_plugin || m_mode != kPuzzleMode || m_effectOpen)
        return;
    QWF_HostInfo* info = m_plugin->GetHostInfo();
    if (!info || info->layout != 1) {
        CWnd_MessageBox::Ask(this, "Unsupported Color mode for Export!",
                             "Export feature is supported ONLY for \ndocuments in the RGB color mode.",
                             0, CWnd_MessageBox::kOk);
        return;
    }
    if (m_piecesImage.IsEmpty() || CQWF_Image::PlaneCount(m_piecesImage.GetType()) != 4)
        return;
    CEngineExportSource source(m_plugin->GetEngine());
    uint8_t* planes[4];
    for (int c = 0; c < 4; ++c)
        planes[c] = m_piecesImage.GetPlane(c);
    CJigcrafter& engine = m_plugin->GetEngine();
    source.SetDocumentImage(planes, m_piecesImage.GetWidth(), m_piecesImage.GetWidth(),
                            m_piecesImage.GetHeight(), m_plugin->GetMask(), m_plugin->GetMaskStride(),
                            engine.GetAntiAliasing() && !engine.GetRazorCut());

    CExportDialogModel model;
    model.counts = qwexport::CountPieces(source);
    qwexport::LoadPieceExportOptions(m_plugin->GetPreferences(), model.options);
    const MainDialogRunners& runners = GetMainDialogRunners();
    CFilterDialogHost host(m_plugin);
    if (!runners.exportPieces || runners.exportPieces(&host, this, model) != 1)
        return;
    model.Update();
    qwexport::SavePieceExportOptions(m_plugin->GetPreferences(), model.options);

    const uint32_t count = model.itemCount;
    if (count == 0 || count > 100000)
        return;
    CBoxMessages messages(this);
    CMainProgress progress(this, "The Exporting is in progress:");
    CPieceExport exporter(source, &progress, &messages);
    ExportDocument document;
    document.resolution = info->hResolution > info->vResolution ? info->hResolution : info->vResolution;
    document.profile = info->profileSize > 0 ? info->profile : nullptr;
    document.profileSize = info->profileSize > 0 ? static_cast<uint32_t>(info->profileSize) : 0;
    if (exporter.Prepare(count, model.options, document)) {
        progress.SetPercent(40);
        CQWF_PlatformFileDialog dialog;
        if (model.options.exportTo == 1) {
            dialog.AddFilter("Adobe Photoshop Document (.psd)", "psd");
            dialog.SetFileName("Untitled.psd");
            dialog.SetTitle("Save Photoshop Document (.PSD)...");
            dialog.Save(&CPieceExport::WritePsd, &exporter, this, 0x50534420);
        } else {
            dialog.AddFilter("Portable Network Graphics (.png)", "png");
            dialog.SetFileName("Untitled.png");
            dialog.SetTitle("Save PNG file(s)(.PNG)...");
            dialog.SaveMultiple(exporter.GetSuffixes(), exporter, this, 0x504E4766);
        }
        progress.SetPercent(90);
        exporter.Finish();
        progress.SetPercent(100);
    }
    FadeStatus();
    ShowPicture();
}

// ---------------------------------------------------------------------------------------------
// Knife-path export.

void CWnd_Main::ShowExportLMDialog()
{
    if (!m_plugin || m_mode != kLayoutMode)
        return;
    CExportLMDialogModel model;
    model.counts = qwexport::CountKnives(m_layout);
    qwexport::LoadKnifeExportOptions(m_plugin->GetPreferences(), model.options);
    const MainDialogRunners& runners = GetMainDialogRunners();
    CFilterDialogHost host(m_plugin);
    if (!runners.exportKnives || runners.exportKnives(&host, this, model) != 1)
        return;
    model.Update();
    qwexport::SaveKnifeExportOptions(m_plugin->GetPreferences(), model.options);
    if (model.knifeCount == 0 || (model.options.exportTo != 1 && model.options.exportTo != 2))
        return;

    const bool eps = model.options.exportTo == 1;
    QWF_HostInfo* info = m_plugin->GetHostInfo();
    CBoxMessages messages(this);
    CMainProgress progress(this, "The Saving is in progress:");
    KnifeWrite write{&m_layout, KnifePathSettings{}, &progress, &messages};
    write.settings.eps = eps;
    write.settings.all = model.options.exportWhat == 3;
    write.settings.resolution = info ? info->hResolution : 72.0;
    write.settings.width = m_plugin->GetWorkingWidth();
    write.settings.height = m_plugin->GetWorkingHeight();
    CQWF_PlatformFileDialog dialog;
    dialog.AddFilter(eps ? "Encapsulated PostScript (.eps)" : "Adobe Illustrator (.ai)", eps ? "eps" : "ai");
    dialog.SetFileName(eps ? "Untitled.eps" : "Untitled.ai");
    dialog.SetTitle("Save Layout (PostScript)...");
    dialog.Save(&WriteKnives, &write, this, eps ? 0x45505346 : 0x41492020);
    FadeStatus();
}

// ---------------------------------------------------------------------------------------------
// Layout documents.

bool CWnd_Main::SaveDocument()
{
    if (m_effectOpen)
        return false;
    CBoxMessages messages(nullptr);
    DocumentWrite write{&m_layout, &messages};
    CQWF_PlatformFileDialog dialog;
    dialog.AddFilter(kDocumentFilter, "qwjd");
    dialog.SetFileName("Untitled.qwjd");
    dialog.SetTitle("Save Document...");
    return dialog.Save(&WriteDocument, &write, this, kDocumentType);
}

bool CWnd_Main::LoadDocument()
{
    if (m_effectOpen || !m_plugin)
        return false;
    CQWF_PlatformFileDialog dialog;
    dialog.AddFilter(kDocumentFilter, "qwjd");
    dialog.SetTitle("Load Document...");
    if (!dialog.Open(this, kDocumentType))
        return false;
    CBoxMessages messages(nullptr);
    qwdoc::LayoutDocument document;
    if (!qwdoc::ReadDocument(dialog.GetChosenPath(), document, &messages))
        return false;
    // A document whose layout would be refused is a failed load that changes nothing: neither
    // the mode nor the layout nor what Undo brings back.
    if (!qwdoc::CheckDocument(m_layout, document, &messages))
        return false;
    if (m_mode == kPuzzleMode && Relayout() != 0) {
        // Without a Cutter the document could not be shown for cutting: say so rather than drop it.
        messages.ShowMessage("Cannot open the Cutter for the loaded document.", qwexport::kErrorCaption);
        return false;
    }
    if (!m_cutter)
        return false;
    m_layout.RecordUndo(0, CLayoutModel::kFullGrid);
    uint8_t* records = nullptr;
    uint32_t count = 0;
    if (!qwdoc::ApplyDocument(m_layout, document, &records, &count, &messages))
        return false;
    ShowLayoutInCutter();
    m_cutter->RefreshControls();
    if (records && count > 0 && !m_cutter->SetLoadedRecords(records, count)) {
        CloseWindow();
        return false;
    }
    RedrawLayout();
    RepaintPreview();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Preferences.

void CWnd_Main::ShowPreferences()
{
    if (!m_plugin || m_effectOpen)
        return;
    ViewPreferences values = m_prefs;
    const MainDialogRunners& runners = GetMainDialogRunners();
    CFilterDialogHost host(m_plugin);
    if (!runners.preferences || runners.preferences(&host, this, values) != 1)
        return;
    const bool opacityChanged = values.delKnifeOpacity != m_prefs.delKnifeOpacity;
    m_prefs = values;
    uint32_t out1 = 0, out2 = 0, in1 = 0, in2 = 0;
    qwpref::OutsideColours(m_prefs, out1, out2);
    qwpref::TransparencyColours(m_prefs, in1, in2);
    m_preview.SetBackColours(in1, in2, out1, out2);
    if (opacityChanged) {
        m_drawing.SetHiddenKnifeOpacity(m_prefs.delKnifeOpacity);
        if (m_mode == kLayoutMode)
            RedrawLayout();
    }
    ShowPicture();
    qwpref::WritePreferences(m_plugin->GetPreferences(), m_prefs);
}
