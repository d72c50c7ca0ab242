#include "plugin/main/piece_export.h"

#include <cmath>
#include <cstring>
#include <new>

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_progress.h"
#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_png.h"
#include "framework/imaging/qwf_psd.h"
#include "platform/qw_format.h"
#include "platform/qw_threads.h"

namespace {

constexpr uint32_t kMaxItems = 100000;
constexpr int32_t kNone = -32000;  // an empty union
constexpr const char* kProductText = "Quarrow. Jigcrafter 3.0";
constexpr const char* kInternalError = "Internal Error.";

struct OptionKey {
    const char* key;
    uint8_t PieceExportOptions::*field;
};
// In the order of the settings table; saving writes them in this order.
constexpr OptionKey kOptionKeys[] = {
    {"Export Settings>ExportWhat", &PieceExportOptions::exportWhat},
    {"Export Settings>ExportTo", &PieceExportOptions::exportTo},
    {"Export Settings>NamingMode", &PieceExportOptions::namingMode},
    {"Export Settings>IncludeComposite", &PieceExportOptions::includeComposite},
    {"Export Settings>ExportWOBevel", &PieceExportOptions::withoutBevel},
    {"Export Settings>IncludeHiddenPieces", &PieceExportOptions::includeHidden},
    {"Export Settings>PreservePosition", &PieceExportOptions::preservePosition},
};

// Copies a text into a fixed field of n bytes (n - 1 characters and the NUL).
void CopyName(char* out, size_t n, const char* text)
{
    size_t len = std::strlen(text);
    if (len > n - 1) len = n - 1;
    std::memcpy(out, text, len);
    out[len] = 0;
}

}  // namespace

namespace qwexport {

const char* NumberFormat(uint32_t count)
{
    if (count < 10) return "%d";
    if (count < 100) return "%02d";
    if (count < 1000) return "%03d";
    if (count < 10000) return "%04d";
    if (count < 100000) return "%05d";
    return "%06d";
}

void LoadPieceExportOptions(CQWF_Storage* store, PieceExportOptions& options)
{
    if (!store) return;
    for (const OptionKey& k : kOptionKeys) store->GetByte(k.key, options.*k.field);
}

void SavePieceExportOptions(CQWF_Storage* store, const PieceExportOptions& options)
{
    if (!store) return;
    store->CreateFolder("Export Settings");
    for (const OptionKey& k : kOptionKeys) store->SetByte(k.key, options.*k.field);
}

PieceCounts CountPieces(const CRenderedPieceSource& source)
{
    PieceCounts c;
    const int32_t n = source.GetPieceCount();
    RenderedPiece p;
    for (int32_t i = 0; i < n; ++i) {
        if (!source.GetPiece(i, p)) continue;
        ++c.total;
        if (p.selected) ++c.selected;
        if (!p.shown) ++c.hidden;
        if (p.selected && !p.shown) ++c.selectedHidden;
        if (!p.selected && p.shown) c.someUnselectedShown = true;
    }
    c.someSelected = c.selected > 0;
    c.notAllSelected = c.selected < c.total;
    c.someHidden = c.hidden > 0;
    return c;
}

}  // namespace qwexport

int CExportPiecesIDS::Compare(const void* a, const void* b)
{
    uint32_t ia, ib;
    std::memcpy(&ia, a, 4);
    std::memcpy(&ib, b, 4);
    RenderedPiece pa, pb;
    if (!m_pSource || !m_pSource->GetPiece(static_cast<int32_t>(ia), pa) ||
        !m_pSource->GetPiece(static_cast<int32_t>(ib), pb))
        return 0;
    if (pa.row != pb.row) return pa.row < pb.row ? -1 : 1;
    if (pa.column != pb.column) return pa.column < pb.column ? -1 : 1;
    return 0;
}

CPieceExport::CPieceExport(CRenderedPieceSource& source, CQWF_Progress* progress,
                           CUserMessageSink* messages)
    : m_source(source), m_progress(progress), m_messages(messages)
{
}

CPieceExport::~CPieceExport()
{
    Finish();
    delete[] m_writers;
}

void CPieceExport::SetPercent(int percent)
{
    if (m_progress) m_progress->SetPercent(static_cast<uint8_t>(percent < 0 ? 0 : (percent > 100 ? 100 : percent)));
}

void CPieceExport::Fail(const char* text) { qwexport::Tell(m_messages, text); }

