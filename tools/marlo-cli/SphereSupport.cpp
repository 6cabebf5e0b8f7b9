#include "tools/marlo-cli/SphereSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#include "projection/DisplayGeometry.h"
#include "tools/marlo-cli/RingCrossings.h"
#include "viewer/canvas/DisplaySource.h"
#include "viewer/canvas/MapCanvas.h"

namespace {

constexpr unsigned SphereThreads = 2;
// The drawn curves stay within this many pixels of the true ones.
constexpr double PixelTolerance = DisplayPixelTolerance;

// Whether the copy is a map of the earth in degrees: a finite point, and
// every finite point within longitude -180..180 and latitude -90..90.
const C2DRect EarthInDegrees(-180.0, 90.0, 180.0, -90.0);

bool LiesOnTheEarth(const C2DCoordinateCopy& copy) {
    bool any = false;
    return copy.FinitePointsWithin(EarthInDegrees, any) && any;
}

void ReportOutOfMemory() {
    std::fprintf(stderr, "marlo-cli convert: out of memory\n");
}

void ReportNotOnTheEarth() {
    std::fprintf(stderr, "marlo-cli convert: --clip needs a map in longitude and latitude "
                         "(within -180..180 and -90..90)\n");
}

// Whether most of a few of the hole's points lie inside the rim: a hole may
// touch its rim at a point or two.
bool RingHoldsHole(const CRingSet& set, const CRingCrossings& rim, uint32_t hole) {
    const uint32_t holeSize = set.GetRingSize(hole);
    const uint32_t samples = std::min<uint32_t>(holeSize, 9);
    int votes = 0;
    for (uint32_t k = 0; k < samples; ++k) {
        const CPlanePoint& p = set.GetRingPoints(hole)[k * holeSize / samples];
        votes += rim.Contains(p) ? 1 : -1;
    }
    return votes > 0;
}

C2DPolygon* MakeRing(const CPlanePoint* points, uint32_t count) {
    // A closed ring repeats its first point, which Create adds as the
    // closing edge.
    std::vector<double> xy;
    xy.reserve(2 * count);
    for (uint32_t i = 0; i + 1 < count; ++i) {
        xy.push_back(points[i].x);
        xy.push_back(points[i].y);
    }
    auto* ring = new C2DPolygon();
    ring->Create(xy.data(), count - 1);
    return ring;
}

} // namespace

bool TakeSphereOptions(const char* command, std::vector<std::string>& args,
                       const CSphereSwitches& accepted, CSphereOptions& options) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (accepted.clip && word == "--clip") {
            options.clip = true;
        } else if (accepted.render && word == "--raw") {
            options.raw = true;
        } else if (accepted.render && word == "--graticule") {
            options.graticule = true;
        } else if (accepted.clip && (word == "--tolerance" || word.rfind("--tolerance=", 0) == 0)) {
            std::string value;
            if (word != "--tolerance") {
                value = word.substr(std::string("--tolerance=").size());
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                std::fprintf(stderr, "marlo-cli %s: --tolerance needs a value\n", command);
                return false;
            }
            char* end = nullptr;
            const double tolerance = std::strtod(value.c_str(), &end);
            if (value.empty() || end != value.c_str() + value.size() || !std::isfinite(tolerance) ||
                !(tolerance > 0.0)) {
                std::fprintf(stderr,
                             "marlo-cli %s: --tolerance needs a positive number, not \"%s\"\n",
                             command, value.c_str());
                return false;
            }
            options.tolerance = tolerance;
        } else {
            rest.push_back(word);
        }
    }
    args = std::move(rest);
    return true;
}

bool PrepareSphereMap(C2DHoledPolyBaseSet& content, const CMapTransformations& transformations,
                      CSphereMap& map) {
    if (!map.loaded.Capture(content)) {
        return false;
    }
    map.geographic = LiesOnTheEarth(map.loaded);
    if (transformations.rotation &&
        !map.loaded.RestoreTransformed(content, *transformations.rotation, SphereThreads)) {
        content.Transform(*transformations.rotation);
    }
    return true;
}

bool BuildDisplayGeometry(const C2DHoledPolyBaseSet& content, const CSphereMap& map,
                          const CMapTransformations& transformations, double tolerance,
                          CRingSet& polygons) {
    try {
        CRingSet geographic;
        if (!MakeGeographicRings(map.loaded, &content, transformations.rotation.get(), geographic,
                                 SphereThreads)) {
            return false;
        }
        const CDisplayGeometryBuilder builder(
            MakeDisplaySettings(transformations.projection.get(), tolerance));
        builder.BuildPolygons(geographic, nullptr, polygons, SphereThreads);
    } catch (const std::bad_alloc&) {
        polygons.Clear();
        return false;
    }
    return true;
}

