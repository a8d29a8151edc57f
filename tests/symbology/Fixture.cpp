#include "tests/symbology/Fixture.h"

#include <algorithm>
#include <cmath>

#include "render/DrawDisplay.h"
#include "render/Resources.h"
#include "render/Shapes.h"
#include "symbology/Symbology.h"
#include "testing/d3dx/StrokeLog.h"
#include "testing/gamemodel/GameModel.h"
#include "testing/recdevice/RecordingDevice.h"

D3DXMATRIX WorkedView() {
    return D3DXMATRIX(1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, -5, 20, 1);
}

D3DXMATRIX WorkedProjection() {
    D3DXMATRIX p(1.5f, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.001f, 1, 0, 0, -1.001f, 0);
    return p;
}

namespace {

struct Candidate {
    std::string Name;
    bool Glyph;
    const Shape* Data;
};

std::vector<Candidate> Candidates() {
    std::vector<Candidate> all = {
        {"FlightPathMarker", false, &FlightPathMarker},
        {"BoresightCross", false, &BoresightCross},
        {"TargetBox", false, &TargetBox},
        {"LadderRungPositive", false, &LadderRungPositive},
        {"LadderRungNegative", false, &LadderRungNegative},
        {"HorizonLine", false, &HorizonLine},
        {"SpeedBox", false, &SpeedBox},
        {"AltitudeBox", false, &AltitudeBox},
        {"RadarAltitudeBox", false, &RadarAltitudeBox},
        {"HeadingBox", false, &HeadingBox},
        {"TickHorizontal", false, &TickHorizontal},
        {"TickVertical", false, &TickVertical},
    };
    for (int i = 0; i < GlyphTableSize; ++i)
        if (GlyphTable[i])
            all.push_back({std::string(1, char(GlyphTableFirst + i)), true, GlyphTable[i]});
    // Longest first, so that Q is not read as 0; 0 comes before its twin O.
    std::stable_sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) {
        return a.Data->PolylineCount > b.Data->PolylineCount;
    });
    return all;
}

bool SameMatrix(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i)
        if (a.m[i / 4][i % 4] != b.m[i / 4][i % 4]) return false;
    return true;
}

bool SamePoints(const StrokeRecord* r, const struct Polyline& p) {
    if (r->PointCount != UINT(p.VertexCount)) return false;
    for (int i = 0; i < p.VertexCount; ++i)
        if (r->Points[i].x != p.Vertices[i].x || r->Points[i].y != p.Vertices[i].y ||
            r->Points[i].z != p.Vertices[i].z)
            return false;
    return true;
}

bool Near(float a, float b, float scale) {
    return std::fabs(a - b) <= 1e-4f * scale + 1e-7f;
}

// Cells from glyph a to glyph b of one string (1 to 3), or 0 when b starts another string.
int CellsBetween(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            if (!Near(a.m[r][c], b.m[r][c], std::fabs(a.m[r][c]))) return 0;
    for (int cells = 1; cells <= 3; ++cells) {
        bool fits = true;
        for (int c = 0; c < 4; ++c) {
            float step = 12 * cells * a.m[0][c];
            float scale =
                std::fabs(12 * a.m[0][0]) + std::fabs(12 * a.m[0][1]) + std::fabs(a.m[3][c]);
            if (!Near(b.m[3][c] - a.m[3][c], step, scale * 10)) fits = false;
        }
        if (fits) return cells;
    }
    return 0;
}

} // namespace

Display ReadDisplay(IStrokeLog* log) {
    static const std::vector<Candidate> candidates = Candidates();
    std::vector<DrawnItem> items;
    const UINT n = log->Count();
    for (UINT i = 0; i < n;) {
        const StrokeRecord* first = log->Get(i);
        const Candidate* found = nullptr;
        for (const Candidate& c : candidates) {
            UINT k = UINT(c.Data->PolylineCount);
            if (k == 0 || i + k > n) continue;
            bool match = true;
            for (UINT j = 0; j < k && match; ++j) {
                const StrokeRecord* r = log->Get(i + j);
                match = SameMatrix(r->Matrix, first->Matrix) && SamePoints(r, c.Data->Polylines[j]);
            }
            if (match) {
                found = &c;
                break;
            }
        }
        DrawnItem item;
        item.Matrix = first->Matrix;
        if (found) {
            item.Name = found->Name;
            item.Glyph = found->Glyph;
            i += UINT(found->Data->PolylineCount);
        } else {
            item.Name = "Path";
            item.Points.assign(first->Points, first->Points + first->PointCount);
            ++i;
        }
        items.push_back(item);
    }
    Display d;
    for (size_t i = 0; i < items.size(); ++i) {
        const DrawnItem& item = items[i];
        Drawn drawn{item.Name, item.Glyph, item.Matrix, item.Points};
        if (item.Glyph) {
            D3DXMATRIX last = item.Matrix;
            while (i + 1 < items.size() && items[i + 1].Glyph) {
                int cells = CellsBetween(last, items[i + 1].Matrix);
                if (cells == 0) break;
                drawn.Name += std::string(cells - 1, ' ') + items[i + 1].Name;
                last = items[++i].Matrix;
            }
        }
        d.Sequence.push_back(drawn);
    }
    return d;
}

