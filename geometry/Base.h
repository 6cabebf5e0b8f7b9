#pragma once

#include <cmath>
#include <cstdint>

#include "geometry/ObjectPool.h"
#include "projection/Transformation.h"

// Root of the planar geometry library: the object contract shared by every
// shape, points, offsets, value ranges and rectangles.
//
// The plane has x growing to the right and y growing upwards (map plane: x
// east, y north); clockwise means clockwise in that plane. Angles are radians.
// Coordinates, lengths and distances are in whatever unit the content has:
// degrees of longitude and latitude as a map is read, plane units once it is
// projected. Nothing is checked or clipped: NaN and infinite coordinates pass
// through the arithmetic as they will.

class C2DPoint;
class C2DLine;
class C2DRect;

// Type codes carried by every geometry object. Code that holds an edge tells a
// straight line (Line) from an arc (Arc) by its code.
namespace GeometryType {
inline constexpr int32_t Point = 0;
inline constexpr int32_t Line = 1;
inline constexpr int32_t Arc = 2;
inline constexpr int32_t PolyBase = 3;
inline constexpr int32_t HoledPolyBase = 4;
inline constexpr int32_t Polygon = 5;
inline constexpr int32_t HoledPolygon = 6;
inline constexpr int32_t PolyArc = 7;
inline constexpr int32_t HoledPolyArc = 8;
inline constexpr int32_t Circle = 10;
inline constexpr int32_t Segment = 11;
inline constexpr int32_t Rect = 12;
inline constexpr int32_t BaseSet = 14;
inline constexpr int32_t LineBaseSet = 15;
inline constexpr int32_t PointSet = 17;
inline constexpr int32_t PolyBaseSet = 20;
inline constexpr int32_t HoledPolyBaseSet = 21;
inline constexpr int32_t HoledPolygonSet = 23;
inline constexpr int32_t HoledPolyArcSet = 25;
inline constexpr int32_t RectSet = 29;
} // namespace GeometryType

// Step of RoundToGrid, the same for every class.
inline constexpr double GridSize = 0.0001;
// Relative tolerance of point equality, per coordinate.
inline constexpr double PointTolerance = 1e-10;

// Rounds one coordinate to the grid; halves round away from zero.
double RoundValueToGrid(double value);

// A displacement between two points, or a direction.
struct C2DOffset {
    double dx = 0.0;
    double dy = 0.0;

    C2DOffset() = default;
    C2DOffset(double dx, double dy) : dx(dx), dy(dy) {}

    double GetLength() const { return std::sqrt(dx * dx + dy * dy); }
    // Angle of the direction measured clockwise from +y, in [0, 2pi); the
    // zero offset gives 3 pi / 2.
    double Bearing() const;
    C2DOffset operator*(double factor) const { return C2DOffset(dx * factor, dy * factor); }
    // Rescales to the given length; a zero offset stays zero.
    void SetLength(double length);
};

// A closed interval on a projection axis.
struct CValueRange {
    double min = 0.0;
    double max = 0.0;

    CValueRange() = default;
    CValueRange(double min, double max) : min(min), max(max) {}

    // Adds a single value: raises max or else lowers min.
    void Widen(double value) {
        if (value > max) {
            max = value;
        } else if (value < min) {
            min = value;
        }
    }
    // Merges another range; both ends are updated independently.
    void Merge(const CValueRange& other) {
        if (other.max > max) {
            max = other.max;
        }
        if (other.min < min) {
            min = other.min;
        }
    }
};

// Abstract base of every geometry object: a type code and ten geometric
// operations in fixed order.
class C2DBase {
public:
    virtual ~C2DBase() = default;
    virtual void Translate(const C2DOffset& offset) = 0;
    // Turns clockwise by angle (radians, any value) about origin.
    virtual void RotateClockwise(double angle, const C2DPoint& origin) = 0;
    // Multiplies every distance from origin by factor (any value; a negative
    // one also turns the shape through half a turn).
    virtual void ScaleAbout(double factor, const C2DPoint& origin) = 0;
    // Mirror in the infinite line through the line's start along its
    // direction, which must not be zero.
    virtual void ReflectInLine(const C2DLine& line) = 0;
    // Half turn about the point.
    virtual void ReflectInPoint(const C2DPoint& point) = 0;
    // Distance to the point; classes with an inside say how they sign it.
    virtual double DistanceTo(const C2DPoint& point) const = 0;
    // Overwrites bounds with the shape's axis-aligned bounds (an arc without
    // a circle leaves it as it was).
    virtual void GetBounds(C2DRect& bounds) const = 0;
    // Projection onto the axis through the coordinate origin along axis (not
    // zero), in units of length along the axis.
    virtual void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const = 0;
    // As ProjectOnAxis, measured from the line's start along its direction.
    virtual void ProjectOnLine(const C2DLine& line, CValueRange& range) const = 0;
    // Rounds every defining coordinate to the GridSize grid.
    virtual void RoundToGrid() = 0;

    int32_t GetType() const { return type; }

protected:
    explicit C2DBase(int32_t type) : type(type) {}
    C2DBase(const C2DBase&) = default;
    C2DBase& operator=(const C2DBase&) = default;

