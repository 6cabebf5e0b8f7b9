#pragma once

// What the canvas and viewer tests count in images, and the ring sets they
// make from a map's content.

#include <QImage>
#include <gtest/gtest.h>

#include "geometry/HoledPolygons.h"
#include "projection/RingSet.h"
#include "projection/Transformation.h"

// Pixels in which two images of the same size differ; images of different
// sizes fail the test and give -1.
inline int DifferingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        ADD_FAILURE() << "images of " << a.width() << "x" << a.height() << " and " << b.width()
                      << "x" << b.height() << " pixels";
        return -1;
    }
    if (a == b) {
        return 0;
    }
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            count += a.pixel(x, y) == b.pixel(x, y) ? 0 : 1;
        }
    }
    return count;
}

// Pixels of exactly that colour.
inline int CountPixels(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

// The rings of a content, one polygon per holed polygon, rim first: every
// edge's start, and with closed the first point again at the end; each point
// taken through transformation when one is given.
inline CRingSet RingsOf(const C2DHoledPolyBaseSet& content, bool closed,
                        CTransformation* transformation = nullptr) {
    CRingSet set;
    const auto addRing = [&](const C2DPolyBase& ring) {
        const unsigned end = ring.GetLineCount() + (closed ? 1 : 0);
        for (unsigned k = 0; k < end; ++k) {
            C2DPoint p = ring.GetLine(k % ring.GetLineCount())->GetStart();
            if (transformation != nullptr) {
                transformation->Transform(p.x, p.y);
            }
            set.points.push_back({p.x, p.y});
        }
        set.EndRing();
    };
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = content.GetAt(i);
        addRing(*holed->GetRim());
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            addRing(*holed->GetHole(h));
        }
        set.EndPolygon();
    }
    return set;
}
