#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFileStreams.h"
#include "tools/marlo-cli/MapConversion.h"

// Prepares the rings of a map read piece by piece on helper threads while
// the reading thread goes on, and writes the pieces in order as they are
// done.
//
// The reading thread makes every ring object and is the only one to delete
// them: the object pools are not thread-safe. A ring of straight edges has
// its numbers copied (FlatRing.h) and is deleted at once, while it is still
// in the reading thread's cache; the helpers prepare the copies. Other rings
// (with arcs) go to the helpers as objects: preparing a ring (PrepareRing)
// and copying its points (TakeRingPoints) allocate nothing from the pools,
// and the transformations keep no state that changes between calls, so the
// helpers only read and rewrite the rings handed to them; such a ring goes
// back to the reading thread to be deleted.
//
// The rings in flight (handed over and not yet prepared) are kept below a
// bound: past it the reading thread prepares rings itself instead of making
// more.
class CPreparationPipeline {
public:
    CPreparationPipeline(const CMapTransformations& transformations, CMapFileWriter& writer);
    ~CPreparationPipeline();
    CPreparationPipeline(const CPreparationPipeline&) = delete;
    CPreparationPipeline& operator=(const CPreparationPipeline&) = delete;

    // Starts the helpers; without any, the reading thread prepares
    // everything itself.
    void Start(unsigned helperCount);

    // A new piece, written after the pieces begun before it. record is the
    // source record of its rows (-1 for none).
    void BeginPiece(int32_t record);
    // Rings of the piece begun last: its next holed polygon's rim, and a hole
    // of one of its holed polygons (counted from 0 in the order of their
    // rims). Every holed polygon gets its rim before the piece ends; holes
    // may come before their rim. The pipeline deletes rings it owns once they
    // are prepared; rings it does not own must live until the piece is
    // written.
    void AddRim(C2DPolyBase* rim, bool own);
    void AddHole(unsigned holedPolygon, C2DPolyBase* hole, bool own);
    // Ends the piece begun last; owner (may be null) holds the rings not
    // owned and is deleted once the piece is written. The holed polygons are
    // written last first when lastFirst is set (as a content receives a
    // shapefile record's).
    void EndPiece(std::unique_ptr<C2DBase> owner, bool lastFirst);

    // Prepares everything left and writes every piece.
    void Finish();

private:
    struct CPiece;
    struct CBatch;

    void Submit(C2DPolyBase* ring, CRingPoints* out, bool own);
    void HandOver();
    void PrepareBatch(CBatch& batch, std::vector<unsigned char>& scratch);
    bool PrepareOne();
    void HelperLoop();
    void CollectFinished();
    void WriteDonePieces();
    void WritePiece(CPiece& piece);
    void StopHelpers();
    std::unique_ptr<CBatch> TakeSpareBatch();

    const CMapTransformations& transformations;
    CMapFileWriter& writer;
    const bool withEnds;
    // Holds one object of each kind a piece is made of: a pool goes back to
    // the heap with its last object, and would otherwise be made anew for
    // every piece.
    C2DHoledPolyBaseSet poolKeeper;

    // Used by the reading thread only.
    std::deque<std::unique_ptr<CPiece>> pieces;
    std::unique_ptr<CBatch> batch;
    std::vector<std::unique_ptr<CBatch>> spareBatches;
    std::size_t edgesInFlight = 0;
    std::vector<std::unique_ptr<CBatch>> finishedTaken;
    std::vector<unsigned char> scratch;

    // Shared, under the mutex.
    std::mutex mutex;
    std::condition_variable workReady;
    std::deque<std::unique_ptr<CBatch>> queue;
    std::vector<std::unique_ptr<CBatch>> finished;
    bool stopping = false;
    std::vector<std::thread> helpers;
};
