// The copied-ring preparation of convert against the edge objects it stands
// in for, alone and in the record pipeline: random rings of both windings, degenerate and
// non-finite ones, every combination of rotation and projection, with and without edge ends. Every
// number must have the same bits, or the streamed files would differ from what the viewer's road
// writes.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mapfiles/ShapefileRecords.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tools/marlo-cli/FlatRing.h"
#include "tools/marlo-cli/MapConversion.h"
#include "tools/marlo-cli/RecordPipeline.h"

namespace {

bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// Random rings in degrees: small jittered circles anywhere on the earth
// (either winding), with now and then a repeated vertex, a ring of one or
// two vertices, or a vertex that is not finite.
std::vector<std::vector<double>> RandomRings(unsigned seed, int count) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::vector<double>> rings;
    for (int r = 0; r < count; ++r) {
        const int size = r % 17 == 0 ? 1 + r % 3 : 3 + static_cast<int>(unit(random) * 40);
        const double cx = -180.0 + 360.0 * unit(random);
        const double cy = -90.0 + 180.0 * unit(random);
        const double radius = 1e-4 + 3.0 * unit(random);
        const double turn = unit(random) < 0.5 ? 1.0 : -1.0;
        std::vector<double> points;
        for (int k = 0; k < size; ++k) {
            const double angle = turn * 2.0 * M_PI * k / size;
            const double jitter = 1.0 + 0.3 * unit(random);
            points.push_back(
                std::fmin(180.0, std::fmax(-180.0, cx + radius * jitter * std::cos(angle))));
            points.push_back(
                std::fmin(90.0, std::fmax(-90.0, cy + radius * jitter * std::sin(angle))));
            if (k > 0 && unit(random) < 0.05) {
                points[points.size() - 2] = points[points.size() - 4];
                points[points.size() - 1] = points[points.size() - 3];
            }
        }
        if (r % 29 == 5) {
            points[0] = std::numeric_limits<double>::quiet_NaN();
        }
        rings.push_back(points);
    }
    return rings;
}

void ExpectSameRing(const CRingPoints& flat, const CRingPoints& objects, const char* what) {
    ASSERT_EQ(flat.starts.size(), objects.starts.size()) << what;
    ASSERT_EQ(flat.ends.size(), objects.ends.size()) << what;
    for (std::size_t k = 0; k < flat.starts.size(); ++k) {
        ASSERT_TRUE(SameBits(flat.starts[k].x, objects.starts[k].x) &&
                    SameBits(flat.starts[k].y, objects.starts[k].y))
            << what << ", start " << k;
    }
    for (std::size_t k = 0; k < flat.ends.size(); ++k) {
        ASSERT_TRUE(SameBits(flat.ends[k].x, objects.ends[k].x) &&
                    SameBits(flat.ends[k].y, objects.ends[k].y))
            << what << ", end " << k;
    }
    const CEdgeBox& a = flat.bounds;
    const CEdgeBox& b = objects.bounds;
    EXPECT_TRUE(SameBits(a.left, b.left) && SameBits(a.top, b.top) && SameBits(a.right, b.right) &&
                SameBits(a.bottom, b.bottom))
        << what << ", bounds";
}

} // namespace

