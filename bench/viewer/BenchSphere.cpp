// The viewer on the largest map with the display geometry: each command as
// the toolbar runs it, timed from the command to the next frame (the
// display geometry built and the image rendered), frames at full extent,
// and the memory of the undo copy and the display geometry per vertex.
//
//   bench_sphere [MAP] [--still-spells] [--pause SECONDS]
//                                          (default: the shared countries-10m)
//
// --still-spells lists every spell of more than a quarter second in which the
// load's progress bar did not move. --pause waits before each command, as a
// user looks at the map between commands (memory freed by one command may
// then no longer be at hand for the next).
//
// First the machine's price of fresh memory is measured: on a virtual
// machine whose host backs guest memory only when it is first touched (and
// takes back what the guest has freed), faulting memory in can cost more
// than the work done in it, and the figures above rise and fall with it.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include <sys/mman.h>

#include "geometry/HugePages.h"
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

// The process's resident memory now and at its peak, MB (0 where unknown).
struct CResidentMemory {
    double now = 0.0;
    double peak = 0.0;
};

CResidentMemory ResidentMemory() {
    CResidentMemory memory;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        double kilobytes = 0.0;
        if (key == "VmRSS:" && status >> kilobytes) {
            memory.now = kilobytes / 1024.0;
        } else if (key == "VmHWM:" && status >> kilobytes) {
            memory.peak = kilobytes / 1024.0;
        }
    }
    return memory;
}

// Seconds per GiB to fault in fresh anonymous memory, touching one byte per
// 4 KiB page, with or without huge pages; negative when none can be mapped.
double FreshMemorySecondsPerGiB(bool hugePages) {
    // Small beside the map's memory, so that the pages it leaves ready for
    // reuse hardly change the figures that follow.
    constexpr std::size_t Bytes = std::size_t(64) << 20;
    void* memory = mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return -1.0;
    }
    madvise(memory, Bytes, hugePages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
    const Clock::time_point start = Clock::now();
    auto* bytes = static_cast<volatile char*>(memory);
    for (std::size_t i = 0; i < Bytes; i += 4096) {
        bytes[i] = 1;
    }
    const double seconds = Seconds(start);
    munmap(memory, Bytes);
    return seconds * double(std::size_t(1) << 30) / double(Bytes);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // As the viewer's main() does.
    KeepFreedMemory();
    QApplication application(argc, argv);
    std::string path = std::string(MARLO_SHARED_DATA_DIR) + "/countries-10m.shp";
    bool showStillSpells = false;
    double pause = 0.0;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            path = argv[i];
        } else if (std::string(argv[i]) == "--pause" && i + 1 < argc) {
            pause = std::atof(argv[++i]);
        } else if (std::string(argv[i]) == "--still-spells") {
            showStillSpells = true;
        }
    }
    // Huge pages first: the small pages' test would leave them memory that
    // is already backed.
    const double hugePages = FreshMemorySecondsPerGiB(true);
    const double smallPages = FreshMemorySecondsPerGiB(false);
    std::printf("fresh memory on this machine now: %.2f s per GiB in 4 KiB pages, %.2f s in "
                "2 MiB pages\n",
                smallPages, hugePages);
    CMarloDoc document;
    CMarloView view;
    document.AddView(&view);
    view.resize(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);

    // The longest time the load's progress bar stood still: the document
    // reports every percentage it shows, repeats included, and only a new
    // one moves the bar.
    Clock::time_point lastProgress = Clock::now();
    double longestStill = 0.0;
    unsigned shownPercent = 0;
    document.SetProgressObserver([&](unsigned percent) {
        if (percent == shownPercent) {
            return;
        }
        shownPercent = percent;
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
    const CResidentMemory opened = ResidentMemory();
    std::printf("%s: %zu vertices, open to first frame %.2f s (processor %.2f s), progress "
                "still for at most %.2f s, resident %.0f MB (peak %.0f)\n",
                path.c_str(), vertices, Seconds(start), ProcessorSeconds() - processorStart,
                longestStill, opened.now, opened.peak);
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
        std::this_thread::sleep_for(std::chrono::duration<double>(pause));
        // The document's part alone, then the view's update (the display
        // geometry built), then the paint.
        const std::size_t readied = document.GetMemoryWarmer().GetTouchedBytes();
        if (document.GetMemoryWarmer().IsRunning()) {
            std::printf("(memory readied for the command: %zu MB)\n", readied >> 20);
        }
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
        const CResidentMemory resident = ResidentMemory();
        std::printf("%-22s %5.2f s to the next frame (document %4.2f s, view update %4.2f s; "
                    "processor %4.2f s, %4.2f s in the document), frame %5.1f ms, copy + "
                    "display geometry %5.2f bytes per vertex, resident %.0f MB (peak %.0f)\n",
                    name, withFrame, inDocument, toFrame - inDocument, processor,
                    processorInDocument, frameTime * 1e3, bytes / vertices, resident.now,
                    resident.peak);
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
