#include "tools/marlo-cli/MapCommandSupport.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <mutex>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

#include "mapfiles/MapFiles.h"

namespace {

constexpr int ProgressBarWidth = 40;

bool ParseFiniteNumber(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// Accepts "--name VALUE" and "--name=VALUE"; index moves past what was used.
bool TakeOptionValue(const char* command, const std::vector<std::string>& args, size_t& index,
                     const std::string& name, std::string& value) {
    const std::string& word = args[index];
    if (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
        word[name.size()] == '=') {
        value = word.substr(name.size() + 1);
        return true;
    }
    if (index + 1 >= args.size()) {
        std::fprintf(stderr, "marlo-cli %s: %s needs a value\n", command, name.c_str());
        return false;
    }
    value = args[++index];
    return true;
}

bool IsOption(const std::string& word, const std::string& name) {
    return word == name || (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
                            word[name.size()] == '=');
}

} // namespace

bool ParseRotateOrigin(const std::string& text, double& latDegrees, double& lonDegrees) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    double lat = 0.0;
    double lon = 0.0;
    if (!ParseFiniteNumber(text.substr(0, comma), lat) ||
        !ParseFiniteNumber(text.substr(comma + 1), lon)) {
        return false;
    }
    if (std::fabs(lat) > 90.0) {
        return false;
    }
    latDegrees = lat;
    lonDegrees = lon;
    return true;
}

bool ParseMapCommandOptions(const char* command, const std::vector<std::string>& args,
                            const CMapCommandSwitches& accepted, CMapCommandOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        std::string value;
        if (word == "--help" || word == "-h") {
            options.help = true;
        } else if (accepted.format2 && word == "--format2") {
            options.format2 = true;
        } else if (accepted.rotate && IsOption(word, "--rotate")) {
            if (!TakeOptionValue(command, args, i, "--rotate", value)) {
                return false;
            }
            if (!ParseRotateOrigin(value, options.rotateLatDegrees, options.rotateLonDegrees)) {
                std::fprintf(stderr,
                             "marlo-cli %s: --rotate needs LAT,LON in degrees (|LAT| <= 90), "
                             "not \"%s\"\n",
                             command, value.c_str());
                return false;
            }
            options.hasRotation = true;
        } else if (accepted.projection && IsOption(word, "--projection")) {
            if (!TakeOptionValue(command, args, i, "--projection", value)) {
                return false;
            }
            options.projectionName = value;
        } else if (word.size() > 1 && word[0] == '-' && word != "-") {
            std::fprintf(stderr, "marlo-cli %s: unknown option %s (see marlo-cli %s --help)\n",
                         command, word.c_str(), command);
            return false;
        } else {
            options.positional.push_back(word);
        }
    }
    return true;
}

void ReportUnknownProjection(const std::string& name) {
    std::fprintf(stderr, "marlo-cli: unknown projection \"%s\"; the projections are:\n",
                 name.c_str());
    for (int i = 0; i < ProjectionCount; ++i) {
        std::fprintf(stderr, "  %s\n", ProjectionNameTable[i]);
    }
}

CTerminalProgress::CTerminalProgress(std::string label)
    : label(std::move(label)), enabled(isatty(STDERR_FILENO) != 0) {}

CTerminalProgress::~CTerminalProgress() {
    EndLine();
}

void CTerminalProgress::UpdateProgress(unsigned percent) {
    if (!enabled) {
        return;
    }
    Draw(std::min(percent, 100u));
}

void CTerminalProgress::Complete() {
    if (enabled && drawn) {
        Draw(100);
    }
    EndLine();
}

void CTerminalProgress::Draw(unsigned percent) {
    // Readers report once per record; redraw only when the figure moves.
    if (static_cast<int>(percent) == lastPercent) {
        return;
    }
    lastPercent = static_cast<int>(percent);
    const int filled = static_cast<int>(percent) * ProgressBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(ProgressBarWidth - filled), ' ');
    std::fprintf(stderr, "\r%s [%s] %3u%%", label.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
    drawn = true;
}

void CTerminalProgress::Abandon() {
    EndLine();
}

void CTerminalProgress::EndLine() {
    if (drawn) {
        std::fputc('\n', stderr);
        drawn = false;
    }
}

