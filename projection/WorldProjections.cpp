#include "projection/WorldProjections.h"

#include "projection/SphereMath.h"

#include <cmath>
#include <cstddef>

using sphere_math::StoreDegrees;

namespace {

// sqrt 2 and 2 sqrt 2 rounded to 13 decimals, as Mollweide has always used
// them: the ellipse's half axes are MollweideTwoSqrt2 by MollweideSqrt2.
constexpr double MollweideSqrt2 = 1.4142135623731;
constexpr double MollweideTwoSqrt2 = 2.8284271247462;
// Eckert IV: pi (4 + pi), pi / (4 + pi), (4 + pi) / pi, and (4 + pi) /
// (4 sqrt pi) rounded to 11 decimals, which the inverse uses.
constexpr double PiTimesFourPlusPi = 22.43597501544853;
constexpr double PiOverFourPlusPi = 0.43990084648844263;
constexpr double FourPlusPiOverPi = 2.2732395447351625;
constexpr double EckertIVInverseFactor = 1.00730304626;
// Eckert VI: 2 + pi.
constexpr double TwoPlusPi = 5.141592653589793;

// The Newton loops for the auxiliary angle: the start offset makes the loop
// run at least once; it stops when a step is at most NewtonStepBound and
// gives up after NewtonMaxSteps steps.
constexpr double NewtonStartOffset = 1e-7;
constexpr double NewtonStepBound = 1e-8;
constexpr int NewtonMaxSteps = 50;
// Steps up to this size turn the sine and cosine along (SmallAngleSinCos);
// larger ones, and steps from where the cosine is within these bounds of 0
// or -1, call sin and cos afresh.
constexpr double LargestTurnedStep = 0.5;
constexpr double CosineNearZero = 0.01;
constexpr double CosineNearMinusOne = -0.99;

// Polynomial a[0] + a[1] x + ... + a[N-1] x^(N-1) by Estrin's scheme: pairs
// are combined level by level, so the dependency chain is log2(N) deep
// instead of N (this sits on the critical path of the Newton loops).
template <size_t N> inline double Estrin(const double* a, double x) {
    if constexpr (N == 1) {
        return a[0];
    } else {
        double pairs[(N + 1) / 2];
        for (size_t i = 0; i < N / 2; ++i) {
            pairs[i] = a[2 * i] + a[2 * i + 1] * x;
        }
        if constexpr (N % 2 == 1) {
            pairs[N / 2] = a[N - 1];
        }
        return Estrin<(N + 1) / 2>(pairs, x * x);
    }
}

// (-1)^k / (2k + 1)! and (-1)^k / (2k)!: the series of sin(d) / d and cos(d)
// in powers of d^2.
constexpr double SinSeries[] = {1.0,
                                -1.0 / 6,
                                1.0 / 120,
                                -1.0 / 5040,
                                1.0 / 362880,
                                -1.0 / 39916800,
                                1.0 / 6227020800.0,
                                -1.0 / 1307674368000.0,
                                1.0 / 355687428096000.0};
constexpr double CosSeries[] = {1.0,
                                -1.0 / 2,
                                1.0 / 24,
                                -1.0 / 720,
                                1.0 / 40320,
                                -1.0 / 3628800,
                                1.0 / 479001600,
                                -1.0 / 87178291200.0,
                                1.0 / 20922789888000.0,
                                -1.0 / 6402373705728000.0};

// The largest angles for which the sine's series up to d^3, d^7 and d^11
// (and the cosine's one term further) leave out less than 3e-20.
constexpr double TwoTermAngle = 2e-4;
constexpr double FourTermAngle = 0.02;
constexpr double SixTermAngle = 0.1;

// Sine and cosine of a small angle |delta| <= LargestTurnedStep from their
// series, with as many terms as the size of delta needs: the first omitted
// term is below 3e-20 in every case. Late Newton steps are tiny, so most
// calls take the short forms.
inline void SmallAngleSinCos(double delta, double& sinDelta, double& cosDelta) {
    const double d2 = delta * delta;
    const double size = std::fabs(delta);
    if (size < TwoTermAngle) {
        sinDelta = delta * Estrin<2>(SinSeries, d2);
        cosDelta = Estrin<3>(CosSeries, d2);
    } else if (size < FourTermAngle) {
        sinDelta = delta * Estrin<4>(SinSeries, d2);
        cosDelta = Estrin<5>(CosSeries, d2);
    } else if (size < SixTermAngle) {
        sinDelta = delta * Estrin<6>(SinSeries, d2);
        cosDelta = Estrin<7>(CosSeries, d2);
    } else {
        sinDelta = delta * Estrin<9>(SinSeries, d2);
        cosDelta = Estrin<10>(CosSeries, d2);
    }
}

// Newton iteration for the auxiliary angle of Mollweide and the Eckerts, one
// step at a time. The start offset makes the loop run at least once; a loop
// that reaches the bound fails and the caller leaves the point unprojected.
//
// Each projection supplies the loop's parts as a Formulas type:
//  - Begin(lat, lon, angle) stores phi and lambda in radians into lat and
//    lon, and sets the start value with its sine and cosine and K; it
//    returns false for a point it has finished itself (Mollweide's poles);
//  - Step(theta, sinTheta, cosTheta, K) gives the Newton step f / f';
//  - End(angle, lat, lon) turns the root into x and y, reading phi and
//    lambda back from lat and lon.
//
// After each step the new sine and cosine are obtained by turning the old
// ones through the step, whose own sine and cosine come from their series,
// instead of calling sin and cos again, at a fraction of the cost. The
// projected points agree with those of a loop that calls sin and cos at
// every step to 1e-12 on the unit sphere up to 88.5 degrees of latitude, and
// to 1e-7 beyond, where the iteration converges only linearly and the two
// loops may stop at different iterates within the 1e-8 step bound. Large
// steps, and steps near theta = +-pi/2 (Eckert IV) and +-pi (Mollweide),
// where the derivative depends on a cosine close to 0 or -1 that must keep
// its relative precision, call sin and cos afresh.
struct CAuxiliaryAngle {
    double theta = 0.0;
    double sinTheta = 0.0;
    double cosTheta = 0.0;
    double K = 0.0;
    double previous = 0.0;
    int count = 0;
    bool failed = false;

