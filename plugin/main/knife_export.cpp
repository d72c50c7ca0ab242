#include "plugin/main/knife_export.h"

#include <cmath>
#include <cstring>

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_progress.h"
#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_2dmath.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/postscript_text.h"

namespace {

constexpr const char* kWhatKey = "Export LM Settings>ExportWhat";
constexpr const char* kToKey = "Export LM Settings>ExportTo";


// The smallest rectangle holding every point of the drawing.
struct Extent {
    double l = 0, b = 0, r = 0, t = 0;
    void Add(double x, double y, double margin)
    {
        if (x - margin < l) l = x - margin;
        if (x + margin > r) r = x + margin;
        if (y - margin < b) b = y - margin;
        if (y + margin > t) t = y + margin;
    }
};

}  // namespace

namespace qwexport {

void LoadKnifeExportOptions(CQWF_Storage* store, KnifeExportOptions& options)
{
    if (!store) return;
    store->GetByte(kWhatKey, options.exportWhat);
    store->GetByte(kToKey, options.exportTo);
}

void SaveKnifeExportOptions(CQWF_Storage* store, const KnifeExportOptions& options)
{
    if (!store) return;
    store->CreateFolder("Export LM Settings");
    store->SetByte(kWhatKey, options.exportWhat);
    store->SetByte(kToKey, options.exportTo);
}

KnifeCounts CountKnives(const CLayoutModel& model)
{
    KnifeCounts c;
    auto count = [&](const KnifeRecord& k) {
        ++c.total;
        if (k.selected) ++c.selected;
        if (k.hidden) ++c.hidden;
        if (k.selected && k.hidden) ++c.selectedHidden;
    };
    for (int32_t i = 0; i < model.GetColumnKnifeCount(); ++i) count(model.ColumnKnives()[i]);
    for (int32_t i = 0; i < model.GetRowKnifeCount(); ++i) count(model.RowKnives()[i]);
    for (int32_t i = 0; i < model.GetExtraKnifeCount(); ++i) count(model.ExtraKnives()[i].knife);
    c.someSelected = c.selected > 0;
    return c;
}

bool BuildKnifePathText(const CLayoutModel& model, const KnifePathSettings& settings,
                        CQWF_Mem& text, size_t& length, CQWF_Progress* progress,
                        CUserMessageSink* messages)
{
    length = 0;
    // 1.-2. The page in points; a document without a resolution counts 72 pixels per inch.
    const double resolution =
        settings.resolution > 0.0 && std::isfinite(settings.resolution) ? settings.resolution
                                                                         : 72.0;
    const double unit = 72.0 / resolution;
    const double W = settings.width * unit;
    const double Hp = settings.height * unit;
    const bool eps = settings.eps;
    const char* nl = eps ? "\n" : "\r";

    const int32_t rows = model.GetRowKnifeCount();
    const int32_t columns = model.GetColumnKnifeCount();
    const int32_t extras = model.GetExtraKnifeCount();
    const int perRow = model.GetXLineCount();        // row knives per knife row
    const int perColumnRow = model.GetXLineCount() + 1;  // column knives per knife row
    const int knotsPerRow = model.GetKnotsPerRow();

    // 3.
    const int64_t total = static_cast<int64_t>(rows) + columns + extras;
    const double step = total > 0 ? 100.0 / static_cast<double>(total) : 0.0;
    double percent = 0.0;
    int shown = -1;

    bool someSelected = false;
    auto anySelected = [&](const KnifeRecord& k) { someSelected = someSelected || k.selected; };
    for (int32_t i = 0; i < rows; ++i) anySelected(model.RowKnives()[i]);
    for (int32_t i = 0; i < columns; ++i) anySelected(model.ColumnKnives()[i]);
    for (int32_t i = 0; i < extras; ++i) anySelected(model.ExtraKnives()[i].knife);
    const bool razor = model.GetFlag(CLayoutModel::kFlagRazor) != 0;

    CPostScriptText body;
    Extent extent;
    extent.r = W;
    extent.t = Hp;
    CQWF_2DMath geometry;
    CQWF_Mem controls;
    QWF_PolyPoint points[kKnifeMaxNodes + 2];

    auto knotPoint = [&](int column, int row, double& x, double& y) {
        model.GetKnotPosition(column, row, W, Hp, 0.0, 0.0, x, y);
        y = Hp - y;
    };

    // 4.-6. One path per written knife.
    auto writeKnife = [&](const KnifeRecord& k, double ax, double ay, double bx, double by) {
        percent += step;
        if (static_cast<int>(percent) != shown) {
            shown = static_cast<int>(percent);
            if (progress) progress->SetPercent(static_cast<uint8_t>(shown > 100 ? 100 : shown));
        }
        if (k.hidden || !(k.selected || !someSelected || settings.all)) return true;
        const double w = k.tipsSize / 100.0;
        const double lw = razor ? unit : k.thickness * unit;
        const double m = k.flipAlong ? 1.0 - k.meanU : k.meanU;
        const int n = k.nodeCount < 0 ? 0 : (k.nodeCount > kKnifeMaxNodes ? kKnifeMaxNodes : k.nodeCount);
        int count = 0;
        points[count++] = QWF_PolyPoint{ax, ay, 0.0f};
        for (int i = 0; i < n; ++i) {
            const int j = k.flipAlong ? n - 1 - i : i;
            double u = k.flipAlong ? 1.0 - k.U[j] : k.U[j];
            double h = k.flipAcross ? k.H[j] : -k.H[j];
            if (k.tipsSize != 100) {
                h *= w;
                u = m + w * (u - m);
            }
            QWF_DPoint p{ax, ay};
            CQWF_2DMath::PointAtOffset(ax, ay, bx, by, h, u, p);
            points[count++] = QWF_PolyPoint{p.x, p.y, k.S[j]};
        }
        points[count++] = QWF_PolyPoint{bx, by, 0.0f};
        const double half = lw / 2.0;
        extent.Add(ax, ay, half);
        extent.Add(bx, by, half);
        if (eps) {
            body.Add("newpath\n");
            body.Format("%f %f moveto\n", ax, ay);
        } else {
            body.Format("%f w\r1 J\r1 j\r", lw);
            body.Add("1.00 1.00 1.00 1.00 K\r");
            body.Format("%f %f m\r", ax, ay);
        }
        if (count > 2) {
            int64_t c = 0;
            if (!geometry.PolylineToBezier(points, count, &controls, c)) {
                Tell(messages, kCannotWrite);
                return false;
            }
            const double* cp = reinterpret_cast<const double*>(controls.GetData());
            for (int s = 0; s + 1 < count; ++s) {
                const double* q = cp + 4 * s;
                const QWF_PolyPoint& e = points[s + 1];
                extent.Add(q[0], q[1], half);
                extent.Add(q[2], q[3], half);
                extent.Add(e.x, e.y, half);
                body.Format(eps ? "%f %f %f %f %f %f curveto\n" : "%f %f %f %f %f %f c\r", q[0],
                            q[1], q[2], q[3], e.x, e.y);
            }
        } else {
            body.Format(eps ? "%f %f lineto\n" : "%f %f L\r", bx, by);
        }
        if (eps)
            body.Format("%f setlinewidth 1 setlinecap 1 setlinejoin\nstroke\n", lw);
        else
            body.Add("S\r");
        return true;
    };

    for (int32_t i = 0; i < rows; ++i) {
        const int X = perRow > 0 ? i % perRow : 0;
        const int t = perRow > 0 ? i / perRow : 0;
        double ax, ay, bx, by;
        knotPoint(X + 1, t, ax, ay);
        knotPoint(X + 1, t + 1, bx, by);
        if (!writeKnife(model.RowKnives()[i], ax, ay, bx, by)) return false;
    }
    for (int32_t i = 0; i < columns; ++i) {
        const int X = i % perColumnRow;
        const int t = i / perColumnRow;
        double ax, ay, bx, by;
        knotPoint(X, t + 1, ax, ay);
        knotPoint(X + 1, t + 1, bx, by);
        if (!writeKnife(model.ColumnKnives()[i], ax, ay, bx, by)) return false;
    }
    for (int32_t i = 0; i < extras; ++i) {
        const ExtraKnifeRecord& e = model.ExtraKnives()[i];
        double ax = 0, ay = 0, bx = 0, by = 0;
        if (knotsPerRow > 0) {
            knotPoint(e.knotA % knotsPerRow, e.knotA / knotsPerRow, ax, ay);
            knotPoint(e.knotB % knotsPerRow, e.knotB / knotsPerRow, bx, by);
        }
        if (!writeKnife(e.knife, ax, ay, bx, by)) return false;
    }

    // 7.-8. Header, body, trailer. The integer box is rounded outward; the exact one follows.
    CPostScriptText out;
    const long llx = static_cast<long>(std::floor(extent.l));
    const long lly = static_cast<long>(std::floor(extent.b));
    const long urx = static_cast<long>(std::ceil(extent.r));
    const long ury = static_cast<long>(std::ceil(extent.t));
    out.Format("%s%s", eps ? "%!PS-Adobe-3.0 EPSF-3.0" : "%!PS-Adobe-3.0", nl);
    out.Format("%%%%Creator: Quarrow. Jigcrafter 3.0%s", nl);
    out.Format("%%%%BoundingBox: %ld %ld %ld %ld%s", llx, lly, urx, ury, nl);
    out.Format("%%%%HiResBoundingBox: %f %f %f %f%s", extent.l, extent.b, extent.r, extent.t, nl);
    if (eps) {
        out.Add("%%LanguageLevel: 2\n%%Pages: 1\n%%DocumentData: Clean7Bit\n");
    } else {
        out.Format("%%%%AI3_TemplateBox: 0 0 %f %f\r", W, Hp);
        qwps::IllustratorProlog(out);
    }
    out.Raw(reinterpret_cast<const char*>(body.Text().GetData()), body.Length());
    if (!eps) qwps::IllustratorTrailer(out);
    out.Format("%%%%EOF%s", nl);
    if (!body.Ok() || !out.Ok()) {
        Tell(messages, kNoMemory);
        return false;
    }
    text.Swap(out.Text());
    length = out.Length();
    return true;
}

bool WriteLayoutPostScript(CQWF_StdFile* file, const CLayoutModel& model,
                           const KnifePathSettings& settings, CQWF_Progress* progress,
                           CUserMessageSink* messages)
{
    if (!file) return false;
    CQWF_Mem text;
    size_t length = 0;
    if (!BuildKnifePathText(model, settings, text, length, progress, messages)) return false;
    // 9. All of it reaches the file, or the file is given up.
    if (file->Write(text.GetData(), length) != static_cast<int64_t>(length) || !file->Flush()) {
        Tell(messages, kCannotWrite);
        return false;
    }
    if (progress) progress->SetPercent(100);
    return true;
}

}  // namespace qwexport
