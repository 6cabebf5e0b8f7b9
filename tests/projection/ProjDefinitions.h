#pragma once

#include <cstring>
#include <string>

// PROJ's spherical definition of every projection with the parameters the
// factory gives it, in the order of ProjectionNameTable, and of the sphere
// rotation. The oracle tests compare against the rows that are the same
// projection; the benchmarks time PROJ on every row.
namespace proj_definitions {

struct Row {
    const char* name; // display name
    const char* proj; // PROJ definition
    // False where PROJ has only a different projection of the same kind,
    // which serves as a peer for timing alone.
    bool sameProjection;
};

inline constexpr Row Rows[] = {
    {"Albers Equal Area Conic", "+proj=aea +lat_1=60 +lat_2=60 +lat_0=0 +R=1", true},
    {"Bonne", "+proj=bonne +lat_1=40 +R=1", true},
    {"Cassini", "+proj=cass +R=1", true},
    {"Conic Equidistant", "+proj=eqdc +lat_1=0 +lat_2=60 +R=1", true},
    {"Cylindrical Equal Area", "+proj=cea +R=1", true},
    {"Cylindrical Equidistant", "+proj=eqc +R=1", true},
    {"Eckert VI", "+proj=eck6 +R=1", true},
    {"Eckert IV", "+proj=eck4 +R=1", true},
    {"Gnomonic", "+proj=gnom +lat_0=0 +R=1", true},
    {"HorizontalRangeHeading", "+proj=ortho +R=6370999", true},
    {"Lambert Azimuthal Equal Area", "+proj=laea +lat_0=0 +R=1", true},
    {"Lambert Conformal Conic", "+proj=lcc +lat_1=50 +lat_2=-10 +lat_0=0 +R=1", true},
    {"Mercator", "+proj=merc +R=1", true},
    // This system's own Miller variant enters the latitude as phi / 5;
    // PROJ's Miller uses 2 phi / 5, at the same cost.
    {"Miller Cylindrical", "+proj=mill +R=1", false},
    {"Mollweide", "+proj=moll +R=1", true},
    {"Orthographic", "+proj=ortho +R=1", true},
    {"Polyconic", "+proj=poly +R=1", true},
    {"RangeHeading", "+proj=aeqd +lat_0=0 +R=6370999", true},
    {"Sinusoidal", "+proj=sinu +R=1", true},
    {"SlantRangeHeading", "+proj=laea +lat_0=0 +R=6370999", true},
    {"Stereographic", "+proj=stere +lat_0=0 +R=6370999", true},
    {"Van Der Grinten", "+proj=vandg +R=1", true},
    // The perspective point is P = 10 radii from the centre: h = 9 radii.
    {"Vertical Perspective", "+proj=nsper +h=9 +R=1", true},
    {"Vertical", "+proj=ortho +R=1", true},
};

// PROJ's definition of the same projection as the one with this display
// name, or null where PROJ has none.
inline const char* SameProjection(const char* name) {
    for (const Row& row : Rows) {
        if (std::strcmp(row.name, name) == 0) {
            return row.sameProjection ? row.proj : nullptr;
        }
    }
    return nullptr;
}

// PROJ's general oblique transformation that does what the sphere rotation
// with this origin (degrees) does: the unrotated north pole goes to latitude
// 90 - origin latitude on the rotated prime meridian. It answers in radians.
inline std::string RotationDefinition(double originLatitude, double originLongitude) {
    return "+proj=ob_tran +o_proj=longlat +o_lat_p=" + std::to_string(90 - originLatitude) +
           " +o_lon_p=0 +lon_0=" + std::to_string(originLongitude) + " +R=1";
}

} // namespace proj_definitions
