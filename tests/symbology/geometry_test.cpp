// The display geometry on the worked camera: one looking along +y with +z up, k = 480.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "symbology/Geometry.h"
#include "testing/gamemodel/GameModel.h"
#include "tests/symbology/Fixture.h"

namespace {

constexpr float Deg = 3.14159265358979f / 180;

void ExpectMatrixNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual.m[r][c], expected.m[r][c], tolerance) << "_" << r + 1 << c + 1;
}

class Geometry : public ::testing::Test {
  protected:
    void SetUp() override {
        GameFlyJet();
        GameSetPosition(100, 200, 50);
    }
    DisplayGeometry Build(const D3DXMATRIX& view = WorkedView(),
                          const D3DXMATRIX& projection = WorkedProjection()) {
        DisplayGeometry g{};
        BuildDisplayGeometryFrom(view, projection, GameMatrixRecord(0), &g);
        return g;
    }
};

TEST_F(Geometry, DerivedMatricesOfTheWorkedCamera) {
    DisplayGeometry g = Build();
    EXPECT_FLOAT_EQ(g.K, 480);
    ExpectMatrixNear(g.ViewRotation, D3DXMATRIX(1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1), 0);
    ExpectMatrixNear(g.DirectionToClip,
                     D3DXMATRIX(1.5f, 0, 0, 0, 0, 0, 1.001f, 1, 0, 2, 0, 0, 0, 0, 0, 0), 1e-6f);
    ExpectMatrixNear(g.OffsetFreeProjection,
                     D3DXMATRIX(1.5f, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.001f, 1, 0, 0, 0, 0), 0);
    // PointToClip keeps the camera's translation, without the projection's depth offset.
    ExpectMatrixNear(g.PointToClip,
                     D3DXMATRIX(1.5f, 0, 0, 0, 0, 0, 1.001f, 1, 0, 2, 0, 0, 0, -10, 20.02f, 20),
                     1e-5f);
    EXPECT_NEAR(g.FarViewProjection._41, 0, 1e-6f);
    EXPECT_NEAR(g.FarViewProjection._42, -10, 1e-5f);
    EXPECT_NEAR(g.FarViewProjection._43, 10.01f, 1e-5f);
    EXPECT_NEAR(g.FarViewProjection._44, 20, 1e-5f);
}

TEST_F(Geometry, BasesOfALevelVehicle) {
    DisplayGeometry g = Build();
    ExpectMatrixNear(g.DisplayBasis,
                     D3DXMATRIX(1 / 640.f, 0, 0, 0, 0, 1 / 480.f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1),
                     1e-9f);
    EXPECT_FLOAT_EQ(g.AttitudeBasis._11, 0.0015625f);
    EXPECT_NEAR(g.AttitudeBasis._22, 1 / 480.f, 1e-9f);
    EXPECT_NEAR(g.AttitudeBasis._12, 0, 1e-9f);
    EXPECT_NEAR(g.AttitudeBasis._21, 0, 1e-9f);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(g.AttitudeBasis.m[c][2], 0) << "row " << c + 1 << " carries depth";
        EXPECT_EQ(g.AttitudeBasis.m[3][c], 0);
    }
    EXPECT_EQ(g.AttitudeBasis._44, 1);
}

struct AxesCase {
    const char* Name;
    D3DXVECTOR3 Right, Forward, Up;
    D3DXVECTOR4 DisplayRow1, DisplayRow2, AttitudeRow1, AttitudeRow2; // first two columns used
};

class Axes : public Geometry, public ::testing::WithParamInterface<AxesCase> {};