bool CPieceExport::Prepare(uint32_t count, const PieceExportOptions& options,
                           const ExportDocument& document)
{
    // 1. A new export gives back what an earlier one changed.
    Finish();
    m_count = 0;
    m_takenCount = 0;
    m_suffixes.RemoveAll();
    m_options = options;
    if (count == 0 || count > kMaxItems) return false;
    DocumentImage image;
    bool ok = AllocateItems(count) && TakeDocument(document, image);
    if (ok && options.exportWhat == 1) {
        // 5. The merged image.
        ok = count == 1;
        if (ok) {
            DocumentItem(Items()[0], "Merged", image);
            m_suffixes.Add("");
        }
    } else if (ok) {
        bool remainder = false;
        ok = TakePieces(remainder);
        // 9.-10.
        const bool composite = options.includeComposite && remainder && options.exportWhat != 3;
        if (ok && static_cast<uint64_t>(count) != m_takenCount + (composite ? 1u : 0u)) {
            Fail(kInternalError);
            m_takenCount = 0;
            ok = false;
        }
        if (ok) {
            m_prepared = true;
            ok = (!composite || AddComposite(image)) && AddPieceItems(count, composite);
        }
        if (ok && options.exportTo != 1) DropEmptyItems();
    }
    if (ok && options.exportTo != 1 && !PrepareWriters()) {
        Fail(qwexport::kNoMemory);
        ok = false;
    }
    // Nothing is left changed when the export cannot go on.
    if (!ok) {
        Finish();
        m_count = 0;
    }
    return ok;
}

bool CPieceExport::AllocateItems(uint32_t count)
{
    // 2.-3.
    SetPercent(0);
    if (!m_items.AllocZeroed(static_cast<size_t>(count) * sizeof(ExportItem))) {
        Fail(qwexport::kNoMemory);
        return false;
    }
    m_count = count;
    SetPercent(5);
    return true;
}

bool CPieceExport::TakeDocument(const ExportDocument& document, DocumentImage& image)
{
    // 4. The document: its size is the rendered image's; a resolution the host did not give is
    // taken as 72 pixels per inch.
    m_document = document;
    if (!(m_document.resolution > 0.0) || !std::isfinite(m_document.resolution))
        m_document.resolution = 72.0;
    if (!m_document.profile) m_document.profileSize = 0;
    if (!m_source.GetDocumentImage(image) || image.width <= 0 || image.height <= 0 ||
        image.width > 32767 || image.height > 32767)
        return false;
    m_width = image.width;
    m_height = image.height;
    SetPercent(6);
    return true;
}

void CPieceExport::DocumentItem(ExportItem& item, const char* name, const DocumentImage& image)
{
    CopyName(item.name, sizeof(item.name), name);
    for (int c = 0; c < 4; ++c) item.planes[c] = image.planes[c];
    item.stride = image.stride;
    item.left = 0;
    item.top = 0;
    item.width = static_cast<uint16_t>(image.width);
    item.height = static_cast<uint16_t>(image.height);
    item.visible = 1;
    item.opacity = 255;
}

bool CPieceExport::TakePieces(bool& remainder)
{
    // 6. The pieces taken, and whether some shown piece stays behind.
    const int32_t pieceCount = m_source.GetPieceCount();
    const bool toPsd = m_options.exportTo == 1;
    CExportPiecesIDS order(&m_source);
    remainder = false;
    RenderedPiece p;
    for (int32_t i = 0; i < pieceCount; ++i) {
        if (!m_source.GetPiece(i, p)) return false;
        if (p.shown && !p.selected) remainder = true;
        const bool visible = p.shown || (m_options.includeHidden && toPsd);
        const bool wanted = m_options.exportWhat == 3 || (m_options.exportWhat == 2 && p.selected);
        if (visible && wanted && order.Add(static_cast<uint32_t>(i)) < 0) {
            Fail(qwexport::kNoMemory);
            return false;
        }
    }
    SetPercent(7);
    // 7. Row, then column.
    order.Sort(true);
    SetPercent(8);
    // 8. What Finish gives back.
    const size_t taken = order.GetCount();
    if (!m_taken.Alloc(taken * sizeof(int32_t) + 1) || !m_wasShown.AllocZeroed(taken + 1) ||
        !m_hadBevel.AllocZeroed(taken + 1) || !m_bevelOff.AllocZeroed(taken + 1)) {
        Fail(qwexport::kNoMemory);
        return false;
    }
    auto* indices = reinterpret_cast<int32_t*>(m_taken.GetData());
    for (size_t k = 0; k < taken; ++k) {
        indices[k] = static_cast<int32_t>(order.GetAt(k));
        m_source.GetPiece(indices[k], p);
        m_wasShown.GetData()[k] = p.shown ? 1 : 0;
        m_hadBevel.GetData()[k] = p.bevelRendered ? 1 : 0;
    }
    m_takenCount = static_cast<uint32_t>(taken);
    SetPercent(9);
    return true;
}

