#pragma once

// The exact state of a map content as 64-bit words: structure, every edge's
// type, start and direction (an arc's chord, radius and flags), every edge
// rectangle and every ring's bounds. Two contents are bit-identical when
// their words are equal; the first differing word says where they part.
#include <bit>
#include <cstdint>
#include <vector>

#include "geometry/HoledPolygons.h"

namespace content_bits {

inline void Add(std::vector<uint64_t>& out, double value) {
    out.push_back(std::bit_cast<uint64_t>(value));
}

inline void AddRect(std::vector<uint64_t>& out, const C2DRect& rect) {
    Add(out, rect.topLeft.x);
    Add(out, rect.topLeft.y);
    Add(out, rect.bottomRight.x);
    Add(out, rect.bottomRight.y);
}

inline void AddRing(std::vector<uint64_t>& out, const C2DPolyBase& ring) {
    out.push_back(static_cast<uint64_t>(ring.GetType()));
    out.push_back(ring.GetLineCount());
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        const C2DLineBase* edge = ring.GetLine(k);
        out.push_back(static_cast<uint64_t>(edge->GetType()));
        const C2DLine* line = edge->GetType() == GeometryType::Arc
                                  ? &static_cast<const C2DArc*>(edge)->chord
                                  : static_cast<const C2DLine*>(edge);
        Add(out, line->start.x);
        Add(out, line->start.y);
        Add(out, line->direction.dx);
        Add(out, line->direction.dy);
        if (edge->GetType() == GeometryType::Arc) {
            const auto* arc = static_cast<const C2DArc*>(edge);
            Add(out, arc->radius);
            out.push_back((arc->centreOnRight ? 1 : 0) + (arc->arcOnRight ? 2 : 0));
        }
    }
    out.push_back(ring.GetLineRectCount());
    for (unsigned k = 0; k < ring.GetLineRectCount(); ++k) {
        AddRect(out, ring.GetLineRect(k));
    }
    AddRect(out, ring.GetBoundingRect());
}

} // namespace content_bits

inline std::vector<uint64_t> ContentBits(const C2DHoledPolyBaseSet& content) {
    std::vector<uint64_t> out;
    out.push_back(content.GetSize());
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = content.GetAt(i);
        out.push_back(holed->GetRim() != nullptr ? 1 : 0);
        if (holed->GetRim() != nullptr) {
            content_bits::AddRing(out, *holed->GetRim());
        }
        out.push_back(holed->GetHoleCount());
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            content_bits::AddRing(out, *holed->GetHole(h));
        }
    }
    return out;
}

// Index of the first differing word, or -1 when both are equal.
inline long FirstDifference(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(common);
}
