#include "geometry/Sets.h"

#include <cmath>
#include <limits>
#include <utility>

#include "geometry/Arcs.h"
#include "geometry/Lines.h"

// ---------------------------------------------------------------------------
// C2DBaseSet

C2DBaseSet::~C2DBaseSet() {
    DeleteAll();
}

void C2DBaseSet::DeleteAt(unsigned index) {
    delete members[index];
    members.erase(members.begin() + index);
}

void C2DBaseSet::DeleteAll() {
    for (C2DBase* member : members) {
        delete member; // a null entry is passed over
    }
    members.clear();
}

void C2DBaseSet::ReverseOrder() {
    const std::size_t count = members.size();
    for (std::size_t i = 0; i < count / 2; ++i) {
        std::swap(members[i], members[count - 1 - i]);
    }
}

void C2DBaseSet::MoveAllFrom(C2DBaseSet& source) {
    if (&source == this) {
        return; // moving a set into itself would drop (and leak) every member
    }
    members.insert(members.end(), source.members.begin(), source.members.end());
    source.members.clear();
}

C2DBase* C2DBaseSet::ExtractLast() {
    C2DBase* last = members.back();
    members.pop_back();
    return last;
}

void C2DBaseSet::SortByDistance(const C2DPoint& point) {
    std::vector<double> keys;
    keys.reserve(members.size());
    for (const C2DBase* member : members) {
        keys.push_back(member->DistanceTo(point));
    }
    SortByKeys(keys);
}

void C2DBaseSet::SortByKeys(std::vector<double>& keys) {
    if (members.size() < 2) {
        return;
    }
    // A NaN key (a distance from degenerate geometry) compares false both ways
    // and would stall the partition loop; it sorts as +infinity instead.
    for (double& key : keys) {
        if (std::isnan(key)) {
            key = std::numeric_limits<double>::infinity();
        }
    }
    SortByKeys(keys.data(), members.data(), 0, static_cast<int>(members.size()) - 1);
}

void C2DBaseSet::SortByKeys(double* keys, C2DBase** items, int lo, int hi) {
    auto swapEntries = [keys, items](int a, int b) {
        std::swap(keys[a], keys[b]);
        std::swap(items[a], items[b]);
    };
    // The two parts of a partition are disjoint, so the order in which they are
    // sorted does not change the result. The smaller part is sorted by
    // recursion and the larger one by the loop, which bounds the stack depth
    // (equal keys all fall into the lower part).
    while (lo < hi) {
        if (hi == lo + 1) {
            if (keys[hi] < keys[lo]) {
                swapEntries(lo, hi);
            }
            return;
        }
        const int mid = (lo + hi) / 2;
        const double pivot = keys[mid];
        swapEntries(mid, hi);
        int i = lo;
        int j = hi;
        for (;;) {
            while (i < j && keys[i] <= pivot) {
                ++i;
            }
            while (i < j && keys[j] >= pivot) {
                --j;
            }
            if (i < j) {
                swapEntries(i, j);
            } else {
                break;
            }
        }
        swapEntries(j, hi);
        if ((i - 1) - lo < hi - (j + 1)) {
            SortByKeys(keys, items, lo, i - 1);
            lo = j + 1;
        } else {
            SortByKeys(keys, items, j + 1, hi);
            hi = i - 1;
        }
    }
}

void C2DBaseSet::Translate(const C2DOffset& offset) {
    for (C2DBase* member : members) {
        member->Translate(offset);
    }
}

void C2DBaseSet::RotateClockwise(double angle, const C2DPoint& origin) {
    for (C2DBase* member : members) {
        member->RotateClockwise(angle, origin);
    }
}

void C2DBaseSet::ScaleAbout(double factor, const C2DPoint& origin) {
    for (C2DBase* member : members) {
        member->ScaleAbout(factor, origin);
    }
}

void C2DBaseSet::ReflectInLine(const C2DLine& line) {
    for (C2DBase* member : members) {
        member->ReflectInLine(line);
    }
}

void C2DBaseSet::ReflectInPoint(const C2DPoint& point) {
    for (C2DBase* member : members) {
        member->ReflectInPoint(point);
    }
}

