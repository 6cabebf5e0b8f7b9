#pragma once

#include <span>
#include <vector>

#include "geometry/Base.h"

class C2DLineBase;

// An ordered set of geometry objects that owns its members: deleting a member
// goes through its virtual destructor, which returns pooled objects to their
// pool. The set is itself a geometry object: the contract applies to every
// member in index order. Sets are not copied whole; the typed AddCopy
// operations make deep copies member by member.
class C2DBaseSet : public C2DBase {
    MARLO_POOLED_CLASS(C2DBaseSet)

public:
    C2DBaseSet() : C2DBaseSet(GeometryType::BaseSet) {}
    ~C2DBaseSet() override;
    C2DBaseSet(const C2DBaseSet&) = delete;
    C2DBaseSet& operator=(const C2DBaseSet&) = delete;

    unsigned GetSize() const { return static_cast<unsigned>(members.size()); }
    bool IsEmpty() const { return members.empty(); }
    // Appends the object; the set takes ownership.
    void Add(C2DBase* object) { members.push_back(object); }
    C2DBase* GetAt(unsigned index) const { return members[index]; }
    // The members in index order, read-only, for loops that can afford no
    // call per member. Valid until the set next changes.
    std::span<const C2DBase* const> GetMembers() const { return members; }
    void DeleteAt(unsigned index);
    void DeleteAll();
    void ReverseOrder();
    // Appends every member of source in order and leaves source empty.
    void MoveAllFrom(C2DBaseSet& source);
    // Removes the last member without deleting it; the caller owns it.
    C2DBase* ExtractLast();
    // Orders the members by increasing DistanceTo(point).
    void SortByDistance(const C2DPoint& point);
    // Capacity hint for builders that know the final size.
    void Reserve(unsigned count) { members.reserve(count); }

    using C2DBase::DistanceTo;
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
    explicit C2DBaseSet(int32_t type) : C2DBase(type) {}

    // Sorts keys and members together, ascending by key, on [lo, hi]. Not
    // stable: members with equal keys may change their order.
    static void SortByKeys(double* keys, C2DBase** items, int lo, int hi);
    void SortByKeys(std::vector<double>& keys);

    std::vector<C2DBase*> members;
};

class C2DPointSet : public C2DBaseSet {
    MARLO_POOLED_CLASS(C2DPointSet)

public:
    C2DPointSet() : C2DBaseSet(GeometryType::PointSet) {}
    ~C2DPointSet() override = default;

    void AddCopy(const C2DPoint& point);
    void AddCopy(const C2DPointSet& other);
    C2DPoint* GetAt(unsigned index) const { return static_cast<C2DPoint*>(members[index]); }
    // Angular sorts about a line: by the clockwise (or anticlockwise) angle
    // from the line's direction to each point, seen from the line's start.
    void SortClockwiseFrom(const C2DLine& line);
    void SortAnticlockwiseFrom(const C2DLine& line);

    void GetBounds(C2DRect& bounds) const override;
};

class C2DRectSet : public C2DBaseSet {
    MARLO_POOLED_CLASS(C2DRectSet)

public:
    C2DRectSet() : C2DBaseSet(GeometryType::RectSet) {}
    ~C2DRectSet() override = default;

    C2DRect* GetAt(unsigned index) const { return static_cast<C2DRect*>(members[index]); }
};

// Edges: C2DLine and C2DArc objects.
class C2DLineBaseSet : public C2DBaseSet {
    MARLO_POOLED_CLASS(C2DLineBaseSet)

public:
    C2DLineBaseSet() : C2DBaseSet(GeometryType::LineBaseSet) {}
    ~C2DLineBaseSet() override = default;

    // Appends a copy of a straight edge or an arc; any other kind is ignored.
    void AddCopy(const C2DLineBase& edge);
    C2DLineBase* GetAt(unsigned index) const;
};
