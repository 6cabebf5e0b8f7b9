// Points per second of Transform for each projection and the sphere rotation,
// single thread, called through the CTransformation interface as the geometry
// library calls it. With PROJ available, PROJ's spherical implementation of
// the same transformation is measured on the same points (one proj_trans call
// per point, input already in radians).
#include "projection/GeoRotation.h"
#include "projection/Projection.h"

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
    const char* name; // display name, or "Rotation"
    const char* proj; // PROJ's spherical equivalent
    bool nearSide;    // azimuthal: keep the points within 60 degrees
};

const Row rows[] = {
    {"Albers Equal Area Conic", "+proj=aea +lat_1=60 +lat_2=60 +R=1", false},
    {"Bonne", "+proj=bonne +lat_1=40 +R=1", false},
    {"Cassini", "+proj=cass +R=1", false},
    {"Conic Equidistant", "+proj=eqdc +lat_1=0 +lat_2=60 +R=1", false},
    {"Cylindrical Equal Area", "+proj=cea +R=1", false},
    {"Cylindrical Equidistant", "+proj=eqc +R=1", false},
    {"Eckert VI", "+proj=eck6 +R=1", false},
    {"Eckert IV", "+proj=eck4 +R=1", false},
    {"Gnomonic", "+proj=gnom +lat_0=0 +R=1", true},
    {"HorizontalRangeHeading", "+proj=ortho +R=6370999", true},
    {"Lambert Azimuthal Equal Area", "+proj=laea +lat_0=0 +R=1", true},
    {"Lambert Conformal Conic", "+proj=lcc +lat_1=50 +lat_2=-10 +R=1", false},
    {"Mercator", "+proj=merc +R=1", false},
    // PROJ's Miller uses 2 phi / 5 rather than phi / 5; same cost.
    {"Miller Cylindrical", "+proj=mill +R=1", false},
    {"Mollweide", "+proj=moll +R=1", false},
    {"Orthographic", "+proj=ortho +R=1", true},
    {"Polyconic", "+proj=poly +R=1", false},
    {"RangeHeading", "+proj=aeqd +lat_0=0 +R=6370999", true},
    {"Sinusoidal", "+proj=sinu +R=1", false},
    {"SlantRangeHeading", "+proj=laea +lat_0=0 +R=6370999", true},
    {"Stereographic", "+proj=stere +lat_0=0 +R=6370999", true},
    {"Van Der Grinten", "+proj=vandg +R=1", false},
    {"Vertical Perspective", "+proj=nsper +h=9 +R=1", true},
    {"Vertical", "+proj=ortho +R=1", true},
    // Origin (37.7, -122.4) brought to (0, 0), bearings kept.
    {"Rotation", "+proj=ob_tran +o_proj=longlat +o_lat_p=52.3 +o_lon_p=0 +lon_0=-122.4 +R=1",
     false},
};

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
    PJ* pj = proj_create(context, row.proj);
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
    for (const Row& row : rows) {
        benchmark::RegisterBenchmark((std::string("Marlo/") + row.name).c_str(),
                                     [&row](benchmark::State& state) { BenchMarlo(state, row); });
#ifdef MARLO_BENCH_WITH_PROJ
        benchmark::RegisterBenchmark((std::string("PROJ/") + row.name).c_str(),
                                     [&row](benchmark::State& state) { BenchProj(state, row); });
#endif
    }
    return 0;
}

const int registered = RegisterAll();

} // namespace

BENCHMARK_MAIN();
