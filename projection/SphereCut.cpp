#include "projection/SphereCut.h"

#include <algorithm>
#include <cmath>

#include "projection/BoundaryJoin.h"
#include "projection/Projection.h"

// The cut is done on unit vectors, where a great-circle edge is the set of
// positive combinations of its two ends and its crossings with the seam plane
// or the clip circle's plane have closed forms. Frame longitudes and
// latitudes are kept beside the vectors: vertices that no cut moves keep
// their input values bit for bit, so the projection of them can be taken
// from the caller.

namespace {

// Perimeter of the frame's longitude/latitude rectangle in the boundary
// parameter (degrees along its sides), and where its sides begin.
constexpr double RectanglePerimeter = 1080.0;
constexpr double SouthSideStart = 0.0;   // south pole line, west to east
constexpr double EastSideStart = 360.0;  // eastern side of the seam, south to north
constexpr double NorthSideStart = 540.0; // north pole line, east to west
constexpr double WestSideStart = 900.0;  // western side of the seam, north to south

// Pole lines are emitted in pieces of at most this many degrees of longitude,
// so that no piece of them starts and ends on the same projected point.
constexpr double PoleLineStep = 90.0;
// The clip circle is emitted in pieces of at most this angle (radians).
constexpr double CircleStep = 6.0 * DegreesToRadians;

struct CVector {
    double x;
    double y;
    double z;
};

CVector UnitVector(double lonDegrees, double latDegrees) {
    const double lambda = lonDegrees * DegreesToRadians;
    const double phi = latDegrees * DegreesToRadians;
    const double cosPhi = std::cos(phi);
    return {cosPhi * std::cos(lambda), cosPhi * std::sin(lambda), std::sin(phi)};
}

double LatitudeOf(const CVector& v) {
    return std::atan2(v.z, std::hypot(v.x, v.y)) * RadiansToDegrees;
}

double LongitudeOf(const CVector& v) {
    return std::atan2(v.y, v.x) * RadiansToDegrees;
}

CVector Normalised(const CVector& v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

double Dot(const CVector& a, const CVector& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// +180 or -180 for the side of the seam a longitude lies on.
double SeamSide(double lon) {
    return lon < 0.0 ? -180.0 : 180.0;
}

// A difference of angles brought into (-pi, pi].
double WrapAngle(double a) {
    while (a > Pi) {
        a -= TwoPi;
    }
    while (a <= -Pi) {
        a += TwoPi;
    }
    return a;
}

} // namespace

struct CSphereCut::CFramePoint {
    double lon;
    double lat;
    CVector v;
    uint32_t source;
};

// A piece of a ring inside the domain, from the boundary back to it.
struct CSphereCut::CSegment : CBoundaryPiece<CCutPoint> {};

CSphereCut::CSphereCut(SphereCut cut, double clipRadius)
    : cut(cut), clipRadius(clipRadius), cosClip(std::cos(clipRadius)),
      sinClip(std::sin(clipRadius)) {}

void CSphereCut::ToFrame(double lon, double lat, double& frameLon, double& frameLat) const {
    if (!IsTransverse()) {
        frameLon = lon;
        frameLat = lat;
        return;
    }
    // Cassini's frame: the point (0, 90E) becomes the south pole and the
    // centre stays put, a proper rotation about the centre's axis. Its
    // antimeridian is the half of the equator beyond 90 degrees.
    const CVector p = UnitVector(lon, lat);
    const CVector f{p.x, p.z, -p.y};
    frameLon = LongitudeOf(f);
    frameLat = LatitudeOf(f);
}

void CSphereCut::ToFramePoints(const CPlanePoint* points, uint32_t count, uint32_t firstSource,
                               bool reverse, std::vector<CFramePoint>& out) const {
    out.clear();
    out.reserve(count);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t i = reverse ? count - 1 - k : k;
        CFramePoint p;
        ToFrame(points[i].x, points[i].y, p.lon, p.lat);
        p.v = UnitVector(p.lon, p.lat);
        p.source = firstSource + i;
        out.push_back(p);
    }
}

bool CSphereCut::IsInside(const CFramePoint& p) const {
    return cut != SphereCut::SmallCircle || p.v.x >= cosClip;
}

// ---------------------------------------------------------------------------
// Classification

namespace {

struct CLonLatBox {
    double minLon = 0.0;
    double maxLon = 0.0;
    double minLat = 0.0;
    double maxLat = 0.0;
    // Some edge spans more than 180 degrees of longitude.
    bool wraps = false;
    bool finite = true;
};

CLonLatBox BoxOf(const CPlanePoint* points, uint32_t count) {
    CLonLatBox box;
    box.minLon = box.maxLon = points[0].x;
    box.minLat = box.maxLat = points[0].y;
    double previousLon = points[count - 1].x;
    for (uint32_t i = 0; i < count; ++i) {
        const double lon = points[i].x;
        const double lat = points[i].y;
        if (!(std::fabs(lon) <= 180.0 && std::fabs(lat) <= 90.0)) {
            box.finite = false;
            return box;
        }
        box.minLon = std::min(box.minLon, lon);
        box.maxLon = std::max(box.maxLon, lon);
        box.minLat = std::min(box.minLat, lat);
        box.maxLat = std::max(box.maxLat, lat);
        box.wraps |= std::fabs(lon - previousLon) > 180.0;
        previousLon = lon;
    }
    return box;
}

// Distance of a range from zero, and its farthest reach from zero.
double NearestToZero(double lo, double hi) {
    if (lo <= 0.0 && hi >= 0.0) {
        return 0.0;
    }
    return std::min(std::fabs(lo), std::fabs(hi));
}

double FarthestFromZero(double lo, double hi) {
    return std::max(std::fabs(lo), std::fabs(hi));
}

} // namespace

RingPlace CSphereCut::Classify(const CPlanePoint* points, uint32_t count) const {
    if (count == 0) {
        return RingPlace::Inside;
    }
    const CLonLatBox box = BoxOf(points, count);
    if (!box.finite) {
        return RingPlace::Invalid;
    }
    switch (cut) {
    case SphereCut::Antimeridian:
        // Only an edge over more than 180 degrees of longitude crosses.
        return box.wraps ? RingPlace::Touched : RingPlace::Inside;
    case SphereCut::CassiniSeam:
        // The seam is the equator beyond 90 degrees: great-circle edges keep
        // to one hemisphere, and edges over less than 180 degrees of
        // longitude keep to their ends' longitudes.
        if (!box.wraps &&
            (box.minLat > 0.0 || box.maxLat < 0.0 || (box.minLon > -90.0 && box.maxLon < 90.0))) {
            return RingPlace::Inside;
        }
        break;
    case SphereCut::SmallCircle: {
        const double r = clipRadius * RadiansToDegrees;
        if (!box.wraps && r <= 90.0) {
            const double farLon = FarthestFromZero(box.minLon, box.maxLon);
            const double farLat = FarthestFromZero(box.minLat, box.maxLat);
            // The cap is convex: all vertices inside keep every edge inside.
            if (farLon <= 90.0 &&
                std::cos(farLat * DegreesToRadians) * std::cos(farLon * DegreesToRadians) >
                    cosClip + 1e-12) {
                return RingPlace::Inside;
            }
            // The cap lies within +-r of both axes, and edges keep to their
            // longitudes and away from the equator on either side of it.
            const bool sameHemisphere = box.minLat > 0.0 || box.maxLat < 0.0;
            if (NearestToZero(box.minLon, box.maxLon) > r ||
                (sameHemisphere && NearestToZero(box.minLat, box.maxLat) > r)) {
                return RingPlace::Outside;
            }
        } else if (!box.wraps && r > 90.0) {
            // The hidden cap around the antipode lies beyond 180 - (180 - r)
            // = r degrees of longitude.
            if (box.minLon > -r && box.maxLon < r) {
                return RingPlace::Inside;
            }
        }
        break;
    }
    }
    // Decide edge by edge, exactly as the cut will.
    std::vector<CFramePoint> frame;
    ToFramePoints(points, count, 0, false, frame);
    CFramePoint crossings[2];
    for (uint32_t i = 0; i < count; ++i) {
        if (EdgeCrossings(frame[i], frame[(i + 1) % count], crossings) != 0) {
            return RingPlace::Touched;
        }
    }
    return IsInside(frame[0]) ? RingPlace::Inside : RingPlace::Outside;
}

// ---------------------------------------------------------------------------
// Crossings

// For a seam, one crossing stands for two points, one on either side: the
// first returned is on a's side and the second on b's side. For the circle,
// each returned point is one crossing, in order along the edge.
int CSphereCut::EdgeCrossings(const CFramePoint& a, const CFramePoint& b,
                              CFramePoint crossings[2]) const {
    if (cut != SphereCut::SmallCircle) {
        if (!(std::fabs(b.lon - a.lon) > 180.0)) {
            return 0;
        }
        double lat;
        if (std::fabs(a.lon) == 180.0) {
            lat = a.lat;
        } else if (std::fabs(b.lon) == 180.0) {
            lat = b.lat;
        } else {
            // The positive combination of a and b in the plane y = 0.
            const double wa = std::fabs(b.v.y);
            const double wb = std::fabs(a.v.y);
            const CVector p{a.v.x * wa + b.v.x * wb, 0.0, a.v.z * wa + b.v.z * wb};
            lat = LatitudeOf(p);
        }
        crossings[0] = {SeamSide(a.lon), lat, UnitVector(SeamSide(a.lon), lat), NoSource};
        crossings[1] = {SeamSide(b.lon), lat, UnitVector(SeamSide(b.lon), lat), NoSource};
        return 2;
    }
    const bool aInside = IsInside(a);
    const bool bInside = IsInside(b);
    // The edge as a.v cos s + u sin s for s in [0, theta], u the unit vector
    // perpendicular to a.v towards b.v.
    const double cosTheta = std::clamp(Dot(a.v, b.v), -1.0, 1.0);
    const CVector w{b.v.x - cosTheta * a.v.x, b.v.y - cosTheta * a.v.y, b.v.z - cosTheta * a.v.z};
    const double wLength = std::sqrt(Dot(w, w));
    if (!(wLength > 1e-300)) {
        return 0; // a zero-length edge
    }
    const CVector u{w.x / wLength, w.y / wLength, w.z / wLength};
    const double theta = std::atan2(wLength, cosTheta);
    // Along the edge x(s) = m cos(s - s0); the circle is where x = cosClip.
    const double m = std::hypot(a.v.x, u.x);
    const double s0 = std::atan2(u.x, a.v.x);
    const auto pointAt = [&](double s) {
        const double c = std::cos(s);
        const double sn = std::sin(s);
        const CVector p =
            Normalised({a.v.x * c + u.x * sn, a.v.y * c + u.y * sn, a.v.z * c + u.z * sn});
        return CFramePoint{LongitudeOf(p), LatitudeOf(p), p, NoSource};
    };
    double roots[2];
    int rootCount = 0;
    if (m > 0.0 && std::fabs(cosClip) <= m) {
        const double half = std::acos(std::clamp(cosClip / m, -1.0, 1.0));
        for (double s : {s0 - half, s0 + half}) {
            // Bring the root into the turn that starts at 0.
            s = std::fmod(s, TwoPi);
            if (s < 0.0) {
                s += TwoPi;
            }
            if (s > 0.0 && s < theta) {
                roots[rootCount++] = s;
            }
        }
        if (rootCount == 2 && roots[0] > roots[1]) {
            std::swap(roots[0], roots[1]);
        }
    }
    if (aInside != bInside) {
        if (rootCount != 1) {
            // Rounding near a tangent or an end: find the one change of side
            // by halving the edge.
            double lo = 0.0;
            double hi = theta;
            for (int i = 0; i < 80 && hi - lo > 0.0; ++i) {
                const double mid = 0.5 * (lo + hi);
                if (IsInside(pointAt(mid)) == aInside) {
                    lo = mid;
                } else {
                    hi = mid;
                }
            }
            roots[0] = 0.5 * (lo + hi);
            rootCount = 1;
        }
    } else if (rootCount != 2) {
        return 0;
    }
    for (int i = 0; i < rootCount; ++i) {
        crossings[i] = pointAt(roots[i]);
    }
    return rootCount;
}

double CSphereCut::BoundaryParameter(const CFramePoint& p) const {
    if (cut == SphereCut::SmallCircle) {
        double t = std::atan2(p.v.z, p.v.y);
        return t < 0.0 ? t + TwoPi : t;
    }
    return p.lon > 0.0 ? EastSideStart + (p.lat + 90.0) : WestSideStart + (90.0 - p.lat);
}

// ---------------------------------------------------------------------------
// Splitting rings into pieces inside the domain

namespace {

void AppendPoint(CCutRing& ring, double lon, double lat, uint32_t source) {
    if (!ring.empty() && ring.back().lon == lon && ring.back().lat == lat) {
        // The same point twice: keep one, and the input vertex it is.
        if (source != NoSource) {
            ring.back().source = source;
        }
        return;
    }
    ring.push_back({lon, lat, source, CutEdge::GreatCircle});
}

} // namespace

void CSphereCut::SplitRing(const std::vector<CFramePoint>& ring, bool closed,
                           std::vector<CSegment>& segments, std::vector<CCutRing>* whole) const {
    const std::size_t n = ring.size();
    const std::size_t edgeCount = closed ? n : n - 1;
    // Crossings of every edge, found once.
    std::vector<std::size_t> crossingStart(edgeCount + 1, 0);
    std::vector<CFramePoint> crossings;
    for (std::size_t i = 0; i < edgeCount; ++i) {
        CFramePoint found[2];
        const int count = EdgeCrossings(ring[i], ring[(i + 1) % n], found);
        crossings.insert(crossings.end(), found, found + count);
        crossingStart[i + 1] = crossings.size();
    }
    const bool seam = cut != SphereCut::SmallCircle;

    CSegment current;
    bool inside = false;
    const auto enter = [&](const CFramePoint& p) {
        current = CSegment();
        current.entry = BoundaryParameter(p);
        AppendPoint(current.points, p.lon, p.lat, p.source);
        inside = true;
    };
    const auto leave = [&](const CFramePoint& p) {
        AppendPoint(current.points, p.lon, p.lat, p.source);
        current.exit = BoundaryParameter(p);
        segments.push_back(std::move(current));
        inside = false;
    };
    // Applies crossing c of edge i: for a seam its two points, for the circle
    // an exit or an entry by the side the ring is on.
    const auto applyCrossing = [&](std::size_t c, bool firstHalfOnly, bool secondHalfOnly) {
        if (seam) {
            if (!secondHalfOnly) {
                leave(crossings[c]);
            }
            if (!firstHalfOnly) {
                enter(crossings[c + 1]);
            }
        } else if (inside) {
            leave(crossings[c]);
        } else {
            enter(crossings[c]);
        }
    };
    const std::size_t step = seam ? 2 : 1;

    if (!closed) {
        // A polyline: runs inside the domain between its crossings.
        if (IsInside(ring[0])) {
            current = CSegment();
            AppendPoint(current.points, ring[0].lon, ring[0].lat, ring[0].source);
            inside = true;
        }
        for (std::size_t i = 0; i < edgeCount; ++i) {
            for (std::size_t c = crossingStart[i]; c < crossingStart[i + 1]; c += step) {
                applyCrossing(c, false, false);
            }
            if (inside) {
                AppendPoint(current.points, ring[i + 1].lon, ring[i + 1].lat, ring[i + 1].source);
            }
        }
        if (inside && current.points.size() > 1) {
            segments.push_back(std::move(current));
        }
        return;
    }

    std::size_t first = 0;
    while (first < edgeCount && crossingStart[first + 1] == crossingStart[first]) {
        ++first;
    }
    if (first == edgeCount) {
        // No crossing after all: the ring lies wholly on one side.
        if (whole != nullptr && IsInside(ring[0])) {
            CCutRing copy;
            for (const CFramePoint& p : ring) {
                AppendPoint(copy, p.lon, p.lat, p.source);
            }
            whole->push_back(std::move(copy));
        }
        return;
    }
    // Start just after the first crossing of edge `first` and go once around,
    // ending with that crossing again.
    const std::size_t c0 = crossingStart[first];
    if (seam) {
        applyCrossing(c0, false, true);
    } else if (!IsInside(ring[first])) {
        // The first crossing is an entry. Had it been an exit, the walk
        // would start outside and meet the piece it ends at the very end.
        applyCrossing(c0, false, false);
    }
    for (std::size_t k = 0; k <= edgeCount; ++k) {
        const std::size_t i = (first + k) % edgeCount;
        const std::size_t from = k == 0 ? c0 + step : crossingStart[i];
        const std::size_t to = k == edgeCount ? c0 : crossingStart[i + 1];
        for (std::size_t c = from; c < to; c += step) {
            applyCrossing(c, false, false);
        }
        if (k == edgeCount) {
            break;
        }
        if (inside) {
            const CFramePoint& v = ring[(i + 1) % n];
            AppendPoint(current.points, v.lon, v.lat, v.source);
        }
    }
    if (seam) {
        applyCrossing(c0, true, false);
    } else if (inside) {
        applyCrossing(c0, false, false);
    }
}

// ---------------------------------------------------------------------------
// Walking the boundary

namespace {

CutEdge RectangleSide(double u) {
    if (u <= EastSideStart) {
        return CutEdge::PoleLine;
    }
    if (u <= NorthSideStart) {
        return CutEdge::Seam;
    }
    return u <= WestSideStart ? CutEdge::PoleLine : CutEdge::Seam;
}

double SideStart(double u) {
    if (u <= EastSideStart) {
        return SouthSideStart;
    }
    if (u <= NorthSideStart) {
        return EastSideStart;
    }
    return u <= WestSideStart ? NorthSideStart : WestSideStart;
}

// The rectangle's point at parameter u in [0, 1080]; the sides meet at the
// corners, so a corner has one point whichever side names it.
void RectanglePoint(double u, double& lon, double& lat) {
    if (u <= EastSideStart) {
        lon = u - 180.0;
        lat = -90.0;
    } else if (u <= NorthSideStart) {
        lon = 180.0;
        lat = u - 450.0;
    } else if (u <= WestSideStart) {
        lon = 720.0 - u;
        lat = 90.0;
    } else {
        lon = -180.0;
        lat = 990.0 - u;
    }
}

} // namespace

void CSphereCut::WalkBoundary(double from, double distance, CCutRing& ring) const {
    if (!(distance > 0.0)) {
        ring.back().edge = CutEdge::GreatCircle;
        return;
    }
    if (cut == SphereCut::SmallCircle) {
        ring.back().edge = CutEdge::CircleArc;
        const int steps = static_cast<int>(std::ceil(distance / CircleStep));
        for (int k = 1; k < steps; ++k) {
            const double t = from - distance * k / steps;
            const CVector p{cosClip, sinClip * std::cos(t), sinClip * std::sin(t)};
            ring.push_back({LongitudeOf(p), LatitudeOf(p), NoSource, CutEdge::CircleArc});
        }
        return;
    }
    double u = from > 0.0 ? from : from + RectanglePerimeter;
    double remaining = distance;
    while (true) {
        const CutEdge side = RectangleSide(u);
        const double start = SideStart(u);
        ring.back().edge = side;
        const double target = u - remaining;
        const double end = std::max(target, start);
        if (side == CutEdge::PoleLine) {
            // Pieces of at most PoleLineStep degrees.
            const int steps = static_cast<int>(std::ceil((u - end) / PoleLineStep));
            for (int k = 1; k < steps; ++k) {
                double lon;
                double lat;
                RectanglePoint(u - (u - end) * k / steps, lon, lat);
                ring.push_back({lon, lat, NoSource, CutEdge::PoleLine});
            }
        }
        if (target >= start) {
            return;
        }
        double lon;
        double lat;
        RectanglePoint(start, lon, lat);
        ring.push_back({lon, lat, NoSource, side});
        remaining -= u - start;
        u = start == 0.0 ? RectanglePerimeter : start;
    }
}

void CSphereCut::Rejoin(std::vector<CSegment>& segments, std::vector<CCutRing>& rings) const {
    const double perimeter = cut == SphereCut::SmallCircle ? TwoPi : RectanglePerimeter;
    const auto walk = [&](double from, double distance, CCutRing& ring) {
        WalkBoundary(from, distance, ring);
    };
    JoinAlongBoundary(segments, perimeter, walk, [&](const CCutRing& ring) {
        // The joins may repeat a point where a piece ends on the next one's
        // start.
        CCutRing cleaned;
        cleaned.reserve(ring.size());
        for (const CCutPoint& p : ring) {
            if (!cleaned.empty() && cleaned.back().lon == p.lon && cleaned.back().lat == p.lat) {
                if (p.source != NoSource) {
                    cleaned.back().source = p.source;
                }
                cleaned.back().edge = p.edge;
                continue;
            }
            cleaned.push_back(p);
        }
        while (cleaned.size() > 1 && cleaned.back().lon == cleaned.front().lon &&
               cleaned.back().lat == cleaned.front().lat) {
            cleaned.pop_back();
        }
        if (cleaned.size() >= 3) {
            rings.push_back(std::move(cleaned));
        }
    });
}

// ---------------------------------------------------------------------------
// Polygons, lines and the boundary

void CSphereCut::CutPolygon(const CRingSet& input, std::size_t polygon, const RingPlace* places,
                            std::vector<CCutRing>& rings) const {
    std::vector<CSegment> segments;
    std::vector<CFramePoint> frame;
    const uint32_t firstRing = input.GetFirstRing(polygon);
    bool anyTouched = false;
    for (uint32_t r = firstRing; r < input.GetEndRing(polygon); ++r) {
        const uint32_t count = input.GetRingSize(r);
        if (places[r - firstRing] != RingPlace::Touched || count == 0) {
            continue;
        }
        // Holes are reversed so that the polygon lies on the right of every
        // ring.
        ToFramePoints(input.GetRingPoints(r), count, input.ringStarts[r], r != firstRing, frame);
        anyTouched = true;
        SplitRing(frame, true, segments, &rings);
    }
    Rejoin(segments, rings);
    if (!anyTouched && HoldsBoundary(input, polygon, places)) {
        CCutRing boundary;
        BoundaryRing(boundary);
        rings.insert(rings.begin(), std::move(boundary));
    }
}

void CSphereCut::CutLine(const CPlanePoint* points, uint32_t count, uint32_t firstSource,
                         std::vector<CCutRing>& pieces) const {
    if (count < 2) {
        return;
    }
    std::vector<CFramePoint> frame;
    ToFramePoints(points, count, firstSource, false, frame);
    std::vector<CSegment> segments;
    SplitRing(frame, false, segments, nullptr);
    for (CSegment& segment : segments) {
        if (segment.points.size() >= 2) {
            pieces.push_back(std::move(segment.points));
        }
    }
}

void CSphereCut::BoundaryRing(CCutRing& ring) const {
    ring.clear();
    if (cut == SphereCut::SmallCircle) {
        const CVector p{cosClip, sinClip, 0.0};
        ring.push_back({LongitudeOf(p), LatitudeOf(p), NoSource, CutEdge::CircleArc});
        WalkBoundary(0.0, TwoPi, ring);
        return;
    }
    ring.push_back({-180.0, 90.0, NoSource, CutEdge::PoleLine});
    WalkBoundary(WestSideStart, RectanglePerimeter, ring);
    // The walk ends back on its start.
    if (ring.size() > 1 && ring.back().lon == ring.front().lon &&
        ring.back().lat == ring.front().lat) {
        ring.pop_back();
    }
}

// ---------------------------------------------------------------------------
// Whether a polygon holds the boundary

void CSphereCut::BoundaryReference(double reference[3]) const {
    if (cut == SphereCut::SmallCircle) {
        reference[0] = cosClip;
        reference[1] = sinClip;
        reference[2] = 0.0;
    } else {
        // Longitude 180 on the equator lies on both seams.
        reference[0] = -1.0;
        reference[1] = 0.0;
        reference[2] = 0.0;
    }
}

// Whether the region on the right of a ring (input longitude/latitude)
// holds the reference point, decided in the stereographic chart from the
// point opposite it: the chart keeps orientation, so a clockwise ring there
// has its region inside and holds the reference (the chart's origin) when
// it winds around it, and an anticlockwise ring holds it when it does not.
bool CSphereCut::RingHolds(const CPlanePoint* points, uint32_t count,
                           const double reference[3]) const {
    const CVector r{reference[0], reference[1], reference[2]};
    // East and north at the reference point; it never lies on a pole.
    const double lon = std::atan2(r.y, r.x);
    const CVector east{-std::sin(lon), std::cos(lon), 0.0};
    const double lat = std::atan2(r.z, std::hypot(r.x, r.y));
    const CVector north{-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon),
                        std::cos(lat)};
    double area = 0.0;
    int winding = 0;
    double previousU = 0.0;
    double previousV = 0.0;
    for (uint32_t k = 0; k <= count; ++k) {
        const CPlanePoint& p = points[k % count];
        const CVector v = UnitVector(p.x, p.y);
        const double d = 1.0 + Dot(v, r);
        const double u = Dot(v, east) / d;
        const double w = Dot(v, north) / d;
        if (k > 0) {
            const double cross = previousU * w - u * previousV;
            area += cross;
            if (previousV <= 0.0 && w > 0.0 && cross > 0.0) {
                ++winding;
            } else if (previousV > 0.0 && w <= 0.0 && cross < 0.0) {
                --winding;
            }
        }
        previousU = u;
        previousV = w;
    }
    if (!(std::fabs(area) > 1e-18)) {
        return false; // no area (or through the chart's far point): holds nothing
    }
    return area < 0.0 ? winding != 0 : winding == 0;
}

