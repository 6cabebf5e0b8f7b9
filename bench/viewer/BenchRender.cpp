// Rendering of countries-10m (8.1 million points, 920 thousand rings) into the
// viewer's 1000 x 750 image: at full extent, after a pan of 100 pixels and
// after three zoom-in steps. The goal is under 30 ms per frame.
//
// Time is wall-clock time per frame; CPU is that of the whole process, both
// render threads included. The map is read once (a few seconds).
//
// FitToBounds builds the render index once, in the setup; the frames use it.
// BM_BuildRenderIndex measures that build (FitToBounds as a whole) and
// reports the index's size per vertex; the NoIndex frames render the same
// views without the index, edge by edge.
#include <benchmark/benchmark.h>

#include <QImage>

#include <cstdio>
#include <memory>
#include <string>

#include "mapfiles/MapFiles.h"
#include "viewer/MapCanvas.h"

namespace {

const char* const MapPath = MARLO_SHARED_DATA_DIR "/countries-10m.shp";

// The map is loaded on first use and kept for every benchmark; null when the
// file is missing or unreadable.
const C2DHoledPolyBaseSet* LoadedMap() {
    static std::unique_ptr<C2DHoledPolyBaseSet> map = [] {
        auto content = std::make_unique<C2DHoledPolyBaseSet>();
        if (!ReadShapefile(MapPath, *content, nullptr)) {
            return std::unique_ptr<C2DHoledPolyBaseSet>();
        }
        // As after loading in the viewer: every ring clockwise.
        content->MakeClockwise();
        return content;
    }();
    return map.get();
}

enum class Frame { FullExtent, Panned, Zoomed };

// Points of the map: one per edge of every ring.
double VertexCount(const C2DHoledPolyBaseSet& map) {
    double count = 0;
    for (unsigned i = 0; i < map.GetSize(); ++i) {
        count += map.GetAt(i)->GetTotalLineCount();
    }
    return count;
}

// Sets the canvas up as the viewer would show the frame.
void PrepareFrame(CMapCanvas& canvas, const C2DHoledPolyBaseSet& map, Frame frame) {
    canvas.lineColour = QColor(200, 0, 0);
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    canvas.FitToBounds(map);
    if (frame == Frame::Panned) {
        // A drag of 100 pixels to the right.
        canvas.requestedRect.Translate(C2DOffset(-100.0 / canvas.scale.x, 0.0));
        canvas.Recalculate();
    } else if (frame == Frame::Zoomed) {
        for (int step = 0; step < 3; ++step) {
            canvas.requestedRect.ScaleAboutCentre(0.7);
            canvas.Recalculate();
        }
    }
}

void RenderFrames(benchmark::State& state, Frame frame, bool withIndex) {
    const C2DHoledPolyBaseSet* map = LoadedMap();
    if (map == nullptr) {
        state.SkipWithError("countries-10m.shp is missing");
        return;
    }
    CMapCanvas canvas;
    PrepareFrame(canvas, *map, frame);
    if (!withIndex) {
        canvas.InvalidateRenderIndex();
    }
    for (auto _ : state) {
        canvas.Render(*map);
        benchmark::DoNotOptimize(canvas.GetImage()->constBits());
    }
    if (canvas.RenderedWithIndex() != withIndex) {
        state.SkipWithError("the render index was not used as intended");
    }
    if (withIndex) {
        // The index must not change a pixel of the largest map either.
        CMapCanvas plain;
        PrepareFrame(plain, *map, frame);
        plain.InvalidateRenderIndex();
        plain.Render(*map);
        if (!(*plain.GetImage() == *canvas.GetImage())) {
            state.SkipWithError("the image with the render index differs");
        }
    }
    state.counters["polygons"] = static_cast<double>(map->GetSize());
}

void BM_Render(benchmark::State& state, Frame frame) {
    RenderFrames(state, frame, true);
}

void BM_RenderNoIndex(benchmark::State& state, Frame frame) {
    RenderFrames(state, frame, false);
}

void BM_BuildRenderIndex(benchmark::State& state) {
    const C2DHoledPolyBaseSet* map = LoadedMap();
    if (map == nullptr) {
        state.SkipWithError("countries-10m.shp is missing");
        return;
    }
    CMapCanvas canvas;
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    for (auto _ : state) {
        canvas.FitToBounds(*map);
    }
    const double vertices = VertexCount(*map);
    state.counters["index_MB"] = static_cast<double>(canvas.GetRenderIndexBytes()) / 1e6;
    state.counters["bytes_per_vertex"] =
        static_cast<double>(canvas.GetRenderIndexBytes()) / vertices;
    state.counters["vertices"] = vertices;
}

BENCHMARK_CAPTURE(BM_Render, FullExtent, Frame::FullExtent)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_Render, Pan100px, Frame::Panned)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_Render, ZoomIn3Steps, Frame::Zoomed)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK(BM_BuildRenderIndex)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_RenderNoIndex, FullExtent, Frame::FullExtent)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_RenderNoIndex, Pan100px, Frame::Panned)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_RenderNoIndex, ZoomIn3Steps, Frame::Zoomed)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
