// Boxes over the vehicles of the game's pool, and the two gun paths.
#include <cmath>
#include <limits>

#include "testing/gamemodel/GameModel.h"
#include "tests/symbology/Fixture.h"

namespace {

class Targets : public SymbologyTest {
  protected:
    void SetUp() override {
        SymbologyTest::SetUp();
        GameSetVelocity(0, 2, 0);
    }
};

struct PoolCase {
    const char* Name;
    std::vector<uint8_t> Flags;
    std::vector<int> Boxed; // slots expected to get a box, in order
};

class Pool : public Targets, public ::testing::WithParamInterface<PoolCase> {};

TEST_P(Pool, EveryOccupiedSlotGetsABoxWhereItsPositionProjects) {
    const PoolCase& c = GetParam();
    GameSetPool(int(c.Flags.size()));
    for (size_t i = 0; i < c.Flags.size(); ++i) {
        GamePool()->Flags[i] = c.Flags[i];
        // Slot i stands 30 i to the right and 100 ahead of the camera at (0, -20, 5).
        if (i > 0) GameMatrixRecord(int(i))->Position = {30.0f * i, 80, 5, 0};
    }
    Display d = DrawFrame();
    std::vector<Drawn> boxes = d.Shapes("TargetBox");
    ASSERT_EQ(boxes.size(), c.Boxed.size());
    for (size_t k = 0; k < boxes.size(); ++k) {
        int slot = c.Boxed[k];
        // The player's own vehicle at the origin: 20 ahead, 5 below the camera.
        float x = slot == 0 ? 0 : 1.5f * 30 * slot / 100.1f;
        float y = slot == 0 ? -0.4995f : 0;
        EXPECT_NEAR(boxes[k].Matrix._41, x, 1e-5f) << "slot " << slot;
        EXPECT_NEAR(boxes[k].Matrix._42, y, 1e-5f) << "slot " << slot;
        EXPECT_NEAR(boxes[k].Matrix._43, 1, 1e-6f);
        EXPECT_EQ(boxes[k].Matrix._11, Geometry.DisplayBasis._11) << "not a fixed size";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Pool,
                         ::testing::Values(PoolCase{"AllOccupied", {0, 0, 0}, {0, 1, 2}},
                                           PoolCase{"Bit7Skips", {0, 0x80, 0x7F, 0xFF}, {0, 2}},
                                           PoolCase{"AllEmpty", {0x80, 0xFF, 0x80}, {}}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Targets, NoPoolSlotsNoBoxes) {
    for (int count : {0, -3}) {
        GameSetPool(1);
        GamePool()->Count = count;
        Display d = DrawFrame();
        EXPECT_EQ(d.Count("TargetBox"), 0) << count;
        EXPECT_EQ(d.Count("Path"), 2) << count;
    }
}

// Issue point 5.
TEST_F(Targets, ASlotWithoutAPlacementIsSkipped) {
    GameSetPool(3);
    GameMatrixRecord(2)->Position = {60, 80, 5, 1};
    GameVehicleSlot(1)->Matrix = nullptr;
    Display d = DrawFrame();
    std::vector<Drawn> boxes = d.Shapes("TargetBox");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NEAR(boxes[1].Matrix._41, 1.5f * 60 / 100.1f, 1e-5f);
}

// Issue point 6: a vehicle behind the camera is handed over with depth -1 for the line drawer
// to clip.
TEST_F(Targets, AVehicleBehindTheCameraIsHandedOverWithDepthMinusOne) {
    GameSetPool(2);
    GameMatrixRecord(1)->Position = {0, -200, 5, 1};
    Display d = DrawFrame();
    std::vector<Drawn> boxes = d.Shapes("TargetBox");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NEAR(boxes[1].Matrix._43, -1, 1e-6f);
}

struct GunCase {
    const char* Name;
    D3DXVECTOR3 Wind;
    bool Record, RecordOffsets;
    float Offsets[2];
    D3DXVECTOR3 First, Twentieth;
};

class Guns : public Targets, public ::testing::WithParamInterface<GunCase> {};

TEST_P(Guns, PredictTwentyPointsDrawnOncePerGun) {
    const GunCase& c = GetParam();
    for (int i = 0; i < 3; ++i)
        GameWind()[i] = c.Wind[i];
    if (c.Record) {
        GameGunPointer() = GameGunRecord();
        GameGunOffsets()[0] = -3;
        GameGunOffsets()[3] = 3;
        if (!c.RecordOffsets) GameGunRecord()->Offsets = nullptr;
    }
    Display d = DrawFrame();
    std::vector<Drawn> paths = d.Shapes("Path");
    ASSERT_EQ(paths.size(), 2u);
    // The last strokes of the frame.
    EXPECT_EQ(d.Sequence.back().Name, "Path");
    EXPECT_EQ(d.Sequence[d.Sequence.size() - 2].Name, "Path");
    for (const Drawn& p : paths) {
        ASSERT_EQ(p.Points.size(), 20u);
        EXPECT_NEAR(p.Points[0].x, c.First.x, 2e-3f);
        EXPECT_NEAR(p.Points[0].y, c.First.y, 2e-2f);
        EXPECT_NEAR(p.Points[0].z, c.First.z, 2e-2f);
        if (!std::isnan(c.Twentieth.x)) {
            EXPECT_NEAR(p.Points[19].x, c.Twentieth.x, 0.1f);
        }
        EXPECT_NEAR(p.Points[19].y, c.Twentieth.y, 0.1f);
        EXPECT_NEAR(p.Points[19].z, c.Twentieth.z, 0.1f);
        for (int k = 1; k < 20; ++k)
            EXPECT_GT(p.Points[k].y, p.Points[k - 1].y);
        for (int k = 0; k < 20; ++k)
            EXPECT_EQ(p.Points[k], paths[0].Points[k]);
    }
    // Each gun's transform shifts the path along the right axis, then goes through the scene's
    // view and the projection with ten times its clipping distances.
    const D3DXMATRIX& farView = Geometry.FarViewProjection;
    for (int g = 0; g < 2; ++g) {
        const D3DXMATRIX& m = paths[g].Matrix;
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 4; ++col)
                EXPECT_EQ(m.m[r][col], farView.m[r][col]);
        for (int col = 0; col < 4; ++col)
            EXPECT_NEAR(m.m[3][col], farView.m[3][col] + c.Offsets[g] * farView.m[0][col], 1e-5f)
                << "gun " << g;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Guns,
                         ::testing::Values(GunCase{"Calm",
                                                   {0, 0, 0},
                                                   false,
                                                   false,
                                                   {-4.375519f, 4.364128f},
                                                   {0, 189.19f, -0.65f},
                                                   {0, 3089.9f, -135.4f}},
                                           GunCase{"CrossWind",
                                                   {5, 0, 0},
                                                   false,
                                                   false,
                                                   {-4.375519f, 4.364128f},
                                                   {0.016f, 189.19f, -0.65f},
                                                   {NAN, 3089.9f, -135.4f}},
                                           GunCase{"GunRecord",
                                                   {0, 0, 0},
                                                   true,
                                                   true,
                                                   {-3, 3},
                                                   {0, 189.19f, -0.65f},
                                                   {0, 3089.9f, -135.4f}},
                                           GunCase{"GunRecordWithoutOffsets",
                                                   {0, 0, 0},
                                                   true,
                                                   false,
                                                   {-4.375519f, 4.364128f},
                                                   {0, 189.19f, -0.65f},
                                                   {0, 3089.9f, -135.4f}}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Targets, WindDriftsThePathDownwind) {
    GameWind()[0] = 5;
    Display d = DrawFrame();
    std::vector<Drawn> paths = d.Shapes("Path");
    ASSERT_EQ(paths.size(), 2u);
    for (int k = 1; k < 20; ++k)
        EXPECT_GT(paths[0].Points[k].x, paths[0].Points[k - 1].x);
}

// Issue point 1: a velocity that is not a number leaves the paths out, not the boxes.
TEST_F(Targets, APathThatIsNotFiniteIsNotDrawn) {
    GameSetVelocity(std::numeric_limits<float>::quiet_NaN(), 2, 0);
    Display d = DrawFrame();
    EXPECT_EQ(d.Count("Path"), 0);
    EXPECT_EQ(d.Count("TargetBox"), 1);
}

} // namespace

namespace {

// The game's placement record pads its rows; nothing takes that fourth column as a weight.
TEST_F(Targets, ThePlacementsFourthColumnIsNotAWeight) {
    HostMatrix* m = GameMatrixRecord(0);
    m->Right.w = 7;
    m->Forward.w = -3;
    m->Up.w = 0.5f;
    m->Position.w = 0;
    Display d = DrawFrame();
    std::vector<Drawn> paths = d.Shapes("Path");
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_NEAR(paths[0].Points[0].y, 189.19f, 2e-2f);
    EXPECT_NEAR(paths[0].Points[0].z, -0.65f, 2e-2f);
    std::vector<Drawn> cross = d.Shapes("BoresightCross");
    ASSERT_EQ(cross.size(), 1u);
    EXPECT_NEAR(cross[0].Matrix._41, 0, 1e-6f);
    EXPECT_NEAR(cross[0].Matrix._42, 0, 1e-6f);
}

} // namespace
