// Plane geometry: segments, distances, offsets, polyline smoothing and a scan-line flood fill.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

// Input point of the curve routines: position and the smoothness at that node (0..1).
struct QWF_PolyPoint {
    double x;
    double y;
    float s;
};

struct QWF_DPoint {
    double x;
    double y;
};

// Flood-fill callbacks: the test answers true when (x, y) must not be filled (a border or
// already filled); the span callback fills `length` pixels of row y from x to the right and
// must make them test true.
typedef bool (*QWF_FillTestFn)(int32_t x, int32_t y, void* user);
typedef bool (*QWF_FillSpanFn)(int32_t x, int32_t y, int32_t length, void* user);

class CQWF_2DMath : public CQWF_FrameWork {
public:
    CQWF_2DMath();
    ~CQWF_2DMath() override;

    static bool SegmentsIntersect(double x1, double y1, double x2, double y2, double x3, double y3,
                                  double x4, double y4);
    static bool SegmentIntersection(double x1, double y1, double x2, double y2, double x3,
                                    double y3, double x4, double y4, int& colinear,
                                    QWF_DPoint& point);
    static bool DistanceToSegment(double x1, double y1, double x2, double y2, double px, double py,
                                  double& distance, double& t);
    bool PointToSegmentDistance(double x1, double y1, double x2, double y2, double px, double py,
                                double& distance, double& t);
    static bool SignedDistanceToLine(double x1, double y1, double x2, double y2, double px,
                                     double py, double& distance, double& t);
    static bool PointAtOffset(double x1, double y1, double x2, double y2, double across,
                              double along, QWF_DPoint& point);

    // 2(n-1) control points (x, y doubles) into block; count = 2(n-1).
    bool PolylineToBezier(const QWF_PolyPoint* points, int64_t n, CQWF_Mem* block, int64_t& count);
    // Flattened points (x, y doubles) into block; segment index (u32) per point into
    // segmentBlock when given.
    bool BezierToPolyline(const QWF_PolyPoint* points, int64_t n, double step, CQWF_Mem* block,
                          int64_t& count, CQWF_Mem* segmentBlock = nullptr);
    // Bounds the work of BezierToPolyline by the area the curve is drawn into rather than by the
    // curve's length: a segment whose ends lie more than `reach` apart gets the samples of one
    // whose ends lie `reach` apart (0, the default: no bound). CurveReach is the reach of a width x height area, 16 of its diagonals:
    // the chain through nodes the shape editor can make (up to 5 edge lengths across an edge
    // that lies in the area, 2 beyond its ends) never spans that much, so such curves come out
    // exactly as without a bound.
    void SetCurveReach(double reach) { m_curveReach = reach > 0 && reach < 1e300 ? reach : 0; }
    static double CurveReach(double width, double height);

    // Scan-line fill from (x, y) through the two callbacks.
    void FloodFill(void* user, int32_t x, int32_t y);

    // Optional limits of the fill: pixels outside [left, right) x [top, bottom) test true
    // without asking the test callback. Without bounds the fill relies on the test callback
    // to stop it.
    void SetBounds(int32_t left, int32_t top, int32_t right, int32_t bottom);

    // Optional fast barrier test in place of the test callback: a pixel tests true when it lies
    // outside width x height or its byte is not 0 (SetByteBarrier), or its bit is set, most
    // significant bit first in each byte (SetBitBarrier). The span callback must still make the
    // filled pixels test true, i.e. write non-zero bytes or set the bits of this plane.
    void SetByteBarrier(const uint8_t* plane, int64_t stride, int32_t width, int32_t height);
    void SetBitBarrier(const uint8_t* bits, int64_t stride, int32_t width, int32_t height);

    QWF_FillTestFn m_test = nullptr;
    QWF_FillSpanFn m_span = nullptr;

private:
    double m_curveReach = 0;
    bool m_bounded = false;
    int32_t m_boundLeft = 0;
    int32_t m_boundTop = 0;
    int32_t m_boundRight = 0;
    int32_t m_boundBottom = 0;
    uint8_t m_barrierKind = 0;  // 0 none (callback), 1 bytes, 2 bits
    const uint8_t* m_barrier = nullptr;
    int64_t m_barrierStride = 0;
    int32_t m_barrierWidth = 0;
    int32_t m_barrierHeight = 0;
};