void ReplaceWithDisplayGeometry(const CRingSet& polygons, C2DHoledPolyBaseSet& content,
                                std::vector<int32_t>& records) {
    const bool keepRecords = records.size() == polygons.GetPolygonCount();
    std::vector<int32_t> newRecords;
    content.DeleteAll();
    for (std::size_t p = 0; p < polygons.GetPolygonCount(); ++p) {
        // Rims and holes by their winding; rims from the smallest, so that a
        // hole goes into the innermost rim that holds it.
        std::vector<std::pair<double, uint32_t>> rims; // |area| and ring
        std::vector<uint32_t> holes;
        for (uint32_t r = polygons.GetFirstRing(p); r < polygons.GetEndRing(p); ++r) {
            const uint32_t size = polygons.GetRingSize(r);
            if (size < 4) {
                continue; // fewer than three distinct corners
            }
            const double area = RingDoubleArea(polygons.GetRingPoints(r), size);
            if (area < 0.0) {
                rims.emplace_back(std::fabs(area), r);
            } else if (area > 0.0) {
                holes.push_back(r);
            }
        }
        std::sort(rims.begin(), rims.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<C2DHoledPolygon*> made;
        for (const auto& [area, rim] : rims) {
            auto* holed = new C2DHoledPolygon();
            holed->SetRim(MakeRing(polygons.GetRingPoints(rim), polygons.GetRingSize(rim)));
            made.push_back(holed);
        }
        // A rim's edges are indexed when a hole is first tested against it:
        // a large rim may hold thousands of holes.
        std::vector<std::unique_ptr<CRingCrossings>> crossings(rims.size());
        for (uint32_t hole : holes) {
            for (std::size_t k = 0; k < rims.size(); ++k) {
                if (!crossings[k]) {
                    const uint32_t rim = rims[k].second;
                    crossings[k] = std::make_unique<CRingCrossings>(polygons.GetRingPoints(rim),
                                                                    polygons.GetRingSize(rim));
                }
                if (RingHoldsHole(polygons, *crossings[k], hole)) {
                    made[k]->AddHole(
                        MakeRing(polygons.GetRingPoints(hole), polygons.GetRingSize(hole)));
                    break;
                }
            }
        }
        for (C2DHoledPolygon* holed : made) {
            // Holes too run clockwise in a content, as after every load; the
            // writers turn them as their formats want.
            holed->MakeClockwise();
            content.Add(holed);
            newRecords.push_back(keepRecords ? records[p] : -1);
        }
    }
    records = std::move(newRecords);
}

bool RenderSphereMap(C2DHoledPolyBaseSet& content, const CSphereMap& map,
                     const CMapTransformations& transformations, const CSphereOptions& options,
                     CMapCanvas& canvas) {
    CProjection* projection = transformations.projection.get();
    // The viewer's tolerance, so that both draw the same pixels.
    double tolerance =
        FirstDisplayTolerance(projection, canvas, MakeDisplaySettings(projection).tolerance);
    if (options.graticule) {
        // The same step as the viewer's graticule.
        constexpr double GraticuleStep = 10.0;
        try {
            CRingSet lines;
            MakeGraticule(GraticuleStep, transformations.rotation.get(), lines);
            const CDisplayGeometryBuilder builder(MakeDisplaySettings(projection, tolerance));
            CRingSet drawnLines;
            builder.BuildLines(lines, drawnLines);
            CRingSet outline;
            builder.BuildOutline(outline);
            canvas.SetBackdrop(std::move(outline), std::move(drawnLines));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    if (options.raw) {
        if (projection != nullptr) {
            content.Transform(*projection);
        }
        canvas.FitToBounds(content);
        canvas.Render(content);
        return true;
    }
    CRingSet polygons;
    if (!BuildDisplayGeometry(content, map, transformations, tolerance, polygons)) {
        return false;
    }
    CPlanePoint minimum{0.0, 0.0};
    CPlanePoint maximum{0.0, 0.0};
    if (FiniteBounds(polygons, minimum, maximum)) {
        canvas.requestedRect = C2DRect(minimum.x, maximum.y, maximum.x, minimum.y);
        canvas.Recalculate();
    } else {
        canvas.FitToBounds(content);
    }
    // A small map fitted to the image shows more detail than the default
    // tolerance follows: build again for this zoom, as the viewer does.
    const double pixelsPerUnit = std::fabs(canvas.scale.x);
    if (std::isfinite(pixelsPerUnit) && pixelsPerUnit > 0.0 &&
        tolerance > PixelTolerance / pixelsPerUnit) {
        tolerance = PixelTolerance / pixelsPerUnit / 4.0;
        polygons.Clear();
        if (!BuildDisplayGeometry(content, map, transformations, tolerance, polygons)) {
            return false;
        }
    }
    if (!canvas.PrepareRingDrawing(std::move(polygons))) {
        return false;
    }
    canvas.RenderRings();
    return true;
}

const CMapTransformations* StepsWhileLoading(const CSphereOptions& options,
                                             const CMapTransformations& transformations) {
    static const CMapTransformations clockwiseOnly;
    return options.clip ? &clockwiseOnly : &transformations;
}

bool ClipToDisplayGeometry(C2DHoledPolyBaseSet& content, std::vector<int32_t>& records,
                           const CMapTransformations& transformations,
                           const CSphereOptions& options) {
    CEarthCheck check;
    return ClipPieceToDisplayGeometry(content, records, transformations, options, check) &&
           FinishEarthCheck(check);
}

bool ClipPieceToDisplayGeometry(C2DHoledPolyBaseSet& piece, std::vector<int32_t>& records,
                                const CMapTransformations& transformations,
                                const CSphereOptions& options, CEarthCheck& check) {
    // The pieces' checks together are the whole map's: no point off the
    // earth in any piece, and a finite point in some piece.
    CSphereMap map;
    if (!PrepareSphereMap(piece, transformations, map)) {
        ReportOutOfMemory();
        return false;
    }
    bool any = false;
    if (!map.loaded.FinitePointsWithin(EarthInDegrees, any)) {
        ReportNotOnTheEarth();
        return false;
    }
    check.anyPoint = check.anyPoint || any;
    CRingSet polygons;
    if (!BuildDisplayGeometry(piece, map, transformations, options.tolerance, polygons)) {
        ReportOutOfMemory();
        return false;
    }
    map.loaded.Clear();
    ReplaceWithDisplayGeometry(polygons, piece, records);
    return true;
}

bool FinishEarthCheck(const CEarthCheck& check) {
    if (!check.anyPoint) {
        ReportNotOnTheEarth();
        return false;
    }
    return true;
}
