// Points per second of Transform for each projection and the sphere rotation,
// single thread, called through the CTransformation interface as the geometry
// library calls it. With PROJ available, PROJ's spherical implementation of
// the same transformation is measured on the same points (one proj_trans call
// per point, input already in radians).
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tests/projection/ProjDefinitions.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef MARLO_BENCH_WITH_PROJ
#include <proj.h>
#endif

namespace {

struct Point {
    double lon;
    double lat;
};

constexpr size_t PointCount = 4096;

// Points where every projection of the row is defined (PROJ rejects points
// beyond the horizon of the azimuthals).
std::vector<Point> MakePoints(double maxLat, double maxLon) {
    std::mt19937 random(20261206);
    std::uniform_real_distribution<double> lat(-maxLat, maxLat);
    std::uniform_real_distribution<double> lon(-maxLon, maxLon);
    std::vector<Point> points(PointCount);
    for (Point& p : points) {
        p.lat = lat(random);
        p.lon = lon(random);
    }
    return points;
}

struct Row {
    std::string name; // display name, or "Rotation"
    std::string proj; // PROJ's spherical equivalent
    bool nearSide;    // azimuthal: keep the points within 60 degrees
};

// The azimuthal projections and those of range and heading, whose points PROJ
// rejects beyond the horizon.
bool IsAzimuthal(const std::string& name) {
    for (const char* azimuthal :
         {"Gnomonic", "HorizontalRangeHeading", "Lambert Azimuthal Equal Area", "Orthographic",
          "RangeHeading", "SlantRangeHeading", "Stereographic", "Vertical Perspective",
          "Vertical"}) {
        if (name == azimuthal) {
            return true;
        }
    }
    return false;
}

// Every projection, then the rotation of origin (37.7, -122.4) to (0, 0).
const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> list;
        for (const proj_definitions::Row& row : proj_definitions::Rows) {
            list.push_back({row.name, row.proj, IsAzimuthal(row.name)});
        }
        list.push_back({"Rotation", proj_definitions::RotationDefinition(37.7, -122.4), false});
        return list;
    }();
    return rows;
}

std::unique_ptr<CTransformation> MakeTransformation(const std::string& name) {
    if (name == "Rotation") {
        auto rotation = std::make_unique<CGeoRotation>();
        rotation->SetOrigin(37.7, -122.4);
        return rotation;
    }
    return std::unique_ptr<CTransformation>(CreateProjection(name.c_str()));
}

void BenchMarlo(benchmark::State& state, const Row& row) {
    const std::vector<Point> points = row.nearSide ? MakePoints(60, 60) : MakePoints(80, 179);
    std::unique_ptr<CTransformation> transformation = MakeTransformation(row.name);
    CTransformation* t = transformation.get();
    for (auto _ : state) {
        for (const Point& p : points) {
            double x = p.lon;
            double y = p.lat;
            t->Transform(x, y);
            benchmark::DoNotOptimize(x);
            benchmark::DoNotOptimize(y);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * points.size()));
}

#ifdef MARLO_BENCH_WITH_PROJ
void BenchProj(benchmark::State& state, const Row& row) {
    std::vector<Point> points = row.nearSide ? MakePoints(60, 60) : MakePoints(80, 179);
    for (Point& p : points) {
        p.lon *= DegreesToRadians;
        p.lat *= DegreesToRadians;
    }
    PJ_CONTEXT* context = proj_context_create();
    PJ* pj = proj_create(context, row.proj.c_str());
    if (pj == nullptr) {
        state.SkipWithError("PROJ rejected the definition");
        proj_context_destroy(context);
        return;
    }
    for (auto _ : state) {
        for (const Point& p : points) {
            PJ_COORD c = proj_coord(p.lon, p.lat, 0, 0);
            c = proj_trans(pj, PJ_FWD, c);
            benchmark::DoNotOptimize(c);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * points.size()));
    proj_destroy(pj);
    proj_context_destroy(context);
}
#endif

int RegisterAll() {
    for (const Row& row : Rows()) {
        benchmark::RegisterBenchmark(("Marlo/" + row.name).c_str(),
                                     [&row](benchmark::State& state) { BenchMarlo(state, row); });
#ifdef MARLO_BENCH_WITH_PROJ
        benchmark::RegisterBenchmark(("PROJ/" + row.name).c_str(),
                                     [&row](benchmark::State& state) { BenchProj(state, row); });
#endif
    }
    return 0;
}

const int registered = RegisterAll();

} // namespace

BENCHMARK_MAIN();
