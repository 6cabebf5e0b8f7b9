#include "tools/marlo-cli/FlatRing.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <type_traits>

#include "geometry/StraightEdges.h"
#include "projection/Transformation.h"

namespace {

// C2DPolygon::GetArea: the shoelace sum over the edges' starts.
double Area(const CFlatEdge* edges, std::size_t count) {
    if (count == 0) {
        return 0.0;
    }
    double previousX = edges[0].x;
    double previousY = edges[0].y;
    double sum = 0.0;
    for (std::size_t i = 1; i <= count; ++i) {
        const double x = i == count ? edges[0].x : edges[i].x;
        const double y = i == count ? edges[0].y : edges[i].y;
        sum += previousX * y - x * previousY;
        previousX = x;
        previousY = y;
    }
    return 0.5 * sum;
}

// C2DPolyBase::ReverseDirection: the edges in reverse order, each starting
// at its computed end and pointing back. The ring's bounds are kept.
void Reverse(CFlatEdge* edges, std::size_t count) {
    std::reverse(edges, edges + count);
    for (std::size_t i = 0; i < count; ++i) {
        CFlatEdge& edge = edges[i];
        edge.x = edge.x + edge.dx;
        edge.y = edge.y + edge.dy;
        edge.dx = -edge.dx;
        edge.dy = -edge.dy;
    }
}

// The distance in doubles from one edge's start to the next's, for
// TransformPoints.
constexpr std::size_t EdgeStride = sizeof(CFlatEdge) / sizeof(double);
static_assert(sizeof(CFlatEdge) % sizeof(double) == 0 && std::is_standard_layout_v<CFlatEdge>);

bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// C2DPolyBase::Transform: each edge's start and computed end moved, the
// direction between them, the rectangles rebuilt from them. An edge's
// computed end is nearly always the next edge's start to the bit; the
// transformation, a function of the point alone, then gives it the same
// bits, so it is moved once. reuse is scratch room.
void Transform(CFlatEdge* edges, std::size_t count, CTransformation& transformation,
               CEdgeBox& bounds, std::vector<unsigned char>& reuse) {
    reuse.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        CFlatEdge& edge = edges[i];
        const CFlatEdge& next = edges[i + 1 == count ? 0 : i + 1];
        // The end is kept in the direction until the starts are moved.
        edge.dx = edge.x + edge.dx;
        edge.dy = edge.y + edge.dy;
        reuse[i] = SameBits(edge.dx, next.x) && SameBits(edge.dy, next.y);
    }
    if (count != 0) {
        transformation.TransformPoints(&edges[0].x, &edges[0].y, count, EdgeStride);
    }
    // The bounds grow in a local, not through the reference, which the
    // compiler must assume the edges written may overlap.
    CEdgeBox grown{0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < count; ++i) {
        CFlatEdge& edge = edges[i];
        double ex = edge.dx;
        double ey = edge.dy;
        if (reuse[i]) {
            const CFlatEdge& next = edges[i + 1 == count ? 0 : i + 1];
            ex = next.x;
            ey = next.y;
        } else {
            transformation.Transform(ex, ey);
        }
        edge.dx = ex - edge.x;
        edge.dy = ey - edge.y;
        const CEdgeBox box = EdgeBoxOf(edge.x, edge.y, edge.dx, edge.dy);
        if (i == 0) {
            grown = box;
        } else {
            Include(grown, box);
        }
    }
    bounds = grown;
}

} // namespace

bool AppendFlatRing(const C2DPolyBase& ring, std::vector<CFlatEdge>& edges, double (&bounds)[4]) {
    const unsigned count = ring.GetLineCount();
    const std::size_t first = edges.size();
    for (unsigned k = 0; k < count; ++k) {
        const C2DLineBase& edge = *ring.GetLine(k);
        if (edge.GetType() != GeometryType::Line) {
            edges.resize(first);
            return false;
        }
        const auto& line = static_cast<const C2DLine&>(edge);
        edges.push_back(
            CFlatEdge{line.start.x, line.start.y, line.direction.dx, line.direction.dy});
    }
    const C2DRect& rect = ring.GetBoundingRect();
    bounds[0] = rect.topLeft.x;
    bounds[1] = rect.topLeft.y;
    bounds[2] = rect.bottomRight.x;
    bounds[3] = rect.bottomRight.y;
    return true;
}

void PrepareFlatRing(CFlatEdge* edges, std::size_t count, const double (&bounds)[4],
                     const CMapTransformations& transformations, bool withEnds, CRingPoints& out,
                     std::vector<unsigned char>& scratch) {
    CEdgeBox box{bounds[0], bounds[1], bounds[2], bounds[3]};
    // C2DPolyBase::MakeClockwise.
    if (Area(edges, count) >= 0.0) {
        Reverse(edges, count);
    }
    if (transformations.rotation) {
        Transform(edges, count, *transformations.rotation, box, scratch);
    }
    if (transformations.projection) {
        Transform(edges, count, *transformations.projection, box, scratch);
    }
    out.starts.resize(count);
    out.ends.resize(withEnds ? count : 0);
    out.arcs.clear();
    for (std::size_t k = 0; k < count; ++k) {
        out.starts[k] = CPointXY{edges[k].x, edges[k].y};
        if (withEnds) {
            out.ends[k] = CPointXY{edges[k].x + edges[k].dx, edges[k].y + edges[k].dy};
        }
    }
    out.bounds = box;
}
