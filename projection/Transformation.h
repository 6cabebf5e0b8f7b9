#pragma once

// The per-point transformation that the geometry library applies to map
// content. The geometry library only ever calls Transform and
// InverseTransform, passing each vertex's x and y by reference; the
// implementations replace them in place. Implementations keep no state that
// changes between calls, so one object may be shared between threads and a
// vertex shared by two edges comes out the same both times.
class CTransformation {
public:
    virtual ~CTransformation() = default;
    virtual void Transform(double& x, double& y) = 0;
    virtual void InverseTransform(double& x, double& y) = 0;
};
