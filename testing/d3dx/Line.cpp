// The line drawer and the process-wide stroke log behind it. Strokes are clipped in homogeneous
// clip space, mapped through the device's current viewport and widened into quads of pre-
// transformed vertices, drawn with DrawPrimitiveUP.
#include <initguid.h>

#include <d3dx9.h>

#include <cmath>
#include <deque>
#include <vector>

#include "testing/d3dx/Internal.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The log

struct Entry {
    StrokeRecord Record;
    std::vector<D3DXVECTOR3> Points;
    std::vector<float> Segments;
};

struct Failure {
    UINT Countdown = 0; // 0: none armed
    HRESULT Result = S_OK;

    bool Take(HRESULT* hr) {
        if (Countdown == 0 || --Countdown != 0) return false;
        *hr = Result;
        return true;
    }
};

class Log : public IStrokeLog {
  public:
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualGUID(riid, IID_IStrokeLog) || IsEqualGUID(riid, __uuidof(IUnknown))) {
            *out = static_cast<IStrokeLog*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }

    void WINAPI Mark() override {
        Entries.clear();
        Calls = 0;
    }
    UINT WINAPI Count() override { return UINT(Entries.size()); }
    const StrokeRecord* WINAPI Get(UINT index) override {
        return index < Entries.size() ? &Entries[index].Record : nullptr;
    }
    UINT WINAPI CallCount() override { return Calls; }
    void WINAPI SetRasterize(BOOL on) override { Rasterize = on != FALSE; }
    void WINAPI SetLogging(BOOL on) override { Logging = on != FALSE; }
    void WINAPI FailDraw(UINT nth, HRESULT hr) override { DrawFailure = {nth, hr}; }
    void WINAPI FailCreate(StrokeLogCreate which, UINT nth, HRESULT hr) override {
        if (which == StrokeLogCreateLine) LineFailure = {nth, hr};
        if (which == StrokeLogCreateTexture) TextureFailure = {nth, hr};
    }
    void WINAPI Reset() override {
        Mark();
        Rasterize = Logging = true;
        DrawFailure = LineFailure = TextureFailure = {};
    }

    std::deque<Entry> Entries; // a deque: records keep their address while more are added
    UINT Calls = 0;
    bool Rasterize = true, Logging = true;
    Failure DrawFailure, LineFailure, TextureFailure;
};

Log TheLog;

// ---------------------------------------------------------------------------------------------
// Geometry

struct Vertex {
    float X, Y, Z, Rhw;
    D3DCOLOR Colour;
    float U, V;
};
constexpr DWORD VertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Clip {
    float X, Y, Z, W;
};

// A segment in viewport pixels; Join0/Join1: the end is an inner vertex of the strip, where the
// next or previous segment continues.
struct Segment {
    float X0, Y0, X1, Y1;
    bool Join0, Join1;
};

// Keeps the part of a..b with plane(p) >= 0 for the near plane z >= 0 and the four side planes
// |x| <= w, |y| <= w. No far plane: the display's symbols lie exactly on it. The last plane
// keeps w away from 0 so that the divide stays finite.
bool ClipSegment(Clip& a, Clip& b, bool& cutA, bool& cutB) {
    auto distance = [](const Clip& p, int plane) {
        switch (plane) {
        case 0:
            return p.Z;
        case 1:
            return p.W - p.X;
        case 2:
            return p.W + p.X;
        case 3:
            return p.W - p.Y;
        case 4:
            return p.W + p.Y;
        default:
            return p.W - 1e-6f;
        }
    };
    float t0 = 0.0f, t1 = 1.0f;
    for (int plane = 0; plane < 6; ++plane) {
        const float da = distance(a, plane), db = distance(b, plane);
        if (da < 0.0f && db < 0.0f) return false;
        if (da < 0.0f) {
            const float t = da / (da - db);
            if (t > t0) t0 = t;
        } else if (db < 0.0f) {
            const float t = da / (da - db);
            if (t < t1) t1 = t;
        }
        if (t0 > t1) return false;
    }
    const Clip d{b.X - a.X, b.Y - a.Y, b.Z - a.Z, b.W - a.W};
    const Clip na{a.X + t0 * d.X, a.Y + t0 * d.Y, a.Z + t0 * d.Z, a.W + t0 * d.W};
    const Clip nb{a.X + t1 * d.X, a.Y + t1 * d.Y, a.Z + t1 * d.Z, a.W + t1 * d.W};
    cutA = t0 > 0.0f;
    cutB = t1 < 1.0f;
    a = na;
    b = nb;
    return true;
}

