// Flight path marker, boresight cross, pitch ladder and heading group.
#include <cmath>

#include "testing/gamemodel/GameModel.h"
#include "tests/symbology/Fixture.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

class Attitude : public SymbologyTest {
  protected:
    // The rungs in drawing order, lowest first, with the index of each in the sequence.
    std::vector<int> Rungs(const Display& d) {
        std::vector<int> out;
        for (int i = 0; i < int(d.Sequence.size()); ++i) {
            const std::string& n = d.Sequence[i].Name;
            if (n == "LadderRungNegative" || n == "HorizonLine" || n == "LadderRungPositive")
                out.push_back(i);
        }
        return out;
    }
};

TEST_F(Attitude, LevelFlightCentresMarkerCrossAndHorizon) {
    GameSetVelocity(0, 100, 0);
    Display d = DrawFrame();
    for (const char* name : {"FlightPathMarker", "BoresightCross", "HorizonLine"}) {
        std::vector<Drawn> s = d.Shapes(name);
        ASSERT_EQ(s.size(), 1u) << name;
        EXPECT_NEAR(s[0].Matrix._41, 0, 1e-6f) << name;
        EXPECT_NEAR(s[0].Matrix._42, 0, 1e-6f) << name;
        EXPECT_NEAR(s[0].Matrix._43, 1, 1e-6f) << name;
    }
    std::vector<Drawn> up = d.Shapes("LadderRungPositive"), down = d.Shapes("LadderRungNegative");
    ASSERT_EQ(up.size(), 17u);
    ASSERT_EQ(down.size(), 17u);
    // 2 tan 5 / 1.001 x 480 display units above and below the horizon.
    const double five = 2 * std::tan(5 * Pi / 180) / 1.001 * 480;
    EXPECT_NEAR(up.front().Matrix._42 * 480, five, 0.01);
    EXPECT_NEAR(down.back().Matrix._42 * 480, -five, 0.01);
    EXPECT_NEAR(five, 83.9, 0.05);
}

TEST_F(Attitude, ASidewaysVelocityMovesTheLadderWithTheTrackAndKeepsItLevel) {
    GameSetVelocity(10, 100, 0);
    Display d = DrawFrame();
    // 1.5 x 10 / (1.001 x 100) in clip x: where the track's direction vanishes.
    const float track = 0.14985f;
    std::vector<int> rungs = Rungs(d);
    ASSERT_EQ(rungs.size(), 35u);
    for (int r : rungs) {
        const D3DXMATRIX& m = d.Sequence[r].Matrix;
        EXPECT_NEAR(m._41, track, 1e-5f) << "rung " << r;
        EXPECT_EQ(m._12, 0) << "rung " << r << " is tilted";
    }
    std::vector<Drawn> fpm = d.Shapes("FlightPathMarker"), cross = d.Shapes("BoresightCross");
    ASSERT_EQ(fpm.size(), 1u);
    ASSERT_EQ(cross.size(), 1u);
    EXPECT_NEAR(fpm[0].Matrix._41, track, 1e-5f);
    EXPECT_NEAR(cross[0].Matrix._41, 0, 1e-6f);
}

TEST_F(Attitude, EveryRungButTheHorizonHasTwoPositiveLabels) {
    GameSetVelocity(0, 100, 0);
    Display d = DrawFrame();
    std::vector<int> rungs = Rungs(d);
    ASSERT_EQ(rungs.size(), 35u);
    for (int k = 0; k < 35; ++k) {
        const int i = k - 17;
        const int at = rungs[k];
        const D3DXMATRIX& frame = d.Sequence[at].Matrix;
        const char* expectedShape = i < 0    ? "LadderRungNegative"
                                    : i == 0 ? "HorizonLine"
                                             : "LadderRungPositive";
        EXPECT_EQ(d.Sequence[at].Name, expectedShape) << "rung " << i;
        if (i == 0) {
            EXPECT_FALSE(d.Sequence[at + 1].Text) << "the horizon is labelled";
            continue;
        }
        ASSERT_LT(at + 2, int(d.Sequence.size()));
        const Drawn& left = d.Sequence[at + 1];
        const Drawn& right = d.Sequence[at + 2];
        const std::string text = std::to_string(std::abs(i) * 5);
        const float y = i < 0 ? -6.0f : -3.0f;
        ASSERT_TRUE(left.Text && right.Text) << "rung " << i;
        EXPECT_EQ(left.Name, text);
        EXPECT_EQ(right.Name, text);
        TextPlace l = PlaceOfText(left, frame), r = PlaceOfText(right, frame);
        EXPECT_NEAR(l.Right, -42, 1e-3f) << "rung " << i;
        EXPECT_NEAR(r.Left, 42, 1e-3f) << "rung " << i;
        EXPECT_NEAR(l.Y, y, 1e-3f) << "rung " << i;
        EXPECT_NEAR(r.Y, y, 1e-3f) << "rung " << i;
        EXPECT_NEAR(l.Scale, 0.625f, 1e-5f);
    }
}

