// Undo from the loaded copy: projections that fold the sphere, rotations
// that move poles and the antimeridian, and arcs all come back bit for bit;
// a rotation applied after a projection keeps to the formulas.
#include "ViewerTestSupport.h"

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tests/geometry/ContentBits.h"
#include "viewer/MarloDoc.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const CGeoPoint NorthAmerica{40.0 * DegreesToRadians, -100.0 * DegreesToRadians};

class ExactUndoTest : public ::testing::Test {
protected:
    void Load(const char* name) {
        document.LoadMap(DataPath(name).c_str());
        ASSERT_TRUE(ui.messages.isEmpty());
        ASSERT_GT(document.GetContent().GetSize(), 0u);
        loaded = ContentBits(document.GetContent());
    }

    long DifferenceFromLoaded() const {
        return FirstDifference(ContentBits(document.GetContent()), loaded);
    }

    CRecordingUserInterface ui;
    CMarloDoc document;
    std::vector<uint64_t> loaded;
};

TEST_F(ExactUndoTest, FoldingProjectionsAndRotationsComeBackBitForBit) {
    Load("world-50m-countries.shp");
    EXPECT_TRUE(document.IsGeographic());
    EXPECT_TRUE(document.FollowsLoadedCopy());
    for (const char* name : {"Orthographic", "Gnomonic", "Vertical Perspective"}) {
        SCOPED_TRACE(name);
        document.Project(name);
        ASSERT_NE(document.GetProjection(), nullptr);
        ASSERT_NE(DifferenceFromLoaded(), -1);
        document.InverseProject();
        EXPECT_EQ(DifferenceFromLoaded(), -1);
    }

    // Rotate and rotate back: poles and -180 come back as they were.
    document.Rotate(NorthAmerica);
    const std::vector<uint64_t> rotated = ContentBits(document.GetContent());
    document.RotateBack();
    EXPECT_EQ(DifferenceFromLoaded(), -1);

    // The rotation comes out as rotating the content by the formulas does.
    C2DHoledPolyBaseSet expected;
    ASSERT_TRUE(ReadMapFile(DataPath("world-50m-countries.shp").c_str(), expected, nullptr));
    expected.MakeClockwise();
    CGeoRotation rotation;
    rotation.SetOrigin(40.0, -100.0);
    expected.Transform(rotation);
    EXPECT_EQ(FirstDifference(rotated, ContentBits(expected)), -1);

    // The About box's order: rotate, project, project back, rotate back.
    document.Rotate(NorthAmerica);
    for (const char* name : {"Orthographic", "Mollweide", "Stereographic"}) {
        SCOPED_TRACE(name);
        document.Project(name);
        document.InverseProject();
        EXPECT_EQ(FirstDifference(ContentBits(document.GetContent()), rotated), -1);
    }
    document.RotateBack();
    EXPECT_EQ(DifferenceFromLoaded(), -1);
    EXPECT_TRUE(document.FollowsLoadedCopy());
}

TEST_F(ExactUndoTest, ArcsComeBackWithTheirRadiusAndSides) {
    Load("sample-arcs.vmq");
    ASSERT_TRUE(document.GetContent().GetAt(0)->HasArcs());
    document.Rotate(CGeoPoint{0.3, -0.8});
    document.Project("Orthographic");
    document.InverseProject();
    document.RotateBack();
    EXPECT_EQ(DifferenceFromLoaded(), -1);
}

