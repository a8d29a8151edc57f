// The line drawer on the recording device: its settings, the states Begin sets and End gives
// back, clipping and viewport mapping as the stroke log reports them, the quads it draws, and
// the log's own controls.
#include <gtest/gtest.h>

#include <initguid.h> // IID_ID3DXLine

#include <d3dx9.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "testing/d3dx/StrokeLog.h"
#include "testing/recdevice/RecordingDevice.h"

namespace {

struct LineVertex {
    float X, Y, Z, Rhw;
    D3DCOLOR Colour;
    float U, V;
};
static_assert(sizeof(LineVertex) == 28, "D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1");

struct Drawn {
    D3DPRIMITIVETYPE Type;
    UINT Primitives, Stride;
    DWORD Fvf, AlphaBlend; // as the device had them at the draw
    std::vector<LineVertex> Vertices;
};

// Keeps a copy of what every DrawPrimitiveUP hands over.
class CapturingDevice : public RecordingDevice {
  public:
    CapturingDevice(UINT w, UINT h) : RecordingDevice(w, h) {}
    HRESULT WINAPI DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data,
                                   UINT stride) override {
        Drawn d{type, count, stride, PeekFVF(), PeekRenderState(D3DRS_ALPHABLENDENABLE), {}};
        if (type == D3DPT_TRIANGLELIST && stride == sizeof(LineVertex) && data) {
            auto* v = static_cast<const LineVertex*>(data);
            d.Vertices.assign(v, v + count * 3);
        }
        Draws.push_back(d);
        return RecordingDevice::DrawPrimitiveUP(type, count, data, stride);
    }
    std::vector<Drawn> Draws;
};

struct Seg {
    float X0, Y0, X1, Y1;
};

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, 1, 1, 1);
    return m;
}

class LineDrawer : public ::testing::Test {
  protected:
    void SetUp() override {
        device = new CapturingDevice(1280, 960);
        log = OpenStrokeLog(device);
        ASSERT_NE(log, nullptr) << "our d3dx9_43.dll is not the one loaded";
        log->Reset();
        ASSERT_EQ(D3DXCreateLine(device, &line), D3D_OK);
        device->ClearCalls();
    }
    void TearDown() override {
        if (line) line->Release();
        if (log) {
            log->Reset();
            log->Release();
        }
        device->Release();
    }

    void SetViewport(DWORD x, DWORD y, DWORD w, DWORD h) {
        const D3DVIEWPORT9 vp{x, y, w, h, 0.0f, 1.0f};
        ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    }

    std::vector<Seg> Segments(UINT record) {
        std::vector<Seg> out;
        const StrokeRecord* r = log->Get(record);
        if (!r) return out;
        for (UINT i = 0; i < r->SegmentCount; ++i)
            out.push_back({r->Segments[4 * i], r->Segments[4 * i + 1], r->Segments[4 * i + 2],
                           r->Segments[4 * i + 3]});
        return out;
    }

    std::vector<std::string> MethodsCalled() {
        std::vector<std::string> names;
        for (const DeviceCall& c : device->Calls())
            names.push_back(c.Method);
        return names;
    }

    CapturingDevice* device = nullptr;
    IStrokeLog* log = nullptr;
    ID3DXLine* line = nullptr;
};

::testing::AssertionResult SameSegments(const std::vector<Seg>& got, const std::vector<Seg>& want) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " segments, expected " << want.size();
    for (size_t i = 0; i < got.size(); ++i) {
        const Seg &a = got[i], &b = want[i];
        if (std::fabs(a.X0 - b.X0) > 1e-3f || std::fabs(a.Y0 - b.Y0) > 1e-3f ||
            std::fabs(a.X1 - b.X1) > 1e-3f || std::fabs(a.Y1 - b.Y1) > 1e-3f)
            return ::testing::AssertionFailure()
                   << "segment " << i << " is (" << a.X0 << ", " << a.Y0 << ")-(" << a.X1 << ", "
                   << a.Y1 << "), expected (" << b.X0 << ", " << b.Y0 << ")-(" << b.X1 << ", "
                   << b.Y1 << ")";
    }
    return ::testing::AssertionSuccess();
}

