#pragma once

#include <vector>

#include "projection/RingSet.h"

// Clips projected rings and polylines to the square |x| <= half, |y| <= half
// of the plane (Mercator's square world). Rings are closed (first point
// repeated last) with the region on their right: exterior rings clockwise,
// holes anticlockwise. Pieces that leave the square are joined along its
// sides, walked clockwise, so the result keeps that winding.
class CSquareClip {
public:
    explicit CSquareClip(double half) : half(half) {}

    // The rings of one polygon, replaced by what lies within the square.
    void ClipPolygon(std::vector<std::vector<CPlanePoint>>& rings) const;
    // The pieces of an open polyline within the square, appended to pieces.
    void ClipLine(const std::vector<CPlanePoint>& line,
                  std::vector<std::vector<CPlanePoint>>& pieces) const;

private:
    struct CSegment;

    bool IsInside(const CPlanePoint& p) const;
    // The part of edge p -> q within the square, as fractions of the edge;
    // false when none of it is.
    bool ClipEdge(const CPlanePoint& p, const CPlanePoint& q, double& t0, double& t1) const;
    CPlanePoint PointOnEdge(const CPlanePoint& p, const CPlanePoint& q, double t) const;
    // Position of a point on the square's outline, growing anticlockwise
    // from the south-west corner.
    double Perimeter(const CPlanePoint& p) const;
    void SplitRing(const std::vector<CPlanePoint>& ring, std::vector<CSegment>& segments) const;
    void Rejoin(std::vector<CSegment>& segments,
                std::vector<std::vector<CPlanePoint>>& rings) const;
    // Appends the corners passed walking clockwise from `from` over distance.
    void WalkOutline(double from, double distance, std::vector<CPlanePoint>& ring) const;

    double half;
};