// Pixel space as the viewport spans it: clip x -1 at the viewport's left edge, +1 at its right
// edge, y down; pixel i covers [i, i + 1).
void ToPixels(const D3DVIEWPORT9& vp, const Clip& c, float* x, float* y) {
    *x = float(vp.X) + (c.X / c.W + 1.0f) * 0.5f * float(vp.Width);
    *y = float(vp.Y) + (1.0f - c.Y / c.W) * 0.5f * float(vp.Height);
}

struct Direction {
    float X, Y;
};

Direction DirectionOf(const Segment& s) {
    const float dx = s.X1 - s.X0, dy = s.Y1 - s.Y0;
    const float length = sqrtf(dx * dx + dy * dy);
    return length > 0.0f ? Direction{dx / length, dy / length} : Direction{1.0f, 0.0f};
}

// The offset from a joint to its corner on the left of both segments (a mitre), so that the two
// quads share an edge there and neither gap nor overlap brightens the joint. False when the turn
// is too sharp for a mitre of sensible length.
bool Mitre(Direction a, Direction b, float h, Direction* out) {
    float mx = -a.Y - b.Y, my = a.X + b.X;
    const float length = sqrtf(mx * mx + my * my);
    if (length < 1e-6f) return false;
    mx /= length;
    my /= length;
    const float c = mx * -a.Y + my * a.X; // cosine of half the turn
    if (c < 0.25f) return false;
    *out = {mx * h / c, my * h / c};
    return true;
}

// Two triangles per segment, `width` across, centred on it. Inner joints of a strip are mitred;
// where the turn is too sharp both ends are instead pushed out by half the width, so that at any
// angle the two quads overlap over the joint.
void Widen(const std::vector<Segment>& segments, float width, D3DCOLOR colour,
           std::vector<Vertex>* out) {
    const float h = width * 0.5f;
    out->clear();
    for (size_t k = 0; k < segments.size(); ++k) {
        const Segment& s = segments[k];
        const Direction d = DirectionOf(s);
        Direction o0{-d.Y * h, d.X * h}, o1 = o0;
        float e0 = 0.0f, e1 = 0.0f;
        if (s.Join0 &&
            !(k > 0 && segments[k - 1].Join1 && Mitre(DirectionOf(segments[k - 1]), d, h, &o0)))
            e0 = h;
        if (s.Join1 && !(k + 1 < segments.size() && segments[k + 1].Join0 &&
                         Mitre(d, DirectionOf(segments[k + 1]), h, &o1)))
            e1 = h;
        // Direct3D 9 puts pixel centres at integer coordinates of pre-transformed vertices.
        const float x0 = s.X0 - d.X * e0 - 0.5f, y0 = s.Y0 - d.Y * e0 - 0.5f;
        const float x1 = s.X1 + d.X * e1 - 0.5f, y1 = s.Y1 + d.Y * e1 - 0.5f;
        const Vertex a{x0 + o0.X, y0 + o0.Y, 0.0f, 1.0f, colour, 0.0f, 0.0f};
        const Vertex b{x0 - o0.X, y0 - o0.Y, 0.0f, 1.0f, colour, 0.0f, 1.0f};
        const Vertex c{x1 + o1.X, y1 + o1.Y, 0.0f, 1.0f, colour, 1.0f, 0.0f};
        const Vertex e{x1 - o1.X, y1 - o1.Y, 0.0f, 1.0f, colour, 1.0f, 1.0f};
        out->insert(out->end(), {a, b, c, c, b, e});
    }
}

// ---------------------------------------------------------------------------------------------
// The line drawer