// --- creation, identity, settings

TEST_F(LineDrawer, HoldsItsDeviceAndAnswersItsInterfaces) {
    const ULONG base = device->RefCount();
    ID3DXLine* second = nullptr;
    ASSERT_EQ(D3DXCreateLine(device, &second), D3D_OK);
    EXPECT_EQ(device->RefCount(), base + 1);

    IDirect3DDevice9* got = nullptr;
    ASSERT_EQ(second->GetDevice(&got), D3D_OK);
    EXPECT_EQ(got, static_cast<IDirect3DDevice9*>(device));
    EXPECT_EQ(device->RefCount(), base + 2);
    got->Release();

    void* same = nullptr;
    ASSERT_EQ(second->QueryInterface(IID_ID3DXLine, &same), D3D_OK);
    EXPECT_EQ(same, second);
    EXPECT_EQ(second->Release(), 1u); // the reference QueryInterface added
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(second->QueryInterface(__uuidof(IDirect3DDevice9), &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    void* strokes = nullptr;
    ASSERT_EQ(second->QueryInterface(IID_IStrokeLog, &strokes), S_OK);
    EXPECT_EQ(strokes, log); // one log for the whole process

    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(device->RefCount(), base);
}

TEST_F(LineDrawer, CreationRefusesMissingArgumentsAndHonoursArmedFailures) {
    ID3DXLine* made = reinterpret_cast<ID3DXLine*>(1);
    EXPECT_EQ(D3DXCreateLine(nullptr, &made), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateLine(device, nullptr), D3DERR_INVALIDCALL);

    const ULONG base = device->RefCount();
    log->FailCreate(StrokeLogCreateLine, 2, E_OUTOFMEMORY);
    const HRESULT expected[] = {D3D_OK, E_OUTOFMEMORY, D3D_OK};
    for (HRESULT want : expected) {
        made = reinterpret_cast<ID3DXLine*>(1);
        EXPECT_EQ(D3DXCreateLine(device, &made), want);
        EXPECT_EQ(made != nullptr, want == D3D_OK);
        if (made) made->Release();
        EXPECT_EQ(device->RefCount(), base);
    }
}

TEST_F(LineDrawer, KeepsItsSettings) {
    // The D3DX defaults first.
    EXPECT_EQ(line->GetWidth(), 1.0f);
    EXPECT_EQ(line->GetPattern(), 0xFFFFFFFFu);
    EXPECT_EQ(line->GetPatternScale(), 1.0f);
    EXPECT_EQ(line->GetAntialias(), FALSE);
    EXPECT_EQ(line->GetGLLines(), FALSE);

    EXPECT_EQ(line->SetWidth(4.0f), D3D_OK);
    EXPECT_EQ(line->SetPattern(0x00000001), D3D_OK);
    EXPECT_EQ(line->SetPatternScale(2.5f), D3D_OK);
    EXPECT_EQ(line->SetAntialias(TRUE), D3D_OK);
    EXPECT_EQ(line->SetGLLines(TRUE), D3D_OK);
    EXPECT_EQ(line->GetWidth(), 4.0f);
    EXPECT_EQ(line->GetPattern(), 0x00000001u);
    EXPECT_EQ(line->GetPatternScale(), 2.5f);
    EXPECT_EQ(line->GetAntialias(), TRUE);
    EXPECT_EQ(line->GetGLLines(), TRUE);

    for (float bad : {0.0f, -0.0f, -2.0f}) {
        EXPECT_EQ(line->SetWidth(bad), D3DERR_INVALIDCALL) << bad;
        EXPECT_EQ(line->GetWidth(), 4.0f);
    }
    EXPECT_TRUE(device->Calls().empty()); // settings never touch the device
}

// --- Begin and End

struct StateCase {
    D3DRENDERSTATETYPE State;
    DWORD Before, DuringBegin;
};
const StateCase StrokeStates[] = {
    {D3DRS_ALPHABLENDENABLE, FALSE, TRUE},
    {D3DRS_CULLMODE, D3DCULL_CW, D3DCULL_NONE},
    {D3DRS_ZENABLE, D3DZB_TRUE, D3DZB_FALSE},
    {D3DRS_ZWRITEENABLE, TRUE, FALSE},
    {D3DRS_LIGHTING, TRUE, FALSE},
    {D3DRS_FOGENABLE, TRUE, FALSE},
};
// What the caller sets after Begin and the drawer must leave alone.
const StateCase CallerStates[] = {
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA, 0},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA, 0},
    {D3DRS_BLENDOP, D3DBLENDOP_MAX, 0},
    {D3DRS_BLENDFACTOR, 0x12345678, 0},
};

