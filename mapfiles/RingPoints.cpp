#include "mapfiles/RingPoints.h"

const CArcPoints* CRingPoints::ArcAt(unsigned edge, std::size_t& nextArc) const {
    if (nextArc < arcs.size() && arcs[nextArc].edge == edge) {
        return &arcs[nextArc++];
    }
    return nullptr;
}

void TakeRingPoints(const C2DPolyBase& ring, bool withEnds, CRingPoints& points) {
    const unsigned count = ring.GetLineCount();
    points.starts.resize(count);
    points.ends.resize(withEnds ? count : 0);
    points.arcs.clear();
    for (unsigned k = 0; k < count; ++k) {
        const C2DLineBase& edge = *ring.GetLine(k);
        const C2DPoint start = edge.GetStart();
        points.starts[k] = CPointXY{start.x, start.y};
        if (withEnds) {
            const C2DPoint end = edge.GetEnd();
            points.ends[k] = CPointXY{end.x, end.y};
        }
        if (edge.GetType() == GeometryType::Arc) {
            const auto& arc = static_cast<const C2DArc&>(edge);
            points.arcs.push_back(CArcPoints{k, arc.radius, arc.centreOnRight, arc.arcOnRight});
        }
    }
    const C2DRect& bounds = ring.GetBoundingRect();
    points.bounds =
        CEdgeBox{bounds.topLeft.x, bounds.topLeft.y, bounds.bottomRight.x, bounds.bottomRight.y};
}

void TakeHoledPolygonPoints(const C2DHoledPolyBase& holedPolygon, bool withEnds,
                            CHoledPolygonPoints& points) {
    const C2DPolyBase* rim = holedPolygon.GetRim();
    points.hasRim = rim != nullptr;
    if (rim != nullptr) {
        TakeRingPoints(*rim, withEnds, points.rim);
    } else {
        points.rim.starts.clear();
        points.rim.ends.clear();
        points.rim.arcs.clear();
        points.rim.bounds = CEdgeBox{0.0, 0.0, 0.0, 0.0};
    }
    points.holes.resize(holedPolygon.GetHoleCount());
    for (unsigned j = 0; j < holedPolygon.GetHoleCount(); ++j) {
        TakeRingPoints(*holedPolygon.GetHole(j), withEnds, points.holes[j]);
    }
}

bool IsHoledPolygon(const C2DBase& element) {
    const int32_t type = element.GetType();
    return type == GeometryType::HoledPolyBase || type == GeometryType::HoledPolygon ||
           type == GeometryType::HoledPolyArc;
}