bool CPieceExport::AddComposite(DocumentImage& image)
{
    // 11. The composite: the document image with the taken pieces left out.
    const auto* indices = reinterpret_cast<const int32_t*>(m_taken.GetData());
    RenderedPiece p;
    m_union[0] = m_union[1] = m_union[2] = m_union[3] = kNone;
    for (uint32_t k = 0; k < m_takenCount; ++k) {
        m_source.SetShown(indices[k], false);
        m_source.GetPiece(indices[k], p);
        if (p.left >= p.right || p.top >= p.bottom) continue;
        if (m_union[0] == kNone) {
            m_union[0] = p.left;
            m_union[1] = p.top;
            m_union[2] = p.right;
            m_union[3] = p.bottom;
        } else {
            if (p.left < m_union[0]) m_union[0] = p.left;
            if (p.top < m_union[1]) m_union[1] = p.top;
            if (p.right > m_union[2]) m_union[2] = p.right;
            if (p.bottom > m_union[3]) m_union[3] = p.bottom;
        }
    }
    m_shownChanged = true;
    if (m_union[0] != kNone &&
        !m_source.Recomposite(m_union[0], m_union[1], m_union[2], m_union[3], m_progress, 9, 20))
        return false;
    if (!m_source.GetDocumentImage(image)) return false;
    DocumentItem(Items()[0], "Composite", image);
    m_suffixes.Add("_Composite");
    return true;
}

bool CPieceExport::AddPieceItems(uint32_t count, bool composite)
{
    // 12. One item per piece, numbered from 1 in order.
    const auto* indices = reinterpret_cast<const int32_t*>(m_taken.GetData());
    const char* format = qwexport::NumberFormat(count);
    const bool simple = m_options.namingMode == 1;
    SetPercent(20);
    RenderedPiece p;
    char number[16];
    char text[128];
    for (uint32_t k = 0; k < m_takenCount; ++k) {
        const int32_t index = indices[k];
        const int j = static_cast<int>(k) + 1;
        if (m_options.withoutBevel && m_hadBevel.GetData()[k]) {
            m_bevelOff.GetData()[k] = 1;
            if (!m_source.RenderWithBevel(index, false)) {
                Fail(qwexport::kNoMemory);
                return false;
            }
        }
        if (!m_source.GetPiece(index, p)) return false;
        ExportItem& item = Items()[k + (composite ? 1 : 0)];
        for (int c = 0; c < 4; ++c) item.planes[c] = p.planes[c];
        item.stride = p.stride;
        item.left = static_cast<int16_t>(p.left);
        item.top = static_cast<int16_t>(p.top);
        const int32_t w = p.right - p.left;
        const int32_t h = p.bottom - p.top;
        item.width = static_cast<uint16_t>(w > 0 ? w : 0);
        item.height = static_cast<uint16_t>(h > 0 ? h : 0);
        if (simple)
            qwp::Format(text, sizeof(text), "Layer %d", j);
        else
            qwp::Format(text, sizeof(text), "L%d - Piece: %d (R: %d / C: %d)", j, index, p.row,
                        p.column);
        CopyName(item.name, sizeof(item.name), text);
        item.opacity = p.opacityOn ? p.opacity : 255;
        item.visible = m_wasShown.GetData()[k];
        qwp::Format(number, sizeof(number), format, j);
        if (simple)
            qwp::Format(text, sizeof(text), "_%s", number);
        else
            qwp::Format(text, sizeof(text), "_F%s-Piece%d_R%d_C%d", number, index, p.row,
                        p.column);
        if (m_suffixes.Add(text) < 0) {
            Fail(qwexport::kNoMemory);
            return false;
        }
        SetPercent(20 + static_cast<int>(20ull * k / m_takenCount));
    }
    return true;
}

void CPieceExport::DropEmptyItems()
{
    // An item that leaves nothing on its file gets no file at all.
    ExportItem* items = Items();
    uint32_t kept = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        const ExportItem& it = items[i];
        bool empty = it.width == 0 || it.height == 0;
        if (!empty && m_options.preservePosition)
            empty = it.left >= m_width || it.top >= m_height ||
                    static_cast<int32_t>(it.left) + it.width <= 0 ||
                    static_cast<int32_t>(it.top) + it.height <= 0;
        if (empty) {
            m_suffixes.RemoveAt(kept);
            continue;
        }
        if (kept != i) items[kept] = it;
        ++kept;
    }
    m_count = kept;
}

