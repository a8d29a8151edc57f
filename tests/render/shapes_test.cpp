// The shape and glyph data against the drawings they stand for, and DrawShape and DrawString
// as the stand-in line drawer's stroke log sees them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "RenderFixture.h"
#include "render/Shapes.h"

namespace {

const Shape* Glyph(char c) {
    return GlyphTable[c - GlyphTableFirst];
}

TEST(GlyphTable, HoldsGlyphsForExactlyCommaHyphenStopDigitsAndCapitals) {
    const std::string withGlyph = ",-.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    int count = 0;
    for (int code = 32; code <= 95; ++code) {
        const bool expected = withGlyph.find(static_cast<char>(code)) != std::string::npos;
        EXPECT_EQ(GlyphTable[code - 32] != nullptr, expected) << "code " << code;
        count += GlyphTable[code - 32] != nullptr;
    }
    EXPECT_EQ(count, 39);
}

TEST(GlyphTable, EveryGlyphLiesInItsCellInThePlane) {
    for (int code = 32; code <= 95; ++code) {
        const Shape* g = GlyphTable[code - 32];
        if (!g) continue;
        ASSERT_GT(g->PolylineCount, 0) << code;
        for (int p = 0; p < g->PolylineCount; ++p) {
            const struct Polyline& line = g->Polylines[p];
            EXPECT_GE(line.VertexCount, 2) << code;
            for (int v = 0; v < line.VertexCount; ++v) {
                const D3DXVECTOR3& q = line.Vertices[v];
                EXPECT_TRUE(q.x >= -4.5f && q.x <= 4.5f && q.y >= -9.5f && q.y <= 8.5f)
                    << char(code) << " " << q.x << "," << q.y;
                EXPECT_EQ(q.z, 0.0f);
            }
        }
    }
}

// Polylines of each glyph and shape, with vertex counts, as drawn.
TEST(Shapes, PolylineAndVertexCountsFollowTheDrawings) {
    const struct {
        const char* name;
        const Shape* shape;
        std::vector<int> counts;
    } cases[] = {
        {",", Glyph(','), {3}},
        {"-", Glyph('-'), {2}},
        {".", Glyph('.'), {2}},
        {"0", Glyph('0'), {9}},
        {"1", Glyph('1'), {3, 2}},
        {"2", Glyph('2'), {9}},
        {"3", Glyph('3'), {15}},
        {"4", Glyph('4'), {5}},
        {"5", Glyph('5'), {10}},
        {"6", Glyph('6'), {13}},
        {"7", Glyph('7'), {3}},
        {"8", Glyph('8'), {17}},
        {"9", Glyph('9'), {13}},
        {"A", Glyph('A'), {5, 2}},
        {"B", Glyph('B'), {12}},
        {"G", Glyph('G'), {13}},
        {"H", Glyph('H'), {2, 2, 2}},
        {"I", Glyph('I'), {2, 2, 2}},
        {"K", Glyph('K'), {2, 3}},
        {"O", Glyph('O'), {9}},
        {"Q", Glyph('Q'), {9, 2}},
        {"R", Glyph('R'), {10}},
        {"S", Glyph('S'), {14}},
        {"T", Glyph('T'), {2, 2}},
        {"X", Glyph('X'), {2, 2}},
        {"Y", Glyph('Y'), {5}},
        {"FlightPathMarker", &FlightPathMarker, {13, 2, 2, 2}},
        {"BoresightCross", &BoresightCross, {2, 2, 2, 2}},
        {"TargetBox", &TargetBox, {5}},
        {"LadderRungPositive", &LadderRungPositive, {3, 3}},
        {"LadderRungNegative", &LadderRungNegative, {3, 3, 2, 2, 2, 2, 2, 2}},
        {"HorizonLine", &HorizonLine, {2, 2}},
        {"SpeedBox", &SpeedBox, {6}},
        {"AltitudeBox", &AltitudeBox, {6}},
        {"RadarAltitudeBox", &RadarAltitudeBox, {5}},
        {"HeadingBox", &HeadingBox, {5}},
        {"TickHorizontal", &TickHorizontal, {2}},
        {"TickVertical", &TickVertical, {2}},
    };
    for (const auto& c : cases) {
        ASSERT_NE(c.shape, nullptr) << c.name;
        std::vector<int> counts;
        for (int p = 0; p < c.shape->PolylineCount; ++p)
            counts.push_back(c.shape->Polylines[p].VertexCount);
        EXPECT_EQ(counts, c.counts) << c.name;
    }
}

// Spot checks of single vertices: shape, polyline, vertex, x, y.
TEST(Shapes, VerticesFollowTheDrawings) {
    const struct {
        const char* name;
        const Shape* shape;
        int polyline, vertex;
        float x, y;
    } cases[] = {
        {",", Glyph(','), 0, 2, -1, -9.5f},
        {"0", Glyph('0'), 0, 0, 2.5f, 8},
        {"0", Glyph('0'), 0, 3, -4, -6.5f},
        {"0", Glyph('0'), 0, 8, 2.5f, 8},
        {"1", Glyph('1'), 1, 0, 4, -8},
        {"2", Glyph('2'), 0, 8, 4.5f, -8},
        {"3", Glyph('3'), 0, 7, -2, 0},
        {"4", Glyph('4'), 0, 4, 1.5f, -8.5f},
        {"5", Glyph('5'), 0, 3, 2.5f, 1.5f},
        {"6", Glyph('6'), 0, 12, -4, 0},
        {"7", Glyph('7'), 0, 2, 0, -8},
        {"8", Glyph('8'), 0, 12, -4, -1.5f},
        {"9", Glyph('9'), 0, 10, -2.5f, -1.5f},
        {"A", Glyph('A'), 1, 1, 4, -2},
        {"D", Glyph('D'), 0, 4, 4, -2.5f},
        {"E", Glyph('E'), 0, 3, 2.5f, 0},
        {"F", Glyph('F'), 0, 5, -4, -8.5f},
        {"G", Glyph('G'), 0, 10, 1.5f, -2},
        {"J", Glyph('J'), 0, 0, 4, 8.5f},
        {"K", Glyph('K'), 1, 1, -4, 0},
        {"L", Glyph('L'), 0, 2, 4.5f, -8},
        {"M", Glyph('M'), 0, 2, 0, 0},
        {"N", Glyph('N'), 0, 2, 4, -8},
        {"O", Glyph('O'), 0, 4, -2.5f, -8},
        {"P", Glyph('P'), 0, 6, -4, 0},
        {"Q", Glyph('Q'), 0, 5, 2.5f, -8},
        {"Q", Glyph('Q'), 1, 1, 4.5f, -8.5f},
        {"U", Glyph('U'), 0, 5, 4, 8.5f},
        {"V", Glyph('V'), 0, 2, 0, -8},
        {"W", Glyph('W'), 0, 2, 0, 0},
        {"Y", Glyph('Y'), 0, 4, 4.5f, 8.5f},
        {"Z", Glyph('Z'), 0, 2, -4, -8},
        {"FlightPathMarker", &FlightPathMarker, 0, 6, 0, -4},
        {"FlightPathMarker", &FlightPathMarker, 0, 12, 0, 4},
        {"FlightPathMarker", &FlightPathMarker, 3, 0, 0, 8},
        {"BoresightCross", &BoresightCross, 2, 0, 0, -12},
        {"TargetBox", &TargetBox, 0, 2, 12, -12},
        {"LadderRungPositive", &LadderRungPositive, 1, 0, 40, -6},
        {"LadderRungNegative", &LadderRungNegative, 0, 0, -19, -0.75f},
        {"LadderRungNegative", &LadderRungNegative, 3, 1, -29, -3.25f},
        {"LadderRungNegative", &LadderRungNegative, 7, 0, 26, -2.5f},
        {"HorizonLine", &HorizonLine, 1, 0, 1280, 0},
        {"SpeedBox", &SpeedBox, 0, 2, -40, 8},
        {"AltitudeBox", &AltitudeBox, 0, 3, 52, -8},
        {"RadarAltitudeBox", &RadarAltitudeBox, 0, 1, 8, -8},
        {"HeadingBox", &HeadingBox, 0, 0, -12, 8},
        {"TickHorizontal", &TickHorizontal, 0, 1, 1, 0},
        {"TickVertical", &TickVertical, 0, 1, 0, 1},
    };
    for (const auto& c : cases) {
        const D3DXVECTOR3& v = c.shape->Polylines[c.polyline].Vertices[c.vertex];
        EXPECT_EQ(v.x, c.x) << c.name << " " << c.polyline << ":" << c.vertex;
        EXPECT_EQ(v.y, c.y) << c.name << " " << c.polyline << ":" << c.vertex;
        EXPECT_EQ(v.z, 0.0f) << c.name;
    }
}

TEST(Shapes, OAndQShareThePolylineOfZero) {
    const struct Polyline& zero = Glyph('0')->Polylines[0];
    for (char c : {'O', 'Q'}) {
        const struct Polyline& line = Glyph(c)->Polylines[0];
        ASSERT_EQ(line.VertexCount, zero.VertexCount) << c;
        for (int v = 0; v < zero.VertexCount; ++v) {
            EXPECT_EQ(line.Vertices[v].x, zero.Vertices[v].x) << c << v;
            EXPECT_EQ(line.Vertices[v].y, zero.Vertices[v].y) << c << v;
        }
    }
}

// ---- drawing through the line drawer -------------------------------------------------------

class Drawing : public RecordedGame {
  protected:
    void SetUp() override {
        RecordedGame::SetUp();
        ASSERT_TRUE(EnsureResources());
        strokes->SetRasterize(FALSE);
        ASSERT_EQ(LineDrawer->Begin(), D3D_OK);
        strokes->Mark();
    }
    void TearDown() override {
        LineDrawer->End();
        RecordedGame::TearDown();
    }
    std::vector<StrokeRecord> Records() {
        std::vector<StrokeRecord> r;
        for (UINT i = 0; i < strokes->Count(); ++i)
            r.push_back(*strokes->Get(i));
        return r;
    }
};

// The log keeps its own copy of the points: compare them with the polyline's.
bool SamePoints(const StrokeRecord& r, const struct Polyline& line) {
    if (r.PointCount != UINT(line.VertexCount)) return false;
    for (int v = 0; v < line.VertexCount; ++v)
        if (r.Points[v].x != line.Vertices[v].x || r.Points[v].y != line.Vertices[v].y ||
            r.Points[v].z != line.Vertices[v].z)
            return false;
    return true;
}

bool SameMatrix(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a.m[i / 4][i % 4] - b.m[i / 4][i % 4]) > 1e-4f) return false;
    return true;
}

