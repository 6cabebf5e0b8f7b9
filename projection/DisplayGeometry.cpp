#include "projection/DisplayGeometry.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "projection/Azimuthal.h"
#include "projection/Conic.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "projection/SphereCut.h"
#include "projection/SquareClip.h"

// The pipeline for one polygon: classify its rings against the cut; rings
// that touch nothing take their projected points as they are (from the
// caller when given) and only their long edges are resampled; polygons with
// a touched ring are cut on the sphere, joined along the boundary, and every
// ring is projected and resampled point by point. Mercator's square world is
// clipped last, in the plane.

namespace {

// Angles from the centre that the clipped projections keep, degrees.
constexpr double HemisphereClip = 90.0;
constexpr double GnomonicClip = 60.0;
constexpr double StereographicClip = 142.0;
// Only the antipode is cut where a projection sends it to infinity or to a
// circle: a thousandth of a degree around it.
constexpr double AntipodeClip = 180.0 - 1e-3;
// Mercator keeps latitudes up to where y = pi (about 85.05 degrees); beyond
// a clamp at 89 degrees nothing reaches the square and nothing is infinite.
constexpr double MercatorLatitudeLimit = 89.0;
// Lambert Conformal sends the pole on the far side of its cone to infinity;
// it is drawn from a latitude a millionth of a radian short of it.
constexpr double ConformalPoleMargin = 1e-6 * RadiansToDegrees;
// A point whose projection is not finite is moved by this much (degrees)
// and projected again: formulas divide by zero on their singular lines
// (the equator of Van der Grinten, the poles of Mollweide).
constexpr double SingularNudge = 1e-7;
// Resampling: the depth bound and the arc beyond which an edge is always
// halved.
constexpr int MaxResampleDepth = 16;
const double CosLongestEdge = std::cos(30.0 * DegreesToRadians);
// Edges along the cut's boundary are resampled to this fraction of the
// tolerance.
constexpr double BoundaryToleranceRatio = 1.0 / 64.0;
// Below this many points one thread does the whole work.
constexpr std::size_t ParallelPoints = 20000;

bool IsMetric(int32_t type) {
    return type == StereographicCode || type == RangeHeadingCode ||
           type == HorizontalRangeHeadingCode || type == SlantRangeHeadingCode;
}

bool IsFinite(const CPlanePoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// Projects points under one set of display settings, resampling edges as it goes.
class CProjector {
public:
    CProjector(const CDisplaySettings& settings, const CSphereCut& cut)
        : settings(settings), cut(cut), tolerance2(settings.tolerance * settings.tolerance),
          boundaryTolerance2(tolerance2 * BoundaryToleranceRatio * BoundaryToleranceRatio) {}

    // An input point (longitude, latitude in degrees) by the projection's
    // own formula, with the clamps and the nudge off singular lines.
    bool ProjectInput(double lon, double lat, CPlanePoint& out) const {
        lat = std::clamp(lat, settings.minLatitude, settings.maxLatitude);
        if (settings.projection == nullptr) {
            out = {lon, lat};
            return true;
        }
        if (Project(lon, lat, out)) {
            return true;
        }
        for (const double dLon : {SingularNudge, -SingularNudge}) {
            for (const double dLat : {SingularNudge, -SingularNudge}) {
                const double nudgedLat = std::clamp(lat + dLat, -90.0, 90.0);
                if (Project(std::clamp(lon + dLon, -180.0, 180.0), nudgedLat, out)) {
                    return true;
                }
            }
        }
        return false;
    }

    // A point of a cut ring: an input vertex keeps its projection (the
    // caller's when given), a point made by the cut is projected here.
    bool ProjectCut(const CCutPoint& p, const CRingSet& input, const CRingSet* projected,
                    CPlanePoint& out) const {
        if (p.source != NoSource) {
            if (projected != nullptr) {
                out = projected->points[p.source];
                if (IsFinite(out)) {
                    return true;
                }
            }
            const CPlanePoint& q = input.points[p.source];
            return ProjectInput(q.x, q.y, out);
        }
        return ProjectFrame(p.lon, p.lat, out);
    }

    // A point given in the cut's frame.
    bool ProjectFrame(double lon, double lat, CPlanePoint& out) const {
        if (cut.IsTransverse()) {
            // Cassini is the plate carree of its transverse frame.
            out = {-lat * DegreesToRadians * settings.sphereRadius,
                   lon * DegreesToRadians * settings.sphereRadius};
            return true;
        }
        return ProjectInput(lon, lat, out);
    }

    // Appends the points that bring edge a -> b (projected to pa, pb)
    // within tolerance of its true projected curve, between its ends.
    void Resample(const CCutPoint& a, const CPlanePoint& pa, const CCutPoint& b,
                  const CPlanePoint& pb, int depth, CPlanePoints& out) const {
        const double dx = pb.x - pa.x;
        const double dy = pb.y - pa.y;
        const double d2 = dx * dx + dy * dy;
        if (!(d2 > 4.0 * tolerance2) || depth == 0) {
            return;
        }
        CCutPoint m{0.0, 0.0, NoSource, a.edge};
        cut.Midpoint(a, b, m.lon, m.lat);
        CPlanePoint pm;
        if (!ProjectFrame(m.lon, m.lat, pm)) {
            return;
        }
        const double ex = pm.x - pa.x;
        const double ey = pm.y - pa.y;
        const double off = dy * ex - dx * ey;
        const double along = (dx * ex + dy * ey) / d2;
        // The boundary is followed more closely than the rings: projected
        // points of a ring can lie closer to it than the tolerance (all of a
        // globe's limb is), and a coarse chord of the boundary would cut
        // across them.
        const double allowed = a.edge == CutEdge::GreatCircle ? tolerance2 : boundaryTolerance2;
        bool split = off * off / d2 > allowed || std::fabs(along - 0.5) > 0.3;
        if (!split && a.edge == CutEdge::GreatCircle) {
            split = CosineOfArc(a, b) < CosLongestEdge;
        }
        if (!split) {
            return;
        }
        Resample(a, pa, m, pm, depth - 1, out);
        out.push_back(pm);
        Resample(m, pm, b, pb, depth - 1, out);
    }

    // Appends a cut ring (closed: its first point repeated last) or line,
    // with its points projected and its edges resampled.
    void ProjectRing(const CCutRing& ring, bool closed, const CRingSet& input,
                     const CRingSet* projected, CPlanePoints& out) const {
        const std::size_t start = out.size();
        const std::size_t n = ring.size();
        std::vector<CPlanePoint> points(n);
        std::vector<char> valid(n);
        for (std::size_t i = 0; i < n; ++i) {
            valid[i] = ProjectCut(ring[i], input, projected, points[i]);
        }
        const std::size_t edges = closed ? n : n - 1;
        for (std::size_t i = 0; i < n; ++i) {
            if (!valid[i]) {
                continue;
            }
            out.push_back(points[i]);
            const std::size_t j = (i + 1) % n;
            if (i < edges && valid[j]) {
                Resample(ring[i], points[i], ring[j], points[j], MaxResampleDepth, out);
            }
        }
        if (closed && out.size() > start) {
            out.push_back(out[start]);
        }
    }

    const CDisplaySettings& GetSettings() const { return settings; }

private:
    bool Project(double lon, double lat, CPlanePoint& out) const {
        double y = lat;
        double x = lon;
        settings.projection->Project(y, x);
        out = {x, y};
        return IsFinite(out);
    }

    double CosineOfArc(const CCutPoint& a, const CCutPoint& b) const {
        const double phiA = a.lat * DegreesToRadians;
        const double phiB = b.lat * DegreesToRadians;
        return std::sin(phiA) * std::sin(phiB) +
               std::cos(phiA) * std::cos(phiB) * std::cos((b.lon - a.lon) * DegreesToRadians);
    }

    const CDisplaySettings& settings;
    const CSphereCut& cut;
    double tolerance2;
    double boundaryTolerance2;
};

// Builds the display polygons of a range of input polygons into one set.
class CPolygonBuilder {
public:
    CPolygonBuilder(const CDisplaySettings& settings, const CSphereCut& cut, const CRingSet& input,
                    const CRingSet* projected)
        : projector(settings, cut), cut(cut), input(input), projected(projected),
          square(Pi * settings.sphereRadius) {}

    void Build(std::size_t firstPolygon, std::size_t endPolygon, CRingSet& out) {
        const bool square = projector.GetSettings().squareWorld;
        for (std::size_t p = firstPolygon; p < endPolygon; ++p) {
            if (!square) {
                BuildPolygon(p, out);
                out.EndPolygon();
                continue;
            }
            polygon.Clear();
            BuildPolygon(p, polygon);
            ClipToSquare(polygon, out);
            out.EndPolygon();
        }
    }

private:
    // Appends the rings of polygon p to target, each closed by EndRing.
    void BuildPolygon(std::size_t p, CRingSet& target) {
        const uint32_t firstRing = input.GetFirstRing(p);
        const uint32_t endRing = input.GetEndRing(p);
        places.clear();
        bool touched = false;
        for (uint32_t r = firstRing; r < endRing; ++r) {
            places.push_back(cut.Classify(input.GetRingPoints(r), input.GetRingSize(r)));
            touched |= places.back() == RingPlace::Touched;
        }
        if (touched || cut.HoldsBoundary(input, p, places.data())) {
            cutRings.clear();
            cut.CutPolygon(input, p, places.data(), cutRings);
            for (const CCutRing& ring : cutRings) {
                const std::size_t start = target.points.size();
                projector.ProjectRing(ring, true, input, projected, target.points);
                EndRing(target, start);
            }
        }
        for (uint32_t r = firstRing; r < endRing; ++r) {
            if (places[r - firstRing] == RingPlace::Inside && input.GetRingSize(r) >= 3) {
                const std::size_t start = target.points.size();
                AddWholeRing(r, r != firstRing, target.points);
                EndRing(target, start);
            }
        }
    }

    // Keeps the points added since start as a ring when they make one: three
    // points and the first repeated.
    static void EndRing(CRingSet& target, std::size_t start) {
        if (target.points.size() - start >= 4) {
            target.EndRing();
        } else {
            target.points.resize(start);
        }
    }

    void ClipToSquare(const CRingSet& polygonRings, CRingSet& out) {
        rings.resize(polygonRings.GetRingCount());
        for (std::size_t r = 0; r < rings.size(); ++r) {
            const CPlanePoint* points = polygonRings.GetRingPoints(r);
            rings[r].assign(points, points + polygonRings.GetRingSize(r));
        }
        square.ClipPolygon(rings);
        for (const std::vector<CPlanePoint>& ring : rings) {
            if (ring.size() >= 4) {
                out.points.insert(out.points.end(), ring.begin(), ring.end());
                out.EndRing();
            }
        }
    }

    // Appends a ring that no cut touches: its points as projected, holes
    // reversed (same start point), closed, with only its long edges
    // resampled.
    void AddWholeRing(uint32_t r, bool reverse, CPlanePoints& out) {
        const uint32_t n = input.GetRingSize(r);
        const uint32_t base = input.ringStarts[r];
        const std::size_t start = out.size();
        uint32_t firstIndex = 0;
        uint32_t previousIndex = 0;
        CPlanePoint previous{0.0, 0.0};
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t index = base + (reverse ? (n - k) % n : k);
            CPlanePoint point;
            if (!PointOf(index, point)) {
                continue;
            }
            if (out.size() == start) {
                firstIndex = index;
            } else {
                ResampleInput(previousIndex, previous, index, point, out);
            }
            out.push_back(point);
            previous = point;
            previousIndex = index;
        }
        if (out.size() > start) {
            const CPlanePoint first = out[start];
            ResampleInput(previousIndex, previous, firstIndex, first, out);
            out.push_back(first);
        }
    }

    bool PointOf(uint32_t index, CPlanePoint& point) const {
        if (projected != nullptr) {
            point = projected->points[index];
            if (IsFinite(point)) {
                return true;
            }
        }
        const CPlanePoint& q = input.points[index];
        return projector.ProjectInput(q.x, q.y, point);
    }

    void ResampleInput(uint32_t a, const CPlanePoint& pa, uint32_t b, const CPlanePoint& pb,
                       CPlanePoints& out) const {
        const double dx = pb.x - pa.x;
        const double dy = pb.y - pa.y;
        const double tolerance = projector.GetSettings().tolerance;
        if (!(dx * dx + dy * dy > 4.0 * tolerance * tolerance)) {
            return;
        }
        CCutPoint ca{0.0, 0.0, NoSource, CutEdge::GreatCircle};
        CCutPoint cb{0.0, 0.0, NoSource, CutEdge::GreatCircle};
        cut.ToFrame(input.points[a].x, input.points[a].y, ca.lon, ca.lat);
        cut.ToFrame(input.points[b].x, input.points[b].y, cb.lon, cb.lat);
        projector.Resample(ca, pa, cb, pb, MaxResampleDepth, out);
    }

    CProjector projector;
    const CSphereCut& cut;
    const CRingSet& input;
    const CRingSet* projected;
    CSquareClip square;
    std::vector<RingPlace> places;
    std::vector<CCutRing> cutRings;
    // Mercator's rings of one polygon before they are clipped.
    CRingSet polygon;
    std::vector<std::vector<CPlanePoint>> rings;
};

CSphereCut MakeCut(const CDisplaySettings& settings) {
    return CSphereCut(settings.cut, settings.clipRadius);
}

// Where to split polygons between two threads: about half of the points on
// either side.
std::size_t HalfwayPolygon(const CRingSet& set) {
    const uint32_t half = static_cast<uint32_t>(set.GetPointCount() / 2);
    const auto ring = std::lower_bound(set.ringStarts.begin(), set.ringStarts.end(), half);
    const uint32_t ringIndex = static_cast<uint32_t>(ring - set.ringStarts.begin());
    const auto polygon =
        std::lower_bound(set.polygonStarts.begin(), set.polygonStarts.end(), ringIndex);
    return std::min<std::size_t>(polygon - set.polygonStarts.begin(), set.GetPolygonCount());
}

} // namespace