bool MakeTransformations(const CMapCommandOptions& options, CMapTransformations& transformations) {
    if (!options.projectionName.empty()) {
        transformations.projection.reset(CreateProjection(options.projectionName.c_str()));
        if (!transformations.projection) {
            ReportUnknownProjection(options.projectionName);
            return false;
        }
    }
    if (options.hasRotation) {
        // The viewer keeps its origin in radians and hands the rotation degrees
        // again; the same round trip here gives the same origin to the last bit.
        CGeoPoint origin;
        origin.lat = options.rotateLatDegrees * DegreesToRadians;
        origin.lon = options.rotateLonDegrees * DegreesToRadians;
        transformations.rotation = std::make_unique<CGeoRotation>();
        transformations.rotation->SetOrigin(origin.lat * RadiansToDegrees,
                                            origin.lon * RadiansToDegrees);
    }
    return true;
}

bool CheckSavePath(const std::string& path) {
    if (ChooseMapFileFormat(path.c_str()) == MapFileFormat::Unknown) {
        CMapFileError error;
        error.problem = MapFileProblem::UnknownFormat;
        std::fprintf(stderr, "Could not save file: %s: %s\n", path.c_str(),
                     DescribeMapFileError(error).c_str());
        return false;
    }
    return true;
}

bool SaveMapFile(const std::string& path, const C2DHoledPolyBaseSet& content,
                 const CMapSaveInfo* info) {
    CTerminalProgress progress("Writing " + path);
    CMapFileError error;
    if (!WriteMapFile(path.c_str(), content, progress.Get(), info, &error)) {
        progress.Abandon();
        std::fprintf(stderr, "Could not save file: %s: %s\n", path.c_str(),
                     DescribeMapFileError(error).c_str());
        return false;
    }
    progress.Complete();
    return true;
}

CMapCoordinateState CoordinatesAfter(const CMapCoordinateState& loaded,
                                     const CMapTransformations& transformations) {
    CMapCoordinateState state = loaded;
    if (transformations.rotation) {
        state.kind = MapCoordinates::Unknown;
    }
    if (transformations.projection) {
        if (state.kind == MapCoordinates::Geographic) {
            state.kind = MapCoordinates::Projected;
            state.projectionType = transformations.projection->projectionType;
        } else {
            state.kind = MapCoordinates::Unknown;
        }
    }
    if (state.kind != MapCoordinates::Projected) {
        state.projectionType = -1;
    }
    return state;
}

unsigned PreparationThreadCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

void PrepareRing(C2DPolyBase& ring, const CMapTransformations& transformations) {
    // C2DHoledPolyBase::MakeClockwise applies this rule to the rim and to each
    // hole: a ring of positive or zero area is reversed.
    if (ring.GetArea() >= 0.0) {
        ring.ReverseDirection();
    }
    if (transformations.rotation) {
        ring.Transform(*transformations.rotation);
    }
    if (transformations.projection) {
        ring.Transform(*transformations.projection);
    }
}

namespace {

// Prepares rings on helper threads while the reader is still adding more.
// The reader reports progress once per record, after it has moved the
// record's holed polygons into the content; at that moment (on the reader's
// thread) their rims and holes are handed to the helpers. Rings rather than
// holed polygons are the unit of work because one holed polygon of a big map
// can hold a sixth of all edges. The reader never
// touches an element again once it is in the content, and preparing one
// allocates nothing (its rings are complete, so making them clockwise and
// transforming them rebuild rectangles in place), so the helpers never use
// the object pools, which are not thread-safe. The transformations keep no
// state that changes between calls and are shared.
class CPreparingReader final : public CProgressUpdater {
public:
    CPreparingReader(C2DHoledPolyBaseSet& content, const CMapTransformations& transformations,
                     CProgressUpdater* display)
        : content(content), transformations(transformations), display(display) {}
    ~CPreparingReader() { Finish(); }
    CPreparingReader(const CPreparingReader&) = delete;
    CPreparingReader& operator=(const CPreparingReader&) = delete;

