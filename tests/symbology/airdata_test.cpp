// Load factor, airspeed box and scale, "ARM ", "NAV" and the Mach number.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "render/DrawDisplay.h"
#include "testing/gamemodel/GameModel.h"
#include "tests/symbology/Fixture.h"

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();

class AirData : public SymbologyTest {
  protected:
    void SetUp() override {
        SymbologyTest::SetUp();
        GameSetPosition(0, 0, 350);
        GameTimeStep() = 1;
        GameSetVelocity(0, 1.5f, 0);
    }
    // The load-factor readout: the string right after the boresight cross, if any.
    const Drawn* LoadFactor(const Display& d) {
        int cross = d.Find("BoresightCross");
        EXPECT_GE(cross, 0);
        if (cross < 0 || cross + 1 >= int(d.Sequence.size()) || !d.Sequence[cross + 1].Text)
            return nullptr;
        return &d.Sequence[cross + 1];
    }
    // Everything from the speed box up to the altitude box.
    std::vector<Drawn> Group(const Display& d) {
        int from = d.Find("SpeedBox"), to = d.Find("AltitudeBox");
        EXPECT_GE(from, 0);
        EXPECT_GT(to, from);
        if (from < 0 || to < from) return {};
        return std::vector<Drawn>(d.Sequence.begin() + from, d.Sequence.begin() + to);
    }
};

struct LoadCase {
    const char* Name;
    D3DXVECTOR3 Before, Now; // velocities of two drawn frames
    D3DXVECTOR3 Right, Up;
    const char* Shown; // visible text; the trailing blank draws nothing
};

class Load : public AirData, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(Load, IsTheChangeOfVelocityAlongTheUpAxis) {
    const LoadCase& c = GetParam();
    const float forward[3] = {0, 1, 0};
    GameSetAxes(c.Right, forward, c.Up);
    GameSetVelocity(c.Before.x, c.Before.y, c.Before.z);
    DrawFrame();
    GameSetVelocity(c.Now.x, c.Now.y, c.Now.z);
    Display d = DrawFrame();
    const Drawn* shown = LoadFactor(d);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Name, c.Shown);
    // Right-aligned with the blank in the last cell: the digits end 7.5 units left of the origin.
    TextPlace p = PlaceOfText(*shown, VehicleFrame(-92, 1120, 64));
    EXPECT_NEAR(p.Right, -7.5f, 1e-3f);
    EXPECT_NEAR(p.Y, 0, 1e-3f);
    EXPECT_NEAR(p.Scale, 0.625f, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Load,
    ::testing::Values(
        // 0.002 x 245.16625 + 1 = 1.4903325
        LoadCase{"Change", {0, 1.5f, -0.002f}, {0, 1.5f, 0}, {1, 0, 0}, {0, 0, 1}, "1.5"},
        LoadCase{"Steady", {0, 1.5f, 0}, {0, 1.5f, 0}, {1, 0, 0}, {0, 0, 1}, "1.0"},
        LoadCase{"Inverted", {0, 1.5f, 0}, {0, 1.5f, 0}, {-1, 0, 0}, {0, 0, -1}, "-1.0"},
        // 0.05 x 245.16625 + 1 = 13.258
        LoadCase{"PullingUp", {0, 1.5f, 0}, {0, 1.5f, 0.05f}, {1, 0, 0}, {0, 0, 1}, "13.3"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Issue point 3: no spike on the first drawn frame, after load or after frames without it.
TEST_F(AirData, TheFirstFrameMeasuresNoChange) {
    GameSetVelocity(0, 300, -40);
    Display d = DrawFrame();
    const Drawn* shown = LoadFactor(d);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Name, "1.0");
}

TEST_F(AirData, AFrameWithoutTheDisplayStartsTheMeasureAfresh) {
    GameSetVelocity(0, 100, 0);
    DrawFrame();
    GameVehicleSlot(0)->Model = HostOtherJetModel;
    DrawDisplay(); // the gate is closed: the plug-in forgets the velocity
    GameVehicleSlot(0)->Model = HostJetModel;
    GameSetVelocity(0, 100, -30);
    Display d = DrawFrame();
    const Drawn* shown = LoadFactor(d);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Name, "1.0");
    // The frame after that measures again.
    GameSetVelocity(0, 100, -30.002f);
    d = DrawFrame();
    shown = LoadFactor(d);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Name, "0.5");
}