    int32_t type;
};

// A point, and the vertex type of every other shape. Points use the ordinary
// heap: most of them are members of other objects or live on the stack.
class C2DPoint : public C2DBase {
public:
    double x = 0.0;
    double y = 0.0;

    C2DPoint() : C2DBase(GeometryType::Point) {}
    C2DPoint(double x, double y) : C2DBase(GeometryType::Point), x(x), y(y) {}
    C2DPoint(const C2DPoint&) = default;
    C2DPoint& operator=(const C2DPoint&) = default;

    static C2DPoint Midpoint(const C2DPoint& a, const C2DPoint& b) {
        return C2DPoint(0.5 * (a.x + b.x), 0.5 * (a.y + b.y));
    }

    C2DPoint operator+(const C2DOffset& offset) const {
        return C2DPoint(x + offset.dx, y + offset.dy);
    }
    C2DOffset operator-(const C2DPoint& other) const { return C2DOffset(x - other.x, y - other.y); }
    // Per-axis scaling, used to scale map coordinates to pixels.
    C2DPoint operator*(const C2DPoint& scale) const { return C2DPoint(x * scale.x, y * scale.y); }
    // Tolerant equality relative to this point's coordinates (not symmetric):
    // a zero coordinate matches only an exact zero.
    bool operator==(const C2DPoint& other) const;
    bool operator!=(const C2DPoint& other) const { return !(*this == other); }

    void Translate(const C2DOffset& offset) override;
    void RotateClockwise(double angle, const C2DPoint& origin) override;
    void ScaleAbout(double factor, const C2DPoint& origin) override;
    void ReflectInLine(const C2DLine& line) override;
    void ReflectInPoint(const C2DPoint& point) override;
    double DistanceTo(const C2DPoint& point) const override;
    void GetBounds(C2DRect& bounds) const override;
    void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const override;
    void ProjectOnLine(const C2DLine& line, CValueRange& range) const override;
    void RoundToGrid() override;
};

// Axis-aligned rectangle. Corner convention (y up): topLeft = (smallest x,
// largest y), bottomRight = (largest x, smallest y). ExpandToInclude and
// ReflectInPoint keep that order; construction from corner values and
// ScaleAbout with a negative factor do not re-order the corners. Turning and
// mirroring in a line move only the centre: the rectangle stays axis-aligned
// and keeps its size.
class C2DRect : public C2DBase {
    MARLO_POOLED_CLASS(C2DRect)

public:
    C2DPoint topLeft;
    C2DPoint bottomRight;

    C2DRect() : C2DBase(GeometryType::Rect) {}
    C2DRect(const C2DPoint& topLeft, const C2DPoint& bottomRight)
        : C2DBase(GeometryType::Rect), topLeft(topLeft), bottomRight(bottomRight) {}
    C2DRect(double left, double top, double right, double bottom)
        : C2DBase(GeometryType::Rect), topLeft(left, top), bottomRight(right, bottom) {}
    C2DRect(const C2DRect&) = default;
    C2DRect& operator=(const C2DRect&) = default;

    void Clear();
    void Set(double left, double top, double right, double bottom);
    C2DPoint GetCentre() const { return C2DPoint::Midpoint(topLeft, bottomRight); }
    void ScaleAboutCentre(double factor);
    // Widens the rectangle to take in the point; the corner order is kept.
    void ExpandToInclude(const C2DPoint& point) {
        if (bottomRight.x < point.x) {
            bottomRight.x = point.x;
        } else if (topLeft.x > point.x) {
            topLeft.x = point.x;
        }
        if (topLeft.y < point.y) {
            topLeft.y = point.y;
        } else if (bottomRight.y > point.y) {
            bottomRight.y = point.y;
        }
    }
    void ExpandToInclude(const C2DRect& other) {
        ExpandToInclude(other.topLeft);
        ExpandToInclude(other.bottomRight);
    }
    // True when the interiors overlap; a shared edge or corner is no overlap.
    bool Overlaps(const C2DRect& other) const {
        return other.bottomRight.x > topLeft.x && other.topLeft.x < bottomRight.x &&
               other.topLeft.y > bottomRight.y && other.bottomRight.y < topLeft.y;
    }
    // True when this rectangle lies inside other with no side touching; false
    // when any side of either is NaN.
    bool LiesStrictlyInside(const C2DRect& other) const {
        return topLeft.x > other.topLeft.x && bottomRight.x < other.bottomRight.x &&
               bottomRight.y > other.bottomRight.y && topLeft.y < other.topLeft.y;
    }
    void MultiplyBy(const C2DPoint& scale);

    void Translate(const C2DOffset& offset) override;
    void RotateClockwise(double angle, const C2DPoint& origin) override;
    void ScaleAbout(double factor, const C2DPoint& origin) override;
    void ReflectInLine(const C2DLine& line) override;
    void ReflectInPoint(const C2DPoint& point) override;
    double DistanceTo(const C2DPoint& point) const override;
    void GetBounds(C2DRect& bounds) const override;
    void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const override;
    void ProjectOnLine(const C2DLine& line, CValueRange& range) const override;
    void RoundToGrid() override;
};
