// The recording device behaves as Direct3D 9 does where the product depends on it: references,
// state, the viewport rule, the Reset rule; and its test controls (log, failures) work.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "testing/recdevice/RecordingDevice.h"

namespace {

constexpr UINT kW = 640, kH = 480;

class Device : public ::testing::Test {
  public:
    void SetUp() override { dev = CreateRecordingDevice(kW, kH); }
    void TearDown() override {
        EXPECT_EQ(dev->LiveObjects(), 0) << "a test leaked an object";
        EXPECT_EQ(dev->Release(), 0u);
    }
    IDirect3DTexture9* Texture(UINT w, UINT h, UINT levels, DWORD usage, D3DPOOL pool) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(dev->CreateTexture(w, h, levels, usage, D3DFMT_L8, pool, &t, nullptr), D3D_OK);
        return t;
    }
    IDirect3DVertexBuffer9* Buffer(UINT size, D3DPOOL pool = D3DPOOL_DEFAULT) {
        IDirect3DVertexBuffer9* b = nullptr;
        EXPECT_EQ(dev->CreateVertexBuffer(size, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, pool, &b,
                                          nullptr),
                  D3D_OK);
        return b;
    }
    static ULONG Refs(IUnknown* o) { return RecordingDevice::PeekRefCount(o); }
    static D3DSURFACE_DESC Desc(IDirect3DSurface9* s) {
        D3DSURFACE_DESC d{};
        EXPECT_EQ(s->GetDesc(&d), D3D_OK);
        return d;
    }
    static D3DPRESENT_PARAMETERS Params(UINT w, UINT h) {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = w;
        pp.BackBufferHeight = h;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        return pp;
    }

    RecordingDevice* dev = nullptr;
};

const DWORD kVertexShader[] = {0xFFFE0200, 0x0000FFFF};
const D3DVERTEXELEMENT9 kElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0}, D3DDECL_END()};

// --- references and destruction ---

struct Creator {
    const char* Name;
    std::function<IUnknown*(RecordingDevice*)> Make;
};

const Creator kCreators[] = {
    {"texture",
     [](RecordingDevice* d) -> IUnknown* {
         IDirect3DTexture9* t = nullptr;
         d->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
         return t;
     }},
    {"vertex buffer",
     [](RecordingDevice* d) -> IUnknown* {
         IDirect3DVertexBuffer9* b = nullptr;
         d->CreateVertexBuffer(224, 0, 0, D3DPOOL_DEFAULT, &b, nullptr);
         return b;
     }},
    {"render target",
     [](RecordingDevice* d) -> IUnknown* {
         IDirect3DSurface9* s = nullptr;
         d->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, nullptr);
         return s;
     }},
    {"vertex declaration",
     [](RecordingDevice* d) -> IUnknown* {
         IDirect3DVertexDeclaration9* v = nullptr;
         d->CreateVertexDeclaration(kElements, &v);
         return v;
     }},
    {"vertex shader",
     [](RecordingDevice* d) -> IUnknown* {
         IDirect3DVertexShader9* v = nullptr;
         d->CreateVertexShader(kVertexShader, &v);
         return v;
     }},
    {"state block",
     [](RecordingDevice* d) -> IUnknown* {
         IDirect3DStateBlock9* s = nullptr;
         d->CreateStateBlock(D3DSBT_ALL, &s);
         return s;
     }},
};

TEST_F(Device, ObjectsCountReferencesAndDieAtZero) {
    EXPECT_EQ(dev->RefCount(), 1u);
    for (const Creator& c : kCreators) {
        SCOPED_TRACE(c.Name);
        IUnknown* o = c.Make(dev);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(dev->LiveObjects(), 1);
        EXPECT_EQ(Refs(o), 1u);
        EXPECT_EQ(o->AddRef(), 2u);
        EXPECT_EQ(o->Release(), 1u);
        EXPECT_EQ(dev->LiveObjects(), 1);
        EXPECT_EQ(o->Release(), 0u);
        EXPECT_EQ(dev->LiveObjects(), 0);
    }
}

