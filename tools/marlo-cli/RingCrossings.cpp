#include "tools/marlo-cli/RingCrossings.h"

#include <algorithm>
#include <cmath>

namespace {

// About this many edges to a band.
constexpr uint32_t EdgesPerBand = 4;
constexpr unsigned MaxBands = 1u << 20;
// An edge spanning more bands than this is tested by every point instead.
constexpr unsigned LongEdgeBands = 16;

uint32_t PreviousPoint(uint32_t i, uint32_t count) {
    return i == 0 ? count - 1 : i - 1;
}

} // namespace

bool RingContains(const CPlanePoint* ring, uint32_t count, const CPlanePoint& point) {
    bool inside = false;
    for (uint32_t i = 0, j = count - 1; i < count; j = i++) {
        const CPlanePoint& a = ring[i];
        const CPlanePoint& b = ring[j];
        if ((a.y > point.y) != (b.y > point.y) &&
            point.x < (b.x - a.x) * (point.y - a.y) / (b.y - a.y) + a.x) {
            inside = !inside;
        }
    }
    return inside;
}

CRingCrossings::CRingCrossings(const CPlanePoint* ring, uint32_t count) : ring(ring), count(count) {
    // The bands cover the finite y range; a y beyond it falls in the first
    // or last band, which keeps Band monotone.
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
        bandCount = std::clamp(count / EdgesPerBand, 1u, MaxBands);
        origin = lowest;
        scale = bandCount / height;
    }
    // Each edge is listed from the band of its lower end to that of its
    // upper end: a point's y lies between the two when the edge can count,
    // and Band keeps that order.
    std::vector<uint32_t> firstBand(count);
    std::vector<uint32_t> lastBand(count);
    bandStart.assign(bandCount + 1, 0);
    for (uint32_t i = 0; i < count; ++i) {
        const double y0 = ring[i].y;
        const double y1 = ring[PreviousPoint(i, count)].y;
        firstBand[i] = 1;
        lastBand[i] = 0; // not listed in any band
        if (std::isnan(y0) || std::isnan(y1)) {
            testedByAll.push_back(i);
            continue;
        }
        const unsigned b0 = Band(std::min(y0, y1));
        const unsigned b1 = Band(std::max(y0, y1));
        if (b1 - b0 > LongEdgeBands) {
            testedByAll.push_back(i);
            continue;
        }
        firstBand[i] = b0;
        lastBand[i] = b1;
        for (unsigned b = b0; b <= b1; ++b) {
            ++bandStart[b + 1];
        }
    }
    for (unsigned b = 0; b < bandCount; ++b) {
        bandStart[b + 1] += bandStart[b];
    }
    edges.resize(bandStart[bandCount]);
    std::vector<uint32_t> next(bandStart.begin(), bandStart.end() - 1);
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t b = firstBand[i]; b <= lastBand[i]; ++b) {
            edges[next[b]++] = i;
        }
    }
}

unsigned CRingCrossings::Band(double y) const {
    const double t = (y - origin) * scale;
    if (!(t > 0.0)) {
        return 0;
    }
    if (t >= static_cast<double>(bandCount)) {
        return bandCount - 1;
    }
    return static_cast<unsigned>(t);
}

// RingContains' test of one edge, a being the edge's own point and b the
// one before it.
bool CRingCrossings::Crosses(uint32_t edge, const CPlanePoint& point) const {
    const CPlanePoint& a = ring[edge];
    const CPlanePoint& b = ring[PreviousPoint(edge, count)];
    return (a.y > point.y) != (b.y > point.y) &&
           point.x < (b.x - a.x) * (point.y - a.y) / (b.y - a.y) + a.x;
}

bool CRingCrossings::Contains(const CPlanePoint& point) const {
    if (std::isnan(point.y)) {
        return false; // above no end and below none: no edge counts
    }
    bool inside = false;
    const unsigned band = Band(point.y);
    for (uint32_t k = bandStart[band]; k < bandStart[band + 1]; ++k) {
        inside = inside != Crosses(edges[k], point);
    }
    for (const uint32_t edge : testedByAll) {
        inside = inside != Crosses(edge, point);
    }
    return inside;
}
