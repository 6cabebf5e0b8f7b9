#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/CoordinateCopy.h"
#include "geometry/HoledPolygons.h"
#include "mapfiles/MapAttributes.h"

// Answers "which feature lies under this point" for a map with an attribute
// table, fast enough to run on every mouse move over the largest maps.
//
// Built once from the content as it was read (longitude, latitude) and from
// the attributes read with it. The content itself is later rotated and
// projected in place, so the locator reads the rings from a compact copy of
// the loaded coordinates: the map document's own (which must then outlive the
// locator, or its next Build or Clear), or one the locator takes itself.
// Lookups are made in the loaded coordinates. Arc edges are taken as their
// chords.
//
// A grid over the rings' boxes gives the few rings near a point; a ring with
// many edges also keeps its edges sorted into horizontal bands, so that the
// even-odd crossing test looks only at the edges of the point's band. A point
// lies in a holed polygon when it lies in its rim and in none of its holes;
// when several contain it, the first in content order wins.
class CFeatureLocator {
public:
    // Builds the locator; it stays empty when the attributes have no text
    // field to name features by (or when memory runs out for its own copy).
    void Build(const CMapAttributes& attributes, const C2DHoledPolyBaseSet& content);
    // The same from a copy of the content's coordinates that the caller keeps
    // unchanged for as long as the locator is used.
    void Build(const CMapAttributes& attributes, const C2DCoordinateCopy& copy);
    void Clear();
    bool IsEmpty() const { return rings.empty(); }

    // The content index of the holed polygon at (x, y), or -1.
    int FindFeature(double x, double y) const;
    // The name of the feature at (x, y) in UTF-8, empty when there is none.
    std::string NameAt(double x, double y) const;

private:
    struct CRing {
        std::size_t firstVertex = 0;
        uint32_t vertexCount = 0;
        int32_t feature = 0;
        bool hole = false;
        double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
        // Bands of a ring with many edges: bandCount bands of equal height
        // from minY, their edge lists in bandEdges from firstBandStart.
        uint32_t bandCount = 0;
        std::size_t firstBandStart = 0;
        double bandHeight = 0.0;
    };

    void BuildFrom(const CMapAttributes& attributes, const C2DCoordinateCopy& copy);
    void AddRing(const C2DCoordinateCopy& copy, std::size_t ring, int32_t feature, bool hole);
    void MakeBands(CRing& ring);
    void MakeGrid();
    bool RingContains(const CRing& ring, double x, double y) const;
    bool CellOf(double x, double y, std::size_t& column, std::size_t& row) const;

    // x, y pairs of the rings' points: the copy's points, ring after ring.
    const double* vertices = nullptr;
    // The copy taken when built from a content.
    C2DCoordinateCopy ownCopy;
    std::vector<CRing> rings;
    std::vector<std::size_t> bandStarts; // per band: start in bandEdges, plus an end
    std::vector<uint32_t> bandEdges;     // edge k runs from vertex k to vertex k + 1
    std::vector<std::string> featureNames;

    // The grid: cell (column, row) lists the rings whose boxes reach it.
    double gridMinX = 0.0, gridMinY = 0.0;
    double cellWidth = 1.0, cellHeight = 1.0;
    std::size_t columns = 0, rows = 0;
    std::vector<std::size_t> cellStarts; // per cell, plus an end
    std::vector<uint32_t> cellRings;
};
