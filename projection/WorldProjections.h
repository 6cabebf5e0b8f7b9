#pragma once

#include "projection/Projection.h"

// Pseudo-cylindrical and other whole-world projections on the unit sphere.
// Mollweide and the two Eckerts find an auxiliary angle by Newton iteration.

class CSinusoidal final : public CProjection {
public:
    CSinusoidal();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};

class CMollweide final : public CProjection {
public:
    CMollweide();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};

class CEckertIV final : public CProjection {
public:
    CEckertIV();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};

class CEckertVI final : public CProjection {
public:
    CEckertVI();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};

class CVanDerGrinten final : public CProjection {
public:
    CVanDerGrinten();
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    void Project(double& lat, double& lon) final;
    void InverseProject(double& y, double& x) final;

    double centralMeridian = 0.0;
};