class LineDrawerStates : public LineDrawer {
  protected:
    void SetUp() override {
        LineDrawer::SetUp();
        const DWORD vsCode[] = {0xFFFE0200, 0x0000FFFF}, psCode[] = {0xFFFF0200, 0x0000FFFF};
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            D3DDECL_END()};
        ASSERT_EQ(device->CreateVertexShader(vsCode, &vs), D3D_OK);
        ASSERT_EQ(device->CreatePixelShader(psCode, &ps), D3D_OK);
        ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
        ASSERT_EQ(
            device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
        for (const auto& s : StrokeStates)
            device->SetRenderState(s.State, s.Before);
        for (const auto& s : CallerStates)
            device->SetRenderState(s.State, s.Before);
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
        device->SetTexture(0, texture);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
        device->ClearCalls();
    }
    void TearDown() override {
        for (IUnknown* p : std::initializer_list<IUnknown*>{vs, ps, decl, texture})
            if (p) p->Release();
        LineDrawer::TearDown();
    }

    // Every state Begin may touch is as the test set it, and no reference is left behind.
    void ExpectAsBefore(const char* when, DWORD fvf, IDirect3DVertexDeclaration9* declaration) {
        for (const auto& s : StrokeStates)
            EXPECT_EQ(device->PeekRenderState(s.State), s.Before) << when << " state " << s.State;
        for (const auto& s : CallerStates)
            EXPECT_EQ(device->PeekRenderState(s.State), s.Before) << when << " state " << s.State;
        EXPECT_EQ(device->PeekFVF(), fvf) << when;
        EXPECT_EQ(device->PeekVertexDeclaration(), declaration) << when;
        EXPECT_EQ(device->PeekVertexShader(), vs) << when;
        EXPECT_EQ(device->PeekPixelShader(), ps) << when;
        EXPECT_EQ(device->PeekTexture(0), texture) << when;
        EXPECT_EQ(device->PeekSamplerState(0, D3DSAMP_MINFILTER), DWORD(D3DTEXF_POINT)) << when;
        EXPECT_EQ(device->PeekTextureStageState(0, D3DTSS_COLOROP), DWORD(D3DTOP_ADD)) << when;
        for (IUnknown* p : std::initializer_list<IUnknown*>{vs, ps, decl, texture})
            EXPECT_EQ(RecordingDevice::PeekRefCount(p), references[p]) << when;
    }
    void CountReferences() {
        for (IUnknown* p : std::initializer_list<IUnknown*>{vs, ps, decl, texture})
            references[p] = RecordingDevice::PeekRefCount(p);
    }

    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    IDirect3DVertexDeclaration9* decl = nullptr;
    IDirect3DTexture9* texture = nullptr;
    std::map<IUnknown*, ULONG> references;
};

