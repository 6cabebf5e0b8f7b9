// Rendering of countries-10m (8.1 million points, 920 thousand rings) into the
// viewer's 1000 x 750 image: at full extent, after a pan of 100 pixels and
// after three zoom-in steps. The goal is under 30 ms per frame.
//
// Time is wall-clock time per frame; CPU is that of the whole process, both
// render threads included. The map is read once (a few seconds).
#include <benchmark/benchmark.h>

#include <QImage>

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

void BM_Render(benchmark::State& state, Frame frame) {
    const C2DHoledPolyBaseSet* map = LoadedMap();
    if (map == nullptr) {
        state.SkipWithError("countries-10m.shp is missing");
        return;
    }
    CMapCanvas canvas;
    PrepareFrame(canvas, *map, frame);
    for (auto _ : state) {
        canvas.Render(*map);
        benchmark::DoNotOptimize(canvas.GetImage()->constBits());
    }
    state.counters["polygons"] = static_cast<double>(map->GetSize());
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

} // namespace

BENCHMARK_MAIN();
