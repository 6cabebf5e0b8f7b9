#include "mapfiles/HoleAssignment.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// An edge spanning more bands than this goes to the next, coarser level of
// bands; one too long even for the coarsest level is kept in a short list
// that every query scans, so that a ring of long edges cannot blow the index
// up.
constexpr unsigned LongEdgeBands = 16;
// Each level has this many times fewer bands than the one below it.
constexpr unsigned LevelRatio = 32;
// A band entry keeps its edge's number in 31 bits.
constexpr unsigned MaxEdges = (1u << 31) - 1;
constexpr double FloatMax = std::numeric_limits<float>::max();

bool IsFinite(const C2DRect& r) {
    return std::isfinite(r.topLeft.x) && std::isfinite(r.topLeft.y) &&
           std::isfinite(r.bottomRight.x) && std::isfinite(r.bottomRight.y);
}

bool HasNaN(const C2DRect& r) {
    return std::isnan(r.topLeft.x) || std::isnan(r.topLeft.y) || std::isnan(r.bottomRight.x) ||
           std::isnan(r.bottomRight.y);
}

// What the assigner asks of a ring beyond what both kinds of ring answer
// alike: an edge (an object of the ring, or a line made on the stack for a
// flat ring), its bounds, and the ring's first vertex.
const C2DLineBase& EdgeOf(const C2DPolyBase& ring, unsigned i) {
    return *ring.GetLine(i);
}

C2DLine EdgeOf(const CFlatRing& ring, unsigned i) {
    return ring.GetLine(i);
}

C2DPoint FirstVertex(const C2DPolyBase& ring) {
    return ring.GetLine(0)->GetStart();
}

C2DPoint FirstVertex(const CFlatRing& ring) {
    return C2DPoint(ring.edges[0].x, ring.edges[0].y);
}

} // namespace

