#pragma once

#include "projection/Projection.h"

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

// The grid and per-projection domains shared by the oracle and round-trip
// tests. A domain is where the projection is one-to-one and its inverse is
// meant to bring the point back. PROJ's definitions are in ProjDefinitions.h.
namespace projection_test {

enum class Domain {
    World,          // every latitude and longitude
    NoSouthPole,    // all but the south pole, which a conformal conic sends to infinity
    NoAntipode,     // all but the point opposite the centre
    NearHemisphere, // less than 90 degrees from the centre
    Gnomonic,       // well inside 90 degrees from the centre
    Visible,        // in sight from the perspective point
    Polyconic,      // |longitude x sin latitude| below 85 degrees
    VanDerGrinten,  // inside the outline, not within 0.01 degrees of the equator
};

struct Case {
    const char* name;
    Domain domain;
    double radius; // 1, or EarthRadius for the projections in metres
};

const std::vector<Case>& Cases();

// Cosine of the arc from (0, 0) to the point, degrees in.
inline double CosArcFromCentre(double lat, double lon) {
    return std::cos(lat * DegreesToRadians) * std::cos(lon * DegreesToRadians);
}

bool InDomain(Domain domain, double lat, double lon);

// (lat, lon) points of a 5-degree grid (poles and the +-180 meridian
// included), plus points close to the equator, the central meridian and the
// poles, all filtered to the domain.
std::vector<std::pair<double, double>> DomainPoints(Domain domain);

inline std::unique_ptr<CProjection> Make(const char* name) {
    return std::unique_ptr<CProjection>(CreateProjection(name));
}

} // namespace projection_test