void CPieceExport::RestoreShown()
{
    if (!m_shownChanged) return;
    m_shownChanged = false;
    const auto* indices = reinterpret_cast<const int32_t*>(m_taken.GetData());
    for (uint32_t k = 0; k < m_takenCount; ++k)
        m_source.SetShown(indices[k], m_wasShown.GetData()[k] != 0);
    if (m_union[0] != kNone)
        m_source.Recomposite(m_union[0], m_union[1], m_union[2], m_union[3], m_progress, 98, 100);
}

bool CPieceExport::Finish()
{
    if (!m_prepared) return true;
    m_prepared = false;
    // 14. Bevels back on where the export took them off.
    SetPercent(90);
    bool ok = true;
    const auto* indices = reinterpret_cast<const int32_t*>(m_taken.GetData());
    for (uint32_t k = 0; k < m_takenCount; ++k) {
        if (!m_bevelOff.GetData()[k]) continue;
        m_bevelOff.GetData()[k] = 0;
        if (!m_source.RenderWithBevel(indices[k], true)) ok = false;
        SetPercent(90 + static_cast<int>(8 * k / m_takenCount));
    }
    // 15. Shown flags back, and the document image with them.
    SetPercent(98);
    RestoreShown();
    SetPercent(100);
    if (!ok) Fail(qwexport::kNoMemory);
    return ok;
}

bool CPieceExport::WritePsd(CQWF_StdFile* file, void* context)
{
    return context && static_cast<CPieceExport*>(context)->WritePsdFile(file);
}

bool CPieceExport::WritePng(CQWF_StdFile* file, void* context, uint32_t index)
{
    return context && static_cast<CPieceExport*>(context)->WritePngFile(file, index);
}

bool CPieceExport::WritePsdFile(CQWF_StdFile* file)
{
    // 1.
    if (m_count == 0 || m_count > kMaxItems) return false;
    SetPercent(40);
    // 2.-3.
    CQWF_ImagePSD psd;
    QWF_PSDSettings s;
    s.width = static_cast<int16_t>(m_width);
    s.height = static_cast<int16_t>(m_height);
    s.colorMode = QWF_MODE_RGB;
    s.resolution = m_document.resolution;
    s.lightAngle = 130;
    s.profile = m_document.profile;
    s.profileSize = m_document.profileSize;
    if (!psd.AttachFile(file) || !psd.SetWriteSettings(s)) {
        Fail(qwexport::kCannotWrite);
        return false;
    }
    SetPercent(41);
    // 4. One layer per item, in item order.
    const ExportItem* items = Items();
    for (uint32_t i = 0; i < m_count; ++i) {
        const ExportItem& it = items[i];
        const uint8_t* planes[5] = {it.planes[0], it.planes[1], it.planes[2], it.planes[3],
                                    nullptr};
        if (it.stride < 0 || it.stride > INT32_MAX ||
            !psd.AddLayer(static_cast<int16_t>(it.width), static_cast<int16_t>(it.height), it.left,
                          it.top, it.visible, it.opacity, it.name, planes,
                          static_cast<int32_t>(it.stride))) {
            Fail(qwexport::kNoMemory);
            return false;
        }
    }
    // 5. The document, then everything buffered must reach the disk.
    SetPercent(43);
    CQWF_SubProgress sub;
    if (m_progress) {
        sub.SetRange(m_progress, 43, 90);
        psd.SetProgress(&sub);
    }
    if (!psd.Write() || !file->Flush()) {
        Fail(qwexport::kCannotWrite);
        return false;
    }
    return true;
}

bool CPieceExport::WritePngFile(CQWF_StdFile* file, uint32_t index)
{
    // 1.-2.
    if (m_count == 0 || m_count > kMaxItems || index >= m_count) return false;
    SetPercent(40 + static_cast<int>(50ull * index / m_count));
    CQWF_ImagePNG png;
    const uint8_t failure = WritePngItem(file, index, png);
    if (failure == kTellCannotWrite) Fail(qwexport::kCannotWrite);
    return failure == kWritten;
}

