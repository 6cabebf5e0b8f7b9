#pragma once

#include "projection/Projection.h"

#include <cmath>

// Small helpers shared by the projection sources; not part of the interface.
namespace sphere_math {

// Brings a longitude into [-pi, pi] by whole turns. A huge or non-finite value
// is first reduced by remainder(), so the loops below always end.
inline double NormaliseLongitude(double lambda) {
    if (!(std::fabs(lambda) <= 6 * TwoPi)) {
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

} // namespace sphere_math
