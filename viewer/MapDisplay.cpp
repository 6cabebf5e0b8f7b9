#include "viewer/MapDisplay.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "projection/DisplayGeometry.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "viewer/MarloDoc.h"
#include "viewer/canvas/DisplaySource.h"
#include "viewer/canvas/MapCanvas.h"

namespace {

C2DRect RectOf(const CPlanePoint& minimum, const CPlanePoint& maximum) {
    return C2DRect(minimum.x, maximum.y, maximum.x, minimum.y);
}

} // namespace

void CMapDisplay::Update(CMarloDoc* document, CMapCanvas& canvas) {
    drawsDisplayGeometry = false;
    drawsGraticule = false;
    hasLandBounds = false;
    hasOutlineBounds = false;
    tolerance = 0.0;
    canvas.ClearBackdrop();
    canvas.DropRingDrawing();
    if (document == nullptr) {
        canvas.DropDrawingCopy();
        return;
    }
    const bool onTheSphere = document->IsGeographic() && document->FollowsLoadedCopy();
    const bool held = document->GetRotation() != nullptr || document->GetProjection() != nullptr;
    drawsDisplayGeometry = onTheSphere && held && clipOnSphere;
    drawsGraticule = onTheSphere && graticule;
    defaultTolerance = MakeDisplaySettings(document->GetProjection()).tolerance;
    tolerance = defaultTolerance;
    if (drawsDisplayGeometry || drawsGraticule) {
        tolerance = FirstDisplayTolerance(document->GetProjection(), canvas, defaultTolerance);
    }
    // The content's own drawing copy is not needed while the display
    // geometry is drawn (Build takes it should the display geometry fail).
    if (drawsDisplayGeometry) {
        canvas.DropDrawingCopy();
    } else {
        canvas.PrepareDrawingCopy(document->GetContent());
    }
    Build(*document, canvas);
}

void CMapDisplay::SetGraticule(bool shown, CMarloDoc* document, CMapCanvas& canvas) {
    graticule = shown;
    drawsGraticule =
        shown && document != nullptr && document->IsGeographic() && document->FollowsLoadedCopy();
    hasOutlineBounds = false;
    canvas.ClearBackdrop();
    if (drawsGraticule) {
        if (tolerance <= 0.0) {
            defaultTolerance = MakeDisplaySettings(document->GetProjection()).tolerance;
            tolerance = FirstDisplayTolerance(document->GetProjection(), canvas, defaultTolerance);
        }
        BuildGraticule(*document, canvas);
    }
}

bool CMapDisplay::FollowZoom(CMarloDoc* document, CMapCanvas& canvas) {
    if (document == nullptr || (!drawsDisplayGeometry && !drawsGraticule)) {
        return false;
    }
    const double pixelsPerUnit = std::fabs(canvas.scale.x);
    if (!std::isfinite(pixelsPerUnit) || !(pixelsPerUnit > 0.0)) {
        return false;
    }
    const double needed = PixelTolerance / pixelsPerUnit;
    if (tolerance <= needed) {
        return false;
    }
    // A quarter of what this zoom needs, so that the next few zoom steps in
    // need no new build.
    tolerance = needed / 4.0;
    Build(*document, canvas);
    return true;
}

void CMapDisplay::Render(const CMarloDoc* document, CMapCanvas& canvas) const {
    if (drawsDisplayGeometry) {
        canvas.RenderRings();
    } else if (document != nullptr) {
        canvas.Render(document->GetContent());
    }
}

bool CMapDisplay::GetFitBounds(C2DRect& bounds) const {
    if (!drawsDisplayGeometry) {
        return false;
    }
    const bool withOutline = drawsGraticule && hasOutlineBounds;
    if (hasLandBounds) {
        bounds = RectOf(landMinimum, landMaximum);
        if (withOutline) {
            bounds.ExpandToInclude(RectOf(outlineMinimum, outlineMaximum));
        }
        return true;
    }
    if (withOutline) {
        bounds = RectOf(outlineMinimum, outlineMaximum);
        return true;
    }
    return false;
}

void CMapDisplay::Build(CMarloDoc& document, CMapCanvas& canvas) {
    if (drawsDisplayGeometry) {
        CRingSet land;
        if (BuildLand(document, land)) {
            hasLandBounds = FiniteBounds(land, landMinimum, landMaximum);
            ++buildCount;
            if (!canvas.PrepareRingDrawing(std::move(land))) {
                drawsDisplayGeometry = false;
            }
        } else {
            // Without memory for the display geometry the content is drawn
            // as it is.
            drawsDisplayGeometry = false;
        }
        if (!drawsDisplayGeometry) {
            canvas.DropRingDrawing();
            canvas.PrepareDrawingCopy(document.GetContent());
        }
    }
    if (drawsGraticule) {
        BuildGraticule(document, canvas);
    }
}

bool CMapDisplay::BuildLand(CMarloDoc& document, CRingSet& out) const {
    CProjection* projection = document.GetProjection();
    try {
        // Rotated longitudes and latitudes and their projections: taken by
        // the document while it projected; else the content's own while
        // nothing is projected, else the loaded copy rotated again.
        CRingSet geographic;
        CRingSet projected;
        const CRingSet* exact = &geographic;
        if (document.TakeDisplayRings(geographic, projected)) {
            exact = projection != nullptr ? &projected : &geographic;
        } else {
            if (!MakeGeographicRings(document.GetLoadedCopy(),
                                     projection == nullptr ? &document.GetContent() : nullptr,
                                     document.GetRotation(), geographic, BuildThreads)) {
                return false;
            }
            // The content holds exactly the projection of those points, so
            // rings that nothing cuts need not be projected again.
            if (projection != nullptr) {
                exact =
                    MakeProjectedRings(document.GetLoadedCopy(), geographic, document.GetContent(),
                                       *projection, projected, BuildThreads)
                        ? &projected
                        : nullptr;
            }
        }
        // The display geometry holds about one point per vertex and one per
        // ring; a little more where cuts and resampling add points.
        const std::size_t expected = geographic.GetPointCount() + geographic.GetRingCount();
        ReserveInHugePages(out.points, expected + expected / 64 + 4096);
        const CDisplayGeometryBuilder builder(MakeDisplaySettings(projection, tolerance));
        // One thread: the build mostly moves memory, and a second thread's
        // half would have to be copied after the first.
        builder.BuildPolygons(geographic, exact, out, 1);
    } catch (const std::bad_alloc&) {
        out.Clear();
        return false;
    }
    return true;
}

void CMapDisplay::BuildGraticule(const CMarloDoc& document, CMapCanvas& canvas) {
    try {
        CRingSet lines;
        MakeGraticule(GraticuleStep, document.GetRotation(), lines);
        const CDisplayGeometryBuilder builder(
            MakeDisplaySettings(document.GetProjection(), tolerance));
        CRingSet drawnLines;
        builder.BuildLines(lines, drawnLines);
        CRingSet outline;
        builder.BuildOutline(outline);
        hasOutlineBounds = FiniteBounds(outline, outlineMinimum, outlineMaximum);
        canvas.SetBackdrop(std::move(outline), std::move(drawnLines));
    } catch (const std::bad_alloc&) {
        canvas.ClearBackdrop();
        hasOutlineBounds = false;
    }
}
