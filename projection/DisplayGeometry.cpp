#include "projection/DisplayGeometry.h"

#include "projection/Projection.h"

// Placeholder while the cutting is written: projects every ring as it is.
CDisplaySpec MakeDisplaySpec(CProjection* projection, double tolerance) {
    CDisplaySpec spec;
    spec.projection = projection;
    spec.tolerance = tolerance > 0.0 ? tolerance : 1e-4;
    return spec;
}

CDisplayGeometryBuilder::CDisplayGeometryBuilder(const CDisplaySpec& spec) : spec(spec) {}

void CDisplayGeometryBuilder::BuildPolygons(const CRingSet& geographic, const CRingSet*,
                                            CRingSet& out, unsigned) const {
    out.Clear();
    for (std::size_t p = 0; p < geographic.GetPolygonCount(); ++p) {
        for (uint32_t r = geographic.GetFirstRing(p); r < geographic.GetEndRing(p); ++r) {
            const CPlanePoint* points = geographic.GetRingPoints(r);
            const uint32_t n = geographic.GetRingSize(r);
            for (uint32_t i = 0; i <= n && n > 0; ++i) {
                double y = points[i % n].y;
                double x = points[i % n].x;
                if (spec.projection != nullptr) {
                    spec.projection->Project(y, x);
                }
                out.points.push_back({x, y});
            }
            out.EndRing();
        }
        out.EndPolygon();
    }
}

void CDisplayGeometryBuilder::BuildLines(const CRingSet& geographic, CRingSet& out) const {
    BuildPolygons(geographic, nullptr, out);
}

void CDisplayGeometryBuilder::BuildOutline(CRingSet& out) const {
    out.Clear();
}

void MakeGraticule(double, CGeoRotation*, CRingSet& lines) {
    lines.Clear();
}