TEST_F(Drawing, ShapeHandsEachPolylineOverWithOneTransformInWhite) {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, 3, 3, 1);
    m._41 = 100;
    m._42 = -20;
    EXPECT_EQ(DrawShape(&m, &LadderRungNegative), D3D_OK);
    const std::vector<StrokeRecord> r = Records();
    ASSERT_EQ(r.size(), 8u);
    for (size_t i = 0; i < r.size(); ++i) {
        EXPECT_TRUE(SamePoints(r[i], LadderRungNegative.Polylines[i])) << i;
        EXPECT_TRUE(SameMatrix(r[i].Matrix, m)) << i;
        EXPECT_EQ(r[i].Colour, 0xFFFFFFFFu);
    }
}

TEST_F(Drawing, NullTransformIsTheIdentityAndNoPolylinesIsSuccess) {
    EXPECT_EQ(DrawShape(nullptr, &TargetBox), D3D_OK);
    ASSERT_EQ(strokes->Count(), 1u);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(SameMatrix(strokes->Get(0)->Matrix, identity));

    strokes->Mark();
    const Shape empty{0, nullptr}, negative{-1, nullptr};
    EXPECT_EQ(DrawShape(nullptr, &empty), S_OK);
    EXPECT_EQ(DrawShape(nullptr, &negative), S_OK);
    EXPECT_EQ(strokes->CallCount(), 0u);
}

