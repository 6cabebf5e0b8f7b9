#pragma once

#include <memory>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "projection/Transformation.h"

// Small helpers shared by the shape tests.

class CTranslation : public CTransformation {
public:
    CTranslation(double dx, double dy) : dx(dx), dy(dy) {}
    void Transform(double& x, double& y) override {
        x += dx;
        y += dy;
    }
    void InverseTransform(double& x, double& y) override {
        x -= dx;
        y -= dy;
    }

private:
    double dx;
    double dy;
};

inline std::unique_ptr<C2DPolygon> MakePolygon(const std::vector<double>& xy) {
    auto polygon = std::make_unique<C2DPolygon>();
    polygon->Create(xy.data(), static_cast<unsigned>(xy.size() / 2));
    return polygon;
}

inline bool SameRect(const C2DRect& a, const C2DRect& b) {
    return a.topLeft.x == b.topLeft.x && a.topLeft.y == b.topLeft.y &&
           a.bottomRight.x == b.bottomRight.x && a.bottomRight.y == b.bottomRight.y;
}