bool CSphereCut::HoldsBoundary(const CRingSet& input, std::size_t polygon,
                               const RingPlace* places) const {
    double reference[3];
    BoundaryReference(reference);
    const double referenceLon = std::atan2(reference[1], reference[0]) * RadiansToDegrees;
    const double referenceLat = 0.0;
    const uint32_t firstRing = input.GetFirstRing(polygon);
    const auto holds = [&](uint32_t r) {
        const uint32_t count = input.GetRingSize(r);
        if (count < 3 || places[r - firstRing] == RingPlace::Invalid) {
            return false;
        }
        const CPlanePoint* points = input.GetRingPoints(r);
        const CLonLatBox box = BoxOf(points, count);
        const bool referenceInBox = referenceLon >= box.minLon && referenceLon <= box.maxLon &&
                                    referenceLat >= box.minLat && referenceLat <= box.maxLat;
        if (!box.wraps && !referenceInBox) {
            // A ring that keeps off the antimeridian bounds its region in the
            // longitude/latitude plane when clockwise there, and leaves it
            // unbounded (holding the reference) when anticlockwise.
            return RingDoubleArea(points, count) > 0.0;
        }
        return RingHolds(points, count, reference);
    };
    if (!holds(firstRing)) {
        return false;
    }
    for (uint32_t r = firstRing + 1; r < input.GetEndRing(polygon); ++r) {
        if (holds(r)) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Midpoints for resampling

void CSphereCut::Midpoint(const CCutPoint& a, const CCutPoint& b, double& lon, double& lat) const {
    switch (a.edge) {
    case CutEdge::Seam:
        lon = a.lon;
        lat = 0.5 * (a.lat + b.lat);
        return;
    case CutEdge::PoleLine:
        lon = 0.5 * (a.lon + b.lon);
        lat = a.lat;
        return;
    case CutEdge::CircleArc: {
        const CVector va = UnitVector(a.lon, a.lat);
        const CVector vb = UnitVector(b.lon, b.lat);
        const double ta = std::atan2(va.z, va.y);
        const double tb = std::atan2(vb.z, vb.y);
        const double t = ta + 0.5 * WrapAngle(tb - ta);
        const CVector p{cosClip, sinClip * std::cos(t), sinClip * std::sin(t)};
        lon = LongitudeOf(p);
        lat = LatitudeOf(p);
        return;
    }
    case CutEdge::GreatCircle:
        break;
    }
    const CVector va = UnitVector(a.lon, a.lat);
    const CVector vb = UnitVector(b.lon, b.lat);
    const CVector sum{va.x + vb.x, va.y + vb.y, va.z + vb.z};
    if (!(Dot(sum, sum) > 1e-24)) {
        // Opposite points: any great circle joins them.
        lon = 0.5 * (a.lon + b.lon);
        lat = 0.5 * (a.lat + b.lat);
        return;
    }
    lon = LongitudeOf(sum);
    lat = LatitudeOf(sum);
    if (cut != SphereCut::SmallCircle) {
        // Edges of a cut frame never cross its seam: keep the midpoint on
        // the ends' side of it (an edge along the seam itself would
        // otherwise flip sides at random).
        const double middle = 0.5 * (a.lon + b.lon);
        if (lon - middle > 180.0) {
            lon -= 360.0;
        } else if (middle - lon > 180.0) {
            lon += 360.0;
        }
        lon = std::clamp(lon, -180.0, 180.0);
    }
}