std::vector<Drawn> Display::Shapes(const std::string& name) const {
    std::vector<Drawn> out;
    for (const Drawn& i : Sequence)
        if (!i.Text && i.Name == name) out.push_back(i);
    return out;
}

namespace {
// O is drawn with the very strokes of 0: texts compare with every O read as 0.
std::string AsDrawn(std::string text) {
    std::replace(text.begin(), text.end(), 'O', '0');
    return text;
}
} // namespace

std::vector<Drawn> Display::Strings(const std::string& text) const {
    std::vector<Drawn> out;
    for (const Drawn& t : Sequence)
        if (t.Text && t.Name == AsDrawn(text)) out.push_back(t);
    return out;
}

int Display::Find(const std::string& name, int from) const {
    for (int i = from; i < int(Sequence.size()); ++i)
        if (Sequence[i].Name == (Sequence[i].Text ? AsDrawn(name) : name)) return i;
    return -1;
}

Local InFrameUnits(const D3DXMATRIX& m, const D3DXMATRIX& f) {
    // m's origin lands at f's origin plus X times f's row 1 plus Y times its row 2 (x and y).
    float dx = m._41 - f._41, dy = m._42 - f._42;
    float det = f._11 * f._22 - f._12 * f._21;
    Local l;
    l.X = (dx * f._22 - dy * f._21) / det;
    l.Y = (f._11 * dy - f._12 * dx) / det;
    float f1 = f._11 * f._11 + f._12 * f._12;
    l.Scale = (m._11 * f._11 + m._12 * f._12) / f1;
    return l;
}

TextPlace PlaceOfText(const Drawn& text, const D3DXMATRIX& frame) {
    Local first = InFrameUnits(text.Matrix, frame);
    float cell = 12 * first.Scale;
    return {first.X - cell / 2, first.X + cell * (float(text.Name.size()) - 0.5f), first.Y,
            first.Scale};
}

void SymbologyTest::SetUp() {
    GameFlyJet();
    Device = CreateRecordingDevice(640, 480);
    ASSERT_NE(Device, nullptr);
    GameDevice() = Device;
    GameBackBuffer() = Device->BackBuffer();
    D3DXMATRIX view = WorkedView(), projection = WorkedProjection();
    Device->SetTransform(D3DTS_VIEW, &view);
    Device->SetTransform(D3DTS_PROJECTION, &projection);
    ASSERT_TRUE(EnsureResources());
    Log = OpenStrokeLog(Device);
    ASSERT_NE(Log, nullptr) << "our d3dx9_43 stand-in did not load";
    Log->Reset();
    Log->SetRasterize(FALSE);
    // The load factor's memory is process-wide: every test starts as after a frame without it.
    ForgetPreviousVelocity();
}

void SymbologyTest::TearDown() {
    ReleaseResources();
    if (Log) Log->Release();
    GameDevice() = nullptr;
    GameBackBuffer() = nullptr;
    if (Device) Device->Release();
}

Display SymbologyTest::DrawFrame() {
    const HostVehicle* vehicle = GamePlayerRecord()->Vehicle;
    BuildDisplayGeometry(Device, vehicle, &Geometry);
    LineDrawer->Begin();
    Log->Mark();
    DrawSymbology(&Geometry, vehicle);
    LineDrawer->End();
    return ReadDisplay(Log);
}

Display SymbologyTest::DrawDisplayFrame() {
    BuildDisplayGeometry(Device, GamePlayerRecord()->Vehicle, &Geometry);
    Log->Mark();
    DrawDisplay();
    return ReadDisplay(Log);
}

void SymbologyTest::Fly(const D3DXVECTOR3& r, const D3DXVECTOR3& f, const D3DXVECTOR3& u) {
    GameSetAxes(r, f, u);
    D3DXMATRIX view(r.x, u.x, f.x, 0, r.y, u.y, f.y, 0, r.z, u.z, f.z, 0, 0, -5, 20, 1);
    Device->SetTransform(D3DTS_VIEW, &view);
}

D3DXMATRIX SymbologyTest::VehicleFrame(float x, float y, float z) const {
    D3DXMATRIX f;
    EXPECT_TRUE(PlaceAtVehiclePoint(&Geometry, x, y, z, Geometry.DisplayBasis, &f));
    return f;
}

D3DXMATRIX SymbologyTest::DirectionFrame(const D3DXVECTOR3& d, bool attitude) const {
    D3DXMATRIX f;
    EXPECT_TRUE(PlaceAlongDirection(&Geometry, d,
                                    attitude ? Geometry.AttitudeBasis : Geometry.DisplayBasis, &f));
    return f;
}
