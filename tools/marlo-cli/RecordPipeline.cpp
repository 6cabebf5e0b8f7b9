#include "tools/marlo-cli/RecordPipeline.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

#include "tools/marlo-cli/FlatRing.h"

struct CRecordPipeline::CJob {
    // A ring split off the record, waiting to be prepared: its edges in
    // edges, and where its points go (hole -1 for the rim).
    struct CRing {
        std::size_t firstEdge;
        unsigned count;
        double bounds[4];
        std::size_t polygon;
        long hole;
    };

    ShapeRecord record;
    int32_t number = -1;
    std::size_t points = 0;
    CFlatRingStore edges;
    std::vector<CRing> rings;
    // The record's holed polygons, in the order of their rims.
    std::vector<CHoledPolygonPoints> polygons;
    std::size_t pendingChunks = 0; // under the mutex
    bool done = false;
    bool outOfMemory = false;

    CRingPoints& PointsOf(const CRing& ring) {
        CHoledPolygonPoints& polygon = polygons[ring.polygon];
        return ring.hole < 0 ? polygon.rim : polygon.holes[static_cast<std::size_t>(ring.hole)];
    }
};

// Rings [firstRing, endRing) of a split record, prepared by whichever thread
// takes them.
struct CRecordPipeline::CChunk {
    CJob* job;
    std::size_t firstRing;
    std::size_t endRing;
};

// What one thread keeps from record to record: its splitter's room and
// scratch for preparing rings.
class CRecordPipeline::CWorkerState final : public CFlatRingTaker {
public:
    explicit CWorkerState(unsigned parallelParts) { splitter.SetParallelParts(parallelParts); }

    // Splits the job's record into rings waiting to be prepared; false when
    // memory runs out.
    bool Split(CJob& job, unsigned threads) {
        this->job = &job;
        nextRim = 0;
        const bool split = splitter.Split(job.record, job.edges, *this, threads);
        this->job = nullptr;
        return split;
    }

    void ExpectRings(std::size_t rimCount, const std::vector<unsigned>& holeRims) override {
        job->rings.reserve(job->rings.size() + rimCount + holeRims.size());
        if (job->polygons.size() < rimCount) {
            job->polygons.resize(rimCount);
        }
        std::vector<std::size_t> holeCounts(rimCount, 0);
        for (const unsigned rim : holeRims) {
            if (rim < rimCount) {
                ++holeCounts[rim];
            }
        }
        for (std::size_t r = 0; r < rimCount; ++r) {
            job->polygons[r].holes.reserve(holeCounts[r]);
        }
    }

    void TakeFlatHole(unsigned rim, const CFlatRing& hole) override {
        if (rim >= job->polygons.size()) {
            job->polygons.resize(rim + 1);
        }
        std::vector<CRingPoints>& holes = job->polygons[rim].holes;
        holes.emplace_back();
        Keep(hole, rim, static_cast<long>(holes.size() - 1));
    }

    void TakeFlatRim(const CFlatRing& rim) override {
        // Rims come in order after every hole, each to its own holed polygon.
        if (nextRim >= job->polygons.size()) {
            job->polygons.resize(nextRim + 1);
        }
        job->polygons[nextRim].hasRim = true;
        Keep(rim, nextRim++, -1);
    }

    std::vector<unsigned char> scratch;

private:
    // The ring stays where the splitter made it, in the job's store.
    void Keep(const CFlatRing& ring, std::size_t polygon, long hole) {
        const C2DRect& b = ring.bounds;
        job->rings.push_back(
            CJob::CRing{static_cast<std::size_t>(ring.edges - job->edges.GetEdges()),
                        ring.count,
                        {b.topLeft.x, b.topLeft.y, b.bottomRight.x, b.bottomRight.y},
                        polygon,
                        hole});
    }

    CFlatRecordSplitter splitter;
    CJob* job = nullptr;
    std::size_t nextRim = 0;
};

CRecordPipeline::CRecordPipeline(const CMapTransformations& transformations, CMapFileWriter& writer,
                                 std::size_t maxPointsInFlight, std::size_t chunkEdges,
                                 unsigned parallelParts)
    : transformations(transformations), writer(writer), withEnds(writer.WantsEdgeEnds()),
      maxPointsInFlight(maxPointsInFlight), chunkEdges(chunkEdges), parallelParts(parallelParts) {}

CRecordPipeline::~CRecordPipeline() {
    StopWorkers();
}

