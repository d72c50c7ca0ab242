// The plug-in object: the Start steps every run shares, the run without a dialog (the replay of
// the last layout), the working rectangle and its mask, the three writers of a result and the
// window positions kept in the settings store.
#include "plugin/core/qw_pluginmain.h"

#include <cstring>

#include "framework/imaging/qwf_image.h"
#include "plugin/core/jig_composite.h"
#include "plugin/core/piece_effect_record.h"
#include "plugin/core/qw_pluginapp.h"
#include "platform/qw_memhint.h"
#include "platform/qw_threads.h"

namespace {

constexpr int32_t kNoPosition = -32000;
constexpr int32_t kMaxMaskBox = 30000;
constexpr char kMemoryMessage[] = "Memory allocation problem...";
constexpr char kErrorCaption[] = "Error!";
constexpr char kSkinPackage[] = "resource_jw30.qws4";
constexpr char kNoSkinMessage[] =
    "Cannot load the resource file.\nPlease, try to reinstall plug-in and if the problem persists, "
    "contact Quarrow.";
constexpr char kNoSkinTitle[] = "Quarrow. Jigcrafter 3.0 Error";
// Working planes and masks up to this size stay allocated for the next run of the process.
constexpr size_t kKeepRunBytes = size_t{512} << 20;

// Group and name of a window position: trimmed of spaces, "--" when empty, upper-cased.
void PositionPart(CQWF_String& out, const char* text)
{
    out = text ? text : "";
    out.Trim();
    if (out.GetLength() == 0) out = "--";
    out.MakeUpper();
}

bool PositionKey(CQWF_String& key, const char* group, const char* name)
{
    CQWF_String g, n;
    PositionPart(g, group);
    PositionPart(n, name);
    return key.Format("Windows Positions>%s>%s", g.GetBuffer(), n.GetBuffer()) != nullptr;
}

// ((255 - a) x background + p x a) / 255 for every pixel of a row: a colour plane over the
// background colour through the rendered alpha.
struct BlendRows {
    const uint8_t* colour;
    const uint8_t* alpha;
    int64_t stride;
    uint8_t background;
    qwjig::BlendRowFn blend;
};

void MakeBlendedRow(void* context, int64_t y, uint8_t* out, int64_t width)
{
    const BlendRows& b = *static_cast<const BlendRows*>(context);
    b.blend(b.colour + y * b.stride, b.alpha + y * b.stride, out, width, b.background);
}

// The colour planes of the working rectangle, read band by band for the engine's render (on
// the host's thread): each band one strip of every plane, a strip a call.
struct SourceBands {
    CQWF_8BFPluginVirtual* plugin;
    const QWF_HostInfo* in;
    uint8_t* const* planes;
    int colourPlanes;
    int64_t width, height, rows, read;
    bool failed;
    int plane;  // the next plane of the band below `read`
};

int32_t ReadSourceBand(void* context)
{
    SourceBands& b = *static_cast<SourceBands*>(context);
    if (b.failed) return -1;
    if (b.read >= b.height) return static_cast<int32_t>(b.read);
    const int64_t bottom = b.read + b.rows < b.height ? b.read + b.rows : b.height;
    const QWF_HostInfo& in = *b.in;
    const int d = b.plane;
    if (!b.plugin->ReadPlane(d, in.left, static_cast<int32_t>(in.top + b.read), in.right,
                             static_cast<int32_t>(in.top + bottom), b.planes[d] + b.read * b.width,
                             b.width)) {
        b.failed = true;
        return -1;
    }
    if (++b.plane == b.colourPlanes) {
        b.plane = 0;
        b.read = bottom;
    }
    return static_cast<int32_t>(b.read);
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace

CPluginMain::CPluginMain() = default;
CPluginMain::~CPluginMain() = default;

void CPluginMain::About()
{
    DoAbout();
}

void CPluginMain::DoAbout()
{
    CPluginApp* app = NewPluginApp();
    if (!app) {
        // Without memory for the application object About cannot open: said, and cancelled.
        TellMemoryFailure();
        SetResultCanceled();
        return;
    }
    CQWF_App* previous = CQWF_App::GetApp();
    CQWF_App::SetApp(app);
    CheckWindowShadows(*app);
    app->SelectWindow("About");
    app->SetPlugin(this);
    if (!OpenSkinPackage(*app)) {
        SetResultCanceled();
    } else {
        SetResult(RunWindow(*app) == -1 ? userCanceledErr : noErr);
    }
    delete app;
    CQWF_App::SetApp(previous);
}

void CPluginMain::TellMemoryFailure()
{
    // Once: an engine step that ran out has said so itself.
    if (std::strcmp(m_engine.GetLastMessage(), kMemoryMessage) == 0) return;
    m_engine.ShowError(kMemoryMessage, kErrorCaption);
}

bool CPluginMain::TellIfMemoryRanOut(bool succeeded, long failures)
{
    if (!succeeded && qwp::AllocationFailures() != failures && !m_hostProgress.CancelSeen())
        TellMemoryFailure();
    return succeeded;
}

bool CPluginMain::OpenSkinPackage(CQWF_App& app)
{
    const long failures = qwp::AllocationFailures();
    if (OpenResourcePackage(app, kSkinPackage)) return true;
    // A package that could not be read for want of memory is no damaged installation.
    if (qwp::AllocationFailures() != failures)
        TellMemoryFailure();
    else
        app.MessageBox(kNoSkinMessage, kNoSkinTitle, nullptr);
    return false;
}

int32_t CPluginMain::RunWindow(CQWF_App& app)
{
    const long failures = qwp::AllocationFailures();
    const int32_t result = RunApp(app);
    // A window that could not be made for want of memory says so, as every other failed
    // allocation of the filter does.
    TellIfMemoryRanOut(result != -1, failures);
    return result;
}

void CPluginMain::RunDialog()
{
    // 1. The working rectangle and its mask.
    if (!TellIfMemoryRanOut(ReadMask(true), qwp::AllocationFailures())) {
        SetResultCanceled();
        return;
    }
    // 2-3. The application with the main window and its skin package.
    CPluginApp* app = NewPluginApp();
    if (!app) {
        TellMemoryFailure();
        SetResultCanceled();
        return;
    }
    CQWF_App* previous = CQWF_App::GetApp();
    CQWF_App::SetApp(app);
    CheckWindowShadows(*app);
    const bool selected = app->SelectWindow("Main");
    app->SetPlugin(this);
    if (!selected) {
        SetResultCanceled();
    } else if (!OpenSkinPackage(*app)) {
        SetResultCanceled();
    } else {
        // 4-5. The modal run; the window's closing sets the result.
        SetResultOK();
        int32_t x = kNoPosition, y = kNoPosition;
        GetWindowPosition("Main", "ROOT", x, y);
        app->SetPosition(x, y);
        bool ready = false, layoutMode = false;
        CQWF_Image* rendered = nullptr;
        if (RunWindow(*app) != -1 && app->GetMainResult(ready, layoutMode, rendered) && ready) {
            // 6. The result into the host's planes; a writer that runs out of memory says so
            // (the window's own messages went with it).
            m_engine.ClearLastMessage();
            const long failures = qwp::AllocationFailures();
            if (layoutMode) {
                if (!TellIfMemoryRanOut(ApplyLayoutMode(), failures)) SetResultCanceled();
            } else if (m_info.layout == 1) {
                if (!TellIfMemoryRanOut(ApplyRenderedImage(rendered), failures))
                    SetResultOutOfMemory();
            } else {
                app->ReleaseMainImages();
                const int32_t n = m_engine.GetPieceCount();
                CQWF_Mem records;
                bool ok = n >= 0 && (n == 0 || records.Alloc(size_t(n) * qwpiece::kRecordSize));
                for (int32_t i = 0; ok && i < n; ++i) {
                    PieceEffectRecord r;
                    ok = m_engine.PieceToRecord(i, r);
                    std::memcpy(records.GetData() + size_t(i) * qwpiece::kRecordSize, &r, sizeof r);
                }
                m_engine.FreePieces();
                if (!TellIfMemoryRanOut(ok && ApplyPieces(uint32_t(n), records.GetData()), failures))
                    SetResultOutOfMemory();
            }
        } else if (GetResult() == noErr) {
            // Nothing was applied (the run failed, or the window went with the host's own):
            // cancelled.
            SetResultCanceled();
        }
    }
    // 7.
    delete app;
    CQWF_App::SetApp(previous);
}

void CPluginMain::DoStart()
{
    // The threads the run shares its work with, for the length of the call (none outlives it).
    qwp::WorkerScope workers(qwp::ThreadCount());
    m_engine.SetColourLayout(m_info.layout);
    m_layersFlag = m_info.layersAvailable != 0;
    m_engine.SetLayers(m_layersFlag, this);
    m_hostProgress.SetOwner(this);
    LoadPreferences("plugin.conf");
    if (GetShowDialog()) {
        RunDialog();
        return;
    }
    // Without a dialog: replay the layout recorded in the scripting parameters, else the last
    // layout saved in the data folder. A run that fails for want of memory says so, whichever
    // step ran out.
    m_engine.ClearLastMessage();
    m_hostProgress.ResetCancelSeen();
    const long failures = qwp::AllocationFailures();
    struct Tell {
        CPluginMain& self;
        long failures;
        ~Tell() { self.TellIfMemoryRanOut(self.GetResult() == noErr, failures); }
    } tell{*this, failures};
    SetResultCanceled();
    CQWF_Mem blob;
    bool showDialog = false;
    if (!ReadScriptParameters(blob, showDialog)) {
        // A cancel in the host ends the run as cancelled; anything else falls back.
        if (ScriptReadCancelled()) return;
        if (!ReadWholeFile(blob, "last.data", GetDataFolder().GetBuffer())) {
            SetResultCanceled();
            return;
        }
    }
    if (!ReplayLayout(blob)) {
        if (GetResult() == noErr) SetResultCanceled();
        return;
    }
    SetResultOK();
}

bool CPluginMain::ReplayLayout(const CQWF_Mem& blob)
{
    // The blob is the caller's own block; the engine converts its piece records in place.
    CQWF_Mem* block = const_cast<CQWF_Mem*>(&blob);
    bool layoutMode = false;
    uint32_t count = 0;
    uint8_t* records = nullptr;
    if (!m_engine.LoadLayout(block, layoutMode, count, records)) {
        SetResultCanceled();
        return false;
    }
    if (!ReadMask(!layoutMode)) {
        SetResultCanceled();
        return false;
    }
    bool ok = layoutMode ? ApplyLayoutMode() : ApplyPieces(count, records);
    // The pieces of a write-back are not kept: the next run cuts again. Small working planes
    // stay for the next run (fresh pages cost more than the copy into them).
    m_engine.FreePieces();
    if (m_planes.GetSize() + m_mask.GetSize() > kKeepRunBytes) {
        m_planes.Free();
        m_mask.Free();
        m_maskPtr = nullptr;
    }
    if (!ok) {
        if (layoutMode || GetResult() == noErr) SetResultCanceled();
        return false;
    }
    return true;
}

void CPluginMain::SetEngineFailure()
{
    if (m_hostProgress.CancelSeen())
        SetResultCanceled();
    else if (std::strcmp(m_engine.GetLastMessage(), kMemoryMessage) == 0)
        SetResultOutOfMemory();
    else
        SetResultCanceled();
}

// ---------------------------------------------------------------------------------------------
// Window positions

void CPluginMain::GetWindowPosition(const char* group, const char* name, int32_t& x, int32_t& y)
{
    x = kNoPosition;
    y = kNoPosition;
    CQWF_Storage* store = GetPreferences();
    if (!store) return;
    CQWF_String base, key;
    if (!PositionKey(base, group, name)) return;
    uint32_t left = 0, top = 0;
    key.Format("%s>Left", base.GetBuffer());
    if (!store->GetDWord(key, left)) return;
    key.Format("%s>Top", base.GetBuffer());
    if (!store->GetDWord(key, top)) return;
    x = Clamp(static_cast<int32_t>(left), -100, 7000);
    y = Clamp(static_cast<int32_t>(top), -10, 6000);
}

void CPluginMain::SaveWindowPosition(const char* group, const char* name, int32_t x, int32_t y)
{
    CQWF_Storage* store = GetPreferences();
    if (!store) return;
    CQWF_String g, n, key;
    PositionPart(g, group);
    PositionPart(n, name);
    // Each level is created once; an existing folder is left as it is.
    store->CreateFolder("Windows Positions");
    key.Format("Windows Positions>%s", g.GetBuffer());
    store->CreateFolder(key);
    key.Format("Windows Positions>%s>%s", g.GetBuffer(), n.GetBuffer());
    store->CreateFolder(key);
    CQWF_String value;
    value.Format("%s>Left", key.GetBuffer());
    store->SetDWord(value, static_cast<uint32_t>(x));
    value.Format("%s>Top", key.GetBuffer());
    store->SetDWord(value, static_cast<uint32_t>(y));
    store->ClearError();
}

// ---------------------------------------------------------------------------------------------
// Working rectangle and mask

bool CPluginMain::ReadMask(bool readMask)
{
    ClearError();
    QWF_HostInfo& in = m_info;
    m_maskPtr = nullptr;
    const int transparencyPlane = in.planes - 1;
    CQWF_Mem transparency;  // the transparency of the filter rectangle, when step 1 read it
    int64_t tw = 0;
    int32_t boxLeft = 0, boxTop = 0;

    // 1. A transparent layer without a selection is cut within its opaque pixels.
    if (!in.hostMask && in.transparencyPresent && !in.selection) {
        tw = static_cast<int64_t>(in.right) - in.left;
        const int64_t th = static_cast<int64_t>(in.bottom) - in.top;
        if (tw <= 0 || th <= 0) {
            SetError(QWF_ERR_ARGUMENT);
            return false;
        }
        if (!transparency.Alloc(static_cast<size_t>(tw) * static_cast<size_t>(th))) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
        if (!ReadPlane(transparencyPlane, in.left, in.top, in.right, in.bottom,
                       transparency.GetData(), tw)) {
            if (!GetError()) SetError(QWF_ERR_ARGUMENT);
            return false;
        }
        int64_t bl = tw, bt = th, br = -1, bb = -1;
        for (int64_t y = 0; y < th; ++y) {
            const uint8_t* row = transparency.GetData() + y * tw;
            int64_t first = -1, last = -1;
            for (int64_t x = 0; x < tw; ++x)
                if (row[x]) {
                    first = x;
                    break;
                }
            if (first < 0) continue;
            for (int64_t x = tw - 1; x >= first; --x)
                if (row[x]) {
                    last = x;
                    break;
                }
            if (first < bl) bl = first;
            if (last > br) br = last;
            if (y < bt) bt = y;
            bb = y;
        }
        // A layer without one opaque pixel has nothing to cut: the run fails as cancelled.
        if (br < 0) {
            SetError(QWF_ERR_EMPTY);
            return false;
        }
        if (br + 1 - bl > kMaxMaskBox || bb + 1 - bt > kMaxMaskBox) {
            SetError(QWF_ERR_ARGUMENT);
            return false;
        }
        boxLeft = static_cast<int32_t>(bl);
        boxTop = static_cast<int32_t>(bt);
        const int32_t left = in.left;
        const int32_t top = in.top;
        in.left = left + static_cast<int32_t>(bl);
        in.top = top + static_cast<int32_t>(bt);
        in.right = left + static_cast<int32_t>(br + 1);
        in.bottom = top + static_cast<int32_t>(bb + 1);
        in.docLeft = in.floatX + in.left;
        in.docTop = in.floatY + in.top;
        in.docRight = in.floatX + in.right;
        in.docBottom = in.floatY + in.bottom;
    }

    // 2.
    m_workWidth = in.right - in.left;
    m_workHeight = in.bottom - in.top;
    if (!readMask) return true;
    if (m_workWidth <= 0 || m_workHeight <= 0) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }

    // 3.
    const int64_t w = m_workWidth;
    const int64_t h = m_workHeight;
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
    // Without transparency and selection the mask is 255 everywhere: one row of it, read with
    // a row stride of 0.
    const bool opaque = !in.transparencyPresent && !in.hostMask;
    const size_t maskBytes = opaque ? static_cast<size_t>(w) : area;
    if (m_mask.GetSize() != maskBytes && !m_mask.Alloc(maskBytes)) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    m_maskStride = opaque ? 0 : w;
    uint8_t* mask = m_mask.GetData();
    if (in.transparencyPresent) {
        if (transparency.GetSize()) {
            for (int64_t y = 0; y < h; ++y)
                std::memcpy(mask + y * w, transparency.GetData() + (y + boxTop) * tw + boxLeft,
                            static_cast<size_t>(w));
        } else if (!ReadPlane(transparencyPlane, in.left, in.top, in.right, in.bottom, mask, w)) {
            if (!GetError()) SetError(QWF_ERR_ARGUMENT);
            return false;
        }
    } else if (in.hostMask) {
        if (!ReadPlane(-1, in.left, in.top, in.right, in.bottom, mask, w)) {
            if (!GetError()) SetError(QWF_ERR_ARGUMENT);
            return false;
        }
        m_maskPtr = mask;
        return true;
    } else {
        std::memset(mask, 255, maskBytes);
    }

    // 4. Transparency and selection together.
    if (in.transparencyPresent && in.hostMask) {
        CQWF_Mem selection;
        if (!selection.Alloc(area)) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
        if (!ReadPlane(-1, in.left, in.top, in.right, in.bottom, selection.GetData(), w)) {
            if (!GetError()) SetError(QWF_ERR_ARGUMENT);
            return false;
        }
        const uint8_t* s = selection.GetData();
        for (size_t i = 0; i < area; ++i)
            mask[i] = static_cast<uint8_t>((static_cast<unsigned>(mask[i]) * s[i]) / 255);
    }
    m_maskPtr = mask;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writers

bool CPluginMain::ApplyLayoutMode()
{
    const QWF_HostInfo& in = m_info;
    m_engine.SetProgressSink(&m_hostProgress);
    m_hostProgress.ResetCancelSeen();
    m_hostProgress.SetPercent(0);
    const int64_t w = m_workWidth;
    const int64_t h = m_workHeight;
    if (w <= 0 || h <= 0) return false;
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
    CQWF_Mem lines;
    if (!lines.Alloc(area)) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    m_hostProgress.SetPercent(5);
    if (!m_engine.DrawSplitterMask(static_cast<int32_t>(w), static_cast<int32_t>(h),
                                   lines.GetData(), w, 5, 95))
        return false;

    const int colourPlanes = in.planes - (in.transparencyPresent ? 1 : 0);
    if (in.transparencyPresent && in.transparencyEditable) {
        if (!WritePlane(colourPlanes, in.left, in.top, in.right, in.bottom, lines.GetData(), w))
            return false;
        for (int c = 0; c < colourPlanes; ++c)
            if (!FillPlane(c, in.left, in.top, in.right, in.bottom, in.foreground[c]))
                return false;
    } else {
        CQWF_Mem out;
        if (!out.Alloc(area)) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
        const uint8_t* m = lines.GetData();
        for (int c = 0; c < colourPlanes; ++c) {
            const unsigned bg = in.background[c];
            const unsigned fg = in.foreground[c];
            uint8_t* o = out.GetData();
            for (size_t i = 0; i < area; ++i)
                o[i] = static_cast<uint8_t>(((255u - m[i]) * bg + fg * m[i]) / 255u);
            if (!WritePlane(c, in.left, in.top, in.right, in.bottom, o, w)) return false;
        }
    }
    m_hostProgress.SetPercent(100);
    return true;
}

bool CPluginMain::ApplyRenderedImage(CQWF_Image* image)
{
    const QWF_HostInfo& in = m_info;
    if (in.layout != 1 || !image || image->IsEmpty()) return false;
    const int64_t w = m_workWidth;
    const int64_t h = m_workHeight;
    if (w <= 0 || h <= 0 || image->GetWidth() != w || image->GetHeight() != h ||
        CQWF_Image::PlaneCount(image->GetType()) < 3)
        return false;
    const bool hasAlpha = CQWF_Image::PlaneCount(image->GetType()) >= 4;
    m_engine.SetProgressSink(&m_hostProgress);
    m_hostProgress.SetPercent(0);
    if (in.transparencyPresent && in.transparencyEditable && hasAlpha) {
        for (int i = 0; i < 4; ++i) {
            m_hostProgress.SetPercent(static_cast<uint8_t>(25 * i));
            if (!WritePlane(i, in.left, in.top, in.right, in.bottom, image->GetPlane(i), w))
                return false;
        }
    } else {
        const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
        CQWF_Mem out;
        if (!out.Alloc(area)) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
        const uint8_t* a = hasAlpha ? image->GetPlane(3) : nullptr;
        for (int i = 0; i < 3; ++i) {
            m_hostProgress.SetPercent(static_cast<uint8_t>(30 * i));
            const unsigned bg = in.background[i];
            const uint8_t* p = image->GetPlane(i);
            uint8_t* o = out.GetData();
            for (size_t k = 0; k < area; ++k) {
                const unsigned alpha = a ? a[k] : 255u;
                o[k] = static_cast<uint8_t>(((255u - alpha) * bg + p[k] * alpha) / 255u);
            }
            m_hostProgress.SetPercent(static_cast<uint8_t>(30 * i + 15));
            if (!WritePlane(i, in.left, in.top, in.right, in.bottom, o, w)) return false;
        }
    }
    m_hostProgress.SetPercent(100);
    return true;
}

bool CPluginMain::ApplyPieces(uint32_t n, const uint8_t* records)
{
    const QWF_HostInfo& in = m_info;
    // A failure below leaves a non-zero result: a failed transfer sets its own.
    auto fail = [&](int16_t code) {
        if (GetResult() == noErr) SetResult(code);
        return false;
    };
    m_engine.SetProgressSink(&m_hostProgress);
    m_engine.ClearLastMessage();
    m_hostProgress.ResetCancelSeen();
    m_hostProgress.SetPercent(0);
    const int colourPlanes = in.planes - (in.transparencyPresent ? 1 : 0);
    const int64_t w = m_workWidth;
    const int64_t h = m_workHeight;
    if (w <= 0 || h <= 0 || colourPlanes < 1 || colourPlanes > 4) return fail(userCanceledErr);
    if (n && !records) return fail(userCanceledErr);
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);

    // 2. Colour planes and the rendered alpha, contiguous. The cut needs only their addresses:
    // the colour planes are read after it, when its knife mask and labels are given back.
    // The cut draws its knife mask into the colour planes' memory and labels in the alpha
    // plane (16 bytes beyond it included), so a run touches no more than its planes.
    const size_t planeBytes = area * static_cast<size_t>(colourPlanes + 1) + 16;
    // A result blended over the background gets colour planes of its own after these, as long
    // as all stays within what the next run keeps: every piece is laid over them right after
    // its render, while its image and source are still in the cache (over the planes read from
    // the host it has to wait until no piece still to render reads its box). Only the pixels
    // the pieces cover are written there; the blend takes the background for all others.
    const bool editable = in.transparencyPresent && in.transparencyEditable;
    const size_t resultBytes = area * static_cast<size_t>(colourPlanes);
    const bool apart =
        !editable && planeBytes + resultBytes + m_mask.GetSize() <= kKeepRunBytes;
    const size_t runBytes = planeBytes + (apart ? resultBytes : 0);
    if (m_planes.GetSize() != runBytes) {
        if (!m_planes.Alloc(runBytes)) {
            SetResultOutOfMemory();
            return false;
        }
        // New memory is written before anything reads it, on all threads: the system supplies
        // its pages on the first write (a page read first is mapped to a shared zero page and
        // copied again on its first write). The planes are: the cut clears its knife mask and
        // labels in them, the colour planes are read into them. The blend reads the result
        // planes' uncovered pixels too (weighed by 0): they must hold defined bytes, and hold 0
        // from here on.
        if (apart) qwp::FillParallel(m_planes.GetData() + planeBytes, resultBytes, 0);
    }
    uint8_t* planes[kJigMaxPlanes] = {};
    for (int i = 0; i <= colourPlanes; ++i) planes[i] = m_planes.GetData() + area * i;
    uint8_t* result[kJigMaxPlanes] = {};
    for (int i = 0; i < colourPlanes; ++i)
        result[i] = apart ? m_planes.GetData() + planeBytes + area * i : planes[i];
    result[colourPlanes] = planes[colourPlanes];

    // 3. The cut.
    m_hostProgress.SetPercent(7);
    m_engine.LendCutBuffers(planes[0], area * static_cast<size_t>(colourPlanes),
                            planes[colourPlanes], area + 16);
    const bool cut = m_engine.Cut(static_cast<int32_t>(w), static_cast<int32_t>(h), m_maskPtr,
                                  m_maskStride, planes, w, colourPlanes, 7, 60, false);
    m_engine.LendCutBuffers(nullptr, 0, nullptr, 0);
    if (!cut) {
        SetEngineFailure();
        return false;
    }
    // The colour planes come in while the pieces render, band by band as their pieces need
    // them (all at once on one thread).
    const FilterRecord* record = GetFilterRecord();
    const int64_t bandRows = record && record->maxSpace > w ? record->maxSpace / w : 1;
    SourceBands bands{this, &in, planes, colourPlanes, w, h, bandRows, 0, false, 0};
    const CJigcrafter::SourceRows sourceRows{ReadSourceBand, &bands};

    // 4. Records to pieces.
    const int32_t pieceCount = m_engine.GetPieceCount();
    PieceEffectRecord rec;
    bool direct = n == static_cast<uint32_t>(pieceCount);
    for (int32_t i = 0; direct && i < pieceCount; ++i) {
        qwpiece::Load(records + static_cast<size_t>(i) * qwpiece::kRecordSize, rec);
        const JigPiece* p = m_engine.GetPiece(i);
        if (rec.row != p->row || rec.column != p->column) direct = false;
    }
    qwpiece::CRecordIndex index;
    if (!direct && n && !index.Build(records, n)) {
        SetResultOutOfMemory();
        return false;
    }
    for (int32_t i = 0; i < pieceCount; ++i) {
        const JigPiece* p = m_engine.GetPiece(i);
        int64_t match = -1;
        if (direct) {
            match = i;
        } else {
            const int32_t j = index.Find(p->row, p->column);
            if (j != -1 && static_cast<uint32_t>(j) < n) match = j;
        }
        if (match >= 0) {
            qwpiece::Load(records + static_cast<size_t>(match) * qwpiece::kRecordSize, rec);
            m_engine.RecordToPiece(rec, i);
        }
    }

    // 4 and 5. Every piece rendered (60 to 80) and laid over the planes through the mask (80 to
    // 90) in one pass; no piece is drawn over before every piece reading its pixels is rendered.
    // The alpha plane comes back from the cut all 0, as the composite needs it.
    m_engine.SetSourceRows(&sourceRows);
    const bool rendered = m_engine.RenderAndComposite(static_cast<int32_t>(w), static_cast<int32_t>(h),
                                                      result, w, colourPlanes + 1, m_maskPtr,
                                                      m_maskStride, false, 60, 80, 80, 90);
    m_engine.SetSourceRows(nullptr);
    // A plane that could not be read (the transfer set its result) is a cancel.
    if (bands.failed) return fail(userCanceledErr);
    if (!rendered || bands.read < h) {
        SetEngineFailure();
        return false;
    }

    // 6. Write-back. Nothing is written before every piece is composited.
    const uint8_t* alpha = planes[colourPlanes];
    if (editable) {
        for (int i = 0; i <= colourPlanes; ++i) {
            if (!WritePlane(i, in.left, in.top, in.right, in.bottom, result[i], w))
                return fail(userCanceledErr);
            m_hostProgress.SetPercent(static_cast<uint8_t>(92 + 2 * i));
        }
    } else {
        // Each plane blended over the background straight into the host's rows.
        const qwjig::BlendRowFn blend = qwjig::BlendRowFor(qwp::GetCpuLevel());
        for (int c = 0; c < colourPlanes; ++c) {
            BlendRows rows{result[c], alpha, w, in.background[c], blend};
            if (!WritePlaneRows(c, in.left, in.top, in.right, in.bottom, MakeBlendedRow, &rows))
                return fail(userCanceledErr);
            m_hostProgress.SetPercent(static_cast<uint8_t>(92 + 2 * c));
        }
    }
    m_hostProgress.SetPercent(100);
    return true;
}
