#include "tools/marlo-cli/PreparationPipeline.h"

#include "tools/marlo-cli/FlatRing.h"

#include <system_error>
#include <utility>

namespace {

// Rings go to the helpers in batches of about this many edges, so that the
// lock is taken rarely.
constexpr std::size_t BatchEdges = 8192;
// At most about this many edges handed over and not yet prepared: copied
// numbers take 32 bytes an edge, the rare ring objects some 200.
constexpr std::size_t MaxEdgesInFlight = 256 * 1024;
// Prepared batches kept for reuse.
constexpr std::size_t MaxSpareBatches = 8;

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

// Rings handed over together: copied straight rings, and ring objects.
struct CPreparationPipeline::CBatch {
    struct CFlatItem {
        std::size_t first; // in edges
        std::size_t count;
        double bounds[4];
        CRingPoints* out;
        CPiece* piece;
    };
    struct CObjectItem {
        C2DPolyBase* ring;
        CRingPoints* out;
        CPiece* piece;
        bool own;
    };
    std::vector<CFlatEdge> edges;
    std::vector<CFlatItem> flat;
    std::vector<CObjectItem> objects;
    std::size_t edgeCount = 0;

    bool IsEmpty() const { return flat.empty() && objects.empty(); }
    void Clear() {
        edges.clear();
        flat.clear();
        objects.clear();
        edgeCount = 0;
    }
};

CPreparationPipeline::CPreparationPipeline(const CMapTransformations& transformations,
                                           CMapFileWriter& writer)
    : transformations(transformations), writer(writer), withEnds(writer.WantsEdgeEnds()) {
    const double triangle[] = {0.0, 0.0, 0.0, 1.0, 1.0, 1.0};
    auto* polygon = new C2DPolygon;
    polygon->Create(triangle, 3);
    auto* holedPolygon = new C2DHoledPolygon;
    holedPolygon->SetRim(polygon);
    poolKeeper.Add(holedPolygon);
    auto* polyArc = new C2DPolyArc;
    polyArc->SetStartPoint(C2DPoint(0.0, 0.0));
    polyArc->ArcTo(C2DPoint(1.0, 0.0), true, false, 1.0);
    polyArc->Close();
    auto* holedPolyArc = new C2DHoledPolyArc;
    holedPolyArc->SetRim(polyArc);
    poolKeeper.Add(holedPolyArc);
}

CPreparationPipeline::~CPreparationPipeline() {
    StopHelpers();
    // What an abandoned conversion left in flight.
    const auto deleteOwned = [](const std::unique_ptr<CBatch>& work) {
        if (work) {
            for (const CBatch::CObjectItem& item : work->objects) {
                if (item.own) {
                    delete item.ring;
                }
            }
        }
    };
    deleteOwned(batch);
    for (const auto& work : queue) {
        deleteOwned(work);
    }
    for (const auto& work : finished) {
        deleteOwned(work);
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

std::unique_ptr<CPreparationPipeline::CBatch> CPreparationPipeline::TakeSpareBatch() {
    if (spareBatches.empty()) {
        auto fresh = std::make_unique<CBatch>();
        fresh->edges.reserve(2 * BatchEdges);
        return fresh;
    }
    std::unique_ptr<CBatch> spare = std::move(spareBatches.back());
    spareBatches.pop_back();
    return spare;
}

void CPreparationPipeline::Submit(C2DPolyBase* ring, CRingPoints* out, bool own) {
    if (!batch) {
        batch = TakeSpareBatch();
    }
    CPiece* piece = pieces.back().get();
    const std::size_t count = ring->GetLineCount();
    // The points are given their room here, so that a helper allocates
    // nothing (memory a helper allocates would come from an arena of its
    // own and stay there).
    out->starts.reserve(count);
    if (withEnds) {
        out->ends.reserve(count);
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++piece->pending;
    }
    CBatch::CFlatItem item{batch->edges.size(), count, {}, out, piece};
    if (AppendFlatRing(*ring, batch->edges, item.bounds)) {
        batch->flat.push_back(item);
        if (own) {
            delete ring;
        }
    } else {
        batch->objects.push_back(CBatch::CObjectItem{ring, out, piece, own});
    }
    batch->edgeCount += count + 1;
    edgesInFlight += count + 1;
    if (batch->edgeCount >= BatchEdges) {
        HandOver();
    }
}

void CPreparationPipeline::HandOver() {
    if (batch && !batch->IsEmpty()) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(std::move(batch));
        }
        workReady.notify_all();
    }
    CollectFinished();
    WriteDonePieces();
    // Past the bound, the reading thread works along until enough rings are
    // prepared.
    while (edgesInFlight > MaxEdgesInFlight) {
        if (!PrepareOne()) {
            std::unique_lock<std::mutex> lock(mutex);
            workReady.wait(lock, [this] { return !finished.empty(); });
        }
        CollectFinished();
        WriteDonePieces();
    }
}

void CPreparationPipeline::PrepareBatch(CBatch& work, std::vector<unsigned char>& room) {
    for (const CBatch::CFlatItem& item : work.flat) {
        PrepareFlatRing(work.edges.data() + item.first, item.count, item.bounds, transformations,
                        withEnds, *item.out, room);
    }
    for (const CBatch::CObjectItem& item : work.objects) {
        PrepareRing(*item.ring, transformations);
        TakeRingPoints(*item.ring, withEnds, *item.out);
    }
    std::lock_guard<std::mutex> lock(mutex);
    for (const CBatch::CFlatItem& item : work.flat) {
        --item.piece->pending;
    }
    for (const CBatch::CObjectItem& item : work.objects) {
        --item.piece->pending;
    }
}

bool CPreparationPipeline::PrepareOne() {
    std::unique_ptr<CBatch> work;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.empty()) {
            return false;
        }
        work = std::move(queue.front());
        queue.pop_front();
    }
    PrepareBatch(*work, scratch);
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished.push_back(std::move(work));
    }
    return true;
}

void CPreparationPipeline::HelperLoop() {
    std::vector<unsigned char> helperScratch;
    for (;;) {
        std::unique_ptr<CBatch> work;
        {
            std::unique_lock<std::mutex> lock(mutex);
            workReady.wait(lock, [this] { return !queue.empty() || stopping; });
            if (queue.empty()) {
                return;
            }
            work = std::move(queue.front());
            queue.pop_front();
        }
        PrepareBatch(*work, helperScratch);
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished.push_back(std::move(work));
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
    for (std::unique_ptr<CBatch>& work : finishedTaken) {
        edgesInFlight -= work->edgeCount;
        // A ring not owned may be gone with its piece by now.
        for (const CBatch::CObjectItem& item : work->objects) {
            if (item.own) {
                delete item.ring;
            }
        }
        // A few batches are kept for reuse, none grown large by a long ring.
        if (spareBatches.size() < MaxSpareBatches && work->edges.capacity() <= 2 * BatchEdges) {
            work->Clear();
            spareBatches.push_back(std::move(work));
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
