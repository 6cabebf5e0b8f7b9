// Rendering of countries-10m (8.1 million points, 920 thousand rings) into the
// viewer's 1000 x 750 image: at full extent, after a pan of 100 pixels and
// after three zoom-in steps. The goal is under 30 ms per frame.
//
// Time is wall-clock time per frame; CPU is that of the whole process, both
// render threads included. The map is read once (a few seconds); the drawing
// copy is made as the viewer makes it after every change of the content, and
// its time and size are reported beside the frames.
#include <benchmark/benchmark.h>

#include <QImage>

#include <chrono>
#include <memory>
#include <string>

#include "mapfiles/MapFiles.h"
#include "viewer/canvas/MapCanvas.h"

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

enum class Source { DrawingCopy, Edges };

// Sets the canvas up as the viewer would show the frame; returns the seconds
// the drawing copy took to make (0 without one).
double PrepareFrame(CMapCanvas& canvas, const C2DHoledPolyBaseSet& map, Frame frame,
                    Source source) {
    canvas.lineColour = QColor(200, 0, 0);
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    canvas.FitToBounds(map);
    double copySeconds = 0.0;
    if (source == Source::DrawingCopy) {
        const auto start = std::chrono::steady_clock::now();
        canvas.PrepareDrawingCopy(map);
        copySeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
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
    return copySeconds;
}

std::size_t VertexCount(const C2DHoledPolyBaseSet& map) {
    std::size_t count = 0;
    for (unsigned i = 0; i < map.GetSize(); ++i) {
        count += map.GetAt(i)->GetTotalLineCount();
    }
    return count;
}

void BM_Render(benchmark::State& state, Frame frame, Source source) {
    const C2DHoledPolyBaseSet* map = LoadedMap();
    if (map == nullptr) {
        state.SkipWithError("countries-10m.shp is missing");
        return;
    }
    CMapCanvas canvas;
    const double copySeconds = PrepareFrame(canvas, *map, frame, source);
    for (auto _ : state) {
        canvas.Render(*map);
        benchmark::DoNotOptimize(canvas.GetImage()->constBits());
    }
    if ((source == Source::DrawingCopy) != canvas.RenderedWithCopy()) {
        state.SkipWithError("the drawing copy was not used as intended");
        return;
    }
    state.counters["polygons"] = static_cast<double>(map->GetSize());
    if (source == Source::DrawingCopy) {
        static const std::size_t vertices = VertexCount(*map);
        state.counters["copy_ms"] = copySeconds * 1000.0;
        state.counters["copy_B_per_vertex"] =
            static_cast<double>(canvas.GetDrawingCopyBytes()) / static_cast<double>(vertices);
    }
}

// Every frame: milliseconds, the CPU time of both render threads, the
// median of five repetitions.
void FrameSettings(benchmark::internal::Benchmark* benchmark) {
    benchmark->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(BM_Render, FullExtent, Frame::FullExtent, Source::DrawingCopy)
    ->Apply(FrameSettings);
BENCHMARK_CAPTURE(BM_Render, Pan100px, Frame::Panned, Source::DrawingCopy)->Apply(FrameSettings);
BENCHMARK_CAPTURE(BM_Render, ZoomIn3Steps, Frame::Zoomed, Source::DrawingCopy)
    ->Apply(FrameSettings);
// The same full frame drawn from the edge objects, without the copy.
BENCHMARK_CAPTURE(BM_Render, FullExtentFromEdges, Frame::FullExtent, Source::Edges)
    ->Apply(FrameSettings);

} // namespace

BENCHMARK_MAIN();
