#include "tools/marlo-cli/PreparationPipeline.h"

#include <system_error>
#include <utility>

namespace {

// Rings go to the helpers in batches of about this many edges, so that the
// lock is taken rarely.
constexpr std::size_t BatchEdges = 8192;
// At most about this many edges of rings handed over and not yet deleted: at
// some 200 bytes per edge object, about 13 MB. More buys no speed: the
// helpers keep up with a few batches queued.
constexpr std::size_t MaxEdgesInFlight = 64 * 1024;

} // namespace

struct CPreparationPipeline::CPiece {
    int32_t record = -1;
    // The prepared rings; a deque, so that adding rings never moves the
    // ones the helpers are writing.
    std::deque<CRingPoints> rings;
    std::vector<CRingPoints*> rims;
    std::vector<std::vector<CRingPoints*>> holes;
    std::unique_ptr<C2DBase> owner;
    bool lastFirst = false;
    bool ended = false;
    std::size_t pending = 0; // rings not yet prepared, under the mutex
};

CPreparationPipeline::CPreparationPipeline(const CMapTransformations& transformations,
                                           CMapFileWriter& writer)
    : transformations(transformations), writer(writer), withEnds(writer.WantsEdgeEnds()) {}

CPreparationPipeline::~CPreparationPipeline() {
    StopHelpers();
    // What an abandoned conversion left in flight.
    for (const std::vector<CWork>* works : {&batch, &finished, &finishedTaken}) {
        for (const CWork& work : *works) {
            if (work.own) {
                delete work.ring;
            }
        }
    }
    for (const CWork& work : queue) {
        if (work.own) {
            delete work.ring;
        }
    }
}

void CPreparationPipeline::Start(unsigned helperCount) {
    for (unsigned t = 0; t < helperCount; ++t) {
        // Without a helper the reading thread simply does more of the work.
        try {
            helpers.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

void CPreparationPipeline::BeginPiece(int32_t record) {
    auto piece = std::make_unique<CPiece>();
    piece->record = record;
    pieces.push_back(std::move(piece));
}

void CPreparationPipeline::AddRim(C2DPolyBase* rim, bool own) {
    CPiece& piece = *pieces.back();
    CRingPoints* out = &piece.rings.emplace_back();
    piece.rims.push_back(out);
    if (piece.holes.size() < piece.rims.size()) {
        piece.holes.resize(piece.rims.size());
    }
    Submit(rim, out, own);
}

void CPreparationPipeline::AddHole(unsigned holedPolygon, C2DPolyBase* hole, bool own) {
    CPiece& piece = *pieces.back();
    CRingPoints* out = &piece.rings.emplace_back();
    if (holedPolygon >= piece.holes.size()) {
        piece.holes.resize(holedPolygon + 1);
    }
    piece.holes[holedPolygon].push_back(out);
    Submit(hole, out, own);
}

void CPreparationPipeline::EndPiece(std::unique_ptr<C2DBase> owner, bool lastFirst) {
    CPiece& piece = *pieces.back();
    piece.owner = std::move(owner);
    piece.lastFirst = lastFirst;
    piece.holes.resize(piece.rims.size());
    {
        std::lock_guard<std::mutex> lock(mutex);
        piece.ended = true;
    }
    HandOver();
}

void CPreparationPipeline::Finish() {
    HandOver();
    while (PrepareOne()) {
    }
    for (;;) {
        CollectFinished();
        WriteDonePieces();
        if (pieces.empty()) {
            break;
        }
        // The helpers are still at their last rings.
        std::unique_lock<std::mutex> lock(mutex);
        workReady.wait(lock, [this] { return !finished.empty(); });
    }
    StopHelpers();
}

void CPreparationPipeline::Submit(C2DPolyBase* ring, CRingPoints* out, bool own) {
    CPiece* piece = pieces.back().get();
    const std::size_t edges = std::size_t{ring->GetLineCount()} + 1;
    // The points are given their room here, so that a helper allocates
    // nothing (memory a helper allocates would come from an arena of its
    // own and stay there).
    out->starts.reserve(edges);
    if (withEnds) {
        out->ends.reserve(edges);
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++piece->pending;
    }
    batch.push_back(CWork{ring, out, piece, edges, own});
    batchEdges += edges;
    edgesInFlight += edges;
    if (batchEdges >= BatchEdges) {
        HandOver();
    }
}

void CPreparationPipeline::HandOver() {
    if (!batch.empty()) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.insert(queue.end(), batch.begin(), batch.end());
        }
        workReady.notify_all();
        batch.clear();
        batchEdges = 0;
    }
    CollectFinished();
    WriteDonePieces();
    // Past the bound, the reading thread works along until enough rings are
    // deleted.
    while (edgesInFlight > MaxEdgesInFlight) {
        if (!PrepareOne()) {
            std::unique_lock<std::mutex> lock(mutex);
            workReady.wait(lock, [this] { return !finished.empty(); });
        }
        CollectFinished();
        WriteDonePieces();
    }
}

void CPreparationPipeline::Prepare(const CWork& work) {
    PrepareRing(*work.ring, transformations);
    TakeRingPoints(*work.ring, withEnds, *work.out);
}

bool CPreparationPipeline::PrepareOne() {
    CWork work{};
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.empty()) {
            return false;
        }
        work = queue.front();
        queue.pop_front();
    }
    Prepare(work);
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished.push_back(work);
        --work.piece->pending;
    }
    return true;
}

void CPreparationPipeline::HelperLoop() {
    std::vector<CWork> taken;
    for (;;) {
        taken.clear();
        {
            std::unique_lock<std::mutex> lock(mutex);
            workReady.wait(lock, [this] { return !queue.empty() || stopping; });
            if (queue.empty()) {
                return;
            }
            // A share of the queue, leaving some for the reading thread.
            std::size_t edges = 0;
            while (!queue.empty() && edges < BatchEdges / 4) {
                edges += queue.front().edges;
                taken.push_back(queue.front());
                queue.pop_front();
            }
        }
        for (const CWork& work : taken) {
            Prepare(work);
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (const CWork& work : taken) {
                finished.push_back(work);
                --work.piece->pending;
            }
        }
        workReady.notify_all();
    }
}

void CPreparationPipeline::CollectFinished() {
    finishedTaken.clear();
    {
        std::lock_guard<std::mutex> lock(mutex);
        finishedTaken.swap(finished);
    }
    // A ring not owned may be gone with its piece by now: only its count is
    // read.
    for (const CWork& work : finishedTaken) {
        edgesInFlight -= work.edges;
        if (work.own) {
            delete work.ring;
        }
    }
    finishedTaken.clear();
}

void CPreparationPipeline::WriteDonePieces() {
    while (!pieces.empty()) {
        CPiece& piece = *pieces.front();
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!piece.ended || piece.pending != 0) {
                return;
            }
        }
        WritePiece(piece);
        pieces.pop_front();
    }
}

void CPreparationPipeline::WritePiece(CPiece& piece) {
    CHoledPolygonPoints points;
    const std::size_t count = piece.rims.size();
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t h = piece.lastFirst ? count - 1 - k : k;
        points.hasRim = true;
        points.rim = std::move(*piece.rims[h]);
        points.holes.clear();
        for (CRingPoints* hole : piece.holes[h]) {
            points.holes.push_back(std::move(*hole));
        }
        writer.WriteHoledPolygon(points, piece.record);
    }
    piece.owner.reset();
}

void CPreparationPipeline::StopHelpers() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    workReady.notify_all();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    helpers.clear();
}