TEST_F(Device, SurfaceLevelsShareTheirTexturesReferences) {
    IDirect3DTexture9* t = Texture(64, 64, 0, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);
    EXPECT_EQ(Refs(t), 2u);
    IDirect3DSurface9* again = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &again), D3D_OK);
    EXPECT_EQ(again, s);
    EXPECT_EQ(Refs(t), 3u);
    again->Release();
    // The texture's own reference goes first; its level keeps it alive.
    EXPECT_EQ(t->Release(), 1u);
    EXPECT_EQ(dev->LiveObjects(), 1);
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(dev->LiveObjects(), 0);
}

// Binding an object gives the device a reference that unbinding hands back.
TEST_F(Device, BindingsHoldReferences) {
    struct Case {
        const char* Name;
        std::function<IUnknown*(Device&)> Make;
        std::function<void(RecordingDevice*, IUnknown*)> Bind;
    };
    const Case cases[] = {
        {"SetTexture", [](Device& f) { return f.Texture(16, 16, 1, 0, D3DPOOL_MANAGED); },
         [](RecordingDevice* d, IUnknown* o) {
             d->SetTexture(0, static_cast<IDirect3DTexture9*>(o));
         }},
        {"SetStreamSource", [](Device& f) { return f.Buffer(64); },
         [](RecordingDevice* d, IUnknown* o) {
             d->SetStreamSource(0, static_cast<IDirect3DVertexBuffer9*>(o), 0, o ? 28 : 0);
         }},
        {"SetVertexDeclaration", [](Device& f) { return kCreators[3].Make(f.dev); },
         [](RecordingDevice* d, IUnknown* o) {
             d->SetVertexDeclaration(static_cast<IDirect3DVertexDeclaration9*>(o));
         }},
        {"SetVertexShader", [](Device& f) { return kCreators[4].Make(f.dev); },
         [](RecordingDevice* d, IUnknown* o) {
             d->SetVertexShader(static_cast<IDirect3DVertexShader9*>(o));
         }},
        {"SetRenderTarget", [](Device& f) { return kCreators[2].Make(f.dev); },
         [](RecordingDevice* d, IUnknown* o) {
             d->SetRenderTarget(1, static_cast<IDirect3DSurface9*>(o));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        IUnknown* o = c.Make(*this);
        ASSERT_NE(o, nullptr);
        c.Bind(dev, o);
        EXPECT_EQ(Refs(o), 2u);
        EXPECT_EQ(o->Release(), 1u);
        EXPECT_EQ(dev->LiveObjects(), 1);
        c.Bind(dev, nullptr);
        EXPECT_EQ(dev->LiveObjects(), 0);
    }
}

TEST_F(Device, GettersAddRefWhatTheyReturn) {
    IDirect3DSurface9* bb = dev->BackBuffer();
    ULONG before = Refs(bb);
    IDirect3DSurface9 *a = nullptr, *b = nullptr, *z = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &a), D3D_OK);
    ASSERT_EQ(dev->GetRenderTarget(0, &b), D3D_OK);
    EXPECT_EQ(a, bb);
    EXPECT_EQ(b, bb);
    EXPECT_EQ(Refs(bb), before + 2);
    a->Release();
    b->Release();
    EXPECT_EQ(Refs(bb), before);

    ASSERT_EQ(dev->GetDepthStencilSurface(&z), D3D_OK);
    EXPECT_EQ(z, dev->AutoDepthStencil());
    z->Release();
    EXPECT_EQ(dev->GetRenderTarget(1, &b), D3DERR_NOTFOUND);
    EXPECT_EQ(b, nullptr);
}

