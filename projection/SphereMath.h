#pragma once

#include "projection/Projection.h"

#include <cmath>

// Small helpers shared by the projection sources; not part of the interface.
// Angles are in radians.
namespace sphere_math {

// Longitudes within this many radians of 0 are brought into range turn by
// turn; larger ones are reduced by remainder() first.
inline constexpr double LoopedTurnsLimit = 6 * TwoPi;

// Brings a longitude into [-pi, pi] by whole turns. A huge or non-finite value
// is first reduced by remainder(), so the loops below always end.
inline double NormaliseLongitude(double lambda) {
    if (!(std::fabs(lambda) <= LoopedTurnsLimit)) {
        lambda = std::remainder(lambda, TwoPi);
    }
    while (lambda > Pi) {
        lambda -= TwoPi;
    }
    while (lambda < -Pi) {
        lambda += TwoPi;
    }
    return lambda;
}

// Every inverse ends by leaving its radians (phi, lambda) in the caller's two
// references as degrees: the latitude in the first, the longitude in the
// second.
inline void StoreDegrees(double phi, double lambda, double& first, double& second) {
    first = phi * RadiansToDegrees;
    second = lambda * RadiansToDegrees;
}

// Rounding can take a sine or cosine a hair beyond +-1, where asin and acos
// would give NaN for a perfectly good point. NaN passes through unchanged.
inline double ClampUnit(double v) {
    if (v > 1.0) {
        return 1.0;
    }
    if (v < -1.0) {
        return -1.0;
    }
    return v;
}

// The great circle from (phi1, lambda1) to (phi2, lambda2) seen from its
// start: the cosine of its arc c, and the east and north components of its
// direction in the plane tangent at the start, each scaled by sin c (so
// east = sin c sin(bearing), north = sin c cos(bearing)).
struct GreatCircleView {
    double cosArc;
    double east;
    double north;
};

inline GreatCircleView ViewAlongGreatCircle(double phi1, double lambda1, double phi2,
                                            double lambda2) {
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double sinPhi2 = std::sin(phi2);
    const double cosPhi2 = std::cos(phi2);
    const double deltaLambda = lambda2 - lambda1;
    const double cosDelta = std::cos(deltaLambda);
    return {cosDelta * (cosPhi2 * cosPhi1) + sinPhi2 * sinPhi1, std::sin(deltaLambda) * cosPhi2,
            cosPhi1 * sinPhi2 - sinPhi1 * cosPhi2 * cosDelta};
}

// Where RangeAndBearing applies one of its fixed bearing conventions (same
// meridian, or a pole at either end) rather than the general direction.
inline bool HasFixedBearing(double phi1, double lambda1, double phi2, double lambda2) {
    return lambda2 == lambda1 || std::fabs(phi1) == HalfPi || std::fabs(phi2) == HalfPi;
}

} // namespace sphere_math