    void Start(double startTheta, double startSin, double startCos, double k) {
        theta = startTheta;
        sinTheta = startSin;
        cosTheta = startCos;
        K = k;
        previous = startTheta + NewtonStartOffset;
    }

    bool Running() const { return !failed && std::fabs(theta - previous) > NewtonStepBound; }

    template <typename Formulas> void Advance() {
        previous = theta;
        const double delta = Formulas::Step(theta, sinTheta, cosTheta, K);
        theta = theta - delta;
        ++count;
        if (count == NewtonMaxSteps) {
            failed = true;
            return;
        }
        if (std::fabs(delta) <= LargestTurnedStep && std::fabs(cosTheta) > CosineNearZero &&
            cosTheta > CosineNearMinusOne) {
            double sinDelta = 0;
            double cosDelta = 0;
            SmallAngleSinCos(delta, sinDelta, cosDelta);
            const double s = sinTheta * cosDelta - cosTheta * sinDelta;
            cosTheta = cosTheta * cosDelta + sinTheta * sinDelta;
            sinTheta = s;
        } else {
            sinTheta = std::sin(theta);
            cosTheta = std::cos(theta);
        }
    }
};

// Runs a begun iteration to its end and stores the projected point, unless
// the loop failed.
template <typename Formulas>
void Complete(const Formulas& formulas, CAuxiliaryAngle& angle, double& lat, double& lon) {
    while (angle.Running()) {
        angle.template Advance<Formulas>();
    }
    if (!angle.failed) {
        formulas.End(angle, lat, lon);
    }
}

template <typename Formulas>
void ProjectWithNewton(const Formulas& formulas, double& lat, double& lon) {
    CAuxiliaryAngle angle;
    if (formulas.Begin(lat, lon, angle)) {
        Complete(formulas, angle, lat, lon);
    }
}

// Projects the points two at a time. Each step is a chain of dependent
// operations (a division, a short series, the turn), so one point's loop
// keeps the processor waiting; two independent loops advanced together fill
// each other's waits. Each point still goes through exactly the operations
// of its own loop. x holds the longitudes and y the latitudes, as for
// Transform.
template <typename Formulas>
void ProjectInPairs(const Formulas& formulas, double* x, double* y, std::size_t count,
                    std::size_t stride) {
    std::size_t k = 0;
    for (; k + 1 < count; k += 2) {
        double& latA = y[k * stride];
        double& lonA = x[k * stride];
        double& latB = y[(k + 1) * stride];
        double& lonB = x[(k + 1) * stride];
        CAuxiliaryAngle a;
        CAuxiliaryAngle b;
        const bool begunA = formulas.Begin(latA, lonA, a);
        const bool begunB = formulas.Begin(latB, lonB, b);
        while (begunA && begunB && a.Running() && b.Running()) {
            a.template Advance<Formulas>();
            b.template Advance<Formulas>();
        }
        if (begunA) {
            Complete(formulas, a, latA, lonA);
        }
        if (begunB) {
            Complete(formulas, b, latB, lonB);
        }
    }
    if (k < count) {
        ProjectWithNewton(formulas, y[k * stride], x[k * stride]);
    }
}

// Stores phi and lambda, the point in radians, into lat and lon.
void StoreRadians(double& lat, double& lon) {
    lat = lat * DegreesToRadians;
    lon = lon * DegreesToRadians;
}

} // namespace

