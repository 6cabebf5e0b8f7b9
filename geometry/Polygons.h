#pragma once

#include <cassert>
#include <span>

#include "geometry/Lines.h"

class CTransformation;

// A closed boundary of edges (straight lines or arcs) with one bounding
// rectangle per edge and one for the whole boundary.
//
// Invariant of a complete polygon: lineRects has as many elements as lines,
// element i is the bounds of edge i, and boundingRect is their union (all zero
// without edges). The rectangles let Contains, Crosses and IsWithin run exact
// edge tests only where rectangles overlap, which keeps large maps fast. The
// incremental construction (SetStartPoint, LineTo, ArcTo) appends edges without
// rectangles; Close or CloseWithArc restores the invariant. While the two counts
// differ, the contract operations 1 to 5 do nothing, both Crosses with a line
// answer false (so Contains does too), and Transform moves the edges only.
//
// A reflection in a line mirrors the ring and then reverses it, so the sign of
// its area is kept; a reflection in a point is a half turn and keeps the
// direction of travel as it is.
class C2DPolyBase : public C2DBase {
    MARLO_POOLED_CLASS(C2DPolyBase)

public:
    C2DPolyBase() : C2DBase(GeometryType::PolyBase) {}
    C2DPolyBase(const C2DPolyBase& other);
    ~C2DPolyBase() override = default;
    C2DPolyBase& operator=(const C2DPolyBase&) = delete;

    unsigned GetLineCount() const { return lines.GetSize(); }
    // Edge number index modulo the edge count; null without edges.
    C2DLineBase* GetLine(unsigned index) const;
    // The edges in order, read-only, for loops over millions of edges that can
    // afford no call per edge. Each element is a C2DLine or a C2DArc, as its
    // GetType tells; in a C2DPolygon every one is a C2DLine (C2DPolygon::AsLine).
    // Valid until an edge is next added or removed (construction, Set, Clear,
    // Create); while valid it shows the edges in their current order, which
    // ReverseDirection reverses.
    std::span<const C2DBase* const> GetEdges() const { return lines.GetMembers(); }
    bool HasArcs() const;
    const C2DRect& GetBoundingRect() const { return boundingRect; }
    unsigned GetLineRectCount() const { return lineRects.GetSize(); }
    const C2DRect& GetLineRect(unsigned index) const { return *lineRects.GetAt(index); }

    // Deep copy of edges, edge rectangles and bounds.
    void Set(const C2DPolyBase& other);

    // Incremental construction: SetStartPoint, then LineTo or ArcTo once per
    // further vertex, then Close or CloseWithArc. An arc edge runs from the
    // last vertex to point with the given radius (coordinate units) and the
    // side flags of C2DArc.
    void SetStartPoint(const C2DPoint& point);
    void LineTo(const C2DPoint& point);
    void ArcTo(const C2DPoint& point, bool centreOnRight, bool arcOnRight, double radius);
    void Close();
    void CloseWithArc(bool centreOnRight, bool arcOnRight, double radius);

    void MakeLineRects();
    void MakeBoundingRect();

    // Signed area: positive when the boundary runs anticlockwise (y up).
    virtual double GetArea() const;
    // Applies the transformation to every edge's defining points and refreshes
    // the rectangles in the same pass. Allocates nothing and writes only this
    // ring, so different rings may be transformed on different threads.
    virtual void Transform(CTransformation& transformation);
    virtual void InverseTransform(CTransformation& transformation);

    void ReverseDirection();
    // Makes the ring run clockwise: a ring of positive or zero area is
    // reversed.
    void MakeClockwise();
    // Whether the point lies inside the ring or on its boundary. A probe ray
    // runs from the point to the right, as long as the ring is wide and tilted
    // up by ProbeRise so that it never runs along a horizontal edge; the point
    // is inside when the ray crosses the boundary an odd number of times, or
    // when the nearest crossing is the point itself.
    bool Contains(const C2DPoint& point) const;
    bool Crosses(const C2DLineBase& line, C2DPointSet& intersections) const;
    bool Crosses(const C2DLineBase& line) const;
    bool Crosses(const C2DPolyBase& other) const;
    bool IsWithin(const C2DPolyBase& other) const;