void CRecordPipeline::Start(unsigned workerCount) {
    // A record large enough is split on as many threads as there are workers:
    // while one worker makes its way through hundreds of thousands of holes,
    // the records behind it wait to be written and the other may run dry.
    splitThreads = std::max(1u, workerCount);
    for (unsigned t = 0; t < workerCount; ++t) {
        try {
            workers.emplace_back([this] { WorkerLoop(); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

void CRecordPipeline::Split(CJob& job, CWorkerState& state) {
    bool split = false;
    try {
        split = state.Split(job, splitThreads);
    } catch (const std::bad_alloc&) {
    }
    // The record's points are in the rings now.
    std::vector<double>().swap(job.record.points);
    std::vector<int32_t>().swap(job.record.parts);
    std::vector<CChunk> chunks;
    if (split) {
        // Chunks of about chunkEdges edges, whole rings each.
        std::size_t first = 0;
        std::size_t edges = 0;
        for (std::size_t r = 0; r < job.rings.size(); ++r) {
            edges += job.rings[r].count + 1;
            if (edges >= chunkEdges || r + 1 == job.rings.size()) {
                chunks.push_back(CChunk{&job, first, r + 1});
                first = r + 1;
                edges = 0;
            }
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    job.outOfMemory = !split;
    job.pendingChunks = chunks.size();
    if (chunks.empty()) {
        Finished(job);
        return;
    }
    prepareChunks.insert(prepareChunks.end(), chunks.begin(), chunks.end());
    changed.notify_all();
}

void CRecordPipeline::Prepare(const CChunk& chunk, CWorkerState& state) {
    CJob& job = *chunk.job;
    // Memory may run out for a ring's points as well as for a record's
    // split: the record then fails as a whole, like one that could not be
    // split, instead of the exception ending a worker and the process.
    bool prepared = true;
    try {
        for (std::size_t r = chunk.firstRing; r < chunk.endRing; ++r) {
            const CJob::CRing& ring = job.rings[r];
            // Each ring's edges are its own, so they are prepared in place.
            PrepareFlatRing(job.edges.GetEdges() + ring.firstEdge, ring.count, ring.bounds,
                            transformations, withEnds, job.PointsOf(ring), state.scratch);
        }
    } catch (const std::bad_alloc&) {
        prepared = false;
    }
    std::lock_guard<std::mutex> lock(mutex);
    job.outOfMemory = job.outOfMemory || !prepared;
    if (--job.pendingChunks == 0) {
        Finished(job);
    }
}

void CRecordPipeline::Finished(CJob& job) {
    job.edges.Release();
    std::vector<CJob::CRing>().swap(job.rings);
    job.done = true;
    changed.notify_all();
}

// Prepares chunks before splitting further records: they finish the record
// the writer may be waiting for.
void CRecordPipeline::WorkerLoop() {
    CWorkerState state(parallelParts);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] {
            return stopping || !prepareChunks.empty() || nextToTake < jobs.size();
        });
        if (!prepareChunks.empty()) {
            const CChunk chunk = prepareChunks.front();
            prepareChunks.pop_front();
            lock.unlock();
            Prepare(chunk, state);
            lock.lock();
            continue;
        }
        if (nextToTake >= jobs.size()) {
            return; // stopping with nothing left to do
        }
        CJob& job = *jobs[nextToTake++];
        lock.unlock();
        Split(job, state);
        lock.lock();
    }
}

bool CRecordPipeline::Add(ShapeRecord& record, int32_t recordNumber) {
    if (failed) {
        return false;
    }
    anyHoledPolygon = anyHoledPolygon || record.numParts > 0;
    auto job = std::make_unique<CJob>();
    job->number = recordNumber;
    job->points = static_cast<std::size_t>(record.numPoints);
    std::swap(job->record, record);
    if (workers.empty()) {
        if (!ownState) {
            ownState = std::make_unique<CWorkerState>(parallelParts);
        }
        CJob& own = *job;
        {
            std::lock_guard<std::mutex> lock(mutex);
            pointsInFlight += own.points;
            jobs.push_back(std::move(job));
            nextToTake = jobs.size();
        }
        Split(own, *ownState);
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            if (prepareChunks.empty()) {
                break;
            }
            const CChunk chunk = prepareChunks.front();
            prepareChunks.pop_front();
            lock.unlock();
            Prepare(chunk, *ownState);
        }
    } else {
        // Room first: what is done is written while waiting for it.
        for (;;) {
            if (!WriteDoneJobs(false)) {
                return false;
            }
            std::unique_lock<std::mutex> lock(mutex);
            if (pointsInFlight == 0 || pointsInFlight + job->points <= maxPointsInFlight) {
                pointsInFlight += job->points;
                jobs.push_back(std::move(job));
                changed.notify_all();
                return true;
            }
            // Records are in flight, so there is a first one to wait for.
            changed.wait(lock, [this] { return jobs.front()->done; });
        }
    }
    return WriteDoneJobs(false);
}

bool CRecordPipeline::WriteDoneJobs(bool wait) {
    for (;;) {
        std::unique_ptr<CJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (wait) {
                changed.wait(lock, [this] { return jobs.empty() || jobs.front()->done; });
            }
            if (jobs.empty() || !jobs.front()->done) {
                return !failed;
            }
            job = std::move(jobs.front());
            jobs.pop_front();
            --nextToTake;
            pointsInFlight -= job->points;
            changed.notify_all();
        }
        if (failed) {
            continue; // nothing more is written after a failed record
        }
        if (job->outOfMemory) {
            failed = true;
            continue;
        }
        // A content receives a record's holed polygons last first.
        for (std::size_t k = job->polygons.size(); k-- > 0;) {
            writer.WriteHoledPolygon(job->polygons[k], job->number);
        }
    }
}

bool CRecordPipeline::Finish() {
    WriteDoneJobs(true);
    StopWorkers();
    return !failed;
}

void CRecordPipeline::StopWorkers() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers) {
        worker.join();
    }
    workers.clear();
}