// Sinusoidal ---------------------------------------------------------------

CSinusoidal::CSinusoidal() : CProjection(SinusoidalCode) {}

void CSinusoidal::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    lon = (lambda - centralMeridian) * std::cos(phi);
    lat = phi;
}

void CSinusoidal::InverseProject(double& y, double& x) {
    const double phi = y;
    const double lambda = x / std::cos(y) + centralMeridian;
    StoreDegrees(phi, lambda, y, x);
}

// Mollweide ----------------------------------------------------------------

CMollweide::CMollweide() : CProjection(MollweideCode) {}

namespace {

struct CMollweideFormulas {
    double centralMeridian;

    static bool Begin(double& lat, double& lon, CAuxiliaryAngle& angle) {
        StoreRadians(lat, lon);
        const double phi = lat;
        const double sine = 2 * phi / Pi;
        if (std::fabs(sine) == 1.0) {
            // The poles: the iteration would start at theta = +-pi, where its
            // derivative 1 + cos theta is 0. The limit is the tip of the
            // ellipse.
            lon = 0.0;
            lat = std::copysign(MollweideSqrt2, phi);
            return false;
        }
        // With a = arcsin(sine), the start value is 2a, whose sine and
        // cosine follow from a's without calling sin and cos: sin 2a =
        // 2 sine cos a and cos 2a = 1 - 2 sine^2, cos a being
        // sqrt((1 - sine)(1 + sine)). They are those of 2a, not of its
        // rounding; within 0.22 degrees of the poles, where 1 + cos theta
        // is near 0 and the first step divides by it, that difference would
        // throw the step off, and sin and cos of the rounded value are
        // called as before.
        const double theta = 2 * std::asin(sine);
        const double K = Pi * std::sin(phi);
        const double cosTheta = 1 - 2 * sine * sine;
        if (cosTheta > CosineNearMinusOne) {
            const double cosHalf = std::sqrt((1 - sine) * (1 + sine));
            angle.Start(theta, 2 * sine * cosHalf, cosTheta, K);
        } else {
            angle.Start(theta, std::sin(theta), std::cos(theta), K);
        }
        return true;
    }

    static double Step(double t, double s, double c, double K) { return (t + s - K) / (1 + c); }

    void End(const CAuxiliaryAngle& angle, double& lat, double& lon) const {
        const double lambda = lon;
        const double t = angle.theta / 2;
        lon = MollweideTwoSqrt2 * (lambda - centralMeridian) * std::cos(t) / Pi;
        lat = MollweideSqrt2 * std::sin(t);
    }
};

} // namespace

void CMollweide::Project(double& lat, double& lon) {
    ProjectWithNewton(CMollweideFormulas{centralMeridian}, lat, lon);
}

void CMollweide::TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) {
    ProjectInPairs(CMollweideFormulas{centralMeridian}, x, y, count, stride);
}

void CMollweide::InverseProject(double& y, double& x) {
    const double t = std::asin(y / MollweideSqrt2);
    const double phi = std::asin((2 * t + std::sin(2 * t)) / Pi);
    const double lambda = centralMeridian + Pi * x / (MollweideTwoSqrt2 * std::cos(t));
    StoreDegrees(phi, lambda, y, x);
}

// Eckert IV ----------------------------------------------------------------

CEckertIV::CEckertIV() : CProjection(EckertIVCode) {}

namespace {

struct CEckertIVFormulas {
    double centralMeridian;