TEST(FlatRing, PreparesRingsToTheBitsOfTheEdgeObjects) {
    const std::vector<std::vector<double>> rings = RandomRings(20261207, 400);
    const char* projections[] = {nullptr, "Mollweide", "Orthographic", "Mercator", "Stereographic"};
    std::vector<unsigned char> room;
    int compared = 0;
    for (const bool rotate : {false, true}) {
        for (const char* name : projections) {
            CMapTransformations steps;
            if (rotate) {
                steps.rotation = std::make_unique<CGeoRotation>();
                steps.rotation->SetOrigin(40.0, -100.0);
            }
            if (name != nullptr) {
                steps.projection.reset(CreateProjection(name));
                ASSERT_NE(steps.projection, nullptr) << name;
            }
            for (const bool withEnds : {false, true}) {
                for (const std::vector<double>& points : rings) {
                    C2DPolygon ring;
                    ring.Create(points.data(), static_cast<unsigned>(points.size() / 2));
                    std::vector<CFlatEdge> edges;
                    double bounds[4];
                    ASSERT_TRUE(AppendFlatRing(ring, edges, bounds));
                    CRingPoints flat;
                    flat.starts.reserve(edges.size());
                    flat.ends.reserve(edges.size());
                    PrepareFlatRing(edges.data(), edges.size(), bounds, steps, withEnds, flat,
                                    room);
                    PrepareRing(ring, steps);
                    CRingPoints objects;
                    TakeRingPoints(ring, withEnds, objects);
                    ExpectSameRing(flat, objects, name != nullptr ? name : "no projection");
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 2 * 5 * 2 * 400);
}

TEST(FlatRing, RingsWithArcsStayObjects) {
    C2DPolyArc ring;
    ring.SetStartPoint(C2DPoint(0.0, 0.0));
    ring.LineTo(C2DPoint(1.0, 0.0));
    ring.ArcTo(C2DPoint(1.0, 1.0), true, false, 1.0);
    ring.Close();
    std::vector<CFlatEdge> edges = {CFlatEdge{1.0, 2.0, 3.0, 4.0}};
    double bounds[4] = {};
    EXPECT_FALSE(AppendFlatRing(ring, edges, bounds));
    EXPECT_EQ(edges.size(), 1u); // nothing added, nothing lost
}

namespace {

// What a converter hands to its writer, in order.
class CRecordingWriter final : public CMapFileWriter {
public:
    explicit CRecordingWriter(bool withEnds) : withEnds(withEnds) {}
    bool WantsEdgeEnds() const override { return withEnds; }
    void WriteHoledPolygon(const CHoledPolygonPoints& polygon, int32_t record) override {
        std::vector<double>& out = written.emplace_back();
        out.push_back(record);
        const auto ring = [&](const CRingPoints& points) {
            out.push_back(points.GetEdgeCount());
            for (const CPointXY& p : points.starts) {
                out.insert(out.end(), {p.x, p.y});
            }
            for (const CPointXY& p : points.ends) {
                out.insert(out.end(), {p.x, p.y});
            }
            const CEdgeBox& b = points.bounds;
            out.insert(out.end(), {b.left, b.top, b.right, b.bottom});
        };
        out.push_back(polygon.hasRim);
        ring(polygon.rim);
        for (const CRingPoints& hole : polygon.holes) {
            ring(hole);
        }
    }
    bool Finish(const CMapSaveInfo*, CMapFileError*) override { return true; }

    std::vector<std::vector<double>> written;

private:
    bool withEnds;
};

bool SameBits(const std::vector<std::vector<double>>& a,
              const std::vector<std::vector<double>>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size() ||
            std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(double)) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

// Records converted whole on worker threads, their rings prepared in chunks
// by whichever thread is free, are written in file order with the bits the
// edge objects give record by record: with no worker, one and two, with a
// bound on the points in flight that only lets one record in at a time and
// with none, with chunks of a few edges and of many, with every record of
// two parts or more split on as many threads as there are workers, for a
// rotated Mollweide and for plain edge ends.
TEST(RecordPipeline, WritesWhatTheEdgeObjectsGiveInFileOrder) {
    std::vector<std::pair<ShapeRecord, int32_t>> records;
    CShapefileRecordReader reader;
    ASSERT_TRUE(
        reader.Open((std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp").c_str(), nullptr));
    ShapeRecord record;
    RecordReading reading = RecordReading::End;
    while (reader.Next(record, reading)) {
        if (reading == RecordReading::Polygon) {
            records.emplace_back(record, reader.GetRecordNumber());
        }
    }
    ASSERT_GT(records.size(), 200u);

    for (const bool transformed : {true, false}) {
        CMapTransformations steps;
        if (transformed) {
            steps.rotation = std::make_unique<CGeoRotation>();
            steps.rotation->SetOrigin(40.0, -100.0);
            steps.projection.reset(CreateProjection("Mollweide"));
        }
        const bool withEnds = !transformed;
        // The edge objects, record by record, holed polygons last first.
        CRecordingWriter expected(withEnds);
        for (const auto& [source, number] : records) {
            std::unique_ptr<C2DHoledPolygonSet> set(RecordToHoledPolygons(source));
            for (unsigned i = set->GetSize(); i-- > 0;) {
                C2DHoledPolyBase& holed = *set->GetAt(i);
                PrepareRing(*holed.GetRim(), steps);
                for (unsigned h = 0; h < holed.GetHoleCount(); ++h) {
                    PrepareRing(*holed.GetHole(h), steps);
                }
                CHoledPolygonPoints points;
                TakeHoledPolygonPoints(holed, withEnds, points);
                expected.WriteHoledPolygon(points, number);
            }
        }
        for (const unsigned workers : {0u, 1u, 2u}) {
            struct CSetting {
                std::size_t inFlight;
                std::size_t chunk;
                unsigned parallelParts;
            };
            constexpr std::size_t defaultInFlight = CRecordPipeline::DefaultPointsInFlight;
            constexpr std::size_t defaultChunk = CRecordPipeline::DefaultChunkEdges;
            for (const auto& [inFlight, chunk, parallelParts] :
                 {CSetting{1, 16, CFlatRecordSplitter::DefaultParallelParts},
                  CSetting{defaultInFlight, defaultChunk,
                           CFlatRecordSplitter::DefaultParallelParts},
                  CSetting{defaultInFlight, 16, 2}}) {
                CRecordingWriter written(withEnds);
                CRecordPipeline pipeline(steps, written, inFlight, chunk, parallelParts);
                pipeline.Start(workers);
                for (auto [source, number] : records) {
                    ASSERT_TRUE(pipeline.Add(source, number));
                }
                ASSERT_TRUE(pipeline.Finish());
                EXPECT_TRUE(pipeline.AnyHoledPolygon());
                EXPECT_TRUE(SameBits(written.written, expected.written))
                    << workers << " workers, " << inFlight << " points in flight, chunks of "
                    << chunk << ", split on threads from " << parallelParts << " parts";
            }
        }
    }
}

namespace {

// A projection that runs out of memory on one longitude, as preparing a
// ring's points may: it throws what a failed allocation throws.
class COutOfMemoryAt final : public CProjection {
public:
    explicit COutOfMemoryAt(double longitude) : CProjection(0), longitude(longitude) {}
    void Project(double& lat, double& lon) override {
        if (lon == longitude) {
            throw std::bad_alloc();
        }
        lat *= 0.5;
    }
    void InverseProject(double& y, double& x) override {
        y *= 2.0;
        (void)x;
    }

private:
    double longitude;
};

// A record of one square ring, half a degree wide, from longitude x on, in
// the file's clockwise order.
ShapeRecord SquareRecord(double x) {
    ShapeRecord record;
    record.numParts = 1;
    record.numPoints = 5;
    record.parts = {0};
    record.points = {x, 0.0, x, 0.5, x + 0.5, 0.5, x + 0.5, 0.0, x, 0.0};
    return record;
}

} // namespace

// Memory running out while a record's rings are prepared fails the
// conversion as running out while splitting one does: the records before it
// are written, nothing after it, and every call after it says so; no worker
// may end the process with the exception.
TEST(RecordPipeline, MemoryRunningOutWhilePreparingFailsTheConversion) {
    for (const unsigned workers : {0u, 1u, 2u}) {
        CMapTransformations steps;
        steps.projection = std::make_unique<COutOfMemoryAt>(50.0);
        CRecordingWriter written(false);
        // One record at a time, so that the records before the failing one
        // are written before it is taken.
        CRecordPipeline pipeline(steps, written, 1, 16);
        pipeline.Start(workers);
        bool added = true;
        for (int k = 0; k < 100 && added; ++k) {
            ShapeRecord record = SquareRecord(k);
            added = pipeline.Add(record, k + 1);
        }
        EXPECT_FALSE(pipeline.Finish()) << workers << " workers";
        ASSERT_EQ(written.written.size(), 50u) << workers << " workers";
        for (std::size_t k = 0; k < written.written.size(); ++k) {
            EXPECT_EQ(written.written[k][0], static_cast<double>(k + 1));
        }
    }
}
