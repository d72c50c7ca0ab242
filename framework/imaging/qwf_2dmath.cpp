// Plane geometry (implementation in progress).
#include "framework/imaging/qwf_2dmath.h"

CQWF_2DMath::CQWF_2DMath() = default;
CQWF_2DMath::~CQWF_2DMath() = default;
bool CQWF_2DMath::SegmentsIntersect(double, double, double, double, double, double, double, double) { return false; }
bool CQWF_2DMath::SegmentIntersection(double, double, double, double, double, double, double, double, int& c, QWF_DPoint&) { c = 0; return false; }
bool CQWF_2DMath::DistanceToSegment(double, double, double, double, double, double, double& d, double& t) { d = t = 0; return false; }
bool CQWF_2DMath::PointToSegmentDistance(double x1, double y1, double x2, double y2, double px, double py, double& d, double& t) { return DistanceToSegment(x1, y1, x2, y2, px, py, d, t); }
bool CQWF_2DMath::SignedDistanceToLine(double, double, double, double, double, double, double&, double&) { return false; }
bool CQWF_2DMath::PointAtOffset(double, double, double, double, double, double, QWF_DPoint&) { return false; }
bool CQWF_2DMath::PolylineToBezier(const QWF_PolyPoint*, int64_t, CQWF_Mem*, int64_t& c) { c = 0; SetError(QWF_ERR_ARGUMENT); return false; }
bool CQWF_2DMath::BezierToPolyline(const QWF_PolyPoint*, int64_t, double, CQWF_Mem*, int64_t& c, CQWF_Mem*) { c = 0; SetError(QWF_ERR_ARGUMENT); return false; }
void CQWF_2DMath::FloodFill(void*, int32_t, int32_t) {}
void CQWF_2DMath::SetBounds(int32_t, int32_t, int32_t, int32_t) {}
void CQWF_2DMath::ClearBounds() {}
void CQWF_2DMath::SetByteBarrier(const uint8_t*, int64_t, int32_t, int32_t) {}
void CQWF_2DMath::SetBitBarrier(const uint8_t*, int64_t, int32_t, int32_t) {}
void CQWF_2DMath::ClearBarrier() {}
