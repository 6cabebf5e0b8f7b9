#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "geometry/FlatRings.h"
#include "geometry/HoledPolygons.h"

// Finds the rim that a shapefile hole belongs to: the first rim, in the order
// the rims were added, that the hole IsWithin, else a fallback rim. A record
// of a detailed map can hold hundreds of thousands of rings, so testing every
// hole against every rim would be quadratic, and each IsWithin against a rim
// of many edges walks all of that rim's edges. The assigner therefore
//  - keeps the rims in a sparse multi-level grid over their bounding
//    rectangles: a rim can only hold a hole whose rectangle lies strictly
//    inside its own, so only the rims registered in the grid cell of the
//    hole's lower-left corner are candidates;
//  - tests the candidates in rim order, and for a rim of many edges evaluates
//    IsWithin through a band index over the rim's edges, visiting only the
//    edges whose rectangles can meet the probe ray or the hole.
// The answer is exactly the answer of testing IsWithin rim by rim.
//
// Ring is C2DPolyBase (rings as edge objects) or CFlatRing (rings as plain
// numbers, which give the same answers).
template <class Ring> class CHoleAssignerFor {
public:
    // Rings with at least this many edges get an edge index when first tested.
    static constexpr unsigned DefaultIndexedEdges = 64;

    // extent: where the rings mostly lie (rings outside it still work, in
    // the border cells); expectedRings sizes the grid.
    CHoleAssignerFor(const C2DRect& extent, unsigned expectedRings,
                     unsigned indexedEdges = DefaultIndexedEdges);
    ~CHoleAssignerFor();
    CHoleAssignerFor(const CHoleAssignerFor&) = delete;
    CHoleAssignerFor& operator=(const CHoleAssignerFor&) = delete;

    class CEdgeBands;

    // What one search for a hole's rim works with: each thread that searches
    // while another does needs its own.
    class CQuery {
    public:
        CQuery();
        ~CQuery();
        CQuery(const CQuery&) = delete;
        CQuery& operator=(const CQuery&) = delete;

    private:
        friend class CHoleAssignerFor;
        std::vector<uint32_t> candidates;
        std::vector<unsigned> rimEdges;
        std::vector<unsigned> holeEdges;
        // What is known of the hole under test.
        enum class HoleState { Unchecked, Indexable, NotIndexable };
        HoleState holeState = HoleState::Unchecked;
        C2DRect holeEdgeBounds; // union of the hole's edge rectangles
        // Edge index of the hole under test, built only when a large hole
        // meets a large rim.
        const Ring* indexedHole = nullptr;
        std::unique_ptr<CEdgeBands> holeBands;
    };

    // Adds the next rim; rims are numbered 0, 1, ... in the order added. The
    // rim must stay alive and unchanged while the assigner is used.
    void AddRim(const Ring& rim);
    unsigned GetRimCount() const { return static_cast<unsigned>(rims.size()); }
    // The first rim below fallback that the hole IsWithin, else fallback.
    // (Testing rim fallback itself is never needed: either way it is the
    // answer.) Rims added after fallback make no difference, so every rim
    // may be added before the first search.
    unsigned FindRim(const Ring& hole, unsigned fallback) {
        return FindRim(hole, fallback, ownQuery);
    }
    // The same with the caller's query: several threads may search at once,
    // each with its own query, while no rim is being added.
    unsigned FindRim(const Ring& hole, unsigned fallback, CQuery& query);

private:
    static constexpr int MaxLevels = 16;

    unsigned CellOf(double value, double origin, double scale, int level) const;
    static uint64_t CellKey(int level, unsigned cx, unsigned cy);
    bool IsWithinRim(const Ring& hole, uint32_t rimNumber, CQuery& query);
    const CEdgeBands& BandsOf(uint32_t rimNumber);
    static void CheckHole(const Ring& hole, CQuery& query);
    static bool IndexedContains(const Ring& rim, const CEdgeBands& bands, const C2DPoint& point,
                                CQuery& query);
    bool IndexedCrosses(const Ring& hole, const Ring& rim, const CEdgeBands& rimBands,
                        CQuery& query) const;

    double originX = 0.0;
    double originY = 0.0;
    double scaleX = 0.0; // 1 / extent width, 0 when the extent is degenerate
    double scaleY = 0.0;
    int levelCount = 1;
    unsigned indexedEdges;
    std::vector<const Ring*> rims;
    bool usedLevels[MaxLevels] = {};
    std::unordered_map<uint64_t, std::vector<uint32_t>> cells;
    // Edge indexes of the large rims, made when first needed by any search.
    std::mutex rimBandsMutex;
    std::unordered_map<uint32_t, std::unique_ptr<CEdgeBands>> rimBands;
    CQuery ownQuery;
};

using CHoleAssigner = CHoleAssignerFor<C2DPolyBase>;
using CFlatHoleAssigner = CHoleAssignerFor<CFlatRing>;