// Horizontal bands over a ring's edges: each edge is listed in every band its
// y range touches, at the finest of a few levels of bands where it spans at
// most LongEdgeBands bands (coastlines have many short edges and some long
// ones; a detailed country's rim has thousands of edges longer than its
// finest bands). Queries by a rectangle return a superset of the edges whose
// rectangles can overlap it. An edge's ranges cover both its stored edge
// rectangle and its GetBounds (the polygon code filters by one or the other;
// they only differ if a reversal has moved an end by a rounding step).
//
// A band of a large rim crosses the whole rim, and a lake in it meets only
// the few of the band's edges near it: each band entry carries its edge's x
// range, so that the others are passed over without looking the edge up.
template <class Ring> class CHoleAssignerFor<Ring>::CEdgeBands {
public:
    explicit CEdgeBands(const Ring& ring) {
        const unsigned n = ring.GetLineCount();
        if (n > MaxEdges) {
            usable = false;
            return;
        }
        spans.resize(n);
        double lowest = 0.0;
        double highest = 0.0;
        for (unsigned i = 0; i < n; ++i) {
            // A fresh rectangle per edge, as the polygon code takes: an arc
            // without a circle leaves GetBounds' rectangle as it was given.
            C2DRect bounds;
            EdgeOf(ring, i).GetBounds(bounds);
            const C2DRect& stored = ring.GetLineRect(i);
            if (!IsFinite(bounds) || !IsFinite(stored)) {
                usable = false;
                return;
            }
            CEdgeSpan& span = spans[i];
            span.low = std::min(bounds.bottomRight.y, stored.bottomRight.y);
            span.high = std::max(bounds.topLeft.y, stored.topLeft.y);
            span.left = std::min(
                {bounds.topLeft.x, bounds.bottomRight.x, stored.topLeft.x, stored.bottomRight.x});
            span.right = std::max(
                {bounds.topLeft.x, bounds.bottomRight.x, stored.topLeft.x, stored.bottomRight.x});
            if (i == 0 || span.low < lowest) {
                lowest = span.low;
            }
            if (i == 0 || span.high > highest) {
                highest = span.high;
            }
        }
        // The finest level has about four edges per band.
        for (unsigned count = std::clamp(n / 4, 1u, 1u << 20);; count /= LevelRatio) {
            levels.emplace_back(lowest, highest, std::max(count, 1u));
            if (count <= LevelRatio) {
                break;
            }
        }
        // Each edge goes to the finest level where it is short enough.
        for (unsigned i = 0; i < n; ++i) {
            CEdgeSpan& span = spans[i];
            span.level = static_cast<uint8_t>(levels.size());
            span.firstBand = 0;
            span.lastBand = 0;
            for (std::size_t l = 0; l < levels.size(); ++l) {
                const unsigned b0 = levels[l].Band(span.low);
                const unsigned b1 = levels[l].Band(span.high);
                if (b1 - b0 <= LongEdgeBands) {
                    span.level = static_cast<uint8_t>(l);
                    span.firstBand = b0;
                    span.lastBand = b1;
                    break;
                }
            }
            if (span.level == levels.size()) {
                longEdges.push_back(i);
            }
        }
        Fill();
    }

    bool IsUsable() const { return usable; }

    // The edges that may overlap the rectangle (either corner order); they
    // come in increasing order when inOrder is set.
    void FindEdges(const C2DRect& area, std::vector<unsigned>& edges, bool inOrder) const {
        const double lowY = std::min(area.topLeft.y, area.bottomRight.y);
        const double highY = std::max(area.topLeft.y, area.bottomRight.y);
        const double left = std::min(area.topLeft.x, area.bottomRight.x);
        const double right = std::max(area.topLeft.x, area.bottomRight.x);
        edges.clear();
        for (const CLevel& level : levels) {
            level.FindEdges(lowY, highY, left, right, edges);
        }
        for (const uint32_t e : longEdges) {
            const CEdgeSpan& span = spans[e];
            if (!(span.high < lowY || span.low > highY || span.right < left || span.left > right)) {
                edges.push_back(e);
            }
        }
        if (inOrder) {
            std::sort(edges.begin(), edges.end());
        }
    }

private:
    // Per edge: its y and x ranges, its level (levels.size() for the long
    // list) and the first and last bands it is listed in at that level.
    struct CEdgeSpan {
        double low;
        double high;
        double left;
        double right;
        uint8_t level;
        uint32_t firstBand;
        uint32_t lastBand;
    };

    // An edge as listed in a band: its x range rounded outwards to floats
    // (the tables of a large rim stay small, and the test passes over no
    // edge that might overlap), and whether this is the first band the edge
    // is listed in, so that a query over several bands reports it once.
    struct CBandEntry {
        float left;
        float right;
        uint32_t edge : 31;
        uint32_t firstBand : 1;

        // The nearest float at or below x (x is finite).
        static float Below(double x) {
            if (x < -FloatMax) {
                return -HUGE_VALF;
            }
            const auto f = static_cast<float>(std::min(x, FloatMax));
            return static_cast<double>(f) > x ? std::nextafter(f, -HUGE_VALF) : f;
        }
        // The nearest float at or above x (x is finite).
        static float Above(double x) { return -Below(-x); }
        bool MissesColumn(double columnLeft, double columnRight) const {
            return right < columnLeft || left > columnRight;
        }
    };

    // One level of bands of equal height over the ring's y range.
    class CLevel {
    public:
        CLevel(double lowest, double highest, unsigned bandCount)
            : origin(lowest), bandCount(bandCount) {
            const double height = highest - lowest;
            scale = (height > 0.0 && std::isfinite(height)) ? bandCount / height : 0.0;
        }

        // Monotone in y, so that overlapping y ranges share a band.
        unsigned Band(double y) const {
            const double t = (y - origin) * scale;
            if (!(t > 0.0)) {
                return 0;
            }
            if (t >= static_cast<double>(bandCount)) {
                return bandCount - 1;
            }
            return static_cast<unsigned>(t);
        }

        void FindEdges(double lowY, double highY, double left, double right,
                       std::vector<unsigned>& edges) const {
            const unsigned q0 = Band(lowY);
            const unsigned q1 = Band(highY);
            for (unsigned b = q0; b <= q1; ++b) {
                for (uint32_t k = bandStart[b]; k < bandStart[b + 1]; ++k) {
                    const CBandEntry& entry = entries[k];
                    // Report an edge only in the first queried band it is
                    // listed in.
                    if ((b == q0 || entry.firstBand) && !entry.MissesColumn(left, right)) {
                        edges.push_back(entry.edge);
                    }
                }
            }
        }

    private:
        friend class CEdgeBands;
        double origin;
        double scale = 0.0;
        unsigned bandCount;
        std::vector<uint32_t> bandStart;
        std::vector<CBandEntry> entries;
    };

    // Lists every edge of the levels in its bands, all levels in one count
    // and one pass over the edges: a rim of a million edges is otherwise
    // walked twice for each of its levels.
    void Fill() {
        for (CLevel& level : levels) {
            level.bandStart.assign(level.bandCount + 1, 0);
        }
        for (const CEdgeSpan& span : spans) {
            if (span.level < levels.size()) {
                std::vector<uint32_t>& counts = levels[span.level].bandStart;
                for (unsigned b = span.firstBand; b <= span.lastBand; ++b) {
                    ++counts[b + 1];
                }
            }
        }
        // Running sums: a level's bandStart[b] is where its band b starts, and
        // next[level][b] where that band's next entry goes.
        std::vector<std::vector<uint32_t>> next(levels.size());
        for (std::size_t l = 0; l < levels.size(); ++l) {
            CLevel& level = levels[l];
            for (unsigned b = 0; b < level.bandCount; ++b) {
                level.bandStart[b + 1] += level.bandStart[b];
            }
            level.entries.resize(level.bandStart[level.bandCount]);
            next[l] = level.bandStart;
        }
        for (std::size_t i = 0; i < spans.size(); ++i) {
            const CEdgeSpan& span = spans[i];
            if (span.level >= levels.size()) {
                continue;
            }
            CLevel& level = levels[span.level];
            std::vector<uint32_t>& at = next[span.level];
            CBandEntry entry{CBandEntry::Below(span.left), CBandEntry::Above(span.right),
                             static_cast<uint32_t>(i), 1};
            for (unsigned b = span.firstBand; b <= span.lastBand; ++b) {
                level.entries[at[b]++] = entry;
                entry.firstBand = 0;
            }
        }
    }

    bool usable = true;
    std::vector<CEdgeSpan> spans;
    std::vector<CLevel> levels;
    std::vector<uint32_t> longEdges;
};