    static bool Begin(double& lat, double& lon, CAuxiliaryAngle& angle) {
        StoreRadians(lat, lon);
        const double theta = lat / 2;
        const double sinTheta = std::sin(theta);
        const double cosTheta = std::cos(theta);
        // sin phi as 2 sin(phi / 2) cos(phi / 2), from the sine and cosine
        // the loop starts with. Within a few 1e-7 degrees of the poles that
        // product rounds to a hair above 1, where the equation has no root
        // and the loop would swing about pi / 2 until its bound; the clamp
        // keeps the pole's own value there.
        const double K = (2 + HalfPi) * sphere_math::ClampUnit(2 * sinTheta * cosTheta);
        angle.Start(theta, sinTheta, cosTheta, K);
        return true;
    }

    static double Step(double t, double s, double c, double K) {
        return (t + s * c + 2 * s - K) / (2 * c * (1 + c));
    }

    void End(const CAuxiliaryAngle& angle, double& lat, double& lon) const {
        const double lambda = lon;
        lon = 2 * (lambda - centralMeridian) * (1 + angle.cosTheta) / std::sqrt(PiTimesFourPlusPi);
        lat = 2 * std::sqrt(PiOverFourPlusPi) * angle.sinTheta;
    }
};

} // namespace

void CEckertIV::Project(double& lat, double& lon) {
    ProjectWithNewton(CEckertIVFormulas{centralMeridian}, lat, lon);
}

void CEckertIV::TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) {
    ProjectInPairs(CEckertIVFormulas{centralMeridian}, x, y, count, stride);
}

// The inverse uses the rounded constant 1.00730304626 for (4 + pi) / (4 sqrt
// pi), so it returns longitudes to about 1e-9 degrees.
void CEckertIV::InverseProject(double& y, double& x) {
    const double s = 0.5 * y * std::sqrt(FourPlusPiOverPi);
    const double theta = std::asin(s);
    const double phi = std::asin((theta + s * std::cos(theta) + 2 * s) / (2 + HalfPi));
    const double lambda = centralMeridian + x * Pi * EckertIVInverseFactor /
                                                (std::sqrt(1 + QuarterPi) * (1 + std::cos(theta)));
    StoreDegrees(phi, lambda, y, x);
}

// Eckert VI ----------------------------------------------------------------

CEckertVI::CEckertVI() : CProjection(EckertVICode) {}

namespace {

struct CEckertVIFormulas {
    double centralMeridian;

    static bool Begin(double& lat, double& lon, CAuxiliaryAngle& angle) {
        StoreRadians(lat, lon);
        // The start value is phi itself: one sine serves the start and K.
        const double phi = lat;
        const double sinPhi = std::sin(phi);
        angle.Start(phi, sinPhi, std::cos(phi), (1 + HalfPi) * sinPhi);
        return true;
    }

    static double Step(double t, double s, double c, double K) { return (t + s - K) / (1 + c); }

    void End(const CAuxiliaryAngle& angle, double& lat, double& lon) const {
        const double lambda = lon;
        lon = (lambda - centralMeridian) * (1 + angle.cosTheta) / std::sqrt(TwoPlusPi);
        lat = 2 * angle.theta / std::sqrt(TwoPlusPi);
    }
};

} // namespace

void CEckertVI::Project(double& lat, double& lon) {
    ProjectWithNewton(CEckertVIFormulas{centralMeridian}, lat, lon);
}

void CEckertVI::TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) {
    ProjectInPairs(CEckertVIFormulas{centralMeridian}, x, y, count, stride);
}

void CEckertVI::InverseProject(double& y, double& x) {
    const double theta = 0.5 * std::sqrt(TwoPlusPi) * y;
    const double phi = std::asin((theta + std::sin(theta)) / (1 + HalfPi));
    const double lambda = centralMeridian + std::sqrt(TwoPlusPi) * x / (1 + std::cos(theta));
    StoreDegrees(phi, lambda, y, x);
}

// Van der Grinten ----------------------------------------------------------

namespace {

// Below these the point is treated as lying on the equator or on the central
// meridian, where the general closed form divides by zero (and, for
// longitudes within a hair of the meridian, overflows); the limits are exact
// there and the error of using them is below the thresholds themselves.
constexpr double VanDerGrintenEquatorBand = 1e-12;
constexpr double VanDerGrintenMeridianBand = 1e-12;

} // namespace

CVanDerGrinten::CVanDerGrinten() : CProjection(VanDerGrintenCode) {}