struct Label {
    const char* Text;
    float X;
};

struct HeadingCase {
    const char* Name;
    float Heading; // the heading as the display computes it; NaN: Nose is used as it stands
    D3DXVECTOR3 Nose;
    const char* Readout;
    float TickX[5];
    float TickLength[5];
    std::vector<Label> Labels;
};

// A nose direction whose computed heading (single precision, as the display computes it) is
// exactly `heading`: found by stepping the angle by 1e-7 degrees around it.
D3DXVECTOR3 NoseFor(float heading) {
    for (int k = 0; k < 4000; ++k) {
        double a = (heading + (k / 2) * 1e-7 * (k % 2 ? 1 : -1)) * Pi / 180;
        D3DXVECTOR3 f(float(std::sin(a)), float(std::cos(a)), 0);
        float h = std::atan2(f.x, f.y) * 57.2957763671875f;
        if (h < 0) h = h + 360;
        if (h == heading) return f;
    }
    ADD_FAILURE() << "no nose direction gives the heading " << heading;
    return D3DXVECTOR3(0, 1, 0);
}

class Heading : public Attitude, public ::testing::WithParamInterface<HeadingCase> {};

TEST_P(Heading, ReadoutTicksAndLabels) {
    const HeadingCase& c = GetParam();
    D3DXVECTOR3 f = std::isnan(c.Heading) ? c.Nose : NoseFor(c.Heading);
    Fly(D3DXVECTOR3(f.y, -f.x, 0), f, D3DXVECTOR3(0, 0, 1));
    GameSetVelocity(100 * f.x, 100 * f.y, 0);
    Display d = DrawFrame();

    const int box = d.Find("HeadingBox");
    ASSERT_GE(box, 0);
    const D3DXMATRIX& h = d.Sequence[box].Matrix;
    // Below the nose: 80 / 1120 of the way down, that is 2 x 80 / (1.001 x 1120) in clip y.
    EXPECT_NEAR(h._42, -0.142714f, 1e-5f);

    ASSERT_TRUE(d.Sequence[box + 1].Text);
    EXPECT_EQ(d.Sequence[box + 1].Name, c.Readout);
    TextPlace readout = PlaceOfText(d.Sequence[box + 1], h);
    EXPECT_NEAR((readout.Left + readout.Right) / 2, 0, 1e-3f);
    EXPECT_NEAR(readout.Y, 0, 1e-3f);

    ASSERT_EQ(d.Sequence[box + 2].Name, "TickVertical");
    Local index = InFrameUnits(d.Sequence[box + 2].Matrix, h);
    EXPECT_NEAR(index.X, 0, 1e-3f);
    EXPECT_NEAR(index.Y, 20, 1e-3f);
    EXPECT_NEAR(index.Scale, 12, 1e-4f);

    std::vector<Local> ticks;
    std::vector<std::pair<std::string, float>> labels;
    for (int i = box + 3; i < int(d.Sequence.size()); ++i) {
        const Drawn& s = d.Sequence[i];
        if (s.Name == "TickVertical") {
            ticks.push_back(InFrameUnits(s.Matrix, h));
        } else if (s.Text) {
            TextPlace p = PlaceOfText(s, h);
            EXPECT_NEAR(p.Y, 4, 1e-3f) << s.Name;
            labels.push_back({s.Name, (p.Left + p.Right) / 2});
        } else {
            break;
        }
    }
    ASSERT_EQ(ticks.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(ticks[i].X, c.TickX[i], 2e-3f) << "tick " << i;
        EXPECT_NEAR(ticks[i].Y, 18, 1e-3f) << "tick " << i;
        EXPECT_NEAR(ticks[i].Scale, -c.TickLength[i], 1e-4f) << "tick " << i;
    }
    ASSERT_EQ(labels.size(), c.Labels.size());
    for (size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(labels[i].first, c.Labels[i].Text);
        EXPECT_NEAR(labels[i].second, c.Labels[i].X, 2e-3f) << labels[i].first;
    }
}

