#pragma once

#include "geometry/Arcs.h"
#include "geometry/Polygons.h"

class CTransformation;

// Owning set of rings (the holes of a holed polygon).
class C2DPolyBaseSet : public C2DBaseSet {
    MARLO_POOLED_CLASS(C2DPolyBaseSet)

public:
    C2DPolyBaseSet() : C2DBaseSet(GeometryType::PolyBaseSet) {}
    ~C2DPolyBaseSet() override = default;

    C2DPolyBase* GetAt(unsigned index) const { return static_cast<C2DPolyBase*>(members[index]); }
};

// An area with an outer boundary (the rim) and any number of holes. Every
// operation is applied to all rings. Its signed distance is positive inside the
// area (inside the rim and in no hole), the opposite of a single ring's.
class C2DHoledPolyBase : public C2DBase {
    MARLO_POOLED_CLASS(C2DHoledPolyBase)

public:
    C2DHoledPolyBase() : C2DBase(GeometryType::HoledPolyBase) {}
    ~C2DHoledPolyBase() override;
    C2DHoledPolyBase(const C2DHoledPolyBase&) = delete;
    C2DHoledPolyBase& operator=(const C2DHoledPolyBase&) = delete;

    C2DPolyBase* GetRim() const { return rim; }
    // Deletes the current rim and takes ownership of the new one.
    void SetRim(C2DPolyBase* newRim);
    unsigned GetHoleCount() const { return holes.GetSize(); }
    C2DPolyBase* GetHole(unsigned index) const { return holes.GetAt(index); }
    // Appends a hole; the holed polygon takes ownership.
    void AddHole(C2DPolyBase* hole) { holes.Add(hole); }
    unsigned GetTotalLineCount() const;
    bool HasArcs() const;
    // Makes every ring (rim and holes) run clockwise; zero-area rings are
    // reversed too.
    void MakeClockwise();

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

    virtual void Transform(CTransformation& transformation);
    virtual void InverseTransform(CTransformation& transformation);

protected:
    explicit C2DHoledPolyBase(int32_t type) : C2DBase(type) {}

    C2DPolyBase* rim = nullptr;
    C2DPolyBaseSet holes;
};

// Rim and holes are C2DPolygons (straight edges only).
class C2DHoledPolygon : public C2DHoledPolyBase {
    MARLO_POOLED_CLASS(C2DHoledPolygon)

public:
    C2DHoledPolygon() : C2DHoledPolyBase(GeometryType::HoledPolygon) {}
    // Converting copy: every ring becomes a new C2DPolygon copy. The source
    // must have a rim.
    explicit C2DHoledPolygon(const C2DHoledPolyBase& other);
    C2DHoledPolygon(const C2DHoledPolygon& other)
        : C2DHoledPolygon(static_cast<const C2DHoledPolyBase&>(other)) {}
    ~C2DHoledPolygon() override = default;
};

// Rim and holes are C2DPolyArcs (edges may be arcs).
class C2DHoledPolyArc : public C2DHoledPolyBase {
    MARLO_POOLED_CLASS(C2DHoledPolyArc)

public:
    C2DHoledPolyArc() : C2DHoledPolyBase(GeometryType::HoledPolyArc) {}
    ~C2DHoledPolyArc() override = default;
};

// The map content: holed polygons of both kinds.
class C2DHoledPolyBaseSet : public C2DBaseSet {
    MARLO_POOLED_CLASS(C2DHoledPolyBaseSet)

public:
    C2DHoledPolyBaseSet() : C2DBaseSet(GeometryType::HoledPolyBaseSet) {}
    ~C2DHoledPolyBaseSet() override = default;

    C2DHoledPolyBase* GetAt(unsigned index) const {
        return static_cast<C2DHoledPolyBase*>(members[index]);
    }
    // Moves every holed polygon out of other, taking other's elements from the
    // last to the first, so they arrive here in reverse order; the elements
    // that are not holed polygons stay in other in their previous order.
    void ExtractHoledPolys(C2DBaseSet& other);
    void MakeClockwise();
    void Transform(CTransformation& transformation);
    void InverseTransform(CTransformation& transformation);

protected:
    explicit C2DHoledPolyBaseSet(int32_t type) : C2DBaseSet(type) {}
};

class C2DHoledPolygonSet : public C2DHoledPolyBaseSet {
    MARLO_POOLED_CLASS(C2DHoledPolygonSet)

public:
    C2DHoledPolygonSet() : C2DHoledPolyBaseSet(GeometryType::HoledPolygonSet) {}
    ~C2DHoledPolygonSet() override = default;

    C2DHoledPolygon* GetAt(unsigned index) const {
        return static_cast<C2DHoledPolygon*>(members[index]);
    }
};

class C2DHoledPolyArcSet : public C2DHoledPolyBaseSet {
    MARLO_POOLED_CLASS(C2DHoledPolyArcSet)

public:
    C2DHoledPolyArcSet() : C2DHoledPolyBaseSet(GeometryType::HoledPolyArcSet) {}
    ~C2DHoledPolyArcSet() override = default;

    C2DHoledPolyArc* GetAt(unsigned index) const {
        return static_cast<C2DHoledPolyArc*>(members[index]);
    }
};