TEST_F(LineDrawerStates, BeginSetsStrokeStatesAndEndRestoresThem) {
    // A declaration of its own (FVF 0), and an FVF (no declaration).
    for (bool ownDeclaration : {true, false}) {
        SCOPED_TRACE(ownDeclaration ? "declaration" : "FVF");
        const DWORD fvf = ownDeclaration ? 0 : D3DFVF_XYZ | D3DFVF_DIFFUSE;
        IDirect3DVertexDeclaration9* declaration = ownDeclaration ? decl : nullptr;
        device->SetFVF(fvf);
        device->SetVertexDeclaration(declaration);
        CountReferences();
        device->ClearCalls();

        ASSERT_EQ(line->Begin(), D3D_OK);
        for (const auto& s : StrokeStates)
            EXPECT_EQ(device->PeekRenderState(s.State), s.DuringBegin) << "state " << s.State;
        EXPECT_EQ(device->PeekFVF(), DWORD(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1));
        EXPECT_EQ(device->PeekVertexShader(), nullptr);
        EXPECT_EQ(device->PeekPixelShader(), nullptr);
        EXPECT_EQ(line->Begin(), D3DERR_INVALIDCALL); // already begun

        ASSERT_EQ(line->End(), D3D_OK);
        ExpectAsBefore("after End", fvf, declaration);
        EXPECT_EQ(line->End(), D3DERR_INVALIDCALL); // not begun

        // The texture, blend factors, samplers and stages belong to the caller.
        for (const DeviceCall& c : device->Calls()) {
            const std::string m = c.Method;
            EXPECT_TRUE(m != "SetTexture" && m != "SetSamplerState" && m != "SetTextureStageState")
                << m;
            if (m == "SetRenderState") {
                for (const auto& s : CallerStates)
                    EXPECT_NE(c.Args[0], DWORD(s.State));
            }
        }
    }
}

TEST_F(LineDrawerStates, DrawOutsideBeginBracketsItself) {
    CountReferences();
    const D3DXVECTOR3 points[] = {{-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}};
    const D3DXMATRIX identity = Identity();
    ASSERT_EQ(line->DrawTransform(points, 2, &identity, 0xFFFFFFFF), D3D_OK);
    const D3DXVECTOR2 screen[] = {{10, 10}, {100, 10}};
    ASSERT_EQ(line->Draw(screen, 2, 0xFFFFFFFF), D3D_OK);
    ASSERT_EQ(device->Draws.size(), 2u);
    for (const Drawn& d : device->Draws) {
        EXPECT_EQ(d.Fvf, DWORD(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1));
        EXPECT_EQ(d.AlphaBlend, DWORD(TRUE));
    }
    ExpectAsBefore("after the draws", 0, nullptr);
}

TEST_F(LineDrawerStates, DrawInsideBeginChangesNoState) {
    ASSERT_EQ(line->Begin(), D3D_OK);
    device->ClearCalls();
    const D3DXVECTOR3 points[] = {{-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}, {0.5f, 0.5f, 0.5f}};
    const D3DXMATRIX identity = Identity();
    ASSERT_EQ(line->DrawTransform(points, 3, &identity, 0xFFFFFFFF), D3D_OK);
    for (const std::string& m : MethodsCalled())
        EXPECT_EQ(m.rfind("Set", 0), std::string::npos) << m;
    EXPECT_EQ(device->CountCalls("DrawPrimitiveUP"), 1);
    ASSERT_EQ(line->End(), D3D_OK);
}

// --- clipping and mapping, as logged

struct MappingCase {
    const char* What;
    D3DVIEWPORT9 Viewport;
    D3DXMATRIX Matrix;
    std::vector<D3DXVECTOR3> Points;
    std::vector<Seg> Expected;
};

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}
// Clip (x / 640, y / 480, 0, 2): a point's pixel offset from the centre is (x, -y) / 2.
D3DXMATRIX HalvedPixels() {
    D3DXMATRIX m = Identity();
    m._11 = 1.0f / 640;
    m._22 = 1.0f / 480;
    m._33 = 0;
    m._44 = 2;
    return m;
}
// A perspective of the usual form: clip z = depth - 0.1, w = depth.
D3DXMATRIX Perspective() {
    D3DXMATRIX m = Identity();
    m._34 = 1;
    m._43 = -0.1f;
    m._44 = 0;
    return m;
}

const D3DVIEWPORT9 Full{0, 0, 1280, 960, 0, 1};