TEST_F(Device, ObjectsOutlivingTheDeviceLoseIt) {
    IDirect3DVertexBuffer9* b = Buffer(16);
    RecordingDevice* other = CreateRecordingDevice(8, 8);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(other->CreateTexture(8, 8, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    EXPECT_EQ(other->Release(), 0u);
    IDirect3DDevice9* owner = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(t->GetDevice(&owner), D3DERR_INVALIDCALL);
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(t->Release(), 0u);
    ASSERT_EQ(b->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, dev);
    owner->Release();
    b->Release();
}

// --- state ---

TEST_F(Device, StartsWithDirect3DDefaults) {
    const std::pair<D3DRENDERSTATETYPE, DWORD> states[] = {
        {D3DRS_ALPHABLENDENABLE, FALSE},  {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO}, {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZENABLE, D3DZB_TRUE},      {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},  {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_FILLMODE, D3DFILL_SOLID},  {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_LIGHTING, TRUE},           {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_FOGEND, 0x3F800000},       {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
    };
    for (auto [state, value] : states) {
        DWORD got = 0xDEAD;
        EXPECT_EQ(dev->GetRenderState(state, &got), D3D_OK);
        EXPECT_EQ(got, value) << "render state " << state;
    }
    EXPECT_EQ(dev->PeekSamplerState(0, D3DSAMP_MINFILTER), DWORD(D3DTEXF_POINT));
    EXPECT_EQ(dev->PeekSamplerState(0, D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_WRAP));
    EXPECT_EQ(dev->PeekSamplerState(0, D3DSAMP_MAXANISOTROPY), 1u);
    EXPECT_EQ(dev->PeekTextureStageState(0, D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(dev->PeekTextureStageState(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_SELECTARG1));
    EXPECT_EQ(dev->PeekTextureStageState(1, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
    EXPECT_EQ(dev->PeekTextureStageState(3, D3DTSS_TEXCOORDINDEX), 3u);
    D3DMATRIX view = dev->PeekTransform(D3DTS_VIEW);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(view.m[i][j], i == j ? 1.0f : 0.0f);

    D3DSURFACE_DESC bb = Desc(dev->BackBuffer());
    EXPECT_EQ(bb.Width, kW);
    EXPECT_EQ(bb.Height, kH);
    EXPECT_EQ(bb.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(bb.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(dev->PeekRenderTarget(0), dev->BackBuffer());
    EXPECT_EQ(dev->PeekRenderTarget(1), nullptr);
    EXPECT_EQ(Desc(dev->PeekDepthStencil()).Usage, DWORD(D3DUSAGE_DEPTHSTENCIL));
    D3DVIEWPORT9 vp = dev->PeekViewport();
    EXPECT_EQ(vp.Width, kW);
    EXPECT_EQ(vp.Height, kH);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    EXPECT_EQ(dev->PeekFVF(), 0u);
    EXPECT_EQ(dev->PeekTexture(0), nullptr);
    EXPECT_EQ(dev->LiveDefaultPoolObjects(), 0);
}

TEST_F(Device, GetReturnsWhatWasSet) {
    ASSERT_EQ(dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO), D3D_OK);
    ASSERT_EQ(dev->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_MAX), D3D_OK);
    ASSERT_EQ(dev->SetSamplerState(3, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3D_OK);
    ASSERT_EQ(dev->SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MIPFILTER, 2), D3D_OK);
    ASSERT_EQ(dev->SetTextureStageState(7, D3DTSS_RESULTARG, D3DTA_TEMP), D3D_OK);
    ASSERT_EQ(dev->SetFVF(0x144), D3D_OK);
    D3DMATRIX m{};
    m._11 = 2.0f;
    m._43 = -5.0f;
    ASSERT_EQ(dev->SetTransform(D3DTS_PROJECTION, &m), D3D_OK);
    IDirect3DVertexBuffer9* b = Buffer(224);
    ASSERT_EQ(dev->SetStreamSource(0, b, 28, 28), D3D_OK);

    DWORD v = 0;
    dev->GetRenderState(D3DRS_SRCBLEND, &v);
    EXPECT_EQ(v, DWORD(D3DBLEND_ZERO));
    dev->GetRenderState(D3DRS_BLENDOPALPHA, &v);
    EXPECT_EQ(v, DWORD(D3DBLENDOP_MAX));
    dev->GetSamplerState(3, D3DSAMP_MAGFILTER, &v);
    EXPECT_EQ(v, DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(dev->PeekSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MIPFILTER), 2u);
    EXPECT_EQ(dev->PeekSamplerState(0, D3DSAMP_MIPFILTER), 0u);
    dev->GetTextureStageState(7, D3DTSS_RESULTARG, &v);
    EXPECT_EQ(v, DWORD(D3DTA_TEMP));
    dev->GetFVF(&v);
    EXPECT_EQ(v, 0x144u);
    D3DMATRIX got{};
    dev->GetTransform(D3DTS_PROJECTION, &got);
    EXPECT_EQ(std::memcmp(&got, &m, sizeof m), 0);
    IDirect3DVertexBuffer9* sb = nullptr;
    UINT offset = 0, stride = 0;
    ASSERT_EQ(dev->GetStreamSource(0, &sb, &offset, &stride), D3D_OK);
    EXPECT_EQ(sb, b);
    EXPECT_EQ(offset, 28u);
    EXPECT_EQ(stride, 28u);
    sb->Release();
    EXPECT_EQ(dev->SetRenderState(D3DRENDERSTATETYPE(300), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTextureStageState(8, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
    dev->SetStreamSource(0, nullptr, 0, 0);
    b->Release();
}

TEST_F(Device, SettingTheFirstRenderTargetCoversItWithTheViewport) {
    IDirect3DTexture9* t = Texture(2 * kW, 2 * kH, 0, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);
    D3DVIEWPORT9 small{10, 20, 30, 40, 0.25f, 0.5f};
    ASSERT_EQ(dev->SetViewport(&small), D3D_OK);
    EXPECT_EQ(dev->PeekViewport().X, 10u);

    // A second target leaves the viewport alone.
    ASSERT_EQ(dev->SetRenderTarget(1, s), D3D_OK);
    EXPECT_EQ(dev->PeekViewport().Width, 30u);
    ASSERT_EQ(dev->SetRenderTarget(1, nullptr), D3D_OK);

    struct Case {
        IDirect3DSurface9* Target;
        UINT W, H;
    } cases[] = {{s, 2 * kW, 2 * kH}, {dev->BackBuffer(), kW, kH}};
    for (const Case& c : cases) {
        ASSERT_EQ(dev->SetRenderTarget(0, c.Target), D3D_OK);
        EXPECT_EQ(dev->PeekRenderTarget(0), c.Target);
        D3DVIEWPORT9 vp{};
        ASSERT_EQ(dev->GetViewport(&vp), D3D_OK);
        EXPECT_EQ(vp.X, 0u);
        EXPECT_EQ(vp.Y, 0u);
        EXPECT_EQ(vp.Width, c.W);
        EXPECT_EQ(vp.Height, c.H);
        EXPECT_EQ(vp.MinZ, 0.0f);
        EXPECT_EQ(vp.MaxZ, 1.0f);
        dev->SetViewport(&small);
    }
    EXPECT_EQ(dev->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetRenderTarget(0, dev->AutoDepthStencil()), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->PeekRenderTarget(0), dev->BackBuffer());
    s->Release();
    t->Release();
}

TEST_F(Device, StateBlocksCaptureAndApply) {
    IDirect3DStateBlock9* all = nullptr;
    ASSERT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &all), D3D_OK);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetFVF(0x144);

    // Recording changes the block, not the device.
    ASSERT_EQ(dev->BeginStateBlock(), D3D_OK);
    dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    ASSERT_EQ(dev->SetFVF(0x102), D3D_OK);
    IDirect3DStateBlock9* recorded = nullptr;
    ASSERT_EQ(dev->EndStateBlock(&recorded), D3D_OK);
    EXPECT_EQ(dev->PeekRenderState(D3DRS_ZFUNC), DWORD(D3DCMP_LESSEQUAL));
    EXPECT_EQ(dev->PeekFVF(), 0x144u);

    ASSERT_EQ(recorded->Apply(), D3D_OK);
    EXPECT_EQ(dev->PeekRenderState(D3DRS_ZFUNC), DWORD(D3DCMP_ALWAYS));
    EXPECT_EQ(dev->PeekFVF(), 0x102u);
    EXPECT_EQ(dev->PeekRenderState(D3DRS_CULLMODE), DWORD(D3DCULL_NONE));

    ASSERT_EQ(all->Apply(), D3D_OK);
    EXPECT_EQ(dev->PeekRenderState(D3DRS_ZFUNC), DWORD(D3DCMP_LESSEQUAL));
    EXPECT_EQ(dev->PeekRenderState(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
    EXPECT_EQ(dev->PeekFVF(), 0u);
    recorded->Release();
    all->Release();
}

TEST_F(Device, StateBlocksHoldTheObjectsTheyCapture) {
    IDirect3DTexture9* t = Texture(16, 16, 1, 0, D3DPOOL_MANAGED);
    dev->SetTexture(0, t);
    IDirect3DStateBlock9* sb = nullptr;
    ASSERT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &sb), D3D_OK);
    EXPECT_EQ(Refs(t), 3u);
    dev->SetTexture(0, nullptr);
    t->Release();
    EXPECT_EQ(dev->LiveObjects(), 2); // the block keeps the texture
    ASSERT_EQ(sb->Apply(), D3D_OK);
    EXPECT_EQ(dev->PeekTexture(0), t);
    EXPECT_EQ(Refs(t), 2u);
    sb->Release();
    EXPECT_EQ(Refs(t), 1u);
    dev->SetTexture(0, nullptr);
}

// --- the Reset rule ---

TEST_F(Device, ResetRefusesWhileDefaultPoolObjectsOrImplicitSurfacesAreHeld) {
    struct Case {
        const char* Name;
        std::function<IUnknown*(Device&)> Hold; // what blocks Reset until released
    };
    const Case cases[] = {
        {"default-pool texture",
         [](Device& f) { return f.Texture(64, 64, 0, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT); }},
        {"default-pool vertex buffer", [](Device& f) { return f.Buffer(224); }},
        {"render target surface", [](Device& f) { return kCreators[2].Make(f.dev); }},
        {"back buffer",
         [](Device& f) {
             IDirect3DSurface9* s = nullptr;
             f.dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &s);
             return s;
         }},
        {"depth stencil",
         [](Device& f) {
             IDirect3DSurface9* s = nullptr;
             f.dev->GetDepthStencilSurface(&s);
             return s;
         }},
    };
    D3DPRESENT_PARAMETERS pp = Params(kW, kH);
    int calls = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        IUnknown* held = c.Hold(*this);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL);
        held->Release();
        EXPECT_EQ(dev->Reset(&pp), D3D_OK);
        calls += 2;
        EXPECT_EQ(dev->ResetCalls(), calls);
    }
}

TEST_F(Device, ResetIgnoresManagedObjectsButNotBoundDefaultOnes) {
    IDirect3DTexture9* managed = Texture(16, 16, 1, 0, D3DPOOL_MANAGED);
    IDirect3DTexture9* target = Texture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    dev->SetTexture(0, target);
    target->Release(); // the device's binding keeps it alive
    D3DPRESENT_PARAMETERS pp = Params(kW, kH);
    EXPECT_EQ(dev->LiveDefaultPoolObjects(), 1);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL);
    dev->SetTexture(0, nullptr);
    EXPECT_EQ(dev->LiveDefaultPoolObjects(), 0);
    EXPECT_EQ(dev->Reset(&pp), D3D_OK);
    managed->Release();
}

TEST_F(Device, ResetRestoresDefaultsAndResizesTheBackBuffer) {
    IDirect3DSurface9* bb = dev->BackBuffer();
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(dev->CreateVertexDeclaration(kElements, &decl), D3D_OK);
    dev->SetVertexDeclaration(decl);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetFVF(0x144);
    D3DPRESENT_PARAMETERS pp = Params(1024, 768);
    ASSERT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev->BackBuffer(), bb);
    D3DSURFACE_DESC d = Desc(bb);
    EXPECT_EQ(d.Width, 1024u);
    EXPECT_EQ(d.Height, 768u);
    EXPECT_EQ(dev->PeekViewport().Width, 1024u);
    EXPECT_EQ(dev->PeekRenderState(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
    EXPECT_EQ(dev->PeekFVF(), 0u);
    EXPECT_EQ(dev->PeekVertexDeclaration(), nullptr);
    EXPECT_EQ(Refs(decl), 1u); // the binding was given back
    EXPECT_EQ(dev->PeekRenderTarget(0), bb);
    decl->Release();

    // Zero sizes keep the current ones and are filled in, as in windowed mode.
    D3DPRESENT_PARAMETERS keep = Params(0, 0);
    ASSERT_EQ(dev->Reset(&keep), D3D_OK);
    EXPECT_EQ(keep.BackBufferWidth, 1024u);
    EXPECT_EQ(Desc(bb).Height, 768u);
}

TEST_F(Device, ScriptedResetResultLeavesTheDeviceAsItWas) {
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetResetResult(D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS pp = Params(800, 600);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_DEVICELOST);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_DEVICELOST);
    EXPECT_EQ(dev->PeekRenderState(D3DRS_CULLMODE), DWORD(D3DCULL_NONE));
    EXPECT_EQ(Desc(dev->BackBuffer()).Width, kW);
    // The rule still comes first.
    IDirect3DVertexBuffer9* b = Buffer(16);
    EXPECT_EQ(dev->Reset(&pp), D3DERR_INVALIDCALL);
    b->Release();
    dev->SetResetResult(D3D_OK);
    EXPECT_EQ(dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(dev->ResetCalls(), 4);
    EXPECT_EQ(dev->PeekRenderState(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
}

// --- failure injection ---

TEST_F(Device, InjectedFailuresHitTheNthCallAndCreateNothing) {
    IDirect3DTexture9* tex = Texture(8, 8, 1, 0, D3DPOOL_MANAGED);
    IDirect3DVertexBuffer9* vb = Buffer(32);
    struct Case {
        const char* Method;
        HRESULT Result;
        std::function<HRESULT(void** out)> Call; // *out: what the call hands back
    };
    const Case cases[] = {
        {"CreateTexture", D3DERR_OUTOFVIDEOMEMORY,
         [this](void** out) {
             return dev->CreateTexture(64, 64, 0, D3DUSAGE_RENDERTARGET, D3DFMT_L8, D3DPOOL_DEFAULT,
                                       reinterpret_cast<IDirect3DTexture9**>(out), nullptr);
         }},
        {"CreateVertexBuffer", E_OUTOFMEMORY,
         [this](void** out) {
             return dev->CreateVertexBuffer(224, 0, 0, D3DPOOL_DEFAULT,
                                            reinterpret_cast<IDirect3DVertexBuffer9**>(out),
                                            nullptr);
         }},
        {"GetSurfaceLevel", D3DERR_INVALIDCALL,
         [tex](void** out) {
             return tex->GetSurfaceLevel(0, reinterpret_cast<IDirect3DSurface9**>(out));
         }},
        {"Lock", D3DERR_WASSTILLDRAWING,
         [vb](void** out) {
             HRESULT hr = vb->Lock(0, 0, out, D3DLOCK_DISCARD);
             if (hr == D3D_OK) vb->Unlock();
             *out = nullptr; // memory, not an object
             return hr;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Method);
        dev->FailCall(c.Method, 2, c.Result);
        int live = dev->LiveObjects();
        ULONG texRefs = Refs(tex);
        for (int n = 1; n <= 3; ++n) {
            void* out = reinterpret_cast<void*>(1);
            HRESULT hr = c.Call(&out);
            EXPECT_EQ(hr, n == 2 ? c.Result : D3D_OK) << "call " << n;
            if (n == 2) {
                EXPECT_EQ(out, nullptr);
                EXPECT_EQ(dev->LiveObjects(), live);
                EXPECT_EQ(Refs(tex), texRefs);
            }
            if (out) static_cast<IUnknown*>(out)->Release();
        }
    }
    // Disarmed ones never fire.
    dev->FailCall("CreateVertexBuffer", 1, E_FAIL);
    dev->ClearFailures();
    IDirect3DVertexBuffer9* more = Buffer(16);
    ASSERT_NE(more, nullptr);
    more->Release();
    vb->Release();
    tex->Release();
}

// --- the log ---

TEST_F(Device, LogsEveryCallInOrderWithRawArguments) {
    dev->ClearCalls();
    IDirect3DVertexBuffer9* vb = Buffer(224);
    void* data = nullptr;
    vb->Lock(0, 0, &data, D3DLOCK_DISCARD);
    vb->Unlock();
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2);
    const auto& log = dev->Calls();
    ASSERT_EQ(log.size(), 5u);
    const char* names[] = {"CreateVertexBuffer", "Lock", "Unlock", "Clear", "DrawPrimitive"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_STREQ(log[i].Method, names[i]);
    EXPECT_EQ(log[0].Args[0], 224u);
    EXPECT_EQ(log[0].Args[1], DWORD(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY));
    EXPECT_EQ(log[0].Args[3], DWORD(D3DPOOL_DEFAULT));
    EXPECT_EQ(log[1].Args[0], uint32_t(uintptr_t(vb))); // calls on objects name the object
    EXPECT_EQ(log[1].Args[4], DWORD(D3DLOCK_DISCARD));
    EXPECT_EQ(log[3].Args, (std::vector<uint32_t>{0, 0, D3DCLEAR_TARGET, 0, 0x3F800000, 0}));
    EXPECT_EQ(log[4].Args, (std::vector<uint32_t>{D3DPT_TRIANGLESTRIP, 4, 2}));
    EXPECT_EQ(dev->CountCalls("Lock"), 1);

    dev->SetLogging(false);
    dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    EXPECT_EQ(dev->Calls().size(), 5u);
    dev->SetLogging(true);
    dev->ClearCalls();
    EXPECT_TRUE(dev->Calls().empty());
    vb->Release();
}

// --- resources ---

TEST_F(Device, LevelsZeroBuildsTheFullMipChain) {
    struct Case {
        UINT W, H, Levels;
        DWORD Usage;
        std::vector<std::pair<UINT, UINT>> Sizes;
    };
    const Case cases[] = {
        {256,
         64,
         0,
         0,
         {{256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}}},
        {2 * kW,
         2 * kH,
         0,
         D3DUSAGE_RENDERTARGET,
         {{1280, 960},
          {640, 480},
          {320, 240},
          {160, 120},
          {80, 60},
          {40, 30},
          {20, 15},
          {10, 7},
          {5, 3},
          {2, 1},
          {1, 1}}},
        {1, 1, 0, 0, {{1, 1}}},
        {100, 100, 3, 0, {{100, 100}, {50, 50}, {25, 25}}},
        {64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, {{64, 64}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.W << "x" << c.H << " levels " << c.Levels);
        IDirect3DTexture9* t = Texture(c.W, c.H, c.Levels, c.Usage, D3DPOOL_DEFAULT);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->GetLevelCount(), c.Sizes.size());
        for (UINT i = 0; i < c.Sizes.size(); ++i) {
            D3DSURFACE_DESC d{};
            ASSERT_EQ(t->GetLevelDesc(i, &d), D3D_OK);
            EXPECT_EQ(d.Width, c.Sizes[i].first) << "level " << i;
            EXPECT_EQ(d.Height, c.Sizes[i].second) << "level " << i;
            EXPECT_EQ(d.Format, D3DFMT_L8);
            EXPECT_EQ(d.Usage, c.Usage);
            EXPECT_EQ(d.Pool, D3DPOOL_DEFAULT);
        }
        D3DSURFACE_DESC past{};
        EXPECT_EQ(t->GetLevelDesc(UINT(c.Sizes.size()), &past), D3DERR_INVALIDCALL);
        t->Release();
    }
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(dev->CreateTexture(16, 16, 6, 0, D3DFMT_L8, D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
}

TEST_F(Device, VertexBufferLocksRealMemory) {
    IDirect3DVertexBuffer9* vb = Buffer(224);
    D3DVERTEXBUFFER_DESC d{};
    ASSERT_EQ(vb->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Size, 224u);
    EXPECT_EQ(d.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(d.Usage, DWORD(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY));
    EXPECT_EQ(d.Type, D3DRTYPE_VERTEXBUFFER);

    void* p = nullptr;
    ASSERT_EQ(vb->Lock(28, 28, &p, 0), D3D_OK);
    EXPECT_TRUE(RecordingDevice::PeekLocked(vb));
    std::memset(p, 0xAB, 28);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_FALSE(RecordingDevice::PeekLocked(vb));
    auto* bytes = static_cast<const uint8_t*>(RecordingDevice::PeekBufferBytes(vb));
    EXPECT_EQ(bytes[27], 0u);
    EXPECT_EQ(bytes[28], 0xABu);
    EXPECT_EQ(bytes[55], 0xABu);
    EXPECT_EQ(bytes[56], 0u);
    EXPECT_EQ(vb->Lock(200, 28, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    vb->Release();
}

} // namespace
