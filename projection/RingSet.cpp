#include "projection/RingSet.h"

#include <cmath>
#include <limits>

void CRingSet::Append(const CRingSet& other) {
    const uint32_t pointBase = static_cast<uint32_t>(points.size());
    const uint32_t ringBase = static_cast<uint32_t>(GetRingCount());
    points.insert(points.end(), other.points.begin(), other.points.end());
    for (std::size_t r = 1; r < other.ringStarts.size(); ++r) {
        ringStarts.push_back(pointBase + other.ringStarts[r]);
    }
    for (std::size_t p = 1; p < other.polygonStarts.size(); ++p) {
        polygonStarts.push_back(ringBase + other.polygonStarts[p]);
    }
}

std::size_t CRingSet::GetBytes() const {
    return points.capacity() * sizeof(CPlanePoint) + ringStarts.capacity() * sizeof(uint32_t) +
           polygonStarts.capacity() * sizeof(uint32_t);
}

double RingDoubleArea(const CPlanePoint* points, std::size_t count) {
    if (count < 3) {
        return 0.0;
    }
    // Relative to the first point, so that maps far from the origin keep
    // their precision.
    const double x0 = points[0].x;
    const double y0 = points[0].y;
    double sum = 0.0;
    for (std::size_t i = 1; i + 1 < count; ++i) {
        const double ax = points[i].x - x0;
        const double ay = points[i].y - y0;
        const double bx = points[i + 1].x - x0;
        const double by = points[i + 1].y - y0;
        sum += ax * by - bx * ay;
    }
    return sum;
}

double NetArea(const CRingSet& polygons) {
    double total = 0.0;
    for (std::size_t p = 0; p < polygons.GetPolygonCount(); ++p) {
        double sum = 0.0;
        for (uint32_t r = polygons.GetFirstRing(p); r < polygons.GetEndRing(p); ++r) {
            sum += RingDoubleArea(polygons.GetRingPoints(r), polygons.GetRingSize(r));
        }
        total += std::fabs(sum) / 2.0;
    }
    return total;
}

bool FiniteBounds(const CRingSet& set, CPlanePoint& minimum, CPlanePoint& maximum) {
    // Plain comparisons rather than fmin/fmax: only finite values reach them,
    // and they compile to single instructions where fmin/fmax are calls.
    constexpr double infinity = std::numeric_limits<double>::infinity();
    CPlanePoint low{infinity, infinity};
    CPlanePoint high{-infinity, -infinity};
    for (const CPlanePoint& p : set.points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            continue;
        }
        low.x = p.x < low.x ? p.x : low.x;
        low.y = p.y < low.y ? p.y : low.y;
        high.x = p.x > high.x ? p.x : high.x;
        high.y = p.y > high.y ? p.y : high.y;
    }
    if (!(low.x <= high.x)) {
        return false;
    }
    minimum = low;
    maximum = high;
    return true;
}