TEST_F(LineDrawer, MapsThroughTheCurrentViewport) {
    const MappingCase table[] = {
        {"corner to corner", Full, Identity(), {{-1, 1, 0.5f}, {1, -1, 0.5f}}, {{0, 0, 1280, 960}}},
        {"offset viewport",
         {100, 50, 800, 600, 0, 1},
         Identity(),
         {{0, 0, 0.5f}, {0.5f, 0.5f, 0.5f}},
         {{500, 350, 700, 200}}},
        {"divides by w", Full, HalvedPixels(), {{0, 0, 0}, {1280, 960, 0}}, {{640, 480, 1280, 0}}},
        {"row 4 translates",
         Full,
         Translation(0.5f, 0, 0),
         {{-0.5f, 0, 0.2f}, {0, 0, 0.2f}},
         {{640, 480, 960, 480}}},
        {"a strip",
         Full,
         Identity(),
         {{0, 0, 0.5f}, {0.5f, 0, 0.5f}, {0.5f, -0.5f, 0.5f}},
         {{640, 480, 960, 480}, {960, 480, 960, 720}}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.What);
        log->Mark();
        SetViewport(row.Viewport.X, row.Viewport.Y, row.Viewport.Width, row.Viewport.Height);
        ASSERT_EQ(line->DrawTransform(row.Points.data(), DWORD(row.Points.size()), &row.Matrix,
                                      0xFF00FF00),
                  D3D_OK);
        ASSERT_EQ(log->Count(), 1u);
        EXPECT_TRUE(SameSegments(Segments(0), row.Expected));
    }
}

TEST_F(LineDrawer, ClipsAtTheNearPlaneAndTheViewportButNotTheFarPlane) {
    const MappingCase table[] = {
        {"behind the camera", Full, Identity(), {{0, 0, -1}, {0.5f, 0.5f, -1}}, {}},
        {"on and beyond the far plane",
         Full,
         Identity(),
         {{0, 0, 1}, {0.5f, 0, 3}},
         {{640, 480, 960, 480}}},
        {"through the near plane",
         Full,
         Identity(),
         {{0, 0, -1}, {0.5f, 0, 1}},
         {{800, 480, 960, 480}}},
        {"through the right edge",
         Full,
         Identity(),
         {{0.5f, 0, 0.5f}, {1.5f, 0, 0.5f}},
         {{960, 480, 1280, 480}}},
        {"through the top edge",
         Full,
         Identity(),
         {{0, 0.5f, 0.5f}, {0, 2, 0.5f}},
         {{640, 240, 640, 0}}},
        {"left of the viewport", Full, Identity(), {{-3, 0, 0.5f}, {-2, 0.5f, 0.5f}}, {}},
        {"a strip going behind",
         Full,
         Identity(),
         {{0, 0, 1}, {0.5f, 0, 1}, {0.5f, 0.5f, -1}, {0, 0, -1}},
         {{640, 480, 960, 480}, {960, 480, 960, 360}}},
        {"perspective, toward the eye",
         Full,
         Perspective(),
         {{1, 0, 2}, {1, 0, 0.05f}},
         {{960, 480, 1280, 480}}},
    };
    line->SetWidth(2);
    for (const auto& row : table) {
        SCOPED_TRACE(row.What);
        log->Mark();
        device->Draws.clear();
        SetViewport(row.Viewport.X, row.Viewport.Y, row.Viewport.Width, row.Viewport.Height);
        ASSERT_EQ(line->DrawTransform(row.Points.data(), DWORD(row.Points.size()), &row.Matrix,
                                      0xFFFFFFFF),
                  D3D_OK);
        ASSERT_EQ(log->Count(), 1u);
        EXPECT_TRUE(SameSegments(Segments(0), row.Expected));
        // Nothing left: nothing drawn. Otherwise two triangles for each segment.
        if (row.Expected.empty()) {
            EXPECT_TRUE(device->Draws.empty());
        } else {
            ASSERT_EQ(device->Draws.size(), 1u);
            EXPECT_EQ(device->Draws[0].Primitives, 2 * row.Expected.size());
        }
    }
}

// --- the quads

float Cross(float ax, float ay, float bx, float by) {
    return ax * by - ay * bx;
}

