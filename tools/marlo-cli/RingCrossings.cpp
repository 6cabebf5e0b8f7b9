#include "tools/marlo-cli/RingCrossings.h"

#include <algorithm>
#include <cmath>

namespace {

// About this many edges to a band.
constexpr uint32_t EdgesPerBand = 4;
constexpr unsigned MaxBands = 1u << 20;
// An edge spanning more bands than this goes to the next, coarser level.
constexpr unsigned LongEdgeBands = 16;
// Each level has this many times fewer bands than the one below it.
constexpr unsigned LevelRatio = 32;

uint32_t PreviousPoint(uint32_t i, uint32_t count) {
    return i == 0 ? count - 1 : i - 1;
}

// Whether the ray from the point to the right crosses the edge from a to b:
// one end above the point and the other not, and the crossing to the right.
bool RayCrosses(const CPlanePoint& a, const CPlanePoint& b, const CPlanePoint& point) {
    return (a.y > point.y) != (b.y > point.y) &&
           point.x < (b.x - a.x) * (point.y - a.y) / (b.y - a.y) + a.x;
}

} // namespace

bool RingContains(const CPlanePoint* ring, uint32_t count, const CPlanePoint& point) {
    bool inside = false;
    for (uint32_t i = 0, j = count - 1; i < count; j = i++) {
        inside = inside != RayCrosses(ring[i], ring[j], point);
    }
    return inside;
}

CRingCrossings::CRingCrossings(const CPlanePoint* ring, uint32_t count) : ring(ring), count(count) {
    double lowest = HUGE_VAL;
    double highest = -HUGE_VAL;
    for (uint32_t i = 0; i < count; ++i) {
        if (std::isfinite(ring[i].y)) {
            lowest = std::min(lowest, ring[i].y);
            highest = std::max(highest, ring[i].y);
        }
    }
    const double height = highest - lowest;
    if (height > 0.0 && std::isfinite(height)) {
        origin = lowest;
        // The finest level has about EdgesPerBand edges to a band; the
        // coarsest few enough bands for any edge.
        for (unsigned bands = std::clamp(count / EdgesPerBand, 1u, MaxBands);;
             bands /= LevelRatio) {
            bands = std::max(bands, 1u);
            levels.push_back(CLevel{bands, bands / height, {}, {}});
            if (bands <= LongEdgeBands) {
                break;
            }
        }
    } else {
        levels.push_back(CLevel{1, 0.0, {}, {}});
    }
    // Each edge is listed from the band of its lower end to that of its
    // upper end, at the finest level where that is few bands: a point's y
    // lies between the two ends when the edge can count, and Band keeps
    // that order.
    std::vector<uint8_t> levelOf(count, 0);
    for (CLevel& level : levels) {
        level.bandStart.assign(level.bandCount + 1, 0);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const double y0 = ring[i].y;
        const double y1 = ring[PreviousPoint(i, count)].y;
        levelOf[i] = static_cast<uint8_t>(levels.size());
        if (std::isnan(y0) || std::isnan(y1)) {
            testedByAll.push_back(i);
            continue;
        }
        for (std::size_t l = 0; l < levels.size(); ++l) {
            const unsigned b0 = Band(levels[l], std::min(y0, y1));
            const unsigned b1 = Band(levels[l], std::max(y0, y1));
            if (b1 - b0 <= LongEdgeBands || l + 1 == levels.size()) {
                levelOf[i] = static_cast<uint8_t>(l);
                for (unsigned b = b0; b <= b1; ++b) {
                    ++levels[l].bandStart[b + 1];
                }
                break;
            }
        }
    }
    std::vector<std::vector<uint32_t>> next(levels.size());
    for (std::size_t l = 0; l < levels.size(); ++l) {
        CLevel& level = levels[l];
        for (unsigned b = 0; b < level.bandCount; ++b) {
            level.bandStart[b + 1] += level.bandStart[b];
        }
        level.edges.resize(level.bandStart[level.bandCount]);
        next[l].assign(level.bandStart.begin(), level.bandStart.end() - 1);
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (levelOf[i] == levels.size()) {
            continue;
        }
        CLevel& level = levels[levelOf[i]];
        const double y0 = ring[i].y;
        const double y1 = ring[PreviousPoint(i, count)].y;
        const unsigned b1 = Band(level, std::max(y0, y1));
        for (unsigned b = Band(level, std::min(y0, y1)); b <= b1; ++b) {
            level.edges[next[levelOf[i]][b]++] = i;
        }
    }
}

unsigned CRingCrossings::Band(const CLevel& level, double y) const {
    const double t = (y - origin) * level.scale;
    if (!(t > 0.0)) {
        return 0;
    }
    if (t >= static_cast<double>(level.bandCount)) {
        return level.bandCount - 1;
    }
    return static_cast<unsigned>(t);
}

// RingContains' test of one edge, from the edge's own point to the one
// before it.
bool CRingCrossings::Crosses(uint32_t edge, const CPlanePoint& point) const {
    return RayCrosses(ring[edge], ring[PreviousPoint(edge, count)], point);
}

bool CRingCrossings::Contains(const CPlanePoint& point) const {
    if (std::isnan(point.y)) {
        return false; // above no end and below none: no edge counts
    }
    bool inside = false;
    for (const CLevel& level : levels) {
        const unsigned band = Band(level, point.y);
        for (uint32_t k = level.bandStart[band]; k < level.bandStart[band + 1]; ++k) {
            inside = inside != Crosses(level.edges[k], point);
        }
    }
    for (const uint32_t edge : testedByAll) {
        inside = inside != Crosses(edge, point);
    }
    return inside;
}