TEST_P(Axes, OrientTheBases) {
    const AxesCase& c = GetParam();
    GameSetAxes(c.Right, c.Forward, c.Up);
    DisplayGeometry g = Build();
    const D3DXMATRIX& d = g.DisplayBasis;
    const D3DXMATRIX& a = g.AttitudeBasis;
    const float t = 2e-7f;
    EXPECT_NEAR(d._11, c.DisplayRow1.x, t);
    EXPECT_NEAR(d._12, c.DisplayRow1.y, t);
    EXPECT_NEAR(d._21, c.DisplayRow2.x, t);
    EXPECT_NEAR(d._22, c.DisplayRow2.y, t);
    EXPECT_NEAR(a._11, c.AttitudeRow1.x, t);
    EXPECT_NEAR(a._12, c.AttitudeRow1.y, t);
    EXPECT_NEAR(a._21, c.AttitudeRow2.x, t);
    EXPECT_NEAR(a._22, c.AttitudeRow2.y, t);
}

const float C10 = std::cos(10 * Deg), S10 = std::sin(10 * Deg);
INSTANTIATE_TEST_SUITE_P(
    WorkedCamera, Axes,
    ::testing::Values(
        AxesCase{"Level",
                 {1, 0, 0},
                 {0, 1, 0},
                 {0, 0, 1},
                 {1 / 640.f, 0, 0, 0},
                 {0, 1 / 480.f, 0, 0},
                 {1 / 640.f, 0, 0, 0},
                 {0, 1 / 480.f, 0, 0}},
        // Rolled right: a symbol's +x points down the screen, the ladder does not roll.
        AxesCase{"RolledRight90",
                 {0, 0, -1},
                 {0, 1, 0},
                 {1, 0, 0},
                 {0, -1 / 480.f, 0, 0},
                 {1 / 640.f, 0, 0, 0},
                 {1 / 640.f, 0, 0, 0},
                 {0, 1 / 480.f, 0, 0}},
        // Pitched up: the up axes lean toward the camera's line of sight and shorten.
        AxesCase{"PitchedUp10",
                 {1, 0, 0},
                 {0, C10, S10},
                 {0, -S10, C10},
                 {1 / 640.f, 0, 0, 0},
                 {0, C10 / 480, 0, 0},
                 {1 / 640.f, 0, 0, 0},
                 {0, C10 / 480, 0, 0}},
        // Heading 90 (nose along +x): the camera sees the right axis end on.
        AxesCase{"NoseAlongX",
                 {0, -1, 0},
                 {1, 0, 0},
                 {0, 0, 1},
                 {0, 0, 0, 0},
                 {0, 1 / 480.f, 0, 0},
                 {0, 0, 0, 0},
                 {0, 1 / 480.f, 0, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

enum class Marked { VehiclePoint, Direction, WorldPoint };

struct PlacementCase {
    const char* Name;
    Marked Kind;
    D3DXVECTOR3 Where;
    D3DXVECTOR4 Row4;
};

class Placement : public Geometry, public ::testing::WithParamInterface<PlacementCase> {};

bool Place(const DisplayGeometry& g, const PlacementCase& c, D3DXMATRIX* frame) {
    switch (c.Kind) {
    case Marked::VehiclePoint:
        return PlaceAtVehiclePoint(&g, c.Where.x, c.Where.y, c.Where.z, g.DisplayBasis, frame);
    case Marked::Direction:
        return PlaceAlongDirection(&g, c.Where, g.DisplayBasis, frame);
    case Marked::WorldPoint:
        return PlaceAtWorldPoint(&g, c.Where, g.DisplayBasis, frame);
    }
    return false;
}

void ExpectRow4(const D3DXMATRIX& frame, const D3DXVECTOR4& row4) {
    EXPECT_NEAR(frame._41, row4.x, 2e-6f);
    EXPECT_NEAR(frame._42, row4.y, 2e-6f);
    // cz x (1 / |cz|) may round to a float just below 1.
    EXPECT_NEAR(frame._43, row4.z, 1e-7f);
    EXPECT_EQ(frame._44, row4.w);
}

TEST_P(Placement, LandsWhereTheDirectionVanishes) {
    const PlacementCase& c = GetParam();
    DisplayGeometry g = Build();
    D3DXMATRIX frame;
    ASSERT_TRUE(Place(g, c, &frame));
    ExpectRow4(frame, c.Row4);
    // Rows 1 to 3 are the basis's.
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 4; ++col)
            EXPECT_EQ(frame.m[r][col], g.DisplayBasis.m[r][col]);
}

TEST_P(Placement, DirectionsIgnoreVehicleAndCameraPosition) {
    const PlacementCase& c = GetParam();
    GameSetPosition(-3000, 4500, 700);
    D3DXMATRIX view = WorkedView();
    view._41 = 250;
    view._42 = -40;
    view._43 = 9000;
    DisplayGeometry g = Build(view);
    D3DXMATRIX frame;
    ASSERT_TRUE(Place(g, c, &frame));
    ExpectRow4(frame, c.Row4);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedCamera, Placement,
    ::testing::Values(
        PlacementCase{"Boresight", Marked::VehiclePoint, {0, 1016, 0}, {0, 0, 1, 1}},
        // 68.5 display units below the centre: 0.142714 x 480.
        PlacementCase{"HeadingPoint", Marked::VehiclePoint, {0, 1120, -80}, {0, -0.142714f, 1, 1}},
        PlacementCase{"Direction", Marked::Direction, {10, 100, 5}, {0.14985f, 0.0999f, 1, 1}},
        PlacementCase{"BehindTheCamera", Marked::Direction, {0, -1, 0}, {0, 0, -1, 1}},
        PlacementCase{"BehindAndLeft", Marked::Direction, {-10, -100, 0}, {-0.14985f, 0, -1, 1}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Geometry, AWorldPointGoesThroughTheWholeView) {
    // The camera stands at (0, -20, 5): the point lies 105 ahead of it and 5 above; the
    // projection's depth offset takes no part.
    DisplayGeometry g = Build();
    D3DXMATRIX frame;
    ASSERT_TRUE(PlaceAtWorldPoint(&g, D3DXVECTOR3(30, 85, 10), g.DisplayBasis, &frame));
    ExpectRow4(frame, {45 / 105.105f, 10 / 105.105f, 1, 1});
    ASSERT_TRUE(PlaceAtWorldPoint(&g, D3DXVECTOR3(30, -85, 10), g.DisplayBasis, &frame));
    ExpectRow4(frame, {45 / 65.065f, 10 / 65.065f, -1, 1});
}

TEST_F(Geometry, TheSameDirectionAtAnyDistanceLandsAlike) {
    DisplayGeometry g = Build();
    D3DXMATRIX nearer, farther;
    ASSERT_TRUE(PlaceAtVehiclePoint(&g, 0, 1016, 0, g.DisplayBasis, &nearer));
    ASSERT_TRUE(PlaceAtVehiclePoint(&g, 0, 1120, 0, g.DisplayBasis, &farther));
    ExpectMatrixNear(nearer, farther, 1e-7f);
}

TEST_F(Geometry, DisplayUnitsAreSquarePixelsOfA1280By960Target) {
    DisplayGeometry g = Build();
    D3DXMATRIX frame;
    ASSERT_TRUE(PlaceAtVehiclePoint(&g, 0, 1016, 0, g.DisplayBasis, &frame));
    D3DXVECTOR3 right(12, 0, 0), up(0, 12, 0), clipRight, clipUp;
    D3DXVec3TransformCoord(&clipRight, &right, &frame);
    D3DXVec3TransformCoord(&clipUp, &up, &frame);
    EXPECT_NEAR(clipRight.x, 0.01875f, 1e-7f);
    EXPECT_NEAR(clipRight.y, 0, 1e-7f);
    EXPECT_NEAR(clipUp.x, 0, 1e-7f);
    EXPECT_NEAR(clipUp.y, 0.025f, 1e-7f);
    // 640 clip-x half-width pixels and 480 clip-y ones.
    EXPECT_NEAR(clipRight.x * 640, 12, 1e-4f);
    EXPECT_NEAR(clipUp.y * 480, 12, 1e-4f);
}

TEST_F(Geometry, InFrameScalesThenOffsetsInDisplayUnits) {
    DisplayGeometry g = Build();
    D3DXMATRIX frame;
    ASSERT_TRUE(PlaceAtVehiclePoint(&g, 0, 1016, 0, g.DisplayBasis, &frame));
    // A unit tick scaled by -8 at (10, 20) runs from (10, 20) to (2, 20).
    D3DXMATRIX m = InFrame(frame, 10, 20, -8);
    D3DXVECTOR3 start(0, 0, 0), end(1, 0, 0), a, b;
    D3DXVec3TransformCoord(&a, &start, &m);
    D3DXVec3TransformCoord(&b, &end, &m);
    EXPECT_NEAR(a.x * 640, 10, 1e-4f);
    EXPECT_NEAR(a.y * 480, 20, 1e-4f);
    EXPECT_NEAR(b.x * 640, 2, 1e-4f);
    EXPECT_NEAR(b.y * 480, 20, 1e-4f);
    EXPECT_NEAR(m._43, 1, 1e-7f);
}

// Issue point 1: a placement that would not give a finite frame is refused.
struct Degenerate {
    const char* Name;
    void (*Setup)(D3DXMATRIX* view, D3DXMATRIX* projection);
    Marked Kind;
    D3DXVECTOR3 Where;
};

class Refused : public Geometry, public ::testing::WithParamInterface<Degenerate> {};

TEST_P(Refused, PlacementThatIsNotFinite) {
    const Degenerate& c = GetParam();
    D3DXMATRIX view = WorkedView(), projection = WorkedProjection();
    if (c.Setup) c.Setup(&view, &projection);
    DisplayGeometry g = Build(view, projection);
    D3DXMATRIX frame;
    EXPECT_FALSE(Place(g, PlacementCase{c.Name, c.Kind, c.Where, {}}, &frame));
}

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float Inf = std::numeric_limits<float>::infinity();
INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    ::testing::Values(Degenerate{"ZeroDirection", nullptr, Marked::Direction, {0, 0, 0}},
                      Degenerate{"DepthZero", nullptr, Marked::Direction, {1, 0, 0}},
                      Degenerate{"NotANumber", nullptr, Marked::Direction, {NaN, 100, 0}},
                      Degenerate{"Infinite", nullptr, Marked::Direction, {Inf, 100, 0}},
                      Degenerate{
                          "WorldPointInCameraPlane", nullptr, Marked::WorldPoint, {30, -20, 10}},
                      Degenerate{"ProjectionWithoutVerticalScale",
                                 [](D3DXMATRIX*, D3DXMATRIX* p) { p->_22 = 0; },
                                 Marked::VehiclePoint,
                                 {0, 1016, 0}},
                      Degenerate{"ProjectionWithoutHorizontalScale",
                                 [](D3DXMATRIX*, D3DXMATRIX* p) { p->_11 = 0; },
                                 Marked::VehiclePoint,
                                 {0, 1016, 0}},
                      Degenerate{"ViewNotANumber",
                                 [](D3DXMATRIX* v, D3DXMATRIX*) { v->_22 = NaN; },
                                 Marked::VehiclePoint,
                                 {0, 1016, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Geometry, AVehicleMatrixNotANumberRefusesItsPlacements) {
    GameSetPosition(NaN, 0, 0);
    DisplayGeometry g = Build();
    D3DXMATRIX frame;
    EXPECT_FALSE(PlaceAtVehiclePoint(&g, 0, 1016, 0, g.DisplayBasis, &frame));
    // A direction does not use the position and is still placed.
    EXPECT_TRUE(PlaceAlongDirection(&g, D3DXVECTOR3(0, 1, 0), g.DisplayBasis, &frame));
}

} // namespace