template <class Ring>
CHoleAssignerFor<Ring>::CHoleAssignerFor(const C2DRect& extent, unsigned expectedRings,
                                         unsigned indexedEdges)
    : indexedEdges(indexedEdges) {
    if (IsFinite(extent)) {
        originX = extent.topLeft.x;
        originY = extent.bottomRight.y;
        const double width = extent.bottomRight.x - extent.topLeft.x;
        const double height = extent.topLeft.y - extent.bottomRight.y;
        scaleX = (width > 0.0 && std::isfinite(width)) ? 1.0 / width : 0.0;
        scaleY = (height > 0.0 && std::isfinite(height)) ? 1.0 / height : 0.0;
    }
    // About two cells per ring along each axis at the finest level.
    const double side = std::sqrt(static_cast<double>(std::max(expectedRings, 1u)));
    int finest = 1;
    while (finest < MaxLevels - 1 && static_cast<double>(1u << finest) < 2.0 * side) {
        ++finest;
    }
    levelCount = finest + 1;
}

template <class Ring> CHoleAssignerFor<Ring>::~CHoleAssignerFor() = default;

template <class Ring> CHoleAssignerFor<Ring>::CQuery::CQuery() = default;
template <class Ring> CHoleAssignerFor<Ring>::CQuery::~CQuery() = default;

template <class Ring>
unsigned CHoleAssignerFor<Ring>::CellOf(double value, double origin, double scale,
                                        int level) const {
    double t = (value - origin) * scale;
    if (!(t > 0.0)) {
        t = 0.0;
    } else if (t > 1.0) {
        t = 1.0;
    }
    const unsigned cellsPerAxis = 1u << level;
    const auto cell = static_cast<unsigned>(t * cellsPerAxis);
    return cell < cellsPerAxis ? cell : cellsPerAxis - 1;
}

template <class Ring>
uint64_t CHoleAssignerFor<Ring>::CellKey(int level, unsigned cx, unsigned cy) {
    return (static_cast<uint64_t>(level) << 48) | (static_cast<uint64_t>(cx) << 24) | cy;
}