const float Computed = std::nanf("");
INSTANTIATE_TEST_SUITE_P(Cases, Heading,
                         ::testing::Values(HeadingCase{"Heading359",
                                                       359.0f,
                                                       {0, 1, 0},
                                                       "359",
                                                       {-43.2f, -19.2f, 4.8f, 28.8f, 52.8f},
                                                       {8, 6, 8, 6, 8},
                                                       {{"35", -43.2f}, {"37", 52.8f}}},
                                           HeadingCase{"Heading1_5",
                                                       1.5f,
                                                       {0, 1, 0},
                                                       "001",
                                                       {-55.2f, -31.2f, -7.2f, 16.8f, 40.8f},
                                                       {8, 6, 8, 6, 8},
                                                       {{"01", 40.8f}}},
                                           HeadingCase{"Heading47",
                                                       47.0f,
                                                       {0, 1, 0},
                                                       "047",
                                                       {-57.6f, -33.6f, -9.6f, 14.4f, 38.4f},
                                                       {6, 8, 6, 8, 6},
                                                       {{"04", -33.6f}}},
                                           // Just short of a whole degree reads the degree below.
                                           HeadingCase{"JustShortOf47",
                                                       46.999996185302734f,
                                                       {0, 1, 0},
                                                       "046",
                                                       {-57.6f, -33.6f, -9.6f, 14.4f, 38.4f},
                                                       {6, 8, 6, 8, 6},
                                                       {{"04", -33.6f}}},
                                           // The product is -90.
                                           HeadingCase{"NoseAlongMinusX",
                                                       Computed,
                                                       {-1, 0, 0},
                                                       "270",
                                                       {-48, -24, 0, 24, 48},
                                                       {8, 6, 8, 6, 8},
                                                       {{"26", -48}, {"28", 48}}},
                                           // A heading of -0 stays as it is and reads 000.
                                           HeadingCase{"MinusZero",
                                                       Computed,
                                                       {-0.0f, 1, 0},
                                                       "000",
                                                       {-48, -24, 0, 24, 48},
                                                       {8, 6, 8, 6, 8},
                                                       {{"01", 48}}}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Issue point 2: while hovering, the ladder follows the nose's horizontal direction.
TEST_F(Attitude, HoveringLaysTheLadderAlongTheNose) {
    const double a = 30 * Pi / 180;
    D3DXVECTOR3 f(float(std::sin(a)), float(std::cos(a)), 0);
    Fly(D3DXVECTOR3(f.y, -f.x, 0), f, D3DXVECTOR3(0, 0, 1));
    for (float climb : {0.0f, -3.0f, 4.0f}) {
        GameSetVelocity(0, 0, climb);
        Display d = DrawFrame();
        std::vector<int> rungs = Rungs(d);
        ASSERT_EQ(rungs.size(), 35u) << climb;
        std::vector<Drawn> horizon = d.Shapes("HorizonLine");
        ASSERT_EQ(horizon.size(), 1u);
        EXPECT_NEAR(horizon[0].Matrix._41, 0, 1e-5f) << climb;
        EXPECT_NEAR(horizon[0].Matrix._42, 0, 1e-5f) << climb;
        // Issue point 1: a velocity straight up or down, or none, has no place on the display.
        EXPECT_EQ(d.Count("FlightPathMarker"), 0) << climb;
        EXPECT_EQ(d.Count("BoresightCross"), 1) << climb;
    }
}

TEST_F(Attitude, NoLadderWithTheNoseVerticalAndNoHorizontalVelocity) {
    Fly(D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, -1, 0));
    GameSetVelocity(0, 0, 20);
    Display d = DrawFrame();
    EXPECT_TRUE(Rungs(d).empty());
    std::vector<Drawn> cross = d.Shapes("BoresightCross");
    ASSERT_EQ(cross.size(), 1u);
    EXPECT_NEAR(cross[0].Matrix._41, 0, 1e-6f);
    // The velocity along the nose: the marker sits on the cross.
    std::vector<Drawn> fpm = d.Shapes("FlightPathMarker");
    ASSERT_EQ(fpm.size(), 1u);
    EXPECT_NEAR(fpm[0].Matrix._42, 0, 1e-6f);
    EXPECT_EQ(d.Count("HeadingBox"), 1);
}

} // namespace