TEST_F(Drawing, FailingStrokeStopsTheShapeAndIsReturned) {
    const struct {
        UINT failAt;
        UINT drawn;
        HRESULT result;
    } cases[] = {{1, 0, E_FAIL}, {2, 1, E_FAIL}, {4, 3, D3DERR_INVALIDCALL}, {5, 4, D3D_OK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failAt);
        strokes->Mark();
        strokes->FailDraw(c.failAt, c.result == D3D_OK ? E_FAIL : c.result);
        EXPECT_EQ(DrawShape(nullptr, &BoresightCross), c.result);
        EXPECT_EQ(strokes->CallCount(), c.drawn);
        strokes->FailDraw(0, S_OK);
    }
}

TEST_F(Drawing, StringPlacesEachGlyphInItsCell) {
    const struct {
        const char* text;
        signed char align, line;
        std::string drawn;    // the characters that reach the line drawer, in order
        std::vector<float> x; // their cell centres
    } cases[] = {
        {"12", 0, 0, "12", {-6, 6}},
        {"12", 1, 0, "12", {6, 18}},
        {"12", -1, 0, "12", {-18, -6}},
        {"-5", -1, 0, "-5", {-18, -6}},
        {"ARM ", -1, 0, "ARM", {-42, -30, -18}},
        {"A B", 1, 1, "AB", {6, 30}},
        {"NAV", 0, -1, "NAV", {-12, 0, 12}},
        {"a1", 1, 0, "1", {18}},
        {"1/2:3", 1, 2, "123", {6, 30, 54}},
        {"\x80"
         "7",
         1,
         0,
         "7",
         {18}},
        {"abc", 0, 0, "", {}},
        {"", 0, 0, "", {}},
    };
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, 2, 2, 1);
    m._41 = 100;
    m._42 = 50;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\" align " + std::to_string(c.align) + " line " +
                     std::to_string(c.line));
        strokes->Mark();
        DrawString(c.text, &m, c.align, c.line);
        const std::vector<StrokeRecord> r = Records();
        size_t k = 0;
        for (size_t i = 0; i < c.drawn.size(); ++i) {
            const Shape* g = Glyph(c.drawn[i]);
            D3DXMATRIX cell;
            D3DXMatrixTranslation(&cell, c.x[i], 12.0f * c.line, 0);
            D3DXMatrixMultiply(&cell, &cell, &m);
            for (int p = 0; p < g->PolylineCount; ++p, ++k) {
                ASSERT_LT(k, r.size());
                EXPECT_TRUE(SamePoints(r[k], g->Polylines[p])) << c.drawn[i] << " " << p;
                EXPECT_TRUE(SameMatrix(r[k].Matrix, cell))
                    << c.drawn[i] << " at " << r[k].Matrix._41 << "," << r[k].Matrix._42;
            }
        }
        EXPECT_EQ(r.size(), k);
    }
}

TEST_F(Drawing, StringsOnLinesZeroAndOneStandTwelveUnitsApart) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    DrawString("7", &m, 0, 0);
    DrawString("7", &m, 0, 1);
    ASSERT_EQ(strokes->Count(), 2u);
    EXPECT_EQ(strokes->Get(1)->Matrix._42 - strokes->Get(0)->Matrix._42, 12.0f);
    EXPECT_EQ(strokes->Get(1)->Matrix._41, strokes->Get(0)->Matrix._41);
}

TEST_F(Drawing, FailingStrokeStopsTheString) {
    // "HH": three strokes per H.
    const struct { UINT failAt, drawn; } cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {6, 5}};
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failAt);
        strokes->Mark();
        strokes->FailDraw(c.failAt, E_FAIL);
        DrawString("HH", &m, 1, 0);
        EXPECT_EQ(strokes->CallCount(), c.drawn);
        strokes->FailDraw(0, S_OK);
    }
}

} // namespace