template <class Ring> void CHoleAssignerFor<Ring>::AddRim(const Ring& rim) {
    const auto number = static_cast<uint32_t>(rims.size());
    rims.push_back(&rim);
    const C2DRect& r = rim.GetBoundingRect();
    if (HasNaN(r)) {
        return; // no rectangle lies strictly inside one with a NaN side
    }
    // Infinite sides are fine: cells are clamped to the grid.
    // The finest level at which the rim covers at most 2 x 2 cells.
    for (int level = levelCount - 1; level >= 0; --level) {
        const unsigned x0 = CellOf(r.topLeft.x, originX, scaleX, level);
        const unsigned x1 = CellOf(r.bottomRight.x, originX, scaleX, level);
        const unsigned y0 = CellOf(r.bottomRight.y, originY, scaleY, level);
        const unsigned y1 = CellOf(r.topLeft.y, originY, scaleY, level);
        if (level > 0 && (x1 - x0 > 1 || y1 - y0 > 1)) {
            continue;
        }
        for (unsigned cx = x0; cx <= x1; ++cx) {
            for (unsigned cy = y0; cy <= y1; ++cy) {
                cells[CellKey(level, cx, cy)].push_back(number);
            }
        }
        usedLevels[level] = true;
        return;
    }
}

template <class Ring>
unsigned CHoleAssignerFor<Ring>::FindRim(const Ring& hole, unsigned fallback, CQuery& query) {
    if (hole.GetLineCount() == 0) {
        return fallback;
    }
    const C2DRect& h = hole.GetBoundingRect();
    if (!IsFinite(h)) {
        // A rectangle with a NaN or infinite side never lies strictly inside
        // another one, so IsWithin is false for every rim.
        return fallback;
    }
    // A rim whose rectangle strictly contains the hole's contains its lower
    // left corner, so it is registered in that corner's cell at its level.
    std::vector<uint32_t>& candidates = query.candidates;
    candidates.clear();
    for (int level = 0; level < levelCount; ++level) {
        if (!usedLevels[level]) {
            continue;
        }
        const unsigned cx = CellOf(h.topLeft.x, originX, scaleX, level);
        const unsigned cy = CellOf(h.bottomRight.y, originY, scaleY, level);
        const auto found = cells.find(CellKey(level, cx, cy));
        if (found == cells.end()) {
            continue;
        }
        for (const uint32_t r : found->second) {
            if (r < fallback && h.LiesStrictlyInside(rims[r]->GetBoundingRect())) {
                candidates.push_back(r);
            }
        }
    }
    std::sort(candidates.begin(), candidates.end());
    query.indexedHole = nullptr;
    query.holeState = CQuery::HoleState::Unchecked;
    for (const uint32_t r : candidates) {
        if (IsWithinRim(hole, r, query)) {
            return r;
        }
    }
    return fallback;
}

template <class Ring>
bool CHoleAssignerFor<Ring>::IsWithinRim(const Ring& hole, uint32_t rimNumber, CQuery& query) {
    const Ring& rim = *rims[rimNumber];
    if (rim.GetLineCount() < indexedEdges || rim.GetLineRectCount() != rim.GetLineCount() ||
        hole.GetLineRectCount() != hole.GetLineCount()) {
        return hole.IsWithin(rim);
    }
    if (query.holeState == CQuery::HoleState::Unchecked) {
        CheckHole(hole, query);
    }
    if (query.holeState == CQuery::HoleState::NotIndexable) {
        return hole.IsWithin(rim);
    }
    const C2DPoint start = FirstVertex(hole);
    const CEdgeBands& bands = BandsOf(rimNumber);
    if (!bands.IsUsable()) {
        return hole.IsWithin(rim);
    }
    // IsWithin: a hole with edges, strictly inside the rim's rectangle (both
    // checked by the caller), whose first vertex the rim contains, and no
    // edge of which crosses the rim.
    if (!hole.GetBoundingRect().LiesStrictlyInside(rim.GetBoundingRect())) {
        return false;
    }
    if (!IndexedContains(rim, bands, start, query)) {
        return false;
    }
    return !IndexedCrosses(hole, rim, bands, query);
}

