#include "geometry/HoledPolygons.h"

#include <cmath>

#include "projection/Transformation.h"

// ---------------------------------------------------------------------------
// C2DHoledPolyBase

C2DHoledPolyBase::~C2DHoledPolyBase() {
    delete rim;
    rim = nullptr;
    holes.DeleteAll();
}

void C2DHoledPolyBase::SetRim(C2DPolyBase* newRim) {
    // Handing back the current rim must not delete it.
    if (newRim == rim) {
        return;
    }
    delete rim;
    rim = newRim;
}

unsigned C2DHoledPolyBase::GetTotalLineCount() const {
    unsigned total = rim != nullptr ? rim->GetLineCount() : 0;
    for (unsigned i = 0; i < holes.GetSize(); ++i) {
        total += holes.GetAt(i)->GetLineCount();
    }
    return total;
}

bool C2DHoledPolyBase::HasArcs() const {
    if (rim != nullptr && rim->HasArcs()) {
        return true;
    }
    for (unsigned i = 0; i < holes.GetSize(); ++i) {
        if (holes.GetAt(i)->HasArcs()) {
            return true;
        }
    }
    return false;
}

void C2DHoledPolyBase::MakeClockwise() {
    if (rim != nullptr) {
        rim->MakeClockwise();
    }
    for (unsigned i = 0; i < holes.GetSize(); ++i) {
        holes.GetAt(i)->MakeClockwise();
    }
}

void C2DHoledPolyBase::Translate(const C2DOffset& offset) {
    if (rim != nullptr) {
        rim->Translate(offset);
    }
    holes.Translate(offset);
}

void C2DHoledPolyBase::RotateClockwise(double angle, const C2DPoint& origin) {
    if (rim != nullptr) {
        rim->RotateClockwise(angle, origin);
    }
    holes.RotateClockwise(angle, origin);
}

void C2DHoledPolyBase::ScaleAbout(double factor, const C2DPoint& origin) {
    if (rim != nullptr) {
        rim->ScaleAbout(factor, origin);
    }
    holes.ScaleAbout(factor, origin);
}

void C2DHoledPolyBase::ReflectInLine(const C2DLine& line) {
    if (rim != nullptr) {
        rim->ReflectInLine(line);
    }
    holes.ReflectInLine(line);
}

void C2DHoledPolyBase::ReflectInPoint(const C2DPoint& point) {
    if (rim != nullptr) {
        rim->ReflectInPoint(point);
    }
    holes.ReflectInPoint(point);
}

double C2DHoledPolyBase::DistanceTo(const C2DPoint& point) const {
    if (rim == nullptr) {
        return 0.0;
    }
    // A ring answers negative inside; the area answers positive inside
    // (inside the rim and in no hole).
    const double d = rim->DistanceTo(point);
    bool inside = d < 0.0;
    double best = std::fabs(d);
    for (unsigned i = 0; i < holes.GetSize(); ++i) {
        const double e = holes.GetAt(i)->DistanceTo(point);
        if (e < 0.0) {
            inside = false;
        }
        if (std::fabs(e) < best) {
            best = std::fabs(e);
        }
    }
    return inside ? best : -best;
}

void C2DHoledPolyBase::GetBounds(C2DRect& bounds) const {
    if (rim == nullptr) {
        bounds.topLeft.x = 0.0;
        bounds.topLeft.y = 0.0;
        bounds.bottomRight.x = 0.0;
        bounds.bottomRight.y = 0.0;
        return;
    }
    const C2DRect& rimBounds = rim->GetBoundingRect();
    bounds.topLeft.x = rimBounds.topLeft.x;
    bounds.topLeft.y = rimBounds.topLeft.y;
    bounds.bottomRight.x = rimBounds.bottomRight.x;
    bounds.bottomRight.y = rimBounds.bottomRight.y;
    for (unsigned i = 0; i < holes.GetSize(); ++i) {
        bounds.ExpandToInclude(holes.GetAt(i)->GetBoundingRect());
    }
}

void C2DHoledPolyBase::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    if (rim != nullptr) {
        rim->ProjectOnAxis(axis, range);
    }
}

void C2DHoledPolyBase::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    if (rim != nullptr) {
        rim->ProjectOnLine(line, range);
    }
}

void C2DHoledPolyBase::RoundToGrid() {
    if (rim != nullptr) {
        rim->RoundToGrid();
    }
    holes.RoundToGrid();
}

// Touches only this holed polygon's own rings and allocates nothing, so
// different holed polygons may be transformed on different threads.
void C2DHoledPolyBase::Transform(CTransformation& transformation) {
    if (rim != nullptr) {
        rim->Transform(transformation);
    }
    for (unsigned i = 0; i < holes.GetSize(); ++i) {
        holes.GetAt(i)->Transform(transformation);
    }
}

void C2DHoledPolyBase::InverseTransform(CTransformation& transformation) {
    if (rim != nullptr) {
        rim->InverseTransform(transformation);
    }
    for (unsigned i = 0; i < holes.GetSize(); ++i) {
        holes.GetAt(i)->InverseTransform(transformation);
    }
}

// ---------------------------------------------------------------------------
// C2DHoledPolygon

C2DHoledPolygon::C2DHoledPolygon(const C2DHoledPolyBase& other)
    : C2DHoledPolyBase(GeometryType::HoledPolygon) {
    // A source without a rim gives a holed polygon without a rim rather than
    // a dereferenced null.
    if (other.GetRim() != nullptr) {
        rim = new C2DPolygon(*other.GetRim());
    }
    holes.Reserve(other.GetHoleCount());
    for (unsigned i = 0; i < other.GetHoleCount(); ++i) {
        holes.Add(new C2DPolygon(*other.GetHole(i)));
    }
}

// ---------------------------------------------------------------------------
// C2DHoledPolyBaseSet

void C2DHoledPolyBaseSet::ExtractHoledPolys(C2DBaseSet& other) {
    if (&other == this) {
        return; // every element is already here
    }
    C2DBaseSet others;
    while (!other.IsEmpty()) {
        C2DBase* element = other.ExtractLast();
        const int32_t type = element->GetType();
        if (type == GeometryType::HoledPolyBase || type == GeometryType::HoledPolygon ||
            type == GeometryType::HoledPolyArc) {
            Add(element);
        } else {
            others.Add(element);
        }
    }
    while (!others.IsEmpty()) {
        other.Add(others.ExtractLast());
    }
}

void C2DHoledPolyBaseSet::MakeClockwise() {
    for (unsigned i = 0; i < GetSize(); ++i) {
        GetAt(i)->MakeClockwise();
    }
}

void C2DHoledPolyBaseSet::Transform(CTransformation& transformation) {
    for (unsigned i = 0; i < GetSize(); ++i) {
        GetAt(i)->Transform(transformation);
    }
}

void C2DHoledPolyBaseSet::InverseTransform(CTransformation& transformation) {
    for (unsigned i = 0; i < GetSize(); ++i) {
        GetAt(i)->InverseTransform(transformation);
    }
}
