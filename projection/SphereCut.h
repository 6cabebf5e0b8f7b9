#pragma once

// Cutting and clipping rings on the sphere before they are projected.
//
// A cut works in a frame: plain longitude/latitude for the antimeridian and
// the small circle, and for Cassini the transverse frame in which its seam
// (the half of the equator more than 90 degrees from the centre) is the
// antimeridian. Frame coordinates are degrees: lon in [-180, 180], lat in
// [-90, 90].
//
// Domain and boundary. What survives a cut is a domain D of the sphere: the
// sphere less the antimeridian, or the cap within the clip radius of the
// centre. Its boundary is walked by a parameter t that grows anticlockwise
// (as seen from outside the sphere): around the frame's longitude/latitude
// rectangle (south pole line west to east, the eastern side of the seam
// south to north, the north pole line east to west, the western side north
// to south), or around the clip circle (east, then north).
//
// Winding: the region of a polygon lies on the right of each of its rings.
// Rims arrive clockwise in the longitude/latitude plane and holes are
// reversed on the way in, so every ring has the region on its right; rings
// that leave the domain are joined along the boundary walked clockwise
// (decreasing t), which keeps the region on the right.

#include <cstdint>
#include <vector>

#include "projection/DisplayGeometry.h"

// How the edge from a cut ring's point to the next one runs on the sphere.
enum class CutEdge : uint8_t {
    // The shorter great-circle arc.
    GreatCircle,
    // Along the frame's antimeridian, on the side of the point's longitude.
    Seam,
    // Along a pole of the frame: the longitude runs at latitude +-90.
    PoleLine,
    // Along the clip circle, the shorter way.
    CircleArc,
};

// A point of a cut ring in its frame, and how the edge to the next point
// runs. source is the index of the input point it is, or NoSource for a
// point made by the cut.
struct CCutPoint {
    double lon;
    double lat;
    uint32_t source;
    CutEdge edge;
};

inline constexpr uint32_t NoSource = 0xffffffffu;

using CCutRing = std::vector<CCutPoint>;

// Where a ring lies with respect to a cut.
enum class RingPlace : uint8_t {
    // Within the domain, touching no seam: drawn as it is.
    Inside,
    // Wholly beyond the clip circle: not drawn.
    Outside,
    // Crosses the boundary: cut and joined along it.
    Touched,
    // Has a vertex that is not finite: left out.
    Invalid,
};

class CSphereCut {
public:
    // clipRadius (radians) is used by SphereCut::SmallCircle only.
    CSphereCut(SphereCut cut, double clipRadius);

    SphereCut GetCut() const { return cut; }
    // Whether frame coordinates differ from longitude/latitude (Cassini).
    bool IsTransverse() const { return cut == SphereCut::CassiniSeam; }

    // Where an open ring of input points (longitude, latitude in degrees)
    // lies. Decided from its bounds where they allow, else edge by edge.
    RingPlace Classify(const CPlanePoint* points, uint32_t count) const;

    // Whether the polygon, none of whose rings is Touched, holds the whole
    // boundary of the domain (then the boundary is an exterior ring of what
    // is seen of it). places[i] is the place of the polygon's ring i.
    bool HoldsBoundary(const CRingSet& input, std::size_t polygon, const RingPlace* places) const;

    // The rings of a polygon that its Touched rings make, cut and joined
    // along the boundary, in the frame (and the boundary itself when no ring
    // is Touched but the polygon holds it). Rings Inside are not included:
    // they stay as they are. source indices refer to input.points.
    void CutPolygon(const CRingSet& input, std::size_t polygon, const RingPlace* places,
                    std::vector<CCutRing>& rings) const;

    // The visible pieces of an open polyline, each an open run of points
    // whose last edge kind is meaningless.
    void CutLine(const CPlanePoint* points, uint32_t count, uint32_t firstSource,
                 std::vector<CCutRing>& pieces) const;

    // The domain's boundary as one clockwise ring of the frame.
    void BoundaryRing(CCutRing& ring) const;

    // The input point (longitude, latitude in degrees) in this cut's frame.
    void ToFrame(double lon, double lat, double& frameLon, double& frameLat) const;

    // The point halfway along an edge of the given kind, in frame degrees.
    void Midpoint(const CCutPoint& a, const CCutPoint& b, double& lon, double& lat) const;

private:
    struct CFramePoint;
    struct CSegment;

    void ToFramePoints(const CPlanePoint* points, uint32_t count, uint32_t firstSource,
                       bool reverse, std::vector<CFramePoint>& out) const;
    bool IsInside(const CFramePoint& p) const;
    // Crossings of edge a -> b with the boundary, in order along the edge.
    int EdgeCrossings(const CFramePoint& a, const CFramePoint& b, CFramePoint crossings[2]) const;
    void SplitRing(const std::vector<CFramePoint>& ring, bool closed,
                   std::vector<CSegment>& segments, std::vector<CCutRing>* whole) const;
    double BoundaryParameter(const CFramePoint& p) const;
    // Appends the boundary clockwise from parameter `from` (the ring's last
    // point) over `distance`, up to but not including where it ends.
    void WalkBoundary(double from, double distance, CCutRing& ring) const;
    void Rejoin(std::vector<CSegment>& segments, std::vector<CCutRing>& rings) const;
    bool RingHolds(const CPlanePoint* points, uint32_t count, const double reference[3]) const;
    void BoundaryReference(double reference[3]) const;

    SphereCut cut;
    double clipRadius;
    double cosClip;
    double sinClip;
};
