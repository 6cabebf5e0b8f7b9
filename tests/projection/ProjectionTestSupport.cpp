#include "ProjectionTestSupport.h"

namespace projection_test {

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"Albers Equal Area Conic", "+proj=aea +lat_1=60 +lat_2=60 +lat_0=0 +R=1", Domain::World,
         1},
        {"Bonne", "+proj=bonne +lat_1=40 +R=1", Domain::World, 1},
        {"Cassini", "+proj=cass +R=1", Domain::World, 1},
        {"Conic Equidistant", "+proj=eqdc +lat_1=0 +lat_2=60 +R=1", Domain::World, 1},
        {"Cylindrical Equal Area", "+proj=cea +R=1", Domain::World, 1},
        {"Cylindrical Equidistant", "+proj=eqc +R=1", Domain::World, 1},
        {"Eckert VI", "+proj=eck6 +R=1", Domain::World, 1},
        {"Eckert IV", "+proj=eck4 +R=1", Domain::World, 1},
        {"Gnomonic", "+proj=gnom +lat_0=0 +R=1", Domain::Gnomonic, 1},
        {"HorizontalRangeHeading", "+proj=ortho +R=6370999", Domain::NearHemisphere, EarthRadius},
        {"Lambert Azimuthal Equal Area", "+proj=laea +lat_0=0 +R=1", Domain::NoAntipode, 1},
        {"Lambert Conformal Conic", "+proj=lcc +lat_1=50 +lat_2=-10 +lat_0=0 +R=1",
         Domain::NoSouthPole, 1},
        {"Mercator", "+proj=merc +R=1", Domain::World, 1},
        // This system's own Miller variant (phi / 5) has no PROJ counterpart.
        {"Miller Cylindrical", nullptr, Domain::World, 1},
        {"Mollweide", "+proj=moll +R=1", Domain::World, 1},
        {"Orthographic", "+proj=ortho +R=1", Domain::NearHemisphere, 1},
        {"Polyconic", "+proj=poly +R=1", Domain::Polyconic, 1},
        {"RangeHeading", "+proj=aeqd +lat_0=0 +R=6370999", Domain::NoAntipode, EarthRadius},
        {"Sinusoidal", "+proj=sinu +R=1", Domain::World, 1},
        {"SlantRangeHeading", "+proj=laea +lat_0=0 +R=6370999", Domain::NoAntipode, EarthRadius},
        {"Stereographic", "+proj=stere +lat_0=0 +R=6370999", Domain::NoAntipode, EarthRadius},
        {"Van Der Grinten", "+proj=vandg +R=1", Domain::VanDerGrinten, 1},
        // The perspective point is P = 10 radii from the centre: h = 9 radii.
        {"Vertical Perspective", "+proj=nsper +h=9 +R=1", Domain::Visible, 1},
        {"Vertical", "+proj=ortho +R=1", Domain::NearHemisphere, 1},
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