    // Forms of Contains and Crosses(line) for an index over the edges: they
    // test only the listed edges, and answer exactly as the full forms when
    // the list holds every edge whose rectangle overlaps the probe ray's
    // bounds (GetProbeBounds) or the line's bounds. Contains needs the list
    // in increasing order (crossings are kept in edge order); Crosses takes
    // any order.
    static constexpr double ProbeRise = 1e-6;
    C2DRect GetProbeBounds(const C2DPoint& point) const;
    bool Contains(const C2DPoint& point, std::span<const unsigned> edges) const;
    bool Crosses(const C2DLineBase& line, std::span<const unsigned> edges) const;

    void Translate(const C2DOffset& offset) override;
    void RotateClockwise(double angle, const C2DPoint& origin) override;
    void ScaleAbout(double factor, const C2DPoint& origin) override;
    void ReflectInLine(const C2DLine& line) override;
    void ReflectInPoint(const C2DPoint& point) override;
    double DistanceTo(const C2DPoint& point) const override;
    void GetBounds(C2DRect& bounds) const override;
    void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const override;
    void ProjectOnLine(const C2DLine& line, CValueRange& range) const override;
    void RoundToGrid() override;

protected:
    explicit C2DPolyBase(int32_t type) : C2DBase(type) {}
    C2DPolyBase(int32_t type, const C2DPolyBase& other);

    bool IsComplete() const { return lines.GetSize() == lineRects.GetSize(); }
    void DeleteEdges();
    // False only for a C2DPolygon that holds an arc, which its straight-edge
    // overrides and the renderer's fast paths would misread.
    bool HoldsItsKindOfEdges() const;
    // Appends a new edge during incremental construction: it replaces the
    // zero-length straight start edge left by SetStartPoint.
    void AppendConstructionEdge(C2DLineBase* edge);

    C2DLineBaseSet lines;
    C2DRect boundingRect;
    C2DRectSet lineRects;

private:
    // The edge loops behind the full and the indexed forms; EdgeNumbers is
    // any range of edge numbers.
    template <typename EdgeNumbers>
    bool CrossesAmong(const C2DLineBase& line, const EdgeNumbers& edges,
                      C2DPointSet& intersections) const;
    template <typename EdgeNumbers>
    bool CrossesAnyAmong(const C2DLineBase& line, const EdgeNumbers& edges) const;
    template <typename EdgeNumbers>
    bool ContainsAmong(const C2DPoint& point, const EdgeNumbers& edges) const;
};

// A polygon of straight edges only, built from an array of points (the rings
// of a shapefile). The two sub-areas are owned but never filled by this system.
//
// Invariant: every edge is a C2DLine. Create builds only those; a source given
// to the converting constructor or to Set must hold no arc, and ArcTo and
// CloseWithArc are not for a C2DPolygon. Debug builds assert it wherever edges
// are added.
class C2DPolygon : public C2DPolyBase {
    MARLO_POOLED_CLASS(C2DPolygon)

public:
    C2DPolygon() : C2DPolyBase(GeometryType::Polygon) {}
    // Copies edges, edge rectangles and bounds of a polygon without arcs; no
    // sub-areas.
    explicit C2DPolygon(const C2DPolyBase& other) : C2DPolyBase(GeometryType::Polygon, other) {}
    C2DPolygon(const C2DPolygon& other) : C2DPolygon(static_cast<const C2DPolyBase&>(other)) {}
    ~C2DPolygon() override;

    // Builds the ring from count points stored as consecutive (x, y) double
    // pairs: one edge from each point to the next and a closing edge back to
    // the first. No point is removed or merged. Returns true.
    bool Create(const double* points, unsigned count);
    void Clear();

    // An element of GetEdges() of a C2DPolygon as the straight edge it is,
    // without a checked down-cast per edge (debug builds check it).
    static const C2DLine& AsLine(const C2DBase* edge) {
        assert(edge->GetType() == GeometryType::Line);
        return *static_cast<const C2DLine*>(edge);
    }

    C2DPolygon* GetSubArea1() const { return subArea1; }
    C2DPolygon* GetSubArea2() const { return subArea2; }

    void Translate(const C2DOffset& offset) override;
    void RotateClockwise(double angle, const C2DPoint& origin) override;
    void ReflectInLine(const C2DLine& line) override;
    void ReflectInPoint(const C2DPoint& point) override;
    void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const override;
    void ProjectOnLine(const C2DLine& line, CValueRange& range) const override;
    double GetArea() const override;

private:
    void DeleteSubAreas();
    bool HasSubAreas() const { return subArea1 != nullptr && subArea2 != nullptr; }

    C2DPolygon* subArea1 = nullptr;
    C2DPolygon* subArea2 = nullptr;
};
