// A whole frame of the per-frame routine draws every group, once, in the display's order.
#include <cmath>

#include "testing/d3dx/StrokeLog.h"
#include "testing/gamemodel/GameModel.h"
#include "testing/recdevice/RecordingDevice.h"
#include "tests/symbology/Fixture.h"

namespace {

class Frame : public SymbologyTest {
  protected:
    void SetUp() override {
        SymbologyTest::SetUp();
        // Sinking at 25 degrees off the nose, 100 feet above the ground, "WARN" allowed: every
        // symbol of the display is lit.
        GameSetPosition(0, 0, 100 / 3.2808f);
        GameTerrainScript() = {true, 0, false, 0};
        const double a = 25 * 3.14159265358979 / 180;
        GameSetVelocity(float(100 * std::sin(a)), float(100 * std::cos(a)), -0.1f);
        GameWarnByte() = 0x40;
        GameSetPool(2);
        GameMatrixRecord(1)->Position = {30, 80, 5, 1};
    }
};

TEST_F(Frame, DrawsEveryGroupInOrder) {
    Display d = DrawDisplayFrame();
    // One landmark per step, in the order the display draws them.
    const std::vector<std::string> landmarks = {"FlightPathMarker",
                                                "WARN",
                                                "BoresightCross",
                                                "1.0",
                                                "SpeedBox",
                                                "ARM",
                                                "NAV",
                                                "13.28",
                                                "AltitudeBox",
                                                "R",
                                                "AL",
                                                "LOW",
                                                "LadderRungNegative",
                                                "HorizonLine",
                                                "LadderRungPositive",
                                                "HeadingBox",
                                                "TargetBox",
                                                "TargetBox",
                                                "Path",
                                                "Path"};
    int at = -1;
    for (const std::string& name : landmarks) {
        int next = d.Find(name, at + 1);
        ASSERT_GT(next, at) << name << " missing or out of order";
        at = next;
    }
    EXPECT_EQ(at, int(d.Sequence.size()) - 1) << "the gun paths are the last strokes";
    EXPECT_EQ(d.Count("FlightPathMarker"), 1);
    EXPECT_EQ(d.Count("BoresightCross"), 1);
    EXPECT_EQ(d.Count("HeadingBox"), 1);
    EXPECT_EQ(
        d.Count("LadderRungNegative") + d.Count("HorizonLine") + d.Count("LadderRungPositive"), 35);
    EXPECT_EQ(d.Count("TickVertical"), 6);    // index mark and five heading ticks
    EXPECT_EQ(d.Count("TickHorizontal"), 36); // two pointers and 17 ticks per scale
    // Every stroke in white.
    for (UINT i = 0; i < Log->Count(); ++i)
        EXPECT_EQ(Log->Get(i)->Colour, 0xFFFFFFFFu);
}

TEST_F(Frame, AFrameWithTheGateClosedDrawsNothing) {
    GameVehicleSlot(0)->Model = HostOtherJetModel;
    Display d = DrawDisplayFrame();
    EXPECT_TRUE(d.Sequence.empty());
    EXPECT_EQ(Log->CallCount(), 0u);
}

// Issue point 1: a symbol that cannot be placed leaves the rest of the frame as it was.
TEST_F(Frame, AZeroVelocityLeavesOnlyWhatDependsOnIt) {
    Display lit = DrawDisplayFrame();
    GameSetVelocity(0, 0, 0);
    Display d = DrawDisplayFrame();
    EXPECT_EQ(d.Count("FlightPathMarker"), 0);
    EXPECT_TRUE(d.Strings("WARN").empty());
    EXPECT_TRUE(d.Strings("LOW").empty());
    std::vector<std::string> rest, litRest;
    for (const Drawn& s : d.Sequence)
        if (!s.Text) rest.push_back(s.Name);
    for (const Drawn& s : lit.Sequence)
        if (!s.Text && s.Name != "FlightPathMarker") litRest.push_back(s.Name);
    EXPECT_EQ(rest, litRest);
}

} // namespace

namespace {

TEST_F(Frame, ReadsTheCameraFromTheDeviceEachFrame) {
    Display d = DrawFrame();
    EXPECT_FLOAT_EQ(Geometry.K, 480);
    std::vector<Drawn> cross = d.Shapes("BoresightCross");
    ASSERT_EQ(cross.size(), 1u);
    EXPECT_NEAR(cross[0].Matrix._22, 1 / 480.f, 1e-9f);
    // A wider field of view: half the horizontal scale, so half the vertical units per clip.
    D3DXMATRIX projection = WorkedProjection();
    projection._11 = 0.75f;
    Device->SetTransform(D3DTS_PROJECTION, &projection);
    Device->ClearCalls();
    d = DrawFrame();
    EXPECT_EQ(Device->CountCalls("GetTransform"), 2);
    EXPECT_FLOAT_EQ(Geometry.K, 240);
    cross = d.Shapes("BoresightCross");
    ASSERT_EQ(cross.size(), 1u);
    EXPECT_NEAR(cross[0].Matrix._22, 1 / 240.f, 1e-9f);
}

} // namespace
