// The viewer on the largest map with the display geometry: each command as
// the toolbar runs it, timed from the command to the next frame (the
// display geometry built and the image rendered), frames at full extent,
// and the memory of the undo copy and the display geometry per vertex.
//
//   bench_sphere [MAP] [--still-spells]   (default: the shared countries-10m)
//
// --still-spells lists every spell of more than a quarter second in which the
// load's progress bar did not move.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "projection/Projection.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"

namespace {

using Clock = std::chrono::steady_clock;

// The progress bar should move at least this often, seconds.
constexpr double StillSpellLimit = 0.25;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor time of the whole process (all threads), seconds: on a busy
// machine it says what a command costs when wall time cannot.
double ProcessorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::size_t VertexCount(const C2DHoledPolyBaseSet& content) {
    std::size_t count = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        count += content.GetAt(i)->GetTotalLineCount();
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    std::string path = std::string(MARLO_SHARED_DATA_DIR) + "/countries-10m.shp";
    bool showStillSpells = false;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            path = argv[i];
        } else if (std::string(argv[i]) == "--still-spells") {
            showStillSpells = true;
        }
    }
    CMarloDoc document;
    CMarloView view;
    document.AddView(&view);
    view.resize(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);

    // The longest time the load's progress bar stood still.
    Clock::time_point lastProgress = Clock::now();
    double longestStill = 0.0;
    document.SetProgressObserver([&](unsigned percent) {
        if (showStillSpells && Seconds(lastProgress) > StillSpellLimit) {
            std::printf("  the bar stood still for %.2f s before %u %%\n", Seconds(lastProgress),
                        percent);
        }
        longestStill = std::max(longestStill, Seconds(lastProgress));
        lastProgress = Clock::now();
    });
    Clock::time_point start = Clock::now();
    lastProgress = start;
    const double processorStart = ProcessorSeconds();
    document.LoadMap(path.c_str());
    document.SetProgressObserver(nullptr);
    view.grab();
    const std::size_t vertices = VertexCount(document.GetContent());
    std::printf("%s: %zu vertices, open to first frame %.2f s (processor %.2f s), progress "
                "still for at most %.2f s\n",
                path.c_str(), vertices, Seconds(start), ProcessorSeconds() - processorStart,
                longestStill);
    if (vertices == 0) {
        return 1;
    }
    // The name index is built behind the first frame; a user looks at the
    // map before the first command, by which time it is done.
    const Clock::time_point indexStart = Clock::now();
    document.FinishIndexing();
    std::printf("name index ready %.2f s after the first frame\n", Seconds(indexStart));

    const CGeoPoint origin{40.0 * DegreesToRadians, -100.0 * DegreesToRadians};
    const auto step = [&](const char* name, const std::function<void()>& command) {
        // The document's part alone, then the view's update (the display
        // geometry built), then the paint.
        document.RemoveView(&view);
        const Clock::time_point begin = Clock::now();
        const double processorBegin = ProcessorSeconds();
        command();
        const double inDocument = Seconds(begin);
        const double processorInDocument = ProcessorSeconds() - processorBegin;
        document.AddView(&view);
        view.OnUpdate(nullptr, HintContentChanged);
        const double toFrame = Seconds(begin);
        view.grab(); // the next frame
        const double withFrame = Seconds(begin);
        const double processor = ProcessorSeconds() - processorBegin;
        // A frame at full extent, rendered again.
        const Clock::time_point frame = Clock::now();
        view.redrawNeeded = true;
        view.grab();
        const double frameTime = Seconds(frame);
        const double bytes = static_cast<double>(document.GetLoadedCopy().GetBytes() +
                                                 view.canvas.GetRingDrawingBytes());
        std::printf("%-22s %5.2f s to the next frame (document %4.2f s, view update %4.2f s; "
                    "processor %4.2f s, %4.2f s in the document), frame %5.1f ms, copy + "
                    "display geometry %5.2f bytes per vertex\n",
                    name, withFrame, inDocument, toFrame - inDocument, processor,
                    processorInDocument, frameTime * 1e3, bytes / vertices);
    };
    step("Project Mollweide", [&] { document.Project("Mollweide"); });
    step("Inverse", [&] { document.InverseProject(); });
    step("Rotate N40 W100", [&] { document.Rotate(origin); });
    step("Project Orthographic", [&] { document.Project("Orthographic"); });
    step("Inverse", [&] { document.InverseProject(); });
    step("Project Mollweide", [&] { document.Project("Mollweide"); });
    step("Inverse", [&] { document.InverseProject(); });
    step("Rotate Back", [&] { document.RotateBack(); });
    return 0;
}