CDisplaySettings MakeDisplaySettings(CProjection* projection, double tolerance) {
    CDisplaySettings settings;
    settings.projection = projection;
    if (projection == nullptr) {
        settings.sphereRadius = RadiansToDegrees;
    } else {
        const int32_t type = projection->projectionType;
        settings.sphereRadius = IsMetric(type) ? EarthRadius : 1.0;
        double clipDegrees = 0.0;
        switch (type) {
        case OrthographicCode:
        case VerticalCode:
        case HorizontalRangeHeadingCode:
            clipDegrees = HemisphereClip;
            break;
        case VerticalPerspectiveCode: {
            const auto* perspective = dynamic_cast<CVerticalPerspective*>(projection);
            const double height = perspective != nullptr ? perspective->perspectiveHeight : 10.0;
            clipDegrees = std::acos(1.0 / height) * RadiansToDegrees;
            break;
        }
        case GnomonicCode:
            clipDegrees = GnomonicClip;
            break;
        case StereographicCode:
            clipDegrees = StereographicClip;
            break;
        case LambertAzimuthalEqualAreaCode:
        case SlantRangeHeadingCode:
        case RangeHeadingCode:
            clipDegrees = AntipodeClip;
            break;
        case CassiniCode:
            settings.cut = SphereCut::CassiniSeam;
            break;
        case MercatorCode:
            settings.squareWorld = true;
            settings.minLatitude = -MercatorLatitudeLimit;
            settings.maxLatitude = MercatorLatitudeLimit;
            break;
        case LambertConformalConicCode:
            if (const auto* conic = dynamic_cast<CLambertConformalConic*>(projection)) {
                if (conic->n > 0.0) {
                    settings.minLatitude = -90.0 + ConformalPoleMargin;
                } else {
                    settings.maxLatitude = 90.0 - ConformalPoleMargin;
                }
            }
            break;
        default:
            break;
        }
        if (clipDegrees > 0.0) {
            settings.cut = SphereCut::SmallCircle;
            settings.clipRadius = clipDegrees * DegreesToRadians;
        }
    }
    settings.tolerance = tolerance > 0.0 ? tolerance : 1e-4 * settings.sphereRadius;
    return settings;
}