double C2DBaseSet::DistanceTo(const C2DPoint& point) const {
    if (members.empty()) {
        return 0.0;
    }
    double best = members[0]->DistanceTo(point);
    if (best == 0) {
        return 0.0;
    }
    for (const C2DBase* member : members) {
        const double distance = member->DistanceTo(point);
        if (distance < best) {
            best = distance;
            if (distance == 0) {
                return 0.0;
            }
        }
    }
    return best;
}

void C2DBaseSet::GetBounds(C2DRect& bounds) const {
    if (members.empty()) {
        bounds.Clear();
        return;
    }
    members[0]->GetBounds(bounds);
    for (std::size_t i = 1; i < members.size(); ++i) {
        C2DRect memberBounds;
        members[i]->GetBounds(memberBounds);
        bounds.ExpandToInclude(memberBounds);
    }
}

void C2DBaseSet::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    if (members.empty()) {
        return;
    }
    members[0]->ProjectOnAxis(axis, range);
    for (std::size_t i = 1; i < members.size(); ++i) {
        // Starting from the range so far, a member that projects to nothing
        // (an empty nested set) leaves the result unchanged.
        CValueRange memberRange = range;
        members[i]->ProjectOnAxis(axis, memberRange);
        range.Merge(memberRange);
    }
}

void C2DBaseSet::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    if (members.empty()) {
        return;
    }
    members[0]->ProjectOnLine(line, range);
    for (std::size_t i = 1; i < members.size(); ++i) {
        CValueRange memberRange = range;
        members[i]->ProjectOnLine(line, memberRange);
        range.Merge(memberRange);
    }
}

void C2DBaseSet::RoundToGrid() {
    for (C2DBase* member : members) {
        member->RoundToGrid();
    }
}

// ---------------------------------------------------------------------------
// C2DPointSet

void C2DPointSet::AddCopy(const C2DPoint& point) {
    Add(new C2DPoint(point));
}

void C2DPointSet::AddCopy(const C2DPointSet& other) {
    // Counted first: copying a set into itself must not chase its own tail.
    const unsigned count = other.GetSize();
    for (unsigned i = 0; i < count; ++i) {
        AddCopy(*other.GetAt(i));
    }
}

namespace {

// Clockwise angle in [0, 2pi) from the line's direction to the point, as seen
// from the line's start.
double ClockwiseAngleFrom(const C2DLine& line, const C2DPoint& point) {
    double angle = (point - line.start).Bearing() - line.direction.Bearing();
    if (angle < 0) {
        angle += TwoPi;
    }
    return angle;
}

} // namespace

void C2DPointSet::SortClockwiseFrom(const C2DLine& line) {
    std::vector<double> keys;
    keys.reserve(members.size());
    for (unsigned i = 0; i < GetSize(); ++i) {
        keys.push_back(ClockwiseAngleFrom(line, *GetAt(i)));
    }
    SortByKeys(keys);
}

void C2DPointSet::SortAnticlockwiseFrom(const C2DLine& line) {
    std::vector<double> keys;
    keys.reserve(members.size());
    for (unsigned i = 0; i < GetSize(); ++i) {
        // A point straight ahead has the key 2pi and comes last.
        keys.push_back(TwoPi - ClockwiseAngleFrom(line, *GetAt(i)));
    }
    SortByKeys(keys);
}

void C2DPointSet::GetBounds(C2DRect& bounds) const {
    if (members.empty()) {
        bounds.Clear();
        return;
    }
    const C2DPoint& first = *GetAt(0);
    bounds.Set(first.x, first.y, first.x, first.y);
    for (unsigned i = 1; i < GetSize(); ++i) {
        bounds.ExpandToInclude(*GetAt(i));
    }
}

// ---------------------------------------------------------------------------
// C2DLineBaseSet

void C2DLineBaseSet::AddCopy(const C2DLineBase& edge) {
    switch (edge.GetType()) {
    case GeometryType::Line:
        Add(new C2DLine(static_cast<const C2DLine&>(edge)));
        break;
    case GeometryType::Arc:
        Add(new C2DArc(static_cast<const C2DArc&>(edge)));
        break;
    default:
        break;
    }
}

C2DLineBase* C2DLineBaseSet::GetAt(unsigned index) const {
    return static_cast<C2DLineBase*>(members[index]);
}