// Is (x, y) inside any triangle of the list (pixel-centre convention undone)?
bool Covered(const std::vector<LineVertex>& v, float x, float y) {
    x -= 0.5f;
    y -= 0.5f;
    for (size_t i = 0; i + 2 < v.size(); i += 3) {
        const LineVertex &a = v[i], &b = v[i + 1], &c = v[i + 2];
        const float d1 = Cross(b.X - a.X, b.Y - a.Y, x - a.X, y - a.Y);
        const float d2 = Cross(c.X - b.X, c.Y - b.Y, x - b.X, y - b.Y);
        const float d3 = Cross(a.X - c.X, a.Y - c.Y, x - c.X, y - c.Y);
        const bool neg = d1 < 0 || d2 < 0 || d3<0, pos = d1> 0 || d2 > 0 || d3 > 0;
        if (!(neg && pos)) return true;
    }
    return false;
}

float Area(const std::vector<LineVertex>& v) {
    float sum = 0;
    for (size_t i = 0; i + 2 < v.size(); i += 3)
        sum += std::fabs(Cross(v[i + 1].X - v[i].X, v[i + 1].Y - v[i].Y, v[i + 2].X - v[i].X,
                               v[i + 2].Y - v[i].Y)) /
               2;
    return sum;
}

TEST_F(LineDrawer, WidensASegmentIntoAQuadOfTheSetWidth) {
    const struct {
        float Width;
        D3DXVECTOR3 A, B; // clip space, w = 1
    } table[] = {
        {4, {-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}},          // (320, 480) to (960, 480)
        {3, {-0.5f, 0.5f, 0.5f}, {0.25f, -0.25f, 0.5f}}, // a diagonal
    };
    const D3DXMATRIX identity = Identity();
    for (const auto& row : table) {
        SCOPED_TRACE(row.Width);
        device->Draws.clear();
        log->Mark();
        ASSERT_EQ(line->SetWidth(row.Width), D3D_OK);
        const D3DXVECTOR3 points[] = {row.A, row.B};
        ASSERT_EQ(line->DrawTransform(points, 2, &identity, 0x80FF2010), D3D_OK);
        ASSERT_EQ(device->Draws.size(), 1u);
        const Drawn& d = device->Draws[0];
        EXPECT_EQ(d.Type, D3DPT_TRIANGLELIST);
        EXPECT_EQ(d.Primitives, 2u);
        ASSERT_EQ(d.Vertices.size(), 6u);
        EXPECT_EQ(log->Get(0)->Width, row.Width);

        const Seg s = Segments(0).at(0);
        const float length = std::hypot(s.X1 - s.X0, s.Y1 - s.Y0);
        const float dx = (s.X1 - s.X0) / length, dy = (s.Y1 - s.Y0) / length;
        for (const LineVertex& v : d.Vertices) {
            EXPECT_EQ(v.Colour, 0x80FF2010u);
            EXPECT_EQ(v.Z, 0.0f);
            EXPECT_EQ(v.Rhw, 1.0f);
            // Pixel centres of pre-transformed vertices sit on integers: everything is shifted
            // by half a pixel from the logged segment.
            const float rx = v.X + 0.5f - s.X0, ry = v.Y + 0.5f - s.Y0;
            const float along = rx * dx + ry * dy, across = -rx * dy + ry * dx;
            EXPECT_NEAR(std::fabs(across), row.Width / 2, 1e-3f); // centred, full width
            EXPECT_NEAR(along, v.U * length, 1e-2f);              // u runs along, 0 to 1
            EXPECT_TRUE(v.U == 0 || v.U == 1) << v.U;
            EXPECT_TRUE(v.V == 0 || v.V == 1) << v.V;
            // v runs across: 0 on one side, 1 on the other
            EXPECT_EQ(across > 0, v.V == 0) << across << " " << v.V;
        }
        EXPECT_NEAR(Area(d.Vertices), length * row.Width, 0.05f); // the quad, once
    }
}