CDisplayGeometryBuilder::CDisplayGeometryBuilder(const CDisplaySettings& settings)
    : settings(settings) {}

void CDisplayGeometryBuilder::BuildPolygons(const CRingSet& geographic, const CRingSet* projected,
                                            CRingSet& out, unsigned threads) const {
    out.Clear();
    out.points.reserve(geographic.GetPointCount() + geographic.GetRingCount());
    const CSphereCut cut = MakeCut(settings);
    const std::size_t polygons = geographic.GetPolygonCount();
    if (threads < 2 || geographic.GetPointCount() < ParallelPoints) {
        CPolygonBuilder(settings, cut, geographic, projected).Build(0, polygons, out);
        return;
    }
    const std::size_t half = HalfwayPolygon(geographic);
    CRingSet second;
    std::thread helper([&] {
        CPolygonBuilder(settings, cut, geographic, projected).Build(half, polygons, second);
    });
    CPolygonBuilder(settings, cut, geographic, projected).Build(0, half, out);
    helper.join();
    out.Append(second);
}

void CDisplayGeometryBuilder::BuildLines(const CRingSet& geographic, CRingSet& out) const {
    out.Clear();
    const CSphereCut cut = MakeCut(settings);
    const CProjector projector(settings, cut);
    const CSquareClip square(Pi * settings.sphereRadius);
    std::vector<CCutRing> pieces;
    CPlanePoints line;
    std::vector<std::vector<CPlanePoint>> clipped;
    for (std::size_t p = 0; p < geographic.GetPolygonCount(); ++p) {
        for (uint32_t r = geographic.GetFirstRing(p); r < geographic.GetEndRing(p); ++r) {
            pieces.clear();
            cut.CutLine(geographic.GetRingPoints(r), geographic.GetRingSize(r),
                        geographic.ringStarts[r], pieces);
            for (const CCutRing& piece : pieces) {
                line.clear();
                projector.ProjectRing(piece, false, geographic, nullptr, line);
                clipped.clear();
                const std::vector<CPlanePoint> plain(line.begin(), line.end());
                if (settings.squareWorld) {
                    square.ClipLine(plain, clipped);
                } else {
                    clipped.push_back(plain);
                }
                for (const std::vector<CPlanePoint>& part : clipped) {
                    if (part.size() >= 2) {
                        out.points.insert(out.points.end(), part.begin(), part.end());
                        out.EndRing();
                    }
                }
            }
        }
        out.EndPolygon();
    }
}

