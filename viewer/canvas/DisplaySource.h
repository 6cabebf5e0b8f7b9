#pragma once

// The rings that the display geometry is built from, taken from a map
// document's loaded copy and content.
//
// Layout (shared by both functions): one polygon per holed polygon of the
// copy, in order. A polygon holds its rim and then its holes, each ring open
// (the start of every edge, once); rings without edges are left out, and so
// are all the rings of a holed polygon without a rim or with a rim without
// edges, which draws nothing. Arc edges are sampled into points along the arc
// in the plane the copy was taken in, before any rotation, so that a rotated
// arc is the rotation of the loaded one.

#include "geometry/CoordinateCopy.h"
#include "geometry/HoledPolygons.h"
#include "projection/RingSet.h"

class CGeoRotation;
class CMapCanvas;
class CProjection;
class CTransformation;

// Sampled arcs stay within this distance of the true arc, in the copy's
// units (degrees for a map of the earth).
inline constexpr double ArcSampleTolerance = 1e-4;

// The rings in rotated longitude and latitude. content, when given, is the
// copy taken through rotation exactly (the document's content before any
// projection): the edge starts of its rings without arcs are taken from it
// as they are. Otherwise every point is the copy's rotated by rotation (or
// as it is, without one). threads (at least 1) share the work. False when
// memory runs out or content does not fit the copy; out is then empty.
bool MakeGeographicRings(const C2DCoordinateCopy& copy, const C2DHoledPolyBaseSet* content,
                         CGeoRotation* rotation, CRingSet& out, unsigned threads);

// The projection of every point of geographic (made by MakeGeographicRings
// from the same copy). Rings without arcs take their points from
// projectedContent, the document's content after projecting, which holds
// exactly those projections; the sampled points of arc rings are projected
// here. False when memory runs out or the content does not fit the copy.
bool MakeProjectedRings(const C2DCoordinateCopy& copy, const CRingSet& geographic,
                        const C2DHoledPolyBaseSet& projectedContent, CProjection& projection,
                        CRingSet& out, unsigned threads);

// Transforms content in place exactly as content.Transform(transformation)
// would, bit for bit, but transforms a point shared by two edges once and
// shares the rings between threads. content must fit copy (the document's
// loaded copy; its arcs are sampled from there). When geographic and
// projected are given they receive, in the layout above, every ring's points
// before and after the transformation: arc rings sampled from the copy taken
// through rotationOfCopy (the held rotation, or null), and their samples
// transformed. False, with nothing changed, when content does not fit the
// copy or memory runs out; when memory runs out while the content is
// transformed, it is transformed all the same and the ring sets are left
// empty.
bool TransformWithRings(const C2DCoordinateCopy& copy, C2DHoledPolyBaseSet& content,
                        CTransformation& transformation, CGeoRotation* rotationOfCopy,
                        CRingSet* geographic, CRingSet* projected, unsigned threads);

// Gives content the copy's coordinates transformed (the held rotation), bit
// for bit as the copy's own RestoreTransformed does, on several threads;
// moved, when given, receives every ring's points after the transformation
// in the layout above (arc rings sampled from the copy, then transformed).
// False, with nothing changed, when content does not fit the copy or memory
// runs out before anything is written; when memory runs out while the
// content is written, it is written all the same and moved is left empty.
bool RestoreWithRings(const C2DCoordinateCopy& copy, C2DHoledPolyBaseSet& content,
                      CTransformation& transformation, CRingSet* moved, unsigned threads);

// Makes room for count points in memory backed by huge pages: arrays of
// millions of points then fault in a few hundred pages instead of tens of
// thousands. Nothing happens when there is room already.
void ReserveInHugePages(CPlanePoints& points, std::size_t count);

// Points along an arc from start towards end (end itself excluded), at least
// the start, within tolerance of the arc. An arc without a circle is its
// chord.
void SampleArc(const C2DCoordinateCopy::CPoint& start, const C2DCoordinateCopy::CPoint& end,
               const C2DCoordinateCopy::CArcShape& shape, double tolerance,
               std::vector<CPlanePoint>& out);

// Drawn curves stay within this many pixels of the true ones.
inline constexpr double DisplayPixelTolerance = 0.5;

// The tolerance of a first display-geometry build for canvas's image: a
// quarter of half a pixel at the zoom that shows the whole of what the
// projection shows of the sphere, which the default zoom matches or exceeds
// for a map of the world (a map of a small part of it needs a second build
// once fitted). A finer tolerance than the zoom needs makes the resampling
// look at most edges of a dense map and doubles the build's time for nothing
// visible. fallback when the outline tells nothing.
double FirstDisplayTolerance(CProjection* projection, const CMapCanvas& canvas, double fallback);
