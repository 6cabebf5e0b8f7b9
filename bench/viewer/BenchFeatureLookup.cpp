// The status bar's feature name on countries-10m (8.1 million points, 920
// thousand rings, 250 named records): building the index when a map is opened,
// and one lookup per mouse move. A lookup should take well under a
// millisecond wherever the cursor is, so that the readout keeps up with the
// mouse.
//
// Points are drawn at random over the map's extent (mostly sea and large
// countries) and over Europe's coasts and islands (many small rings with
// many edges near the point), as a cursor would wander.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mapfiles/FeatureLocator.h"
#include "mapfiles/MapFiles.h"

namespace {

const char* const MapPath = MARLO_SHARED_DATA_DIR "/countries-10m.shp";

struct CLoadedMap {
    C2DHoledPolyBaseSet content;
    CMapAttributes attributes;
};

// Read once and kept for every benchmark; null when the file is missing or
// unreadable.
const CLoadedMap* LoadedMap() {
    static std::unique_ptr<CLoadedMap> map = [] {
        auto loaded = std::make_unique<CLoadedMap>();
        if (!ReadShapefile(MapPath, loaded->content, nullptr, &loaded->attributes)) {
            return std::unique_ptr<CLoadedMap>();
        }
        loaded->content.MakeClockwise();
        return loaded;
    }();
    return map.get();
}

const CFeatureLocator* BuiltLocator() {
    static std::unique_ptr<CFeatureLocator> locator = [] {
        auto built = std::make_unique<CFeatureLocator>();
        if (const CLoadedMap* map = LoadedMap()) {
            built->Build(map->attributes, map->content);
        }
        return built;
    }();
    return locator.get();
}

std::vector<std::pair<double, double>> RandomPoints(double minX, double minY, double maxX,
                                                    double maxY) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> x(minX, maxX);
    std::uniform_real_distribution<double> y(minY, maxY);
    std::vector<std::pair<double, double>> points(4096);
    for (auto& point : points) {
        point = {x(random), y(random)};
    }
    return points;
}

void BM_BuildIndex(benchmark::State& state) {
    const CLoadedMap* map = LoadedMap();
    if (map == nullptr) {
        state.SkipWithError("countries-10m could not be read");
        return;
    }
    for (auto _ : state) {
        CFeatureLocator locator;
        locator.Build(map->attributes, map->content);
        benchmark::DoNotOptimize(locator.IsEmpty());
    }
}
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

void Lookups(benchmark::State& state, double minX, double minY, double maxX, double maxY) {
    const CFeatureLocator* locator = BuiltLocator();
    if (locator == nullptr || locator->IsEmpty()) {
        state.SkipWithError("no index: countries-10m could not be read");
        return;
    }
    const auto points = RandomPoints(minX, minY, maxX, maxY);
    std::size_t i = 0;
    std::size_t named = 0;
    for (auto _ : state) {
        const auto& [x, y] = points[i++ % points.size()];
        const std::string name = locator->NameAt(x, y);
        named += name.empty() ? 0 : 1;
        benchmark::DoNotOptimize(name.data());
    }
    state.counters["named"] =
        benchmark::Counter(static_cast<double>(named) / static_cast<double>(state.iterations()));
}

void BM_LookupWholeWorld(benchmark::State& state) {
    Lookups(state, -180.0, -90.0, 180.0, 90.0);
}
BENCHMARK(BM_LookupWholeWorld)->Unit(benchmark::kMicrosecond);

void BM_LookupEurope(benchmark::State& state) {
    Lookups(state, -10.0, 35.0, 30.0, 70.0);
}
BENCHMARK(BM_LookupEurope)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
