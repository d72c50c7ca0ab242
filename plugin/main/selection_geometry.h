// What the selection commands decide: which pieces a range, a rubber band, a lasso or a channel
// mask takes, the piece under a point, and the random share that selecting at random changes
// (for pieces and for knives alike). Everything works on the cutting engine's piece table and
// reports piece indices; the piece list applies them.
#pragma once

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_progress.h"
#include "framework/imaging/qwf_image.h"
#include "platform/qw_random.h"
#include "plugin/core/jigcrafter.h"

#include <cstddef>
#include <cstdint>

namespace qwsel {

// The empty rectangle of an index past the table.
constexpr int32_t kNoRect = -32000;

// How many entries selecting at random changes: one in twenty of the total, at least one, at
// most the candidates.
inline size_t RandomShare(size_t candidates, size_t total)
{
    size_t n = total / 20;
    if (n < 1)
        n = 1;
    return n < candidates ? n : candidates;
}

// Chooses `changes` different entries of `count` at random and calls fn(entry) for each. Each
// draw is the product of two 15-bit draws (taken in 64 bits) modulo the count; a used entry
// passes the choice on to the next unused one, cyclically. False when memory runs out (nothing
// is chosen then).
template <typename Fn> bool PickRandom(size_t count, size_t changes, Fn fn)
{
    if (count == 0 || changes == 0)
        return true;
    CQWF_Mem used;
    if (!used.AllocZeroed(count))
        return false;
    uint8_t* u = used.GetData();
    for (size_t c = 0; c < changes; ++c) {
        const uint64_t product = static_cast<uint64_t>(qwp::Random15()) *
                                 static_cast<uint64_t>(qwp::Random15());
        const size_t start = static_cast<size_t>(product % count);
        size_t i = start;
        while (u[i]) {
            i = (i + 1) % count;
            if (i == start)
                return true;
        }
        u[i] = 1;
        fn(i);
    }
    return true;
}

// Even-odd rule over the polygon's edges (integer crossing abscissa, truncating division).
bool PointInLasso(const int32_t* xs, const int32_t* ys, int64_t count, int32_t x, int32_t y);
// Whether an edge of the polygon crosses an edge of the rectangle whose corners are
// (left, top) and (right - 1, bottom - 1).
bool LassoCrossesRect(const int32_t* xs, const int32_t* ys, int64_t count, int32_t left,
                      int32_t top, int32_t right, int32_t bottom);

// The tight box of the piece's mask pixels; all four -32000 for an index past the table, and
// (1000000, 1000000, -1000000, -1000000) for a piece without a pixel.
QWF_Rect GetPieceMaskBounds(const JigPiece* pieces, int32_t count, int32_t index);
// Whether some pixel of the piece lies where the mask (inverted: 255 - mask) is below the
// threshold; the mask has the image's size, its rows the mask width apart.
bool PieceTouchesMask(const JigPiece& piece, const uint8_t* mask, int32_t maskWidth,
                      int32_t maskHeight, int threshold, bool inverted);
// The piece whose rectangle and mask hold the image point; -1 for none.
int32_t PieceAtPoint(const JigPiece* pieces, int32_t count, int32_t x, int32_t y);

// The pieces a selection command changes, from piece `first` on (1 while razor cut is off, so
// that the knife lines stay apart), skipping those already in the target state (1 selected,
// 0 not). The indices are appended to `out`; false when memory runs out.
//
// Range: the pieces with more than half of their pixels inside the union of the pixel boxes of
// pieces a and b; nothing when either index is not in the table.
bool PiecesInRange(const JigPiece* pieces, int32_t count, int32_t first, int32_t a, int32_t b,
                   uint8_t target, CQWF_DWordArray& out);
// Rubber band: the pieces with a pixel in the rectangle (image pixels, clipped to the image).
bool PiecesInRect(const JigPiece* pieces, int32_t count, int32_t first, QWF_Rect rect,
                  int32_t imageWidth, int32_t imageHeight, uint8_t target, CQWF_DWordArray& out);
// Lasso: the pieces with a pixel inside the polygon (image pixels). Progress (optional) runs
// from `from` to `to` percent over the pieces, reported when its integer part changes.
bool PiecesInPolygon(const JigPiece* pieces, int32_t count, int32_t first, const int32_t* xs,
                     const int32_t* ys, int64_t n, int32_t imageWidth, int32_t imageHeight,
                     uint8_t target, CQWF_DWordArray& out, CQWF_Progress* progress = nullptr,
                     double from = 0.0, double to = 100.0);
// At random: the random share of the pieces whose selected flag differs from value.
bool PiecesRandom(const JigPiece* pieces, int32_t count, uint8_t value, CQWF_DWordArray& out);

}  // namespace qwsel
