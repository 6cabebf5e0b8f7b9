#pragma once

#include "projection/Projection.h"

// Pseudo-cylindrical and other whole-world projections on the unit sphere.
// Mollweide and the two Eckerts find an auxiliary angle by Newton iteration;
// where it does not settle within 50 steps the point is left as it came in,
// converted to radians. Units as in Projection.h: points in degrees, the
// central meridian in radians (any value).
//
// Where the code departs from a plain transcription of the formulas, and why:
//  - The Newton loops do not call sin and cos for every iterate: they turn
//    the previous iterate's sine and cosine through the step, whose own sine
//    and cosine come from a short series. The points agree with the plain
//    loop's to 1e-12 up to 88.5 degrees of latitude and to 1e-7 beyond, where
//    the iteration converges only linearly.
//  - Mollweide takes the sine and cosine of its start value 2 arcsin(2 phi /
//    pi) from the double-angle formulas instead of calling sin and cos.
//  - Eckert IV takes sin phi as 2 sin(phi/2) cos(phi/2) from its start
//    value, clamped to 1.
//  - TransformPoints runs the Newton loops of two points side by side, step
//    for step, so that the processor overlaps their chains of dependent
//    operations; each point goes through the operations of its own loop and
//    comes out with the bits Transform gives it.
//  - Mollweide's poles take the limit, the tips of the ellipse, where the
//    iteration would start on a zero derivative.
//  - Van der Grinten evaluates its closed form in an arrangement whose every
//    sum has terms of one sign, takes the exact limits on the equator, the
//    central meridian and at the poles, and its inverse clamps rounding
//    beyond the outline; the textbook arrangement cancels catastrophically
//    near the central meridian.
//  - Mollweide uses sqrt 2 rounded to 13 decimals and Eckert IV's inverse a
//    rounded (4 + pi) / (4 sqrt pi), which returns longitudes to about 1e-9
//    degrees.

class CSinusoidal final : public CProjection {
public:
    CSinusoidal();
    MARLO_PROJECTION_FORMULAS(CSinusoidal, final)

    double centralMeridian = 0.0;
};

class CMollweide final : public CProjection {
public:
    CMollweide();
    MARLO_PROJECTION_FORMULAS(CMollweide, final)
    void TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) final;

    double centralMeridian = 0.0;
};

class CEckertIV final : public CProjection {
public:
    CEckertIV();
    MARLO_PROJECTION_FORMULAS(CEckertIV, final)
    void TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) final;

    double centralMeridian = 0.0;
};

class CEckertVI final : public CProjection {
public:
    CEckertVI();
    MARLO_PROJECTION_FORMULAS(CEckertVI, final)
    void TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) final;

    double centralMeridian = 0.0;
};

class CVanDerGrinten final : public CProjection {
public:
    CVanDerGrinten();
    MARLO_PROJECTION_FORMULAS(CVanDerGrinten, final)

    double centralMeridian = 0.0;
};
