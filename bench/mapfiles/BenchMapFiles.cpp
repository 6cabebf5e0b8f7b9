// Reading a shapefile into a content set, making it clockwise, and writing
// it as a shapefile and as a text map, on the large maps of the shared data
// folder. Counters: vertices per second, and the process's peak memory per
// vertex after reading (run one file per process to read that figure).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "mapfiles/MapFiles.h"

namespace {

const char* const MapNames[] = {"world-10m-countries", "countries-10m"};

std::string MapPath(const std::string& name) {
    return std::string(MARLO_SHARED_DATA_DIR) + "/" + name + ".shp";
}

std::string OutputPath(const std::string& name, const char* extension) {
    const char* folder = std::getenv("MARLO_BENCH_OUT");
    return std::string(folder != nullptr ? folder : "/tmp") + "/marlo-bench-" +
           std::to_string(getpid()) + "-" + name + extension;
}

double VertexCount(const C2DHoledPolyBaseSet& content) {
    double vertices = 0.0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        vertices += content.GetAt(i)->GetTotalLineCount();
    }
    return vertices;
}

double PeakBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

// One content per map, read once for the benchmarks that need one.
C2DHoledPolyBaseSet& CachedContent(const std::string& name) {
    static std::string cachedName;
    static std::unique_ptr<C2DHoledPolyBaseSet> cached;
    if (cachedName != name) {
        cached.reset();
        cached = std::make_unique<C2DHoledPolyBaseSet>();
        ReadShapefile(MapPath(name).c_str(), *cached, nullptr);
        cached->MakeClockwise();
        cachedName = name;
    }
    return *cached;
}

void SetVertexRate(benchmark::State& state, double vertices) {
    state.counters["vertices"] = vertices;
    state.counters["vertices_per_s"] =
        benchmark::Counter(vertices, benchmark::Counter::kIsIterationInvariantRate);
}

void ReadStep(benchmark::State& state, const std::string& name) {
    double vertices = 0.0;
    for (auto _ : state) {
        auto content = std::make_unique<C2DHoledPolyBaseSet>();
        if (!ReadShapefile(MapPath(name).c_str(), *content, nullptr)) {
            state.SkipWithError("cannot read the map");
            return;
        }
        state.PauseTiming();
        vertices = VertexCount(*content);
        state.counters["peak_bytes_per_vertex"] = PeakBytes() / vertices;
        content.reset();
        state.ResumeTiming();
    }
    SetVertexRate(state, vertices);
}

void MakeClockwiseStep(benchmark::State& state, const std::string& name) {
    double vertices = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto content = std::make_unique<C2DHoledPolyBaseSet>();
        ReadShapefile(MapPath(name).c_str(), *content, nullptr);
        vertices = VertexCount(*content);
        state.ResumeTiming();
        content->MakeClockwise();
        state.PauseTiming();
        content.reset();
        state.ResumeTiming();
    }
    SetVertexRate(state, vertices);
}

void WriteShapefileStep(benchmark::State& state, const std::string& name) {
    const C2DHoledPolyBaseSet& content = CachedContent(name);
    const std::string path = OutputPath(name, ".shp");
    for (auto _ : state) {
        if (!SaveShapefile(path.c_str(), content)) {
            state.SkipWithError("cannot write the shapefile");
        }
    }
    std::remove(path.c_str());
    SetVertexRate(state, VertexCount(content));
}

void WriteTextMapStep(benchmark::State& state, const std::string& name) {
    const C2DHoledPolyBaseSet& content = CachedContent(name);
    const std::string path = OutputPath(name, ".vmq");
    for (auto _ : state) {
        if (!WriteTextMap(path.c_str(), content, nullptr)) {
            state.SkipWithError("cannot write the text map");
        }
    }
    std::remove(path.c_str());
    SetVertexRate(state, VertexCount(content));
}

// What ogr2ogr's shp-to-shp copy is compared with: read, then save.
void CopyShapefileStep(benchmark::State& state, const std::string& name) {
    const std::string path = OutputPath(name, "-copy.shp");
    double vertices = 0.0;
    for (auto _ : state) {
        auto content = std::make_unique<C2DHoledPolyBaseSet>();
        ReadShapefile(MapPath(name).c_str(), *content, nullptr);
        if (!SaveShapefile(path.c_str(), *content)) {
            state.SkipWithError("cannot write the shapefile");
        }
        state.PauseTiming();
        vertices = VertexCount(*content);
        content.reset();
        state.ResumeTiming();
    }
    std::remove(path.c_str());
    SetVertexRate(state, vertices);
}

} // namespace

int main(int argc, char** argv) {
    for (const char* name : MapNames) {
        if (access(MapPath(name).c_str(), R_OK) != 0) {
            std::fprintf(stderr, "bench_mapfiles: %s missing, skipped\n", MapPath(name).c_str());
            continue;
        }
        // The big map takes seconds per step: few repetitions.
        const int iterations = std::string(name) == "countries-10m" ? 1 : 5;
        const std::string n = name;
        using Step = void (*)(benchmark::State&, const std::string&);
        const std::pair<const char*, Step> steps[] = {{"Read", &ReadStep},
                                                      {"MakeClockwise", &MakeClockwiseStep},
                                                      {"WriteShapefile", &WriteShapefileStep},
                                                      {"WriteTextMap", &WriteTextMapStep},
                                                      {"CopyShapefile", &CopyShapefileStep}};
        for (const auto& [step, run] : steps) {
            benchmark::RegisterBenchmark((std::string(step) + "/" + n).c_str(),
                                         [run, n](benchmark::State& state) { run(state, n); })
                ->Iterations(iterations)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
