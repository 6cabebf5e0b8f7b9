#pragma once

// The map as a projection should draw it: rings cut or clipped on the sphere
// where the projection tears or folds it, projected, and resampled so that
// every drawn curve follows the true projected curve.
//
// Frame and units:
// - Input rings are geographic: x = longitude, y = latitude, in degrees, on
//   the sphere as the held rotation left it (the projection's centre is
//   latitude 0, longitude 0). Longitudes lie in [-180, 180] and latitudes in
//   [-90, 90]; a vertex at longitude -180 lies on the western side of the
//   antimeridian and one at +180 on the eastern side.
// - An edge between two vertices is the shorter great-circle arc between
//   them. An edge whose ends differ by more than 180 degrees of longitude
//   therefore crosses the antimeridian.
// - Winding: the map document keeps every ring, rims and holes alike,
//   clockwise in the y-up longitude/latitude plane; on the sphere the inside
//   of a clockwise ring is on its right. Output exterior rings run clockwise
//   and holes anticlockwise in the y-up output plane, so the net area of a
//   polygon is the absolute value of the sum of its rings' signed areas.
// - Output coordinates are the projection's plane units (radians of arc on
//   the unit sphere, or metres on the sphere of radius EarthRadius), or
//   degrees when no projection is given.

#include "projection/RingSet.h"

class CProjection;
class CGeoRotation;

// Where the sphere is torn before a projection draws it.
enum class SphereCut {
    // The meridian opposite the centre; rings that enclose a pole are closed
    // along it and along the pole line.
    Antimeridian,
    // A small circle around the centre: everything farther away is hidden.
    SmallCircle,
    // The half of the equator more than 90 degrees from the centre (the
    // antimeridian of the transverse aspect that Cassini is).
    CassiniSeam,
};

// How one projection is drawn.
struct CDisplaySettings {
    // The projection, or null to draw longitude and latitude in degrees.
    CProjection* projection = nullptr;
    SphereCut cut = SphereCut::Antimeridian;
    // SmallCircle only: the angle of arc from the centre, radians, in (0, pi).
    double clipRadius = 0.0;
    // After projecting, keep only |x| <= pi and |y| <= pi (Mercator's square
    // world), in plane units divided by sphereRadius.
    bool squareWorld = false;
    // Latitudes are clamped into [minLatitude, maxLatitude] (degrees) before
    // projecting, where a projection sends a pole to infinity.
    double minLatitude = -90.0;
    double maxLatitude = 90.0;
    // Plane units per radian of arc: 1, or EarthRadius for the projections
    // in metres; 180/pi for degrees.
    double sphereRadius = 1.0;
    // Plane units: a resampled curve stays within this distance of the true
    // projected curve. Finite and positive. Resampling looks only at edges
    // longer than twice the tolerance: half a pixel at the zoom in use
    // leaves a dense map's edges alone, while a much finer tolerance makes
    // it test most of them.
    double tolerance = 1e-4;
};

// The settings that draw a projection (chosen by its type code) the way d3-geo
// draws the same projection, with the given tolerance in plane units; a
// tolerance of 0 or below means 1e-4 of the sphere radius. Null draws
// degrees.
CDisplaySettings MakeDisplaySettings(CProjection* projection, double tolerance = 0.0);

// Builds display geometry under one set of settings. Reentrant: one builder may serve
// several threads.
class CDisplayGeometryBuilder {
public:
    explicit CDisplayGeometryBuilder(const CDisplaySettings& settings);

    const CDisplaySettings& GetSettings() const { return settings; }

    // Polygons. geographic holds open rings (a ring of n points has n edges,
    // the last back to its first point), rims and holes clockwise as above.
    // projected is null, or has the same layout and holds for every point
    // exactly its projection (the map content's own projected vertices):
    // rings that no cut or clip touches then take their points from it, and
    // are otherwise projected here. out receives one polygon per input
    // polygon, in order (possibly with no ring, when nothing of it is
    // visible); its rings are closed (first point repeated last) and wound
    // as stated above. Rings with a non-finite vertex are left out. threads
    // (at least 1) share the work; the result does not depend on it.
    void BuildPolygons(const CRingSet& geographic, const CRingSet* projected, CRingSet& out,
                       unsigned threads = 1) const;

    // Polylines (open rings of the same frame): out receives one polygon per
    // input polygon holding the visible pieces of its lines, each an open
    // polyline.
    void BuildLines(const CRingSet& geographic, CRingSet& out) const;

    // The outline of what the projection shows of the sphere: one polygon of
    // one closed clockwise ring (the globe's disc, the world's ellipse, the
    // square of Mercator, ...).
    void BuildOutline(CRingSet& out) const;

private:
    CDisplaySettings settings;
};

// Meridians and parallels every stepDegrees (a divisor of 90 in (0, 90]),
// as d3-geo's graticule lays them: meridians run between latitudes -80 and 80
// (those at multiples of 90 degrees from pole to pole) and parallels from
// -80 to 80. Each line is a polyline with a vertex at least every 2.5
// degrees, rotated by rotation (may be null) into the frame of
// BuildLines.
void MakeGraticule(double stepDegrees, CGeoRotation* rotation, CRingSet& lines);
