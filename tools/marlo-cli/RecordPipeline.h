#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "mapfiles/MapFileStreams.h"
#include "mapfiles/ShapefileRecords.h"
#include "tools/marlo-cli/MapConversion.h"

// Converts the records of a shapefile on worker threads: a worker splits a
// record into rims and holes as plain numbers (CFlatRecordSplitter, no
// objects); its rings are then prepared (made clockwise, rotated, projected:
// PrepareFlatRing) in chunks by whichever worker is free, so that a record
// of a million points does not keep one thread busy while the other waits.
// The reading thread goes on reading and writes the records in file order
// as they are done. Records are independent of each other, so this
// gives the bits that preparing the map record by record gives.
//
// Memory follows the records in flight, which are kept below a bound of
// points (the largest record alone may exceed it): 16 bytes a point while a
// record waits, 32 while it is prepared, 16 while it waits to be written.
class CRecordPipeline {
public:
    // Records are let in while fewer points than this are in flight (read
    // and not yet written; one record is always let in, however large). A
    // million points keep both threads busy; more only raise the memory the
    // allocator keeps once they are written.
    static constexpr std::size_t DefaultPointsInFlight = 1'000'000;
    // A split record is prepared in chunks of about this many edges, so that
    // both threads prepare a large record.
    static constexpr std::size_t DefaultChunkEdges = 65536;

    // parallelParts: records of at least this many parts are split on as
    // many threads as there are workers.
    CRecordPipeline(const CMapTransformations& transformations, CMapFileWriter& writer,
                    std::size_t maxPointsInFlight = DefaultPointsInFlight,
                    std::size_t chunkEdges = DefaultChunkEdges,
                    unsigned parallelParts = CFlatRecordSplitter::DefaultParallelParts);
    ~CRecordPipeline();
    CRecordPipeline(const CRecordPipeline&) = delete;
    CRecordPipeline& operator=(const CRecordPipeline&) = delete;

    // Starts the workers; without any, the reading thread converts each
    // record itself as it is added.
    void Start(unsigned workerCount);
    // Takes over the record (number counted from 1) and writes whatever is
    // done. False when a record ran out of memory; nothing more is then
    // converted.
    bool Add(ShapeRecord& record, int32_t recordNumber);
    // Converts and writes everything left; false as for Add.
    bool Finish();
    // Whether any record held a holed polygon.
    bool AnyHoledPolygon() const { return anyHoledPolygon; }

private:
    struct CJob;
    struct CChunk;
    class CWorkerState;

    void WorkerLoop();
    void Split(CJob& job, CWorkerState& state);
    void Prepare(const CChunk& chunk, CWorkerState& state);
    void Finished(CJob& job); // under the mutex
    bool WriteDoneJobs(bool wait);
    void StopWorkers();

    const CMapTransformations& transformations;
    CMapFileWriter& writer;
    const bool withEnds;
    const std::size_t maxPointsInFlight;
    const std::size_t chunkEdges;
    const unsigned parallelParts;
    unsigned splitThreads = 1; // set before any worker starts
    bool anyHoledPolygon = false;
    bool failed = false;
    std::unique_ptr<CWorkerState> ownState; // the reading thread's, without workers

    // Shared, under the mutex.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::unique_ptr<CJob>> jobs; // in file order, written from the front
    std::size_t nextToTake = 0;             // jobs before it are taken by workers
    std::deque<CChunk> prepareChunks;       // of split records
    std::size_t pointsInFlight = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};
