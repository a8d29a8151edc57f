// Altitude box and scale, radar altitude, and the "WARN" and "LOW" cues.
#include <cmath>

#include "testing/gamemodel/GameModel.h"
#include "tests/symbology/Fixture.h"

namespace {

// A height whose altitude in feet, as the display computes it, is `feet` exactly where some
// float gives it, else the least one above.
float HeightFor(float feet) {
    float z = feet / 3.2808f;
    float up = z, down = z;
    for (int i = 0; i < 200; ++i) {
        if (up * 3.2808f == feet) return up;
        if (down * 3.2808f == feet) return down;
        up = std::nextafter(up, INFINITY);
        down = std::nextafter(down, -INFINITY);
    }
    while (z * 3.2808f < feet)
        z = std::nextafter(z, INFINITY);
    while (std::nextafter(z, -INFINITY) * 3.2808f >= feet)
        z = std::nextafter(z, -INFINITY);
    return z;
}

class Altitude : public SymbologyTest {
  protected:
    void SetUp() override {
        SymbologyTest::SetUp();
        GameSetVelocity(0, 100, 0);
    }
    // From the altitude box up to the first thing after the altitude scale.
    std::vector<Drawn> Group(const Display& d) {
        int from = d.Find("AltitudeBox");
        EXPECT_GE(from, 0);
        if (from < 0) return {};
        int to = from + 1;
        while (to < int(d.Sequence.size()) && d.Sequence[to].Name != "LadderRungNegative" &&
               d.Sequence[to].Name != "LOW")
            ++to;
        return std::vector<Drawn>(d.Sequence.begin() + from, d.Sequence.begin() + to);
    }
};

struct AltitudeCase {
    const char* Name;
    float Z;
    GameTerrain Terrain;
    const char* Thousands; // visible text, "" when not drawn
    const char* Hundreds;
    const char* RadarThousands;
    const char* RadarHundreds; // "" when the radar box is empty
    double Hundred;            // the scale's centre: the shown altitude in hundreds of feet
    int FirstTick;
    std::vector<std::string> Labels;
};

class AltitudeGroup : public Altitude, public ::testing::WithParamInterface<AltitudeCase> {};

TEST_P(AltitudeGroup, BoxRadarBoxPointerAndScale) {
    const AltitudeCase& c = GetParam();
    GameSetPosition(0, 0, c.Z);
    GameTerrainScript() = c.Terrain;
    Display d = DrawFrame();
    std::vector<Drawn> g = Group(d);
    ASSERT_FALSE(g.empty());
    const D3DXMATRIX& a = g[0].Matrix;
    size_t i = 1;
    auto text = [&](const char* expected, float left, float right, float y, float scale) {
        if (!*expected) return;
        ASSERT_LT(i, g.size());
        EXPECT_EQ(g[i].Name, expected);
        TextPlace p = PlaceOfText(g[i], a);
        if (!std::isnan(left)) {
            EXPECT_NEAR(p.Left, left, 1e-3f) << expected;
        }
        if (!std::isnan(right)) {
            EXPECT_NEAR(p.Right, right, 1e-3f) << expected;
        }
        EXPECT_NEAR(p.Y, y, 1e-3f) << expected;
        EXPECT_NEAR(p.Scale, scale, 1e-5f) << expected;
        ++i;
    };
    const float any = NAN;
    // "%2d" thousands end where the "%03d" hundreds begin, 18 units on.
    text(c.Thousands, any, 26, 0, 0.75f);
    text(c.Hundreds, 26, any, 0, 0.625f);
    ASSERT_LT(i, g.size());
    EXPECT_EQ(g[i].Name, "RadarAltitudeBox");
    Local box = InFrameUnits(g[i].Matrix, a);
    EXPECT_NEAR(box.X, -48, 1e-3f);
    EXPECT_NEAR(box.Y, -72, 1e-3f);
    EXPECT_NEAR(box.Scale, 1, 1e-5f);
    ++i;
    text("R", -48, any, -72, 0.625f);
    text(c.RadarThousands, any, -22, -72, 0.75f);
    text(c.RadarHundreds, -22, any, -72, 0.625f);
    text("AL", -48, any, -96, 0.625f);
    ASSERT_LT(i, g.size());
    ASSERT_EQ(g[i].Name, "TickHorizontal");
    Local pointer = InFrameUnits(g[i].Matrix, a);
    EXPECT_NEAR(pointer.X, -12, 1e-3f);
    EXPECT_NEAR(pointer.Scale, -12, 1e-4f);
    ++i;

    int tick = c.FirstTick;
    std::vector<std::string> labels;
    for (; i < g.size(); ++i) {
        if (g[i].Name == "TickHorizontal") {
            Local t = InFrameUnits(g[i].Matrix, a);
            EXPECT_NEAR(t.X, -10, 1e-3f) << "tick " << tick;
            EXPECT_NEAR(t.Y, float((tick - c.Hundred) * 6.4), 2e-3f) << "tick " << tick;
            EXPECT_NEAR(t.Scale, tick % 5 == 0 ? 8 : 6, 1e-4f) << "tick " << tick;
            ++tick;
        } else {
            ASSERT_TRUE(g[i].Text) << g[i].Name;
            TextPlace p = PlaceOfText(g[i], a);
            EXPECT_NEAR(p.Y, float((tick - 1 - c.Hundred) * 6.4), 2e-3f) << g[i].Name;
            // A leading minus sits in the first cell; every label starts at x = 0.
            EXPECT_NEAR(p.Left, 0, 1e-3f) << g[i].Name;
            labels.push_back(g[i].Name);
        }
    }
    EXPECT_EQ(tick - c.FirstTick, 17);
    EXPECT_EQ(labels, c.Labels);
}

GameTerrain Ground(float g) {
    return {true, g, false, 0};
}
const GameTerrain None{};

INSTANTIATE_TEST_SUITE_P(
    Cases, AltitudeGroup,
    ::testing::Values(
        // The higher surface counts: 88 x 3.2808 = 288.7104 feet.
        AltitudeCase{"OverGroundAndWater",
                     100,
                     {true, 12, true, 0},
                     "",
                     "288",
                     "",
                     "288",
                     2.887104,
                     -5,
                     {"-0,5", "00,0", "00,5", "01,0"}},
        AltitudeCase{"WaterAboveTheGround",
                     100,
                     {true, 0, true, 12},
                     "",
                     "288",
                     "",
                     "288",
                     2.887104,
                     -5,
                     {"-0,5", "00,0", "00,5", "01,0"}},
        AltitudeCase{"WaterOnly",
                     100,
                     {false, 50, true, 12},
                     "",
                     "288",
                     "",
                     "288",
                     2.887104,
                     -5,
                     {"-0,5", "00,0", "00,5", "01,0"}},
        AltitudeCase{"NoSurface",
                     HeightFor(1230),
                     None,
                     "1",
                     "230",
                     "",
                     "",
                     12.3,
                     4,
                     {"00,5", "01,0", "01,5", "02,0"}},
        // Below 1500 feet the box shows the radar altitude.
        AltitudeCase{"RadarJustBelow1500",
                     500,
                     Ground(500 - 1499.9f / 3.2808f),
                     "1",
                     "499",
                     "1",
                     "499",
                     14.999,
                     7,
                     {"01,0", "02,0"}},
        AltitudeCase{"RadarJustAbove1500",
                     500,
                     Ground(500 - 1500.3f / 3.2808f),
                     "1",
                     "640",
                     "1",
                     "500",
                     16.404,
                     8,
                     {"01,0", "02,0"}},
        AltitudeCase{"JustBelowAThousand",
                     HeightFor(999.6f),
                     None,
                     "",
                     "999",
                     "",
                     "",
                     9.996,
                     2,
                     {"00,5", "01,5"}},
        AltitudeCase{
            "AThousand", HeightFor(1000), None, "1", "000", "", "", 10, 2, {"00,5", "01,5"}},
        // No sign; below zero the labels carry one.
        AltitudeCase{"BelowTheSea",
                     HeightFor(-250.03f),
                     None,
                     "",
                     "250",
                     "",
                     "",
                     -2.5003,
                     -10,
                     {"-1,0", "-0,5", "00,0", "00,5"}},
        AltitudeCase{"RadarOf10000OrMore",
                     4000,
                     Ground(0),
                     "13",
                     "123",
                     "",
                     "",
                     131.232,
                     123,
                     {"12,5", "13,5"}},
        AltitudeCase{"LongTickWithoutLabel",
                     HeightFor(1180),
                     None,
                     "1",
                     "180",
                     "",
                     "",
                     11.8,
                     4,
                     {"00,5", "01,5", "02,0"}},
        // Index 10 is exactly 2.0 away, not more than 2.
        AltitudeCase{"TwoAwayIsNotMore",
                     HeightFor(1200),
                     None,
                     "1",
                     "200",
                     "",
                     "",
                     12,
                     4,
                     {"00,5", "01,5", "02,0"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Altitude, AsksTheGameForGroundAndWaterBelowTheVehicle) {
    GameSetPosition(12, -34, 56);
    DrawFrame();
    ASSERT_EQ(GameGroundCalls().size(), 1u);
    ASSERT_EQ(GameWaterCalls().size(), 1u);
    const GameHostCall& g = GameGroundCalls()[0];
    EXPECT_EQ(g.x, 12);
    EXPECT_EQ(g.y, -34);
    EXPECT_EQ(g.z, 56);
    EXPECT_EQ(g.FlagOnEntry, 0);
    EXPECT_EQ(g.Zero1, 0);
    const GameHostCall& w = GameWaterCalls()[0];
    EXPECT_EQ(w.x, 12);
    EXPECT_EQ(w.y, -34);
    EXPECT_EQ(w.z, 0);
    EXPECT_EQ(w.Zero1, 0);
    EXPECT_EQ(w.Zero2, 0);
}

struct LowCase {
    const char* Name;
    float RadarFeet, ClimbRate;
    bool Surface, Drawn;
};

class Low : public Altitude, public ::testing::WithParamInterface<LowCase> {};

TEST_P(Low, UnderTheFlightPathMarkerWhenSinkingNearTheSurface) {
    const LowCase& c = GetParam();
    GameSetPosition(0, 0, c.RadarFeet / 3.2808f);
    GameTerrainScript() = c.Surface ? Ground(0) : None;
    GameSetVelocity(0, 100, c.ClimbRate / 196.848f);
    Display d = DrawFrame();
    std::vector<Drawn> low = d.Strings("LOW");
    ASSERT_EQ(low.size(), c.Drawn ? 1u : 0u);
    if (!c.Drawn) return;
    std::vector<Drawn> fpm = d.Shapes("FlightPathMarker");
    ASSERT_EQ(fpm.size(), 1u);
    TextPlace p = PlaceOfText(low[0], fpm[0].Matrix);
    EXPECT_NEAR((p.Left + p.Right) / 2, 0, 1e-3f);
    EXPECT_NEAR(p.Y, -12, 1e-3f);
    EXPECT_NEAR(p.Scale, 0.625f, 1e-5f);
    // Right after the altitude scale, before the ladder.
    EXPECT_EQ(d.Sequence[d.Find("LOW") + 1].Name, "LadderRungNegative");
}

INSTANTIATE_TEST_SUITE_P(Cases, Low,
                         ::testing::Values(LowCase{"Below250Sinking5", 249, -5, true, true},
                                           LowCase{"Above250Sinking5", 251, -5, true, false},
                                           LowCase{"Above250Sinking9", 251, -9, true, true},
                                           LowCase{"Below250Sinking3", 100, -3, true, false},
                                           LowCase{"NoSurface", 100, -50, false, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct WarnCase {
    const char* Name;
    uint8_t Byte;
    float Degrees; // between nose and velocity; NaN: no velocity
    bool Drawn;
};

class Warn : public Altitude, public ::testing::WithParamInterface<WarnCase> {};

TEST_P(Warn, OnTheNoseWhenFlyingWellOffIt) {
    const WarnCase& c = GetParam();
    GameWarnByte() = c.Byte;
    if (std::isnan(c.Degrees)) {
        GameSetVelocity(0, 0, 0);
    } else {
        double a = c.Degrees * 3.14159265358979 / 180;
        GameSetVelocity(float(100 * std::sin(a)), float(100 * std::cos(a)), 0);
    }
    Display d = DrawFrame();
    std::vector<Drawn> warn = d.Strings("WARN");
    ASSERT_EQ(warn.size(), c.Drawn ? 1u : 0u);
    EXPECT_EQ(d.Count("BoresightCross"), 1);
    if (!c.Drawn) return;
    std::vector<Drawn> cross = d.Shapes("BoresightCross");
    TextPlace p = PlaceOfText(warn[0], cross[0].Matrix);
    EXPECT_NEAR(p.Left, -30, 1e-3f);
    EXPECT_NEAR(p.Right, 30, 1e-3f);
    EXPECT_NEAR(p.Y, 0, 1e-3f);
    EXPECT_NEAR(p.Scale, 1.25f, 1e-5f);
    // Right after the flight path marker.
    EXPECT_EQ(d.Find("WARN"), d.Find("FlightPathMarker") + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, Warn,
                         ::testing::Values(WarnCase{"Bit6At20_5", 0x40, 20.5f, true},
                                           WarnCase{"Bit7At20_5", 0x80, 20.5f, true},
                                           WarnCase{"BothAt19_5", 0xC0, 19.5f, false},
                                           WarnCase{"NeitherBitAt40", 0x3F, 40, false},
                                           WarnCase{"NoVelocity", 0xFF, NAN, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
