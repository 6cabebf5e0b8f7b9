#include "projection/SquareClip.h"

#include "projection/BoundaryJoin.h"

#include <algorithm>
#include <cmath>

struct CSquareClip::CSegment : CBoundaryPiece<CPlanePoint> {};

bool CSquareClip::IsInside(const CPlanePoint& p) const {
    return std::fabs(p.x) <= half && std::fabs(p.y) <= half;
}

// Liang-Barsky: the edge p + t (q - p) against the four sides.
bool CSquareClip::ClipEdge(const CPlanePoint& p, const CPlanePoint& q, double& t0,
                           double& t1) const {
    t0 = 0.0;
    t1 = 1.0;
    const double dx = q.x - p.x;
    const double dy = q.y - p.y;
    const double steps[4] = {-dx, dx, -dy, dy};
    const double room[4] = {p.x + half, half - p.x, p.y + half, half - p.y};
    for (int k = 0; k < 4; ++k) {
        if (steps[k] == 0.0) {
            if (room[k] < 0.0) {
                return false;
            }
            continue;
        }
        const double t = room[k] / steps[k];
        if (steps[k] < 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
    }
    return t0 <= t1;
}

CPlanePoint CSquareClip::PointOnEdge(const CPlanePoint& p, const CPlanePoint& q, double t) const {
    CPlanePoint r{p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t};
    // Exactly on the side it was clipped against, so that its perimeter
    // position is exact.
    r.x = std::clamp(r.x, -half, half);
    r.y = std::clamp(r.y, -half, half);
    return r;
}

double CSquareClip::Perimeter(const CPlanePoint& p) const {
    const double toSouth = std::fabs(p.y + half);
    const double toEast = std::fabs(p.x - half);
    const double toNorth = std::fabs(p.y - half);
    const double toWest = std::fabs(p.x + half);
    const double nearest = std::min(std::min(toSouth, toEast), std::min(toNorth, toWest));
    if (nearest == toSouth) {
        return p.x + half;
    }
    if (nearest == toEast) {
        return 2.0 * half + (p.y + half);
    }
    if (nearest == toNorth) {
        return 4.0 * half + (half - p.x);
    }
    return 6.0 * half + (half - p.y);
}

void CSquareClip::SplitRing(const std::vector<CPlanePoint>& ring,
                            std::vector<CSegment>& segments) const {
    // The ring is closed: n - 1 edges. Start at a point outside the square,
    // so that every piece inside begins and ends within one pass.
    const std::size_t edges = ring.size() - 1;
    std::size_t start = 0;
    while (start < edges && IsInside(ring[start])) {
        ++start;
    }
    CSegment current;
    bool inside = false;
    for (std::size_t k = 0; k < edges; ++k) {
        const CPlanePoint& p = ring[(start + k) % edges];
        const CPlanePoint& q = ring[(start + k + 1) % edges];
        double t0;
        double t1;
        if (!ClipEdge(p, q, t0, t1)) {
            continue;
        }
        if (!inside) {
            if (t1 < 1.0 && t0 == t1) {
                continue; // grazes a corner
            }
            current = CSegment();
            const CPlanePoint entry = PointOnEdge(p, q, t0);
            current.points.push_back(entry);
            current.entry = Perimeter(entry);
            inside = true;
        }
        if (t1 < 1.0) {
            const CPlanePoint exit = PointOnEdge(p, q, t1);
            current.points.push_back(exit);
            current.exit = Perimeter(exit);
            segments.push_back(std::move(current));
            inside = false;
        } else {
            current.points.push_back(q);
        }
    }
}

void CSquareClip::WalkOutline(double from, double distance, std::vector<CPlanePoint>& ring) const {
    const double side = 2.0 * half;
    const double perimeter = 4.0 * side;
    double u = from > 0.0 ? from : from + perimeter;
    double remaining = distance;
    const CPlanePoint corners[4] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    while (remaining > 0.0) {
        // The corner below u: 0, 2h, 4h or 6h (0 taken as the whole way round).
        double corner = std::floor(u / side) * side;
        if (corner == u) {
            corner -= side;
        }
        if (u - remaining >= corner) {
            return;
        }
        const int index = static_cast<int>(std::lround(corner / side)) & 3;
        ring.push_back(corners[index]);
        remaining -= u - corner;
        u = corner > 0.0 ? corner : perimeter;
    }
}

void CSquareClip::Rejoin(std::vector<CSegment>& segments,
                         std::vector<std::vector<CPlanePoint>>& rings) const {
    const auto walk = [&](double from, double distance, std::vector<CPlanePoint>& ring) {
        WalkOutline(from, distance, ring);
    };
    JoinAlongBoundary(segments, 8.0 * half, walk, [&](std::vector<CPlanePoint>& ring) {
        if (ring.size() >= 3) {
            ring.push_back(ring.front());
            rings.push_back(std::move(ring));
        }
    });
}

namespace {

// Winding number of a closed ring around a point: -1 for once clockwise.
int WindingAround(const std::vector<CPlanePoint>& ring, const CPlanePoint& p) {
    int winding = 0;
    for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
        const CPlanePoint& a = ring[i];
        const CPlanePoint& b = ring[i + 1];
        const double cross = (a.x - p.x) * (b.y - p.y) - (b.x - p.x) * (a.y - p.y);
        if (a.y <= p.y && b.y > p.y && cross > 0.0) {
            ++winding;
        } else if (a.y > p.y && b.y <= p.y && cross < 0.0) {
            --winding;
        }
    }
    return winding;
}

} // namespace

void CSquareClip::ClipPolygon(std::vector<std::vector<CPlanePoint>>& rings) const {
    std::vector<std::vector<CPlanePoint>> kept;
    std::vector<CSegment> segments;
    int cornerWinding = 0;
    for (std::vector<CPlanePoint>& ring : rings) {
        if (ring.size() < 4) {
            continue;
        }
        if (std::all_of(ring.begin(), ring.end(),
                        [&](const CPlanePoint& p) { return IsInside(p); })) {
            kept.push_back(std::move(ring));
            continue;
        }
        const std::size_t before = segments.size();
        SplitRing(ring, segments);
        if (segments.size() == before) {
            // Wholly outside: it may still surround the square.
            cornerWinding += WindingAround(ring, CPlanePoint{half, half});
        }
    }
    Rejoin(segments, kept);
    if (segments.empty() && cornerWinding != 0) {
        kept.insert(
            kept.begin(),
            std::vector<CPlanePoint>{
                {-half, -half}, {-half, half}, {half, half}, {half, -half}, {-half, -half}});
    }
    rings = std::move(kept);
}

void CSquareClip::ClipLine(const std::vector<CPlanePoint>& line,
                           std::vector<std::vector<CPlanePoint>>& pieces) const {
    std::vector<CPlanePoint> current;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        double t0;
        double t1;
        if (!ClipEdge(line[i], line[i + 1], t0, t1)) {
            continue;
        }
        if (current.empty()) {
            current.push_back(PointOnEdge(line[i], line[i + 1], t0));
        }
        if (t1 < 1.0) {
            current.push_back(PointOnEdge(line[i], line[i + 1], t1));
            if (current.size() >= 2) {
                pieces.push_back(std::move(current));
            }
            current.clear();
        } else {
            current.push_back(line[i + 1]);
        }
    }
    if (current.size() >= 2) {
        pieces.push_back(std::move(current));
    }
}
