#include "mapfiles/FeatureLocator.h"

#include <algorithm>
#include <cmath>

namespace {

// Rings with more edges than this get bands; smaller ones are tested whole.
constexpr uint32_t BandedRingEdges = 64;
// Edges per band on average, and rings per grid cell on average.
constexpr uint32_t EdgesPerBand = 8;
constexpr double RingsPerCell = 0.5;
constexpr std::size_t MaxCells = std::size_t{1} << 22;

std::size_t Clamp(double value, std::size_t count) {
    if (!(value > 0.0)) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(value), count - 1);
}

} // namespace

void CFeatureLocator::Clear() {
    vertices = nullptr;
    ownCopy.Clear();
    rings.clear();
    bandStarts.clear();
    bandEdges.clear();
    featureNames.clear();
    cellStarts.clear();
    cellRings.clear();
    columns = rows = 0;
}

void CFeatureLocator::Build(const CMapAttributes& attributes, const C2DHoledPolyBaseSet& content) {
    Clear();
    if (attributes.NameField() >= 0 && ownCopy.Capture(content)) {
        BuildFrom(attributes, ownCopy);
    }
}

void CFeatureLocator::Build(const CMapAttributes& attributes, const C2DCoordinateCopy& copy) {
    Clear();
    BuildFrom(attributes, copy);
}

void CFeatureLocator::BuildFrom(const CMapAttributes& attributes, const C2DCoordinateCopy& copy) {
    const int nameField = attributes.NameField();
    if (nameField < 0) {
        return;
    }
    vertices = reinterpret_cast<const double*>(copy.GetPoints().data());
    for (std::size_t i = 0; i < copy.GetPolygonCount(); ++i) {
        const C2DCoordinateCopy::CPolygon& polygon = copy.GetPolygon(i);
        const int32_t record = attributes.RecordOfFeature(i);
        featureNames.push_back(
            record < 0 ? std::string()
                       : AttributeTextToUtf8(attributes.Text(static_cast<std::size_t>(record),
                                                             static_cast<std::size_t>(nameField))));
        if (!polygon.hasRim) {
            continue;
        }
        for (uint64_t r = polygon.firstRing; r < copy.GetEndRing(i); ++r) {
            AddRing(copy, static_cast<std::size_t>(r), static_cast<int32_t>(i),
                    r != polygon.firstRing);
        }
    }
    MakeGrid();
}

// A copied ring's points run from the start of its edge 0 through the end of
// every edge (with the rare restarts in between), so that point k to point
// k + 1 is an edge and the last point is the first again, up to rounding:
// the ring's vertices are all its points but the last.
void CFeatureLocator::AddRing(const C2DCoordinateCopy& copy, std::size_t index, int32_t feature,
                              bool hole) {
    const uint64_t firstPoint = copy.GetRing(index).firstPoint;
    const uint64_t endPoint = index + 1 < copy.GetRingCount() ? copy.GetRing(index + 1).firstPoint
                                                              : copy.GetPoints().size();
    if (copy.GetRing(index).edgeCount < 3 || endPoint - firstPoint < 4) {
        return; // encloses nothing
    }
    CRing ring;
    ring.firstVertex = firstPoint;
    ring.vertexCount = static_cast<uint32_t>(endPoint - firstPoint - 1);
    ring.feature = feature;
    ring.hole = hole;
    bool first = true;
    for (uint64_t k = firstPoint; k + 1 < endPoint; ++k) {
        const C2DCoordinateCopy::CPoint& p = copy.GetPoints()[k];
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            continue;
        }
        if (first) {
            ring.minX = ring.maxX = p.x;
            ring.minY = ring.maxY = p.y;
            first = false;
        }
        ring.minX = std::min(ring.minX, p.x);
        ring.maxX = std::max(ring.maxX, p.x);
        ring.minY = std::min(ring.minY, p.y);
        ring.maxY = std::max(ring.maxY, p.y);
    }
    if (first) {
        return; // no finite point
    }
    if (ring.vertexCount > BandedRingEdges) {
        MakeBands(ring);
    }
    rings.push_back(ring);
}