void CDisplayGeometryBuilder::BuildOutline(CRingSet& out) const {
    out.Clear();
    const CSphereCut cut = MakeCut(settings);
    const CProjector projector(settings, cut);
    CCutRing boundary;
    cut.BoundaryRing(boundary);
    CPlanePoints projected;
    const CRingSet noInput;
    projector.ProjectRing(boundary, true, noInput, nullptr, projected);
    std::vector<std::vector<CPlanePoint>> rings(1);
    rings[0].assign(projected.begin(), projected.end());
    if (settings.squareWorld) {
        CSquareClip(Pi * settings.sphereRadius).ClipPolygon(rings);
    }
    for (const std::vector<CPlanePoint>& ring : rings) {
        if (ring.size() >= 4) {
            out.points.insert(out.points.end(), ring.begin(), ring.end());
            out.EndRing();
        }
    }
    out.EndPolygon();
}

namespace {

// Graticule points are this far apart along their lines, degrees.
constexpr double GraticuleSpacing = 2.5;
// Full meridians stop this short of the poles, where every meridian meets.
constexpr double GraticulePoleMargin = 1e-6;

void AddGraticuleLine(double fixed, double from, double to, bool meridian, CGeoRotation* rotation,
                      CRingSet& lines) {
    const int steps = static_cast<int>(std::ceil((to - from) / GraticuleSpacing));
    for (int k = 0; k <= steps; ++k) {
        const double along = k == steps ? to : from + k * (to - from) / steps;
        double lat = meridian ? along : fixed;
        double lon = meridian ? fixed : along;
        if (rotation != nullptr) {
            rotation->Rotate(lat, lon);
        }
        lines.points.push_back({lon, lat});
    }
    lines.EndRing();
    lines.EndPolygon();
}

} // namespace

void MakeGraticule(double stepDegrees, CGeoRotation* rotation, CRingSet& lines) {
    lines.Clear();
    if (!(stepDegrees > 0.0 && stepDegrees <= 90.0)) {
        return;
    }
    const int meridians = static_cast<int>(std::lround(360.0 / stepDegrees));
    for (int i = 0; i < meridians; ++i) {
        const double lon = -180.0 + i * stepDegrees;
        const bool full = std::fmod(std::fabs(lon), 90.0) == 0.0;
        const double reach = full ? 90.0 - GraticulePoleMargin : 80.0;
        AddGraticuleLine(lon, -reach, reach, true, rotation, lines);
    }
    for (double lat = -80.0; lat <= 80.0; lat += stepDegrees) {
        if (std::fabs(lat - std::round(lat)) < 1e-9) {
            lat = std::round(lat);
        }
        AddGraticuleLine(lat, -180.0, 180.0, false, rotation, lines);
    }
}