template <class T> void ReleaseAndClear(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

class Line final : public ID3DXLine {
  public:
    explicit Line(IDirect3DDevice9* device) : device_(device) { device_->AddRef(); }
    ~Line() {
        if (active_) End();
        device_->Release();
    }

    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualGUID(riid, IID_IStrokeLog)) return TheLog.QueryInterface(riid, out);
        if (IsEqualGUID(riid, IID_ID3DXLine) || IsEqualGUID(riid, __uuidof(IUnknown))) {
            *out = static_cast<ID3DXLine*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return ++refs_; }
    ULONG WINAPI Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT WINAPI GetDevice(IDirect3DDevice9** device) override {
        if (!device) return D3DERR_INVALIDCALL;
        *device = device_;
        device_->AddRef();
        return D3D_OK;
    }

    HRESULT WINAPI Begin() override {
        if (active_) return D3DERR_INVALIDCALL;
        IDirect3DDevice9* d = device_;
        d->GetFVF(&saved_.Fvf);
        d->GetVertexDeclaration(&saved_.Declaration);
        d->GetVertexShader(&saved_.VertexShader);
        d->GetPixelShader(&saved_.PixelShader);
        for (int i = 0; i < StateCount; ++i)
            d->GetRenderState(States[i].State, &saved_.States[i]);

        d->SetFVF(VertexFormat);
        d->SetVertexShader(nullptr);
        d->SetPixelShader(nullptr);
        for (const auto& s : States)
            d->SetRenderState(s.State, s.Value);
        active_ = true;
        return D3D_OK;
    }

    HRESULT WINAPI End() override {
        if (!active_) return D3DERR_INVALIDCALL;
        IDirect3DDevice9* d = device_;
        for (int i = 0; i < StateCount; ++i)
            d->SetRenderState(States[i].State, saved_.States[i]);
        d->SetPixelShader(saved_.PixelShader);
        d->SetVertexShader(saved_.VertexShader);
        // The declaration last: Direct3D ignores an FVF of 0, and a declaration made from an FVF
        // brings that FVF back with it.
        d->SetFVF(saved_.Fvf);
        d->SetVertexDeclaration(saved_.Declaration);
        ReleaseAndClear(saved_.Declaration);
        ReleaseAndClear(saved_.VertexShader);
        ReleaseAndClear(saved_.PixelShader);
        active_ = false;
        return D3D_OK;
    }

    HRESULT WINAPI Draw(const D3DXVECTOR2* points, DWORD count, D3DCOLOR colour) override {
        if (!points || count < 2) return D3DERR_INVALIDCALL;
        segments_.clear();
        for (DWORD i = 0; i + 1 < count; ++i)
            segments_.push_back(
                {points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, i > 0, i + 2 < count});
        return Rasterize(colour);
    }

    HRESULT WINAPI DrawTransform(const D3DXVECTOR3* points, DWORD count,
                                 const D3DXMATRIX* transform, D3DCOLOR colour) override {
        if (!points || count < 2 || !transform) return D3DERR_INVALIDCALL;
        HRESULT hr;
        if (TheLog.DrawFailure.Take(&hr)) return hr;

        D3DVIEWPORT9 vp{};
        device_->GetViewport(&vp);
        const D3DXMATRIX& m = *transform;
        auto toClip = [&m](const D3DXVECTOR3& p) {
            return Clip{p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41,
                        p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
                        p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43,
                        p.x * m._14 + p.y * m._24 + p.z * m._34 + m._44};
        };
        segments_.clear();
        Clip a = toClip(points[0]);
        for (DWORD i = 0; i + 1 < count; ++i) {
            const Clip next = toClip(points[i + 1]);
            Clip p = a, q = next;
            bool cutP = false, cutQ = false;
            if (ClipSegment(p, q, cutP, cutQ)) {
                Segment s{};
                ToPixels(vp, p, &s.X0, &s.Y0);
                ToPixels(vp, q, &s.X1, &s.Y1);
                s.Join0 = i > 0 && !cutP;
                s.Join1 = i + 2 < count && !cutQ;
                segments_.push_back(s);
            }
            a = next;
        }

        ++TheLog.Calls;
        if (TheLog.Logging) {
            TheLog.Entries.emplace_back();
            Entry& e = TheLog.Entries.back();
            e.Points.assign(points, points + count);
            for (const Segment& s : segments_)
                e.Segments.insert(e.Segments.end(), {s.X0, s.Y0, s.X1, s.Y1});
            e.Record = {m,
                        colour,
                        UINT(count),
                        e.Points.data(),
                        UINT(segments_.size()),
                        e.Segments.empty() ? nullptr : e.Segments.data(),
                        width_};
        }
        return Rasterize(colour);
    }

    HRESULT WINAPI SetPattern(DWORD pattern) override {
        pattern_ = pattern;
        return D3D_OK;
    }
    DWORD WINAPI GetPattern() override { return pattern_; }
    HRESULT WINAPI SetPatternScale(FLOAT scale) override {
        patternScale_ = scale;
        return D3D_OK;
    }
    FLOAT WINAPI GetPatternScale() override { return patternScale_; }
    HRESULT WINAPI SetWidth(FLOAT width) override {
        if (!(width > 0.0f)) return D3DERR_INVALIDCALL;
        width_ = width;
        return D3D_OK;
    }
    FLOAT WINAPI GetWidth() override { return width_; }
    HRESULT WINAPI SetAntialias(WINBOOL on) override {
        antialias_ = on;
        return D3D_OK;
    }
    WINBOOL WINAPI GetAntialias() override { return antialias_; }
    HRESULT WINAPI SetGLLines(WINBOOL on) override {
        glLines_ = on;
        return D3D_OK;
    }
    WINBOOL WINAPI GetGLLines() override { return glLines_; }

    HRESULT WINAPI OnLostDevice() override {
        if (active_) End();
        return D3D_OK;
    }
    HRESULT WINAPI OnResetDevice() override { return D3D_OK; }

  private:
    // Device states Begin sets, and to what.
    struct StateValue {
        D3DRENDERSTATETYPE State;
        DWORD Value;
    };
    static constexpr int StateCount = 6;
    static constexpr StateValue States[StateCount] = {
        {D3DRS_ALPHABLENDENABLE, TRUE}, {D3DRS_CULLMODE, D3DCULL_NONE},
        {D3DRS_ZENABLE, D3DZB_FALSE},   {D3DRS_ZWRITEENABLE, FALSE},
        {D3DRS_LIGHTING, FALSE},        {D3DRS_FOGENABLE, FALSE},
    };

    HRESULT Rasterize(D3DCOLOR colour) {
        if (!TheLog.Rasterize || segments_.empty()) return D3D_OK;
        Widen(segments_, width_, colour, &vertices_);
        const bool own = !active_;
        if (own) Begin();
        const HRESULT hr = device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(vertices_.size() / 3),
                                                    vertices_.data(), sizeof(Vertex));
        if (own) End();
        return hr;
    }

    struct Saved {
        DWORD Fvf = 0;
        IDirect3DVertexDeclaration9* Declaration = nullptr;
        IDirect3DVertexShader9* VertexShader = nullptr;
        IDirect3DPixelShader9* PixelShader = nullptr;
        DWORD States[StateCount] = {};
    };

    ULONG refs_ = 1;
    IDirect3DDevice9* device_;
    bool active_ = false;
    Saved saved_;
    DWORD pattern_ = 0xFFFFFFFF;
    float patternScale_ = 1.0f, width_ = 1.0f;
    WINBOOL antialias_ = FALSE, glLines_ = FALSE;
    std::vector<Segment> segments_;
    std::vector<Vertex> vertices_;
};

} // namespace

bool TakeCreateFailure(StrokeLogCreate which, HRESULT* hr) {
    return (which == StrokeLogCreateLine ? TheLog.LineFailure : TheLog.TextureFailure).Take(hr);
}

extern "C" HRESULT WINAPI D3DXCreateLine(IDirect3DDevice9* device, ID3DXLine** line) {
    if (!device || !line) return D3DERR_INVALIDCALL;
    *line = nullptr;
    HRESULT hr;
    if (TakeCreateFailure(StrokeLogCreateLine, &hr)) return hr;
    *line = new Line(device);
    return D3D_OK;
}