uint8_t CPieceExport::WritePngItem(CQWF_StdFile* file, uint32_t index, CQWF_ImagePNG& png) const
{
    if (!file || m_count == 0 || m_count > kMaxItems || index >= m_count) return kFailed;
    const ExportItem& it = reinterpret_cast<const ExportItem*>(m_items.GetData())[index];
    if (it.stride <= 0 || it.stride > INT32_MAX || it.width == 0 || it.height == 0) return kFailed;
    // 3.
    QWF_PNGSettings s;
    s.mode = QWF_PNG_RGBA;
    s.product = kProductText;
    s.resolution = m_document.resolution;
    s.stride = static_cast<int32_t>(it.stride);
    uint8_t scale[256];
    if (it.opacity != 255) {
        for (int a = 0; a < 256; ++a) scale[a] = static_cast<uint8_t>(a * it.opacity / 255);
        s.alphaMap = scale;
    }
    if (m_options.preservePosition) {
        // 4. The piece at its place on a transparent white canvas of the document's size: the
        // part of it inside the canvas is the picture's area, white with alpha 0 all around.
        const int32_t l = it.left > 0 ? it.left : 0;
        const int32_t t = it.top > 0 ? it.top : 0;
        const int32_t r = it.left + it.width < m_width ? it.left + it.width : m_width;
        const int32_t b = it.top + it.height < m_height ? it.top + it.height : m_height;
        if (l >= r || t >= b) return kFailed;  // such items were left out when the list was made
        const int64_t at = static_cast<int64_t>(t - it.top) * it.stride + (l - it.left);
        for (int c = 0; c < 4; ++c) s.planes[c] = it.planes[c] ? it.planes[c] + at : nullptr;
        s.width = static_cast<int16_t>(m_width);
        s.height = static_cast<int16_t>(m_height);
        s.areaLeft = l;
        s.areaTop = t;
        s.areaWidth = r - l;
        s.areaHeight = b - t;
        s.outside = 0x00FFFFFFu;
    } else {
        // 5. The piece's own size, its alpha scaled when its opacity is not full.
        if (it.stride < it.width) return kFailed;
        s.width = static_cast<int16_t>(it.width);
        s.height = static_cast<int16_t>(it.height);
        for (int c = 0; c < 4; ++c) s.planes[c] = it.planes[c];
    }
    // 6. Written whole, and flushed, or the file is given up.
    if (!png.AttachFile(file) || !png.Write(s) || !file->Flush()) return kTellCannotWrite;
    return kWritten;
}

bool CPieceExport::WriteFile(CQWF_StdFile& file, uint32_t index, uint32_t slot)
{
    if (!m_writers || slot >= m_slots || index >= m_count || m_failures.GetSize() < m_count) return false;
    const uint8_t failure = WritePngItem(&file, index, m_writers[slot]);
    m_failures.GetData()[index] = failure;
    return failure == kWritten;
}

bool CPieceExport::Next(uint32_t index)
{
    SetPercent(40 + static_cast<int>(50ull * index / (m_count ? m_count : 1)));
    // The sink's cancel query also lets the window repaint.
    return !(m_progress && m_progress->IsCancelled());
}

void CPieceExport::TellFailure(uint32_t index)
{
    if (index < m_failures.GetSize() && m_failures.GetData()[index] == kTellCannotWrite) Fail(qwexport::kCannotWrite);
}

bool CPieceExport::PrepareWriters()
{
    delete[] m_writers;
    m_writers = nullptr;
    m_slots = 1;
    if (!m_failures.AllocZeroed(m_count ? m_count : 1)) return false;
    const uint32_t threads = static_cast<uint32_t>(qwp::ThreadCount());
    for (uint32_t slots = threads < m_count ? threads : m_count; slots >= 1 && !m_writers; slots /= 2) {
        m_writers = new (std::nothrow) CQWF_ImagePNG[slots];
        if (m_writers) m_slots = slots;
    }
    return m_writers != nullptr;
}

bool CPieceExport::ExportTo(const CQWF_String& path, uint32_t count,
                            const PieceExportOptions& options, const ExportDocument& document,
                            uint32_t* written)
{
    if (written) *written = 0;
    if (!Prepare(count, options, document)) return false;
    SetPercent(40);
    bool ok;
    if (options.exportTo == 1) {
        ok = qwexport::WriteFile(path, &CPieceExport::WritePsd, this, m_messages);
        if (ok && written) *written = 1;
    } else {
        ok = qwexport::WriteFileSeries(path, "png", m_suffixes, *this, m_messages, written);
    }
    const bool restored = Finish();
    return ok && restored;
}
