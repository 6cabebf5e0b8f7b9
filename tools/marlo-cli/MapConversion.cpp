#include "tools/marlo-cli/MapConversion.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "mapfiles/MapFiles.h"
#include "tools/marlo-cli/TerminalProgress.h"

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
    ring.MakeClockwise();
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
