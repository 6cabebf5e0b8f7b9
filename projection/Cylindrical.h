#pragma once

#include "projection/Projection.h"

// Cylindrical projections on the unit sphere. CCylindricalEquidistant lives in
// Projection.h.

class CMercator final : public CProjection {
public:
    CMercator();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};

// This system's own Miller variant: the latitude enters as phi / 5 (not
// 2 phi / 5), and the inverse matches it.
class CMillerCylindrical final : public CProjection {
public:
    CMillerCylindrical();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};

class CCylindricalEqualArea final : public CProjection {
public:
    CCylindricalEqualArea();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double standardParallel = 0.0;
    double centralMeridian = 0.0;
};

// Transverse plate carree.
class CCassini final : public CProjection {
public:
    CCassini();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};