TEST_F(LineDrawer, JointsOfAStripLeaveNoGap) {
    const float width = 8, h = width / 2;
    line->SetWidth(width);
    for (float turn : {0.0f, 45.0f, 90.0f, 150.0f, 178.0f}) {
        SCOPED_TRACE(turn);
        device->Draws.clear();
        const float a = turn * 3.14159265f / 180;
        // Screen points: in from the left, turning by `turn` degrees at the joint.
        const D3DXVECTOR2 joint(640, 480);
        const D3DXVECTOR2 points[] = {
            {440, 480}, joint, {640 + 150 * cosf(a), 480 + 150 * sinf(a)}};
        ASSERT_EQ(line->Draw(points, 3, 0xFFFFFFFF), D3D_OK);
        ASSERT_EQ(device->Draws.size(), 1u);
        const std::vector<LineVertex>& v = device->Draws[0].Vertices;
        ASSERT_EQ(v.size(), 12u);
        // Every point within 0.95 h of the strip, near the joint, lies in some triangle.
        int checked = 0;
        for (float y = 480 - 3 * h; y <= 480 + 3 * h; y += 0.25f)
            for (float x = 640 - 3 * h; x <= 640 + 3 * h; x += 0.25f) {
                auto distance = [&](const D3DXVECTOR2& p, const D3DXVECTOR2& q) {
                    const float lx = q.x - p.x, ly = q.y - p.y;
                    float t = ((x - p.x) * lx + (y - p.y) * ly) / (lx * lx + ly * ly);
                    t = t < 0 ? 0 : t > 1 ? 1 : t;
                    return std::hypot(x - p.x - t * lx, y - p.y - t * ly);
                };
                if (std::fmin(distance(points[0], joint), distance(joint, points[2])) > 0.95f * h)
                    continue;
                ++checked;
                ASSERT_TRUE(Covered(v, x, y)) << "gap at (" << x << ", " << y << ")";
            }
        EXPECT_GT(checked, 1000);
    }
}

// Strokes add up on the display's target, so a joint must not be covered twice: the triangles
// of a strip with a moderate turn cover exactly its length times its width.
TEST_F(LineDrawer, ModerateJointsAreNotCoveredTwice) {
    line->SetWidth(6);
    const struct {
        const char* What;
        D3DXVECTOR2 Points[3];
        float Length;
    } table[] = {
        {"straight on", {{100, 100}, {200, 100}, {300, 100}}, 200},
        {"right angle", {{100, 100}, {300, 100}, {300, 250}}, 350},
        {"diagonal turn", {{100, 100}, {200, 200}, {300, 200}}, 100 * 1.41421356f + 100},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.What);
        device->Draws.clear();
        ASSERT_EQ(line->Draw(row.Points, 3, 0xFFFFFFFF), D3D_OK);
        ASSERT_EQ(device->Draws.size(), 1u);
        EXPECT_NEAR(Area(device->Draws[0].Vertices), row.Length * 6, 0.1f);
    }
}

TEST_F(LineDrawer, StripEndsAreNotExtended) {
    line->SetWidth(6);
    const D3DXVECTOR2 points[] = {{100, 200}, {300, 200}};
    ASSERT_EQ(line->Draw(points, 2, 0xFFFFFFFF), D3D_OK);
    ASSERT_EQ(device->Draws.size(), 1u);
    for (const LineVertex& v : device->Draws[0].Vertices) {
        EXPECT_TRUE(v.X == 99.5f || v.X == 299.5f) << v.X;
        EXPECT_TRUE(v.Y == 196.5f || v.Y == 202.5f) << v.Y;
    }
}

// --- refusals

