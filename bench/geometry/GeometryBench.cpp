// Speed and memory of the shapes that hold a map: building rings from point
// arrays, point-in-polygon on a long ring, transforming every edge, and the
// bytes a built ring takes per vertex.
#include <malloc.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "geometry/HoledPolygons.h"
#include "projection/Transformation.h"

namespace {

constexpr unsigned PointCount = 1000000;
// The benchmark world map has 8.1 M points in 920 k rings: about 9 per ring.
constexpr unsigned PointsPerRing = 9;

// Rings of PointsPerRing points each, side by side, as one (x, y) array.
std::vector<double> MakeRingPoints(unsigned pointCount, unsigned perRing) {
    std::vector<double> xy;
    xy.reserve(2 * pointCount);
    for (unsigned i = 0; i < pointCount; ++i) {
        const unsigned ring = i / perRing;
        const double angle = -TwoPi * (i % perRing) / perRing; // clockwise
        xy.push_back((ring % 1000) * 0.36 - 180 + 0.1 * std::cos(angle));
        xy.push_back((ring / 1000) * 0.15 - 85 + 0.05 * std::sin(angle));
    }
    return xy;
}

std::vector<std::unique_ptr<C2DPolygon>> BuildRings(const std::vector<double>& xy,
                                                    unsigned perRing) {
    const unsigned count = static_cast<unsigned>(xy.size() / 2);
    std::vector<std::unique_ptr<C2DPolygon>> rings;
    rings.reserve(count / perRing + 1);
    for (unsigned first = 0; first < count; first += perRing) {
        const unsigned n = std::min(perRing, count - first);
        auto ring = std::make_unique<C2DPolygon>();
        ring->Create(xy.data() + 2 * first, n);
        rings.push_back(std::move(ring));
    }
    return rings;
}

// Pool blocks are small enough to come from the main heap, which glibc hands
// back to the system as soon as its top is free. Warm runs keep freed memory in
// the process (as a viewer that loads one map after another does), so they
// measure the building itself; fresh-memory runs return it before every
// iteration, so each one also pays the system's first-touch page faults.
void KeepFreedMemory(bool keep) {
    mallopt(M_TRIM_THRESHOLD, keep ? 1 << 30 : 128 * 1024);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    if (!keep) {
        malloc_trim(0);
    }
}

void CreateRingsLoop(benchmark::State& state, bool freshMemory) {
    const unsigned perRing = static_cast<unsigned>(state.range(0));
    const std::vector<double> xy = MakeRingPoints(PointCount, perRing);
    KeepFreedMemory(!freshMemory);
    BuildRings(xy, perRing).clear(); // warm-up
    for (auto _ : state) {
        auto rings = BuildRings(xy, perRing);
        benchmark::DoNotOptimize(rings.data());
        state.PauseTiming();
        rings.clear();
        if (freshMemory) {
            malloc_trim(0);
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * PointCount);
    KeepFreedMemory(true);
}

void BM_CreateRings(benchmark::State& state) {
    CreateRingsLoop(state, false);
}
BENCHMARK(BM_CreateRings)->Arg(PointsPerRing)->Arg(PointCount)->Unit(benchmark::kMillisecond);

void BM_CreateRingsFreshMemory(benchmark::State& state) {
    CreateRingsLoop(state, true);
}
BENCHMARK(BM_CreateRingsFreshMemory)->Arg(PointsPerRing)->Unit(benchmark::kMillisecond);

void BM_CreateAndDeleteRings(benchmark::State& state) {
    const std::vector<double> xy = MakeRingPoints(PointCount, PointsPerRing);
    KeepFreedMemory(true);
    BuildRings(xy, PointsPerRing).clear(); // warm-up
    for (auto _ : state) {
        auto rings = BuildRings(xy, PointsPerRing);
        benchmark::DoNotOptimize(rings.data());
    }
    state.SetItemsProcessed(state.iterations() * PointCount);
}
BENCHMARK(BM_CreateAndDeleteRings)->Unit(benchmark::kMillisecond);

void BM_ContainsLongRing(benchmark::State& state) {
    constexpr unsigned Edges = 10000;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> xy;
    for (unsigned i = 0; i < Edges; ++i) {
        const double angle = TwoPi * i / Edges;
        const double radius = 10 + unit(random);
        xy.push_back(radius * std::cos(angle));
        xy.push_back(radius * std::sin(angle));
    }
    C2DPolygon ring;
    ring.Create(xy.data(), Edges);
    std::vector<C2DPoint> probes;
    for (int i = 0; i < 1024; ++i) {
        probes.emplace_back(-12 + 24 * unit(random), -12 + 24 * unit(random));
    }
    unsigned next = 0;
    unsigned inside = 0;
    for (auto _ : state) {
        inside += ring.Contains(probes[next++ % probes.size()]) ? 1 : 0;
    }
    benchmark::DoNotOptimize(inside);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ContainsLongRing);

// A cheap per-point transformation: a scaling about the origin.
class CScale : public CTransformation {
public:
    void Transform(double& x, double& y) override {
        x *= 1.25;
        y *= 1.25;
    }
    void InverseTransform(double& x, double& y) override {
        x *= 0.8;
        y *= 0.8;
    }
};

std::unique_ptr<C2DHoledPolyBaseSet> BuildContent(unsigned edgeCount) {
    const std::vector<double> xy = MakeRingPoints(edgeCount, PointsPerRing);
    auto content = std::make_unique<C2DHoledPolyBaseSet>();
    for (auto& ring : BuildRings(xy, PointsPerRing)) {
        auto* shape = new C2DHoledPolygon();
        shape->SetRim(ring.release());
        content->Add(shape);
    }
    return content;
}

void BM_TransformEdges(benchmark::State& state) {
    auto content = BuildContent(PointCount);
    CScale scale;
    bool forward = true;
    for (auto _ : state) {
        if (forward) {
            content->Transform(scale);
        } else {
            content->InverseTransform(scale);
        }
        forward = !forward;
    }
    state.SetItemsProcessed(state.iterations() * PointCount);
}
BENCHMARK(BM_TransformEdges)->Unit(benchmark::kMillisecond);

// Memory of built rings, from the pools' blocks and the two pointer arrays of
// every ring (reserved to the exact edge count by Create).
void BM_BytesPerVertex(benchmark::State& state) {
    const unsigned perRing = static_cast<unsigned>(state.range(0));
    const std::vector<double> xy = MakeRingPoints(PointCount, perRing);
    double bytes = 0;
    for (auto _ : state) {
        auto rings = BuildRings(xy, perRing);
        const auto poolBytes = [](const CObjectPool* pool) {
            return pool == nullptr ? 0.0
                                   : double(pool->GetBlockCount()) * CObjectPool::BlockSlots *
                                         double(pool->GetSlotSize());
        };
        const double pointerArrays = 2.0 * sizeof(void*) * PointCount;
        bytes = poolBytes(C2DLine::GetPool()) + poolBytes(C2DRect::GetPool()) +
                poolBytes(C2DPolygon::GetPool()) + pointerArrays;
        state.counters["lineSlot"] = double(C2DLine::GetPool()->GetSlotSize());
        state.counters["rectSlot"] = double(C2DRect::GetPool()->GetSlotSize());
        state.counters["polygonSlot"] = double(C2DPolygon::GetPool()->GetSlotSize());
        state.PauseTiming();
        rings.clear();
        state.ResumeTiming();
    }
    state.counters["bytesPerVertex"] = bytes / PointCount;
}
BENCHMARK(BM_BytesPerVertex)
    ->Arg(PointsPerRing)
    ->Arg(PointCount)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