TEST_F(ExactUndoTest, RotationAfterProjectionKeepsToTheFormulas) {
    Load("world-110m-land.shp");
    C2DHoledPolyBaseSet expected;
    ASSERT_TRUE(ReadMapFile(DataPath("world-110m-land.shp").c_str(), expected, nullptr));
    expected.MakeClockwise();
    std::unique_ptr<CProjection> mollweide(CreateProjection("Mollweide"));
    CGeoRotation rotation;
    rotation.SetOrigin(40.0, -100.0);
    const auto same = [&] {
        return FirstDifference(ContentBits(document.GetContent()), ContentBits(expected));
    };

    document.Project("Mollweide");
    expected.Transform(*mollweide);
    EXPECT_EQ(same(), -1);
    document.Rotate(NorthAmerica);
    expected.Transform(rotation);
    EXPECT_EQ(same(), -1);
    EXPECT_FALSE(document.FollowsLoadedCopy());
    EXPECT_TRUE(document.RotatedAfterProjection());

    // Both undo commands apply the inverse formulas to what the content now
    // holds, in whatever order they come.
    document.InverseProject();
    expected.InverseTransform(*mollweide);
    EXPECT_EQ(same(), -1);
    EXPECT_FALSE(document.RotatedAfterProjection());
    document.RotateBack();
    expected.InverseTransform(rotation);
    EXPECT_EQ(same(), -1);
    // Until the next load nothing is restored from the copy.
    EXPECT_FALSE(document.FollowsLoadedCopy());
    document.Project("Orthographic");
    std::unique_ptr<CProjection> orthographic(CreateProjection("Orthographic"));
    expected.Transform(*orthographic);
    document.InverseProject();
    expected.InverseTransform(*orthographic);
    EXPECT_EQ(same(), -1);

    // Loading starts afresh.
    Load("world-110m-land.shp");
    EXPECT_TRUE(document.FollowsLoadedCopy());
    document.Project("Mollweide");
    document.RotateBack();
    document.Rotate(NorthAmerica);
    document.RotateBack();
    EXPECT_FALSE(document.FollowsLoadedCopy());
}

TEST_F(ExactUndoTest, OnlyMapsWithinTheEarthsDegreesAreGeographic) {
    C2DHoledPolyBaseSet content;
    content.Add(MakeRectangle(-180.0, -90.0, 180.0, 90.0));
    LoadContent(document, content);
    EXPECT_TRUE(document.IsGeographic());

    C2DHoledPolyBaseSet beyond;
    beyond.Add(MakeRectangle(-10.0, -10.0, 10.0, 10.0));
    beyond.Add(MakeRectangle(170.0, 0.0, 180.5, 10.0));
    LoadContent(document, beyond);
    EXPECT_FALSE(document.IsGeographic());
    // A map that is no map of the earth still undoes exactly.
    const std::vector<uint64_t> before = ContentBits(document.GetContent());
    document.Project("Orthographic");
    document.InverseProject();
    EXPECT_EQ(FirstDifference(ContentBits(document.GetContent()), before), -1);

    // An empty map has no point on the earth.
    LoadContent(document, C2DHoledPolyBaseSet());
    EXPECT_EQ(document.GetContent().GetSize(), 0u);
    EXPECT_FALSE(document.IsGeographic());
}

} // namespace

// Project transforms each shared vertex once, on two threads; the content it
// leaves is bit for bit what projecting the content edge by edge gives, with
// and without a rotation held, arcs included.
TEST_F(ExactUndoTest, ProjectingGivesTheBitsOfTheEdgeByEdgeTransform) {
    for (const char* map : {"world-50m-countries.shp", "sample-arcs.vmq"}) {
        for (const bool rotated : {false, true}) {
            for (const char* name : {"Mollweide", "Orthographic", "Cassini"}) {
                SCOPED_TRACE(std::string(map) + " " + name + (rotated ? " rotated" : ""));
                Load(map);
                C2DHoledPolyBaseSet expected;
                ASSERT_TRUE(ReadMapFile(DataPath(map).c_str(), expected, nullptr));
                expected.MakeClockwise();
                CGeoRotation rotation;
                rotation.SetOrigin(40.0, -100.0);
                if (rotated) {
                    document.Rotate(NorthAmerica);
                    expected.Transform(rotation);
                }
                document.Project(name);
                std::unique_ptr<CProjection> projection(CreateProjection(name));
                expected.Transform(*projection);
                EXPECT_EQ(
                    FirstDifference(ContentBits(document.GetContent()), ContentBits(expected)), -1);
            }
        }
    }
}