TEST_F(LineDrawer, RefusesTooFewOrMissingPoints) {
    const D3DXVECTOR3 points[] = {{0, 0, 0.5f}, {0.5f, 0, 0.5f}};
    const D3DXVECTOR2 screen[] = {{0, 0}, {10, 0}};
    const D3DXMATRIX identity = Identity();
    EXPECT_EQ(line->DrawTransform(nullptr, 2, &identity, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(line->DrawTransform(points, 0, &identity, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(line->DrawTransform(points, 1, &identity, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(line->DrawTransform(points, 2, nullptr, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(line->Draw(nullptr, 2, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(line->Draw(screen, 1, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_TRUE(device->Calls().empty());
    EXPECT_EQ(log->Count(), 0u);
    EXPECT_EQ(log->CallCount(), 0u);
}

// --- the log's controls

TEST_F(LineDrawer, LogKeepsEveryCallInOrder) {
    const D3DXVECTOR3 a[] = {{0, 0, 0.5f}, {0.1f, 0, 0.5f}};
    const D3DXVECTOR3 b[] = {{0, 0, 0.5f}, {0, 0.1f, 0.5f}, {0.1f, 0.1f, 0.5f}};
    const D3DXMATRIX first = Translation(0.1f, 0, 0), second = Translation(0, -0.2f, 0);
    line->SetWidth(2);
    ASSERT_EQ(line->DrawTransform(a, 2, &first, 0xFF000001), D3D_OK);
    line->SetWidth(5);
    ASSERT_EQ(line->DrawTransform(b, 3, &second, 0xFF000002), D3D_OK);
    ASSERT_EQ(log->Count(), 2u);
    EXPECT_EQ(log->CallCount(), 2u);
    EXPECT_EQ(log->Get(2), nullptr);
    const struct {
        const D3DXVECTOR3* Points;
        UINT Count;
        const D3DXMATRIX* Matrix;
        D3DCOLOR Colour;
        float Width;
    } expected[] = {{a, 2, &first, 0xFF000001, 2}, {b, 3, &second, 0xFF000002, 5}};
    for (UINT i = 0; i < 2; ++i) {
        const StrokeRecord* r = log->Get(i);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Colour, expected[i].Colour);
        EXPECT_EQ(r->Width, expected[i].Width);
        EXPECT_EQ(memcmp(&r->Matrix, expected[i].Matrix, sizeof(D3DXMATRIX)), 0);
        ASSERT_EQ(r->PointCount, expected[i].Count);
        EXPECT_EQ(memcmp(r->Points, expected[i].Points, sizeof(D3DXVECTOR3) * r->PointCount), 0);
        EXPECT_EQ(r->SegmentCount, expected[i].Count - 1);
    }
    log->Mark();
    EXPECT_EQ(log->Count(), 0u);
    EXPECT_EQ(log->CallCount(), 0u);
    EXPECT_EQ(log->Get(0), nullptr);
}

TEST_F(LineDrawer, LoggingOffStillCounts) {
    const D3DXVECTOR3 a[] = {{0, 0, 0.5f}, {0.1f, 0, 0.5f}};
    const D3DXMATRIX identity = Identity();
    log->SetLogging(FALSE);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(line->DrawTransform(a, 2, &identity, ~0u), D3D_OK);
    EXPECT_EQ(log->CallCount(), 3u);
    EXPECT_EQ(log->Count(), 0u);
    EXPECT_EQ(device->Draws.size(), 3u);
}

TEST_F(LineDrawer, RasterizeOffLogsButLeavesTheDeviceAlone) {
    const D3DXVECTOR3 a[] = {{0, 0, 0.5f}, {0.5f, 0, 0.5f}};
    const D3DXMATRIX identity = Identity();
    log->SetRasterize(FALSE);
    ASSERT_EQ(line->DrawTransform(a, 2, &identity, ~0u), D3D_OK);
    for (const std::string& m : MethodsCalled())
        EXPECT_EQ(m, "GetViewport");
    ASSERT_EQ(log->Count(), 1u);
    EXPECT_TRUE(SameSegments(Segments(0), {{640, 480, 960, 480}}));
}

TEST_F(LineDrawer, ArmedDrawFailureHitsExactlyTheNthCall) {
    const D3DXVECTOR3 a[] = {{0, 0, 0.5f}, {0.5f, 0, 0.5f}};
    const D3DXMATRIX identity = Identity();
    log->FailDraw(2, E_FAIL);
    const HRESULT expected[] = {D3D_OK, E_FAIL, D3D_OK, D3D_OK};
    for (HRESULT want : expected)
        EXPECT_EQ(line->DrawTransform(a, 2, &identity, ~0u), want);
    EXPECT_EQ(log->Count(), 3u);
    EXPECT_EQ(log->CallCount(), 3u);
    EXPECT_EQ(device->Draws.size(), 3u);

    log->FailDraw(1, E_OUTOFMEMORY);
    log->FailDraw(0, E_OUTOFMEMORY); // cancelled
    EXPECT_EQ(line->DrawTransform(a, 2, &identity, ~0u), D3D_OK);
}

} // namespace