// The classic closed form (A, G, P, Q with x and y as a sum of a product and
// a square root) is evaluated here in an algebraically identical arrangement
// whose every sum has terms of one sign. The classic arrangement subtracts
// nearly equal numbers close to the central meridian, where a point 1e-8
// degrees off the meridian at latitude 50 came out with y = 17.5 instead of
// 0.953, far outside the map's outline (|y| <= pi).
// With s = sin theta = |2 phi / pi| and c = cos theta:
//   G - 1 = (1 - s) / (s + c - 1),   P^2 - G^2 = 4 G^2 (1 - s) / s^2,
// both non-negative, and P >= G >= 1.
void CVanDerGrinten::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double deltaLambda = lon * DegreesToRadians - centralMeridian;
    const double s = std::fabs(2 * phi / Pi);
    if (std::fabs(phi) < VanDerGrintenEquatorBand) {
        lon = deltaLambda;
        lat = 0.0;
        return;
    }
    const double oneMinusS = 1 - s;
    const double c = std::sqrt(oneMinusS * (1 + s));
    if (std::fabs(deltaLambda) < VanDerGrintenMeridianBand || s >= 1.0) {
        // Central meridian and poles: x = 0, y = pi tan(theta / 2).
        lon = 0.0;
        lat = std::copysign(Pi * s / (1 + c), phi);
        return;
    }
    const double A = 0.5 * std::fabs(Pi / deltaLambda - deltaLambda / Pi);
    const double A2 = A * A;
    const double denominator = s - s * s / (1 + c); // s + c - 1 without cancellation
    const double G = c / denominator;
    const double GMinusOne = oneMinusS / denominator;
    const double P = G * (2 / s - 1);
    const double P2 = P * P;
    const double P2MinusG2 = 4 * G * G * oneMinusS / (s * s);
    const double P2MinusG = P2MinusG2 + G * GMinusOne;
    const double D = A2 * (P2MinusG * P2MinusG + P2MinusG2) + P2 * P2MinusG2;
    const double E = A2 * (P2MinusG2 + GMinusOne * GMinusOne) + P2MinusG2;
    const double Q = A2 + G;
    const double x = Pi * P2MinusG2 / (std::sqrt(D) + A * P2MinusG);
    const double y = Pi * (A2 * (2 * G - 1) + G * G) / (P * Q + A * std::sqrt(E));
    lon = (deltaLambda < 0) ? -x : x;
    lat = (phi < 0) ? -y : y;
}

void CVanDerGrinten::InverseProject(double& y, double& x) {
    const double X = x / Pi;
    const double Y = y / Pi;
    const double X2 = X * X;
    const double Y2 = Y * Y;
    const double S = X2 + Y2;

    double phi = 0.0;
    if (Y != 0.0) {
        const double c1 = -std::fabs(Y) * (1 + S);
        const double c2 = c1 - 2 * Y2 + X2;
        const double c3 = -2 * c1 + 1 + 2 * Y2 + S * S;
        const double d =
            Y2 / c3 + (2 * c2 * c2 * c2 / (c3 * c3 * c3) - 9 * c1 * c2 / (c3 * c3)) / 27;
        const double a1 = (c1 - c2 * c2 / (3 * c3)) / c3;
        const double m1 = 2 * std::sqrt(-a1 / 3);
        double cosine = 3 * d / (a1 * m1);
        // Rounding may take the cosine a hair beyond -1 close to the equator.
        cosine = std::fmax(-1.0, std::fmin(1.0, cosine));
        const double theta1 = std::acos(cosine) / 3;
        phi = Pi * (-m1 * std::cos(theta1 + Pi / 3) - c2 / (3 * c3));
        if (y < 0) {
            phi = -phi;
        }
    }

    // (S - 1 + sqrt((S - 1)^2 + 4 X^2)) / (2 X), arranged so that nothing
    // cancels: inside the outline S < 1 it is 2 X / (sqrt(...) + 1 - S), which
    // is also the right limit 0 on the central meridian X = 0.
    const double R = std::sqrt((S - 1) * (S - 1) + 4 * X2);
    double lambda = (S <= 1) ? 2 * Pi * X / (R + 1 - S) : Pi * (S - 1 + R) / (2 * X);
    lambda += centralMeridian;

    if (lambda > Pi) {
        lambda = Pi;
    } else if (lambda < -Pi) {
        lambda = -Pi;
    }
    if (phi > HalfPi) {
        phi = HalfPi;
    } else if (phi < -HalfPi) {
        phi = -HalfPi;
    }
    StoreDegrees(phi, lambda, y, x);
}