struct NoLoadCase {
    const char* Name;
    float TimeStep;
    float Change; // of velocity z between the two frames
};

class NoLoad : public AirData, public ::testing::WithParamInterface<NoLoadCase> {};

TEST_P(NoLoad, LeavesTheReadoutOutAndStillRemembersTheVelocity) {
    const NoLoadCase& c = GetParam();
    GameSetVelocity(0, 1.5f, -0.5f);
    DrawFrame();
    GameTimeStep() = c.TimeStep;
    GameSetVelocity(0, 1.5f, -0.5f + c.Change);
    Display d = DrawFrame();
    EXPECT_EQ(LoadFactor(d), nullptr);
    EXPECT_EQ(d.Count("SpeedBox"), 1);
    // The velocity of the frame without a readout is the one the next frame compares with.
    GameTimeStep() = 1;
    d = DrawFrame();
    const Drawn* shown = LoadFactor(d);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Name, "1.0");
}

INSTANTIATE_TEST_SUITE_P(Cases, NoLoad,
                         ::testing::Values(NoLoadCase{"ZeroTimeStep", 0, 0.5f},
                                           NoLoadCase{"NegativeTimeStep", -0.03f, 0.5f},
                                           NoLoadCase{"TimeStepNotANumber", NaN, 0.5f},
                                           // 0.5 x 245 / 1e-20: no 32-bit integer part
                                           NoLoadCase{"VanishingTimeStep", 1e-20f, 0.5f}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct SpeedCase {
    const char* Name;
    float Z;
    D3DXVECTOR3 Velocity, Wind;
    const char* Readout;
    double Tens; // the indicated airspeed in tens, the scale's centre
    int FirstTick;
    std::vector<std::string> Labels;
    const char* Mach;
};

class Airspeed : public AirData, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(Airspeed, BoxReadoutScaleLegendsAndMach) {
    const SpeedCase& c = GetParam();
    GameSetPosition(0, 0, c.Z);
    GameSetVelocity(c.Velocity.x, c.Velocity.y, c.Velocity.z);
    for (int i = 0; i < 3; ++i)
        GameWind()[i] = c.Wind[i];
    Display d = DrawFrame();
    std::vector<Drawn> g = Group(d);
    ASSERT_GE(g.size(), 4u);
    const D3DXMATRIX& s = g[0].Matrix;

    ASSERT_TRUE(g[1].Text);
    EXPECT_EQ(g[1].Name, c.Readout);
    EXPECT_NEAR(PlaceOfText(g[1], s).Right, -8, 1e-3f);

    ASSERT_EQ(g[2].Name, "TickHorizontal");
    Local pointer = InFrameUnits(g[2].Matrix, s);
    EXPECT_NEAR(pointer.X, 12, 1e-3f);
    EXPECT_NEAR(pointer.Y, 0, 1e-3f);
    EXPECT_NEAR(pointer.Scale, 12, 1e-4f);
    ASSERT_EQ(g[3].Name, "C");
    TextPlace cPlace = PlaceOfText(g[3], s);
    EXPECT_NEAR((cPlace.Left + cPlace.Right) / 2, 18, 1e-3f);
    EXPECT_NEAR(cPlace.Y, 7.5f, 1e-3f);

    int tick = c.FirstTick;
    std::vector<std::string> labels;
    size_t i = 4;
    for (; i < g.size() && (g[i].Name == "TickHorizontal" || !labels.empty() || g[i].Text); ++i) {
        if (g[i].Name == "ARM") break;
        float expectedY = float((tick - c.Tens) * 6.4);
        if (g[i].Name == "TickHorizontal") {
            Local t = InFrameUnits(g[i].Matrix, s);
            EXPECT_NEAR(t.X, 10, 1e-3f) << "tick " << tick;
            EXPECT_NEAR(t.Y, expectedY, 2e-3f) << "tick " << tick;
            EXPECT_NEAR(t.Scale, tick % 5 == 0 ? -8 : -6, 1e-4f) << "tick " << tick;
            ++tick;
        } else {
            // A label follows its tick.
            TextPlace p = PlaceOfText(g[i], s);
            EXPECT_EQ(std::atoi(g[i].Name.c_str()), tick - 1) << g[i].Name;
            EXPECT_NEAR(p.Right, 0, 1e-3f) << g[i].Name;
            EXPECT_NEAR(p.Y, float((tick - 1 - c.Tens) * 6.4), 2e-3f) << g[i].Name;
            labels.push_back(g[i].Name);
        }
    }
    EXPECT_EQ(tick - c.FirstTick, 17);
    EXPECT_EQ(labels, c.Labels);

    ASSERT_EQ(g.size(), i + 3);
    EXPECT_EQ(g[i].Name, "ARM");
    TextPlace arm = PlaceOfText(g[i], s);
    EXPECT_NEAR(arm.Right, 48 - 7.5f, 1e-3f); // its blank takes the last cell
    EXPECT_NEAR(arm.Y, -64, 1e-3f);
    EXPECT_EQ(g[i + 1].Name, "NAV");
    TextPlace nav = PlaceOfText(g[i + 1], s);
    EXPECT_NEAR(nav.Left, -8, 1e-3f);
    EXPECT_NEAR(nav.Y, -112, 1e-3f);
    EXPECT_EQ(g[i + 2].Name, c.Mach);
    TextPlace mach = PlaceOfText(g[i + 2], s);
    EXPECT_NEAR(mach.Right, 48, 1e-3f);
    EXPECT_NEAR(mach.Y, -80, 1e-3f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Airspeed,
    ::testing::Values(
        // 0.965 x 1.5 x 97.19 = 140.682525; Mach 75 / 339.979.
        SpeedCase{
            "Cruise", 350, {0, 1.5f, 0}, {0, 0, 0}, "140", 14.0682525, 6, {"10", "20"}, "0.22"},
        // Density at its floor of 0.1; 16 - 54 degrees.
        SpeedCase{"High", 9000, {0, 1.5f, 0}, {0, 0, 0}, "14", 1.45785, -7, {"05"}, "0.24"},
        // Temperature at its floor of -65: sound at 291.85.
        SpeedCase{"Higher", 13500, {0, 1.5f, 0}, {0, 0, 0}, "14", 1.45785, -7, {"05"}, "0.26"},
        SpeedCase{"Stopped", 350, {0, 0, 0}, {0, 0, 0}, "0", 0, -8, {"05"}, "0.00"},
        // Flying backwards: no sign, and the scale's centre is -2.55 truncated.
        SpeedCase{"Backwards",
                  350,
                  {0, -0.325207f, 0},
                  {0, 0, 0},
                  "30",
                  -3.05,
                  -10,
                  {"00", "05"},
                  "0.05"},
        // A headwind of 5 takes 0.2 x 5 off the speed along the nose.
        SpeedCase{"Headwind", 350, {0, 1.5f, 0}, {0, 5, 0}, "46", 4.6894, -3, {"00", "10"}, "0.07"},
        // Only the part along the nose counts.
        SpeedCase{
            "Sideslip", 350, {20, 1.5f, 3}, {0, 0, 0}, "140", 14.0682525, 6, {"10", "20"}, "0.22"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Issue point 4: values without a 32-bit integer part are not converted and not shown.
struct Unshown {
    const char* Name;
    D3DXVECTOR3 Velocity;
};

class Unconvertible : public AirData, public ::testing::WithParamInterface<Unshown> {};

TEST_P(Unconvertible, LeaveReadoutsAndScaleOutAndTheRestIn) {
    GameSetVelocity(GetParam().Velocity.x, GetParam().Velocity.y, GetParam().Velocity.z);
    Display d = DrawFrame();
    std::vector<Drawn> g = Group(d);
    std::vector<std::string> names;
    for (const Drawn& s : g)
        names.push_back(s.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"SpeedBox", "TickHorizontal", "C", "ARM", "NAV"}));
    EXPECT_EQ(d.Count("BoresightCross"), 1);
    EXPECT_EQ(d.Count("AltitudeBox"), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, Unconvertible,
                         ::testing::Values(Unshown{"NotANumber", {0, NaN, 0}},
                                           Unshown{"Infinite", {0, -INFINITY, 0}},
                                           Unshown{"Huge", {0, 1e12f, 0}}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
