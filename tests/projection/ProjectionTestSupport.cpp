#include "ProjectionTestSupport.h"

namespace projection_test {

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"Albers Equal Area Conic", Domain::World, 1},
        {"Bonne", Domain::World, 1},
        {"Cassini", Domain::World, 1},
        {"Conic Equidistant", Domain::World, 1},
        {"Cylindrical Equal Area", Domain::World, 1},
        {"Cylindrical Equidistant", Domain::World, 1},
        {"Eckert VI", Domain::World, 1},
        {"Eckert IV", Domain::World, 1},
        {"Gnomonic", Domain::Gnomonic, 1},
        {"HorizontalRangeHeading", Domain::NearHemisphere, EarthRadius},
        {"Lambert Azimuthal Equal Area", Domain::NoAntipode, 1},
        {"Lambert Conformal Conic", Domain::NoSouthPole, 1},
        {"Mercator", Domain::World, 1},
        {"Miller Cylindrical", Domain::World, 1},
        {"Mollweide", Domain::World, 1},
        {"Orthographic", Domain::NearHemisphere, 1},
        {"Polyconic", Domain::Polyconic, 1},
        {"RangeHeading", Domain::NoAntipode, EarthRadius},
        {"Sinusoidal", Domain::World, 1},
        {"SlantRangeHeading", Domain::NoAntipode, EarthRadius},
        {"Stereographic", Domain::NoAntipode, EarthRadius},
        {"Van Der Grinten", Domain::VanDerGrinten, 1},
        {"Vertical Perspective", Domain::Visible, 1},
        {"Vertical", Domain::NearHemisphere, 1},
    };
    return cases;
}

bool InDomain(Domain domain, double lat, double lon) {
    const double cosC = CosArcFromCentre(lat, lon);
    switch (domain) {
    case Domain::World:
        return true;
    case Domain::NoSouthPole:
        return lat > -90;
    case Domain::NoAntipode:
        return cosC > -0.99;
    case Domain::NearHemisphere:
        return cosC > 0.01;
    case Domain::Gnomonic:
        return cosC > 0.2;
    case Domain::Visible:
        return cosC > 0.11;
    case Domain::Polyconic:
        // The inverse iterates to an absolute 1e-8 radians, which is coarse
        // for latitudes within a few 1e-8 radians of the equator.
        return std::fabs(lon * std::sin(lat * DegreesToRadians)) < 85 && std::fabs(lat) <= 89 &&
               (lat == 0 || std::fabs(lat) >= 0.01);
    case Domain::VanDerGrinten:
        // The inverse solves a cubic whose two upper roots meet on the outline
        // (longitude +-180) and come close near the equator; there the
        // closed-form solution keeps only about half of its digits.
        return std::fabs(lon) < 180 && (lat == 0 || std::fabs(lat) >= 0.01);
    }
    return false;
}

std::vector<std::pair<double, double>> DomainPoints(Domain domain) {
    std::vector<std::pair<double, double>> points;
    auto add = [&](double lat, double lon) {
        if (InDomain(domain, lat, lon)) {
            points.emplace_back(lat, lon);
        }
    };
    for (int lat = -90; lat <= 90; lat += 5) {
        for (int lon = -180; lon <= 180; lon += 5) {
            add(lat, lon);
        }
    }
    // Close to the singular lines of several projections.
    for (double tiny : {1e-7, 1e-4, 0.01}) {
        for (double lon : {-150.0, -30.0, 0.5, 60.0, 170.0}) {
            add(tiny, lon);
            add(-tiny, lon);
        }
        for (double lat : {-80.0, -45.0, 10.0, 60.0}) {
            add(lat, tiny);
            add(lat, -tiny);
        }
    }
    for (double lat : {89.9, 89.99, -89.9, -89.99}) {
        for (double lon : {-120.0, 0.0, 45.0}) {
            add(lat, lon);
        }
    }
    return points;
}

} // namespace projection_test