void CFeatureLocator::MakeBands(CRing& ring) {
    const double height = ring.maxY - ring.minY;
    if (!(height > 0.0)) {
        return;
    }
    ring.bandCount = std::max<uint32_t>(1, ring.vertexCount / EdgesPerBand);
    ring.bandHeight = height / ring.bandCount;
    ring.firstBandStart = bandStarts.size();
    const double* v = vertices + 2 * ring.firstVertex;
    const uint32_t n = ring.vertexCount;
    // Two passes: count the edges of each band, then place them.
    std::vector<std::size_t> counts(ring.bandCount + 1, 0);
    auto bandRange = [&](uint32_t k, std::size_t& low, std::size_t& high) {
        const uint32_t next = k + 1 == n ? 0 : k + 1;
        const double y0 = v[2 * k + 1];
        const double y1 = v[2 * next + 1];
        low = Clamp((std::min(y0, y1) - ring.minY) / ring.bandHeight, ring.bandCount);
        high = Clamp((std::max(y0, y1) - ring.minY) / ring.bandHeight, ring.bandCount);
        if (!std::isfinite(y0) || !std::isfinite(y1)) {
            low = 1; // an edge with no finite end crosses no horizontal line
            high = 0;
        }
    };
    for (uint32_t k = 0; k < n; ++k) {
        std::size_t low = 0;
        std::size_t high = 0;
        bandRange(k, low, high);
        for (std::size_t b = low; b <= high; ++b) {
            ++counts[b];
        }
    }
    const std::size_t base = bandEdges.size();
    std::size_t start = base;
    for (uint32_t b = 0; b < ring.bandCount; ++b) {
        bandStarts.push_back(start);
        start += counts[b];
        counts[b] = bandStarts.back();
    }
    bandStarts.push_back(start);
    bandEdges.resize(start);
    for (uint32_t k = 0; k < n; ++k) {
        std::size_t low = 0;
        std::size_t high = 0;
        bandRange(k, low, high);
        for (std::size_t b = low; b <= high; ++b) {
            bandEdges[counts[b]++] = k;
        }
    }
}

void CFeatureLocator::MakeGrid() {
    if (rings.empty()) {
        return;
    }
    double minX = rings[0].minX, maxX = rings[0].maxX;
    double minY = rings[0].minY, maxY = rings[0].maxY;
    for (const CRing& ring : rings) {
        minX = std::min(minX, ring.minX);
        maxX = std::max(maxX, ring.maxX);
        minY = std::min(minY, ring.minY);
        maxY = std::max(maxY, ring.maxY);
    }
    const double width = std::max(maxX - minX, 1e-300);
    const double height = std::max(maxY - minY, 1e-300);
    const double cells = std::clamp(rings.size() / RingsPerCell, 1.0, double(MaxCells));
    // Square-ish cells over the extent.
    const double aspect = std::isfinite(width / height) ? width / height : 1.0;
    columns = static_cast<std::size_t>(
        std::clamp(std::sqrt(cells * aspect), 1.0, static_cast<double>(MaxCells)));
    rows = static_cast<std::size_t>(std::clamp(cells / columns, 1.0, double(MaxCells) / columns));
    gridMinX = minX;
    gridMinY = minY;
    cellWidth = width / columns;
    cellHeight = height / rows;
    if (!(cellWidth > 0.0) || !(cellHeight > 0.0) || !std::isfinite(cellWidth) ||
        !std::isfinite(cellHeight)) {
        columns = rows = 1;
        cellWidth = cellHeight = 1.0;
    }

    auto cellSpan = [&](const CRing& ring, std::size_t& c0, std::size_t& c1, std::size_t& r0,
                        std::size_t& r1) {
        c0 = Clamp((ring.minX - gridMinX) / cellWidth, columns);
        c1 = Clamp((ring.maxX - gridMinX) / cellWidth, columns);
        r0 = Clamp((ring.minY - gridMinY) / cellHeight, rows);
        r1 = Clamp((ring.maxY - gridMinY) / cellHeight, rows);
    };
    std::vector<std::size_t> counts(columns * rows + 1, 0);
    for (const CRing& ring : rings) {
        std::size_t c0, c1, r0, r1;
        cellSpan(ring, c0, c1, r0, r1);
        for (std::size_t r = r0; r <= r1; ++r) {
            for (std::size_t c = c0; c <= c1; ++c) {
                ++counts[r * columns + c];
            }
        }
    }
    cellStarts.assign(columns * rows + 1, 0);
    std::size_t start = 0;
    for (std::size_t cell = 0; cell < columns * rows; ++cell) {
        cellStarts[cell] = start;
        start += counts[cell];
        counts[cell] = cellStarts[cell];
    }
    cellStarts.back() = start;
    cellRings.resize(start);
    for (uint32_t i = 0; i < rings.size(); ++i) {
        std::size_t c0, c1, r0, r1;
        cellSpan(rings[i], c0, c1, r0, r1);
        for (std::size_t r = r0; r <= r1; ++r) {
            for (std::size_t c = c0; c <= c1; ++c) {
                cellRings[counts[r * columns + c]++] = i;
            }
        }
    }
}

