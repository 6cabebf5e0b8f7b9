#pragma once

#include <gtest/gtest.h>

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

// Keeps one live object of each pooled shape class, so that the pools stay up
// between the many short-lived rings of a randomised test (as they do while a
// map is loaded) instead of being handed back to the heap after every ring.
struct CPoolKeeper {
    std::unique_ptr<C2DLine> line{new C2DLine()};
    std::unique_ptr<C2DRect> rect{new C2DRect()};
    std::unique_ptr<C2DArc> arc{new C2DArc()};
    std::unique_ptr<C2DPolygon> polygon{new C2DPolygon()};
    std::unique_ptr<C2DPolyArc> polyArc{new C2DPolyArc()};
};

inline bool SameRect(const C2DRect& a, const C2DRect& b) {
    return a.topLeft.x == b.topLeft.x && a.topLeft.y == b.topLeft.y &&
           a.bottomRight.x == b.bottomRight.x && a.bottomRight.y == b.bottomRight.y;
}

inline void ExpectPoint(const C2DPoint& p, double x, double y, double tolerance = 1e-12) {
    EXPECT_NEAR(p.x, x, tolerance);
    EXPECT_NEAR(p.y, y, tolerance);
}
