#pragma once

#include <cstddef>

// The per-point transformation that the geometry library applies to map
// content. The geometry library calls Transform and InverseTransform,
// passing each vertex's x and y by reference, or TransformPoints with a
// batch of them; the implementations replace them in place. Implementations keep no state that
// changes between calls, so one object may be shared between threads and a
// vertex shared by two edges comes out the same both times.
//
// Units are the implementation's to state. The map transformations (the
// sphere rotation and the projections) take x = longitude and y = latitude
// in degrees, the latitude in [-90, 90]; see CProjection for what the
// projections give back. They never clip or refuse a point: whatever the
// formula yields, infinite or NaN included, is stored.
class CTransformation {
public:
    virtual ~CTransformation() = default;
    virtual void Transform(double& x, double& y) = 0;
    virtual void InverseTransform(double& x, double& y) = 0;
    // Transforms count points in place, point k being x[k * stride] and
    // y[k * stride], so that points lying in records of several fields are
    // passed where they lie. Every point comes out with the bits Transform
    // gives it; an implementation overrides this only to overlap the work
    // of neighbouring points.
    virtual void TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) {
        for (std::size_t k = 0; k < count; ++k) {
            Transform(x[k * stride], y[k * stride]);
        }
    }
};

// Angle constants shared by the geometry library and the transformations
// (one definition, so that code using both sees each name once), written as
// the decimals of the nearest doubles to pi, 2 pi and pi / 2.
inline constexpr double Pi = 3.141592653589793;
inline constexpr double TwoPi = 6.283185307179586;
inline constexpr double HalfPi = 1.5707963267948966;
