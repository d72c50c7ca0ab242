// Layouts and images for the sample job, the run benchmark and the run tests: a grid of tab
// knives made with the layout model, serialised as a layout blob, and a colourful test picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/qw_random.h"
#include "plugin/main/layout_model.h"
#include "plugin/core/piece_effect_record.h"

namespace qwsample {

// Piece records handed to the blob writer as they are.
class CRecordList : public CPieceRecordSource {
public:
    std::vector<PieceEffectRecord> records;
    size_t GetPieceRecordCount() const override { return records.size(); }
    void GetPieceRecord(size_t i, PieceEffectRecord& out) const override { out = records[i]; }
};

// A record for the cell (row, column), 1-based, with the default effects.
inline PieceEffectRecord CellRecord(int row, int column)
{
    PieceEffectRecord r;
    qwpiece::DefaultRecord(r);
    r.row = static_cast<uint8_t>(row);
    r.column = static_cast<uint8_t>(column);
    return r;
}

// The showcase's pieces at their cells in a grid of at least 6 x 5.
inline void AddShowcaseCells(CRecordList& list)
{
    PieceEffectRecord r = CellRecord(2, 2);
    r.ovOn = 1;
    r.ovOpacity = 140;
    r.ovRGB[0] = 255; r.ovRGB[1] = 40; r.ovRGB[2] = 40;
    list.records.push_back(r);
    r = CellRecord(2, 4);
    r.stOn = 1;
    r.stSize = 4;
    r.stRGB[0] = 255; r.stRGB[1] = 255; r.stRGB[2] = 0;
    list.records.push_back(r);
    r = CellRecord(3, 3);
    r.shown = 0;  // a missing piece
    list.records.push_back(r);
    r = CellRecord(3, 5);
    r.invert = 1;
    list.records.push_back(r);
    r = CellRecord(4, 2);
    r.blurOn = 1;
    r.blurRadius = 4;
    list.records.push_back(r);
    r = CellRecord(4, 4);
    r.hslOn = 1;
    r.hue = 120;
    list.records.push_back(r);
    r = CellRecord(1, 6);
    r.mbOn = 1;
    r.mbAngle = 30;
    r.mbDistance = 12;
    list.records.push_back(r);
    r = CellRecord(5, 1);
    r.bcOn = 1;
    r.brightness = 40;
    r.contrast = 30;
    list.records.push_back(r);
    r = CellRecord(5, 5);
    r.opOn = 1;
    r.opValue = 110;
    list.records.push_back(r);
}

// A handful of pieces with every kind of effect and a hidden one, for the sample job, in a grid
// of columns x rows cells: from 6 x 5 cells on each at its own cell; in a smaller grid a record
// whose cell lies outside takes the first cell no record holds (in reading order), and those
// left over when every cell holds one are dropped.
inline void AddShowcaseRecords(CRecordList& list, int columns = 8, int rows = 6)
{
    const size_t first = list.records.size();
    AddShowcaseCells(list);
    const size_t cells = static_cast<size_t>(columns) * static_cast<size_t>(rows);
    auto cellOf = [&](const PieceEffectRecord& r) {
        const bool inside = r.row >= 1 && r.row <= rows && r.column >= 1 && r.column <= columns;
        return inside ? static_cast<size_t>(r.row - 1) * static_cast<size_t>(columns) + (r.column - 1) : cells;
    };
    std::vector<bool> taken(cells, false);
    for (size_t i = first; i < list.records.size(); ++i)
        if (cellOf(list.records[i]) < cells) taken[cellOf(list.records[i])] = true;
    size_t free = 0, kept = first;
    for (size_t i = first; i < list.records.size(); ++i) {
        PieceEffectRecord r = list.records[i];
        if (cellOf(r) == cells) {
            while (free < cells && taken[free]) ++free;
            if (free == cells) continue;
            taken[free] = true;
            r.row = static_cast<uint8_t>(free / static_cast<size_t>(columns) + 1);
            r.column = static_cast<uint8_t>(free % static_cast<size_t>(columns) + 1);
        }
        list.records[kept++] = r;
    }
    list.records.resize(kept);
}

// A layout of columns x rows cells with the default tab on every knife, each tab flipped at
// random and the knots moved a little (seeded, so the same arguments give the same blob).
// Puzzle mode carries the records of `pieces` (may be null: no records).
inline bool MakeLayoutBlob(int32_t width, int32_t height, int columns, int rows, bool puzzle,
                           const CPieceRecordSource* pieces, std::vector<uint8_t>& out,
                           bool razor = true, bool antiAlias = true, uint32_t seed = 7)
{
    CLayoutModel model;
    model.SetImageSize(width, height);
    if (!model.SetGridSize(columns, rows, true, true)) return false;
    qwp::SeedRandom(seed);
    for (int32_t i = 0; i < model.GetRowKnifeCount(); ++i) {
        CLayoutModel::DefaultKnifeShape(model.RowKnives()[i]);
        model.RowKnives()[i].flipAcross = static_cast<uint8_t>(qwp::Random15() & 1);
    }
    for (int32_t i = 0; i < model.GetColumnKnifeCount(); ++i) {
        CLayoutModel::DefaultKnifeShape(model.ColumnKnives()[i]);
        model.ColumnKnives()[i].flipAcross = static_cast<uint8_t>(qwp::Random15() & 1);
    }
    model.SetKnotAmplitude(0.15f);
    model.RandomizeKnots(true);
    model.SetFlag(CLayoutModel::kFlagRazor, razor ? 1 : 0);
    model.SetFlag(CLayoutModel::kFlagAntiAlias, antiAlias ? 1 : 0);
    model.SetLayoutMode(!puzzle);
    model.SetPieceSource(pieces);
    CQWF_Mem block;
    size_t length = 0;
    if (!model.SerializeLayout(block, length)) return false;
    out.assign(block.GetData(), block.GetData() + length);
    return true;
}

// A picture with soft colour fields, rings and stripes, so that bevels and edges show.
// Planes R, G, B one after the other.
inline void MakePicture(int32_t width, int32_t height, std::vector<uint8_t>& planes)
{
    const size_t area = static_cast<size_t>(width) * static_cast<size_t>(height);
    planes.assign(area * 3, 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            const double dx = u - 0.5, dy = v - 0.5;
            const int ring = static_cast<int>((dx * dx + dy * dy) * 90.0) & 1;
            const int stripe = ((x / 24 + y / 24) & 1) ? 12 : 0;
            int r = static_cast<int>(40 + 200 * u) + stripe - ring * 30;
            int g = static_cast<int>(60 + 170 * v) + stripe - ring * 30;
            int b = static_cast<int>(220 - 160 * u * v) + stripe + ring * 20;
            r = r < 0 ? 0 : (r > 255 ? 255 : r);
            g = g < 0 ? 0 : (g > 255 ? 255 : g);
            b = b < 0 ? 0 : (b > 255 ? 255 : b);
            const size_t i = static_cast<size_t>(y) * width + x;
            planes[i] = static_cast<uint8_t>(r);
            planes[area + i] = static_cast<uint8_t>(g);
            planes[2 * area + i] = static_cast<uint8_t>(b);
        }
    }
}

}  // namespace qwsample
