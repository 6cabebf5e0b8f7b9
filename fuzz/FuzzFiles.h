#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "geometry/HoledPolygons.h"
#include "mapfiles/ProgressUpdater.h"

// The readers take a path, so each input goes through a file in memory-backed
// storage where there is some.
inline std::string FuzzFilePath(const char* name) {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/marlo-fuzz-" + std::to_string(getpid()) + "-" + name;
}

inline void WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::abort();
    }
    std::fclose(file);
}

// Progress must stay within 0 to 100.
class CCheckedProgress : public CProgressUpdater {
public:
    void UpdateProgress(unsigned percent) override {
        if (percent > 100) {
            std::abort();
        }
    }
};

// The geometry classes return their pools to the heap when their last object
// goes; keeping one object of each alive spares every run the cost of new
// pools, which otherwise dominates a run on a small input.
inline void KeepPoolsAlive() {
    static C2DHoledPolygonSet* polygons = [] {
        auto* set = new C2DHoledPolygonSet;
        auto* holedPolygon = new C2DHoledPolygon;
        auto* rim = new C2DPolygon;
        const double points[] = {0.0, 0.0, 0.0, 1.0, 1.0, 1.0};
        rim->Create(points, 3);
        holedPolygon->SetRim(rim);
        set->Add(holedPolygon);
        return set;
    }();
    static C2DHoledPolyArcSet* polyArcs = [] {
        auto* set = new C2DHoledPolyArcSet;
        auto* holedPolyArc = new C2DHoledPolyArc;
        auto* rim = new C2DPolyArc;
        rim->SetStartPoint(C2DPoint(0.0, 0.0));
        rim->ArcTo(C2DPoint(1.0, 0.0), true, false, 1.0);
        rim->Close();
        holedPolyArc->SetRim(rim);
        set->Add(holedPolyArc);
        return set;
    }();
    static C2DHoledPolyBaseSet* content = new C2DHoledPolyBaseSet;
    (void)polygons;
    (void)polyArcs;
    (void)content;
}

struct CRingCount {
    unsigned long rings = 0;
    unsigned long edges = 0;
};

inline CRingCount CountRings(const C2DHoledPolyBaseSet& content) {
    CRingCount count;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        if (holedPolygon.GetRim() == nullptr) {
            std::abort(); // readers never hand over a holed polygon without a rim
        }
        count.rings += 1 + holedPolygon.GetHoleCount();
        count.edges += holedPolygon.GetTotalLineCount();
    }
    return count;
}