    void Start(unsigned helperCount) {
        for (unsigned t = 0; t < helperCount; ++t) {
            // Without a helper the remaining threads simply take more of the work.
            try {
                helpers.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    void UpdateProgress(unsigned percent) override {
        if (display != nullptr) {
            display->UpdateProgress(percent);
        }
        HandOver();
    }

    // Hands over what is left, works along until everything is prepared and
    // waits for the helpers.
    void Finish() {
        if (finished) {
            return;
        }
        HandOver();
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        ready.notify_all();
        Work();
        for (std::thread& helper : helpers) {
            helper.join();
        }
        helpers.clear();
    }

private:
    void HandOver() {
        const unsigned size = content.GetSize();
        if (size == handedOver) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (unsigned i = handedOver; i < size; ++i) {
                const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
                if (holedPolygon.GetRim() != nullptr) {
                    pending.push_back(holedPolygon.GetRim());
                }
                for (unsigned h = 0; h < holedPolygon.GetHoleCount(); ++h) {
                    pending.push_back(holedPolygon.GetHole(h));
                }
            }
        }
        handedOver = size;
        ready.notify_all();
    }

    void Work() {
        for (;;) {
            C2DPolyBase* next = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex);
                ready.wait(lock, [this] { return nextPending < pending.size() || finished; });
                if (nextPending == pending.size()) {
                    return;
                }
                next = pending[nextPending++];
            }
            PrepareRing(*next, transformations);
        }
    }

    C2DHoledPolyBaseSet& content;
    const CMapTransformations& transformations;
    CProgressUpdater* display;
    unsigned handedOver = 0; // used on the reader's thread only

    std::mutex mutex;
    std::condition_variable ready;
    std::vector<C2DPolyBase*> pending;
    size_t nextPending = 0;
    bool finished = false;
    std::vector<std::thread> helpers;
};

// The content of the finished command, kept for the system to reclaim. A
// plain pointer: no destructor runs for it at exit.
C2DHoledPolyBaseSet* contentKeptUntilExit = nullptr;

// Memory per byte of map file, measured on world maps (about 240 bytes of
// objects per 16-byte shapefile vertex), with room to spare.
constexpr size_t MemoryPerShapefileByte = 16;
constexpr size_t MemoryPerTextMapByte = 10;
constexpr size_t MinLargePageReserve = size_t(64) << 20;
constexpr size_t LargePageSize = size_t(2) << 20;

} // namespace

bool LoadMapFile(const std::string& path, C2DHoledPolyBaseSet& content,
                 const CMapTransformations* prepare, CMapAttributes* attributes) {
    CTerminalProgress progress("Reading " + path);
    CMapFileError error;
    bool read = false;
    if (prepare == nullptr) {
        read = ReadMapFile(path.c_str(), content, progress.Get(), attributes, &error);
    } else {
        CPreparingReader reader(content, *prepare, progress.Get());
        reader.Start(PreparationThreadCount() - 1);
        read = ReadMapFile(path.c_str(), content, &reader, attributes, &error);
        reader.Finish();
    }
    if (!read) {
        progress.Abandon();
        std::fprintf(stderr, "Could not open file: %s: %s\n", path.c_str(),
                     DescribeMapFileError(error).c_str());
        return false;
    }
    progress.Complete();
    return true;
}

void ReserveMemoryForMap(const std::string& path) {
    std::error_code error;
    const uintmax_t fileSize = std::filesystem::file_size(path, error);
    if (error) {
        return;
    }
    const size_t perByte = ChooseMapFileFormat(path.c_str()) == MapFileFormat::TextMap
                               ? MemoryPerTextMapByte
                               : MemoryPerShapefileByte;
    if (fileSize > SIZE_MAX / perByte / 2) {
        return;
    }
    const size_t bytes = static_cast<size_t>(fileSize) * perByte;
    if (bytes < MinLargePageReserve) {
        return; // small maps fault in quickly enough
    }
    // Every allocation then comes from the one heap that grows by brk, and
    // memory freed at its top is kept rather than handed back.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    // Grow the heap once by the whole estimate and mark that range for large
    // pages; freeing the block leaves the range as free heap space that later
    // allocations are carved from. Untouched pages never become resident.
    void* block = std::malloc(bytes);
    if (block == nullptr) {
        return;
    }
    const uintptr_t start =
        (reinterpret_cast<uintptr_t>(block) + LargePageSize - 1) & ~(uintptr_t(LargePageSize) - 1);
    const uintptr_t end =
        (reinterpret_cast<uintptr_t>(block) + bytes) & ~(uintptr_t(LargePageSize) - 1);
    if (end > start) {
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
    std::free(block);
}

void KeepUntilExit(std::unique_ptr<C2DHoledPolyBaseSet> content) {
    delete contentKeptUntilExit; // only one map is ever kept
    contentKeptUntilExit = content.release();
}
