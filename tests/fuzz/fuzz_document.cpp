// Loads arbitrary bytes as a layout document the way the main window's "Load Document..." does,
// then uses what loaded as the main window does: the layout is drawn over the preview, saved as a
// document that loads back to the same bytes, and handed to the cutting engine, which cuts a
// small picture with it.
#include <cstring>
#include <vector>

#include "framework/core/qwf_file.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_document.h"
#include "plugin/main/layout_drawing.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_transfer.h"
#include "tests/fuzz/layout_checks.h"

using qwfuzz::Check;
using qwfuzz::CheckLayout;

namespace {
constexpr int32_t kImageW = 640, kImageH = 480;

struct Messages : CUserMessageSink {
    int shown = 0;
    void ShowMessage(const char*, const char*) override { ++shown; }
};

// The main window's drawing of the layout overlay.
struct Drawing : CLayoutModelSink {
    CLayoutModel* model = nullptr;
    CLayoutDrawing drawing;
    void BeginLayoutDrawing(bool, bool) override { drawing.Clear(); }
    void DrawKnifeCurve(const KnifeRecord& knife, double, double, double, double) override
    {
        drawing.DrawKnifeOutline(*model, knife);
    }
};

struct Records : CPieceRecordSource {
    std::vector<uint8_t> bytes;
    size_t GetPieceRecordCount() const override { return bytes.size() / qwpiece::kRecordSize; }
    void GetPieceRecord(size_t i, PieceEffectRecord& out) const override
    {
        qwpiece::Load(bytes.data() + i * qwpiece::kRecordSize, out);
    }
};

// The document saved by the save dialog's writer.
std::vector<uint8_t> Save(CLayoutModel& model, const char* name)
{
    Messages messages;
    CQWF_StdFile file;
    Check(file.Open(CQWF_String(qwfuzz::WindowsPath(name).c_str()), CQWF_StdFile::kModeCreateReadWrite));
    Check(qwdoc::WriteDocumentFile(&file, &model, &messages));
    Check(file.Close());
    std::vector<uint8_t> bytes;
    Check(qwfuzz::ReadFile(qwfuzz::HostPath(name), bytes));
    return bytes;
}

// Reads and applies a document over the default layout the main window starts with; the
// records stay in `records`.
bool Load(CLayoutModel& model, const char* name, Records& records, Messages& messages)
{
    model.SetImageSize(kImageW, kImageH);
    Check(model.DefaultLayout());
    qwdoc::LayoutDocument document;
    const int before = messages.shown;
    if (!qwdoc::ReadDocument(CQWF_String(qwfuzz::WindowsPath(name).c_str()), document, &messages)) {
        Check(messages.shown == before + 1);
        return false;
    }
    uint8_t* first = nullptr;
    uint32_t count = 0;
    const bool ok = qwdoc::ApplyDocument(model, document, &first, &count, &messages);
    Check(ok == (messages.shown == before));
    CheckLayout(model);
    records.bytes.clear();
    if (!ok) return false;
    Check((count == 0) == (first == nullptr));
    if (count) {
        Check(first >= document.blob.GetData() &&
              first + size_t(count) * qwpiece::kRecordSize <= document.blob.GetData() + document.size);
        records.bytes.assign(first, first + size_t(count) * qwpiece::kRecordSize);
    }
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Check(qwfuzz::WriteFile(qwfuzz::HostPath("doc.qwjd"), data, size));
    CLayoutModel model;
    Records records;
    Messages messages;
    if (!Load(model, "doc.qwjd", records, messages)) return 0;
    model.SetPieceSource(&records);
    model.SetLayoutMode(records.bytes.empty());

    // Drawn over the preview at 1:1 and zoomed out.
    Drawing drawing;
    drawing.model = &model;
    Check(drawing.drawing.SetSize(kImageW, kImageH));
    model.SetSink(&drawing);
    for (int zoom : {4, 2}) {
        model.SetZoom(zoom);
        const double scale = zoom == 4 ? 1.0 : 0.25;
        model.RecalcLayout({0, 0, kImageW * scale, kImageH * scale, 0, 0, double(kImageW), double(kImageH)}, true);
    }
    model.SetSink(nullptr);

    // Saved and loaded again: the same document.
    const std::vector<uint8_t> first = Save(model, "copy.qwjd");
    CLayoutModel again;
    Records againRecords;
    Check(Load(again, "copy.qwjd", againRecords, messages));
    Check(againRecords.bytes.size() == records.bytes.size());
    again.SetPieceSource(&againRecords);
    again.SetLayoutMode(againRecords.bytes.empty());
    Check(Save(again, "copy2.qwjd") == first);

    // Handed to the engine and cut, unless the layout is too large to cut quickly.
    if (model.GetExtraKnifeCount() > 200 || model.GetKnotCount() > 400) return 0;
    CJigcrafter engine;
    if (!TransferKnives(model, engine)) return 0;
    const int32_t w = 64, h = 48;
    std::vector<uint8_t> image(size_t(w) * h * 3, 128);
    const uint8_t* planes[3] = {image.data(), image.data() + w * h, image.data() + 2 * w * h};
    if (engine.Cut(w, h, nullptr, 0, planes, w, 3, 0, 100, true)) {
        for (int32_t i = 0; i < engine.GetPieceCount(); ++i) {
            const JigPiece* p = engine.GetPiece(i);
            Check(p->left >= 0 && p->top >= 0 && p->right <= w && p->bottom <= h && p->left < p->right &&
                  p->top < p->bottom);
        }
    }
    return 0;
}
