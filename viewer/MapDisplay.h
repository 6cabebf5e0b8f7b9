#pragma once

#include "geometry/Base.h"
#include "projection/RingSet.h"
#include "viewer/canvas/DisplaySource.h"

class CMapCanvas;
class CMarloDoc;

// Decides what the view draws of a document and builds it into the canvas.
//
// A map of the earth whose content follows from the loaded copy (rotation,
// if any, applied before projection) is drawn as its display geometry while
// a rotation or projection is held: cut or clipped on the sphere where the
// projection tears or folds it, projected and resampled so that every drawn
// curve stays within half a pixel of the true one. Otherwise, or with
// "clip on the sphere" off, the content is drawn as it is. The graticule
// (meridians and parallels every 10 degrees and the outline of what the
// projection shows) goes beneath the map whenever the document's map is of
// the earth and follows from its loaded copy.
class CMapDisplay {
public:
    static constexpr double GraticuleStep = 10.0;
    // Threads that build the display geometry.
    static constexpr unsigned BuildThreads = 2;
    // The resampling stays within this many pixels of the true curve.
    static constexpr double PixelTolerance = DisplayPixelTolerance;

    // Rebuilds everything for the document as it is now: after every change
    // of the content, and when an option changes.
    void Update(CMarloDoc* document, CMapCanvas& canvas);
    // Shows or hides the graticule without building the map again.
    void SetGraticule(bool shown, CMarloDoc* document, CMapCanvas& canvas);
    // Builds again with a finer tolerance when the canvas now shows more
    // detail than the last build was made for; true when it did.
    bool FollowZoom(CMarloDoc* document, CMapCanvas& canvas);
    // Clears the image and draws what Update chose.
    void Render(const CMarloDoc* document, CMapCanvas& canvas) const;
    // The area the default zoom shows: the display geometry, with the
    // sphere's outline while the graticule is shown; false when the view
    // fits the content instead.
    bool GetFitBounds(C2DRect& bounds) const;

    bool DrawsDisplayGeometry() const { return drawsDisplayGeometry; }
    bool DrawsGraticule() const { return drawsGraticule; }
    // Plane units within which the last build follows the true curves; 0
    // before any build.
    double GetTolerance() const { return tolerance; }
    // Display geometry builds since construction (for tests of the zoom
    // rule).
    unsigned GetBuildCount() const { return buildCount; }

    bool clipOnSphere = true;
    bool graticule = false;

private:
    void Build(CMarloDoc& document, CMapCanvas& canvas);
    bool BuildLand(CMarloDoc& document, CRingSet& out) const;
    void BuildGraticule(const CMarloDoc& document, CMapCanvas& canvas);

    bool drawsDisplayGeometry = false;
    bool drawsGraticule = false;
    double tolerance = 0.0;
    // The default tolerance of the held projection (1e-4 of the sphere's
    // radius), used when the sphere's outline gives no first tolerance.
    double defaultTolerance = 0.0;
    bool hasLandBounds = false;
    CPlanePoint landMinimum{0.0, 0.0};
    CPlanePoint landMaximum{0.0, 0.0};
    bool hasOutlineBounds = false;
    CPlanePoint outlineMinimum{0.0, 0.0};
    CPlanePoint outlineMaximum{0.0, 0.0};
    unsigned buildCount = 0;
};
