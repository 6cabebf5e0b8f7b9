#pragma once

#include <string>
#include <vector>

#include "geometry/CoordinateCopy.h"
#include "geometry/HoledPolygons.h"
#include "projection/RingSet.h"
#include "tools/marlo-cli/MapCommandSupport.h"

class CMapCanvas;

// The display geometry in the map commands: the map as the projection
// should draw it, cut or clipped on the sphere and resampled (see
// projection/DisplayGeometry.h).

// The switches that choose it: convert's --clip and --tolerance T, render's
// --raw and --graticule.
struct CSphereOptions {
    bool clip = false;
    bool raw = false;
    bool graticule = false;
    // Plane units; 0 for the default, 1e-4 of the sphere's radius.
    double tolerance = 0.0;
};

// Which of them a command accepts.
struct CSphereSwitches {
    bool clip = false;   // --clip and --tolerance
    bool render = false; // --raw and --graticule
};

// Moves the accepted switches out of args into options, leaving every other
// word in order. False, after saying why on standard error, for a tolerance
// that is no finite positive number.
bool TakeSphereOptions(const char* command, std::vector<std::string>& args,
                       const CSphereSwitches& accepted, CSphereOptions& options);

// A map read for its display geometry: the content in rotated longitude and
// latitude, and the copy of it as loaded.
struct CSphereMap {
    C2DCoordinateCopy loaded;
    // Whether the loaded content lies within the earth's degrees.
    bool geographic = false;
};

// After content was loaded and made clockwise (and nothing else): keeps the
// copy of it, tells whether it is a map of the earth, and rotates it by
// transformations' rotation (if any), with the bits the viewer's rotation
// gives. False when memory runs out.
bool PrepareSphereMap(C2DHoledPolyBaseSet& content, const CMapTransformations& transformations,
                      CSphereMap& map);

// The display geometry of a rotated content prepared so: one polygon per
// holed polygon, closed rings in the projection's units (degrees without a
// projection). False when memory runs out.
bool BuildDisplayGeometry(const C2DHoledPolyBaseSet& content, const CSphereMap& map,
                          const CMapTransformations& transformations, double tolerance,
                          CRingSet& polygons);

// Replaces content by proper holed polygons made of the display geometry's
// polygons: in each, the clockwise rings are rims and every anticlockwise
// ring becomes a hole of the smallest rim that contains it; then every ring
// is made clockwise, as in any loaded content. records, when it
// holds one entry per polygon, is rewritten to one entry per holed polygon
// made (the source record of each).
void ReplaceWithDisplayGeometry(const CRingSet& polygons, C2DHoledPolyBaseSet& content,
                                std::vector<int32_t>& records);

// What the reader does to each ring while loading: everything the
// transformations say, or with --clip only making it clockwise (the rotation
// and projection then go into the display geometry).
const CMapTransformations* StepsWhileLoading(const CSphereOptions& options,
                                             const CMapTransformations& transformations);

// convert --clip after a load by StepsWhileLoading: replaces content by its
// display geometry as proper holed polygons in the projection's units,
// keeping records (one source record per holed polygon) in step. False,
// after saying why on standard error, for a map that is not in the earth's
// degrees or when memory runs out.
bool ClipToDisplayGeometry(C2DHoledPolyBaseSet& content, std::vector<int32_t>& records,
                           const CMapTransformations& transformations,
                           const CSphereOptions& options);

// What the pieces of a map clipped one by one have shown so far.
struct CEarthCheck {
    bool anyPoint = false; // some piece had a finite point
};

// ClipToDisplayGeometry for one piece of a map read piece by piece (the
// holed polygons of one shapefile record, or one of a text map), with the
// same result for that piece as clipping the whole map gives. False, after
// saying why, when a point of the piece lies off the earth or memory runs
// out. After the last piece, FinishEarthCheck refuses (after saying why) a
// map without a finite point, as the whole map's check does.
bool ClipPieceToDisplayGeometry(C2DHoledPolyBaseSet& piece, std::vector<int32_t>& records,
                                const CMapTransformations& transformations,
                                const CSphereOptions& options, CEarthCheck& check);
bool FinishEarthCheck(const CEarthCheck& check);

// Draws a prepared geographic map into canvas as the viewer draws it: the
// display geometry (unless raw, when the content is projected and drawn as
// it is) fitted to the image, with the graticule beneath when asked. False
// when memory runs out.
bool RenderSphereMap(C2DHoledPolyBaseSet& content, const CSphereMap& map,
                     const CMapTransformations& transformations, const CSphereOptions& options,
                     CMapCanvas& canvas);