bool CFeatureLocator::CellOf(double x, double y, std::size_t& column, std::size_t& row) const {
    if (columns == 0 || !std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    const double cx = (x - gridMinX) / cellWidth;
    const double cy = (y - gridMinY) / cellHeight;
    if (cx < 0.0 || cy < 0.0 || cx > static_cast<double>(columns) ||
        cy > static_cast<double>(rows)) {
        return false;
    }
    column = Clamp(cx, columns);
    row = Clamp(cy, rows);
    return true;
}

bool CFeatureLocator::RingContains(const CRing& ring, double x, double y) const {
    if (x < ring.minX || x > ring.maxX || y < ring.minY || y > ring.maxY) {
        return false;
    }
    const double* v = vertices + 2 * ring.firstVertex;
    const uint32_t n = ring.vertexCount;
    bool inside = false;
    // Even-odd rule along a ray to the right: an edge counts when it
    // straddles the ray's line (one end above, the other not) and meets it
    // right of the point.
    auto cross = [&](uint32_t k) {
        const uint32_t next = k + 1 == n ? 0 : k + 1;
        const double x0 = v[2 * k], y0 = v[2 * k + 1];
        const double x1 = v[2 * next], y1 = v[2 * next + 1];
        if ((y0 > y) != (y1 > y)) {
            const double meet = x0 + (y - y0) * (x1 - x0) / (y1 - y0);
            if (x < meet) {
                inside = !inside;
            }
        }
    };
    if (ring.bandCount == 0) {
        for (uint32_t k = 0; k < n; ++k) {
            cross(k);
        }
        return inside;
    }
    const std::size_t band = Clamp((y - ring.minY) / ring.bandHeight, ring.bandCount);
    const std::size_t begin = bandStarts[ring.firstBandStart + band];
    const std::size_t end = bandStarts[ring.firstBandStart + band + 1];
    for (std::size_t i = begin; i < end; ++i) {
        cross(bandEdges[i]);
    }
    return inside;
}

int CFeatureLocator::FindFeature(double x, double y) const {
    std::size_t column = 0;
    std::size_t row = 0;
    if (!CellOf(x, y, column, row)) {
        return -1;
    }
    const std::size_t cell = row * columns + column;
    // Rims that hold the point, and holed polygons one of whose holes does.
    int best = -1;
    std::vector<int32_t> inRim;
    std::vector<int32_t> inHole;
    for (std::size_t i = cellStarts[cell]; i < cellStarts[cell + 1]; ++i) {
        const CRing& ring = rings[cellRings[i]];
        if (RingContains(ring, x, y)) {
            (ring.hole ? inHole : inRim).push_back(ring.feature);
        }
    }
    for (const int32_t feature : inRim) {
        if ((best < 0 || feature < best) &&
            std::find(inHole.begin(), inHole.end(), feature) == inHole.end()) {
            best = feature;
        }
    }
    return best;
}

std::string CFeatureLocator::NameAt(double x, double y) const {
    const int feature = FindFeature(x, y);
    if (feature < 0 || static_cast<std::size_t>(feature) >= featureNames.size()) {
        return {};
    }
    return featureNames[static_cast<std::size_t>(feature)];
}
