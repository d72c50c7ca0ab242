// Triangular and hexagonal layouts: a grid whose own knives are hidden (hexagons show some of
// them again) and a mesh of extra knives between its knots. With "regular" the cells keep
// 60-degree angles and the rest of the image is left as margins on two opposite sides.
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_model_impl.h"

#include <algorithm>

namespace {
constexpr double kSin60 = 0.8660254037844386;

// Runs a mesh generator twice: once counting its knives so that room for all of them is made
// at once, then adding them. The generator calls knife(column, row, column, row) per knife and
// learns whether this is the adding pass.
template <typename Gen> void AddMeshKnives(CLayoutModel& m, Gen generate)
{
    const int K = m.GetKnotsPerRow();
    int64_t n = 0;
    generate([&](int, int, int, int) { ++n; }, false);
    m.ReserveExtraKnives(std::min<int64_t>(n, kLayoutMaxExtraKnives));
    generate([&](int c0, int r0, int c1, int r1) { m.AddExtraKnife(r0 * K + c0, r1 * K + c1); },
             true);
}

// Lines from the margin g to 1 - g: the first at g, each next one step on, the last at 1 - g.
void SpaceWithMargins(float* lines, int count, double g, double step)
{
    if (count < 2)
        return;
    lines[0] = static_cast<float>(g);
    for (int j = 1; j < count - 1; ++j)
        lines[j] = lines[j - 1] + static_cast<float>(step);
    lines[count - 1] = static_cast<float>(1.0 - g);
}
}  // namespace

// Records the undo state and rebuilds the grid with every grid knife hidden and nothing
// selected.
bool CLayoutModel::BuildMeshGrid(int columns, int rows)
{
    RecordUndo(0, kFullGrid);
    if (!SetGridSize(columns, rows, true, true))
        return false;
    ForEachConsidered(false, [](KnifeRecord& k, bool) {
        k.hidden = 1;
        k.selected = 0;
    });
    UpdateSelectionState();
    return true;
}

// The knives in scope take the Cutter's shape; the Cutter learns the new grid size.
void CLayoutModel::FinishMesh()
{
    float s, h, u;
    CutterAmplitudes(s, h, u);
    CloneShapeToKnives(true, s, h, u, false);
    RefreshOverlay();
    UpdateSelectionState();
    if (m_layoutMode && m_pCutter)
        m_pSink->CutterSetGridSize(m_xLineCount + 1, m_yLineCount + 1);
}

bool CLayoutModel::BuildTriangularLayout(int rows, int columns, bool regular)
{
    const int R = std::clamp(rows, 1, 98);
    const int C = std::clamp(columns, 1, 97);
    int gridColumns = C + 1;
    int gridRows = R;
    int mx = 0;
    int my = 0;
    double g = 0.0;
    if (regular && m_imageW > 0 && m_imageH > 0) {
        const double W = m_imageW;
        const double H = m_imageH;
        const double t = W / ((C + 1) / 2.0);  // the base that fills the width
        const double v = H / (kSin60 * R);     // the base that fills the height
        if (t < v) {
            my = 1;
            gridRows += 2;
            g = (H - R * t * kSin60) / 2.0 / H;
        } else if (t > v) {
            mx = 1;
            gridColumns += 2;
            g = (W - v * (C + 1) / 2.0) / 2.0 / W;
        }
    }
    if (!BuildMeshGrid(gridColumns, gridRows))
        return false;

    const int K = m_knotsPerRow;
    const int Rk = m_knotRows;
    AddMeshKnives(*this, [&](auto knife, bool) {
        bool odd = true;
        for (int i = my; i <= Rk - my - 1; ++i, odd = !odd) {
            for (int l = odd ? mx + 1 : mx; l < K - mx; l += 2) {
                if (i != 0 && i != Rk - 1 && l + 2 < K - mx)
                    knife(l, i, l + 2, i);
                if (l - 1 >= mx && i + 1 < Rk - my)
                    knife(l, i, l - 1, i + 1);
                if (l + 1 < K - mx && i + 1 < Rk - my)
                    knife(l, i, l + 1, i + 1);
            }
        }
    });
    if (mx)
        SpaceWithMargins(m_xLines, m_xLineCount, g, (1.0 - 2.0 * g) / (C + 1));
    if (my)
        SpaceWithMargins(m_yLines, m_yLineCount, g, (1.0 - 2.0 * g) / R);

    // Exactly the extra knives are selected and shaped.
    ForEachInFamily(2, false, [](KnifeRecord& k, int32_t) { k.selected = 1; });
    UpdateSelectionState();
    FinishMesh();
    return true;
}

bool CLayoutModel::BuildHexagonalLayout(int rows, int columns, bool regular)
{
    const int R = std::clamp(rows, 1, 97);
    const int C = std::clamp(columns, 1, 48);
    const double e = 1.5 * C + 0.5;  // the width in hexagon edges
    int gridColumns = 2 * C + 1;
    int gridRows = R + 1;
    int mx = 0;
    int my = 0;
    double g = 0.0;
    if (regular && m_imageW > 0 && m_imageH > 0) {
        const double W = m_imageW;
        const double H = m_imageH;
        const double t = W / e;                  // the edge that fills the width
        const double w = H / (kSin60 * (R + 1));  // the edge that fills the height
        if (t > w) {
            mx = 1;
            gridColumns = 2 * C + 3;
            g = (W - w * e) / 2.0 / W;
        } else if (t < w) {
            my = 1;
            gridRows = R + 3;
            g = (H - kSin60 * (R + 1) * t) / 2.0 / H;
        }
    }
    if (!BuildMeshGrid(gridColumns, gridRows))
        return false;

    const int K = m_knotsPerRow;
    const int Rk = m_knotRows;
    const int xl = m_xLineCount;
    AddMeshKnives(*this, [&](auto knife, bool adding) {
        bool odd = true;
        for (int i = my; i <= Rk - my - 1; ++i, odd = !odd) {
            const int start = mx ? (odd ? 2 : 0) : (odd ? 1 : -1);
            for (int j = start; j < K - mx; j += 4) {
                if (j >= 1 && i + 1 < Rk - my)
                    knife(j, i, j - 1, i + 1);
                if (j + 1 >= 0 && j + 2 < K && i + 1 < Rk - my)
                    knife(j + 1, i, j + 2, i + 1);
                // The flat top and bottom of a hexagon are grid knives shown again.
                if (adding && 0 < i && i < Rk - 1 && 0 < j && j < K - mx - 1) {
                    const int32_t index = (i - 1) * (xl + 1) + j;
                    if (index < m_colCount)
                        ColumnKnives()[index].hidden = 0;
                }
            }
        }
    });

    // Half and whole edges alternate across a row of hexagons (at least two lines: 2C, or
    // 2C + 2 with the margins).
    const double s = mx ? (1.0 - 2.0 * g) / e : 1.0 / e;
    if (mx) {
        m_xLines[0] = static_cast<float>(g);
        for (int j = 1; j < xl - 1; ++j)
            m_xLines[j] = m_xLines[j - 1] + static_cast<float>(j % 2 ? s / 2.0 : s);
        m_xLines[xl - 1] = static_cast<float>(1.0 - g);
    } else {
        float x = 0.0f;
        for (int j = 0; j < xl; ++j) {
            x += static_cast<float>(j % 2 ? s : s / 2.0);
            m_xLines[j] = x;
        }
    }
    if (my)
        SpaceWithMargins(m_yLines, m_yLineCount, g, (1.0 - 2.0 * g) / (R + 1));

    // Every shown knife is selected and shaped.
    SelectShownKnives(false, false);
    FinishMesh();
    return true;
}