template <class Ring>
const typename CHoleAssignerFor<Ring>::CEdgeBands&
CHoleAssignerFor<Ring>::BandsOf(uint32_t rimNumber) {
    // Made under the lock: a search that wants the index another is making
    // waits for it rather than making its own.
    const std::lock_guard<std::mutex> lock(rimBandsMutex);
    std::unique_ptr<CEdgeBands>& bands = rimBands[rimNumber];
    if (!bands) {
        bands = std::make_unique<CEdgeBands>(*rims[rimNumber]);
    }
    return *bands;
}

// The indexed path relies on finite rectangles throughout (a NaN would make
// rectangle overlaps unpredictable). It searches the rim's edges by the union
// of the hole's edge rectangles: every hole edge rectangle lies inside it,
// which the hole's bounding rectangle does not promise after a reversal.
template <class Ring> void CHoleAssignerFor<Ring>::CheckHole(const Ring& hole, CQuery& query) {
    query.holeState = CQuery::HoleState::NotIndexable;
    C2DRect& holeEdgeBounds = query.holeEdgeBounds;
    const C2DPoint start = FirstVertex(hole);
    if (!std::isfinite(start.x) || !std::isfinite(start.y)) {
        return;
    }
    for (unsigned i = 0; i < hole.GetLineRectCount(); ++i) {
        const C2DRect& r = hole.GetLineRect(i);
        if (!IsFinite(r)) {
            return;
        }
        if (i == 0) {
            holeEdgeBounds = r;
        } else {
            holeEdgeBounds.topLeft.x = std::min(holeEdgeBounds.topLeft.x, r.topLeft.x);
            holeEdgeBounds.topLeft.y = std::max(holeEdgeBounds.topLeft.y, r.topLeft.y);
            holeEdgeBounds.bottomRight.x = std::max(holeEdgeBounds.bottomRight.x, r.bottomRight.x);
            holeEdgeBounds.bottomRight.y = std::min(holeEdgeBounds.bottomRight.y, r.bottomRight.y);
        }
    }
    query.holeState = CQuery::HoleState::Indexable;
}

// rim.Contains(point), offered the edges in the probe ray's band only.
template <class Ring>
bool CHoleAssignerFor<Ring>::IndexedContains(const Ring& rim, const CEdgeBands& bands,
                                             const C2DPoint& point, CQuery& query) {
    const C2DRect probeBounds = rim.GetProbeBounds(point);
    bands.FindEdges(probeBounds, query.rimEdges, true);
    return rim.Contains(point, query.rimEdges);
}

// hole.Crosses(rim): whether any hole edge whose rectangle overlaps a rim
// edge's rectangle crosses that rim edge. Only rim edges in the bands of the
// hole's rectangle can overlap a hole edge's rectangle.
template <class Ring>
bool CHoleAssignerFor<Ring>::IndexedCrosses(const Ring& hole, const Ring& rim,
                                            const CEdgeBands& bands, CQuery& query) const {
    if (!rim.GetBoundingRect().Overlaps(hole.GetBoundingRect())) {
        return false;
    }
    const C2DRect& h = query.holeEdgeBounds;
    // Whether any pair crosses does not depend on the order of the search.
    bands.FindEdges(h, query.rimEdges, false);
    const bool indexHole = hole.GetLineCount() >= indexedEdges;
    if (indexHole && query.indexedHole != &hole) {
        query.holeBands = std::make_unique<CEdgeBands>(hole);
        query.indexedHole = &hole;
    }
    const std::unique_ptr<CEdgeBands>& holeBands = query.holeBands;
    std::vector<unsigned>& holeEdges = query.holeEdges;
    for (const unsigned e : query.rimEdges) {
        auto&& rimEdge = EdgeOf(rim, e);
        // A fresh rectangle per edge, as hole.Crosses(rimEdge) takes it: an
        // arc without a circle leaves it as it was given (all zero).
        C2DRect edgeBounds;
        rimEdge.GetBounds(edgeBounds);
        if (!h.Overlaps(edgeBounds)) {
            continue;
        }
        if (indexHole && holeBands->IsUsable()) {
            holeBands->FindEdges(edgeBounds, holeEdges, false);
            if (hole.Crosses(rimEdge, holeEdges)) {
                return true;
            }
        } else if (hole.Crosses(rimEdge)) {
            return true;
        }
    }
    return false;
}

template class CHoleAssignerFor<C2DPolyBase>;
template class CHoleAssignerFor<CFlatRing>;
