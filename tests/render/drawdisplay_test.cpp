// The per-frame routine on the recording device: the gate, the register contract at the game's
// call site, the calls of a drawn frame, the device state it leaves and the chained handler.
#include <gtest/gtest.h>

#include <string>

#include "RenderFixture.h"

namespace {

using Frame = RecordedGame;

// ---- the gate and the game's call site -----------------------------------------------------

struct GateCase {
    const char* name;
    void (*arrange)();
};
const GateCase ClosedGates[] = {
    {"no player", [] { GamePlayerPointer() = nullptr; }},
    {"model 519", [] { GameFlyJet(HostOtherJetModel); }},
    {"state 49", [] { GameFlyJet(HostJetModel, 49); }},
    {"state 0", [] { GameFlyJet(HostJetModel, 0); }},
    {"no vehicle", [] { GamePlayerRecord()->Vehicle = nullptr; }},
    {"jet without a placement record", [] { GameVehicleSlot(0)->Matrix = nullptr; }},
    {"gate open, no device", [] { GameDevice() = nullptr; }},
    {"gate open, no back buffer", [] { GameBackBuffer() = nullptr; }},
};

TEST_F(Frame, ClosedGateTouchesNoDeviceAndOnlyLoadsAl) {
    PatchDrawInterfaceCall();
    for (const GateCase& c : ClosedGates) {
        SCOPED_TRACE(c.name);
        GameFlyJet();
        GameDevice() = device;
        GameBackBuffer() = device->BackBuffer();
        c.arrange();
        GameInterfaceByte() = 0xA7;
        device->ClearCalls();
        const ULONG refs = device->RefCount();

        GameRunResult run;
        EXPECT_EQ(GameRunDrawInterface(&run), 0xA7);
        EXPECT_EQ(run.ResumePoint, HostDrawInterfaceResume);
        EXPECT_EQ(run.Resume.ebx, run.Entry.ebx);
        EXPECT_EQ(run.Resume.esi, run.Entry.esi);
        EXPECT_EQ(run.Resume.edi, run.Entry.edi);
        EXPECT_EQ(run.Resume.ebp, run.Entry.ebp);
        EXPECT_EQ(run.Resume.esp, run.Entry.esp);
        EXPECT_TRUE(device->Calls().empty()) << device->Calls().front().Method;
        EXPECT_EQ(device->RefCount(), refs);
        EXPECT_FALSE(TargetTexture || TargetSurface || ProfileTexture || LineDrawer || QuadBuffer);
        EXPECT_EQ(strokes->CallCount(), 0u);
    }
}

TEST_F(Frame, DrawnFrameThroughTheCallSiteKeepsTheGameRegisters) {
    PatchDrawInterfaceCall();
    // The game calls with the stack aligned to 4 bytes only: every misalignment must work.
    for (uint32_t misalign : {0u, 4u, 8u, 12u}) {
        SCOPED_TRACE(misalign);
        GameInterfaceByte() = static_cast<uint8_t>(0x30 + misalign);
        device->ClearCalls();
        const GameRegisters in{0x11111111, 0x22222222, 0x33333333, 0x44444444,
                               0,          0x66666666, 0x77777777, 0x88888888};
        GameRunResult run = GameRun(HostDrawInterfaceSite, in, misalign);
        EXPECT_EQ(run.ResumePoint, HostDrawInterfaceResume);
        EXPECT_EQ(run.Resume.eax & 0xFF, 0x30 + misalign);
        EXPECT_EQ(run.Resume.ebx, in.ebx);
        EXPECT_EQ(run.Resume.esi, in.esi);
        EXPECT_EQ(run.Resume.edi, in.edi);
        EXPECT_EQ(run.Resume.ebp, in.ebp);
        EXPECT_EQ(run.Resume.esp, run.Entry.esp);
        EXPECT_EQ(device->CountCalls("DrawPrimitive"), 2);
    }
}

// ---- the chained handler -------------------------------------------------------------------

struct ChainedSeen {
    int Calls = 0;
    size_t DeviceCallsThen = 0;
    IDirect3DSurface9* RenderTarget = nullptr;
};
ChainedSeen Seen;
RecordingDevice* SeenDevice = nullptr;
void ChainedProbe() {
    ++Seen.Calls;
    Seen.DeviceCallsThen = SeenDevice->Calls().size();
    Seen.RenderTarget = SeenDevice->PeekRenderTarget(0);
}

TEST_F(Frame, ChainedHandlerRunsOnEveryFrameAfterThePass) {
    PatchDrawInterfaceCall();
    SeenDevice = device;
    ChainedDrawInterface = Raw(reinterpret_cast<void*>(&ChainedProbe));
    const struct {
        const char* name;
        uint16_t model;
        bool drawn;
    } cases[] = {{"model 520", HostJetModel, true},
                 {"model 519", HostOtherJetModel, false},
                 {"model 520 again", HostJetModel, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GameFlyJet(c.model);
        Seen = {};
        device->ClearCalls();
        GameInterfaceByte() = 0x5C;
        EXPECT_EQ(GameRunDrawInterface(), 0x5C);
        EXPECT_EQ(Seen.Calls, 1);
        // Nothing of the pass comes after it, and the game's render target is back by then.
        EXPECT_EQ(Seen.DeviceCallsThen, device->Calls().size());
        EXPECT_EQ(device->CountCalls("DrawPrimitive"), c.drawn ? 2 : 0);
        EXPECT_EQ(Seen.RenderTarget, device->BackBuffer());
    }
}

TEST_F(Frame, ForeignHandlerRecordedAtTheSiteIsCalled) {
    PatchDrawInterfaceCall();
    ChainedDrawInterface = static_cast<uint32_t>(GameForeignHandler(GameSite::DrawInterface));
    GameFlyJet(HostOtherJetModel);
    GameRunDrawInterface();
    GameFlyJet();
    GameRunDrawInterface();
    EXPECT_EQ(GameForeign.DrawInterface, 2);
}

// ---- what the game leaves on the device ----------------------------------------------------

const D3DRENDERSTATETYPE WatchedRenderStates[] = {D3DRS_ZENABLE,
                                                  D3DRS_ZWRITEENABLE,
                                                  D3DRS_SRCBLEND,
                                                  D3DRS_DESTBLEND,
                                                  D3DRS_CULLMODE,
                                                  D3DRS_ZFUNC,
                                                  D3DRS_BLENDOP,
                                                  D3DRS_ALPHABLENDENABLE,
                                                  D3DRS_ALPHATESTENABLE,
                                                  D3DRS_FOGENABLE,
                                                  D3DRS_STENCILENABLE,
                                                  D3DRS_SCISSORTESTENABLE,
                                                  D3DRS_SEPARATEALPHABLENDENABLE,
                                                  D3DRS_COLORWRITEENABLE,
                                                  D3DRS_SRGBWRITEENABLE,
                                                  D3DRS_FILLMODE};
const D3DSAMPLERSTATETYPE WatchedSamplerStates[] = {
    D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER, D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV};
const struct {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
} WatchedStageStates[] = {{0, D3DTSS_COLOROP}, {0, D3DTSS_COLORARG1}, {0, D3DTSS_COLORARG2},
                          {0, D3DTSS_ALPHAOP}, {0, D3DTSS_ALPHAARG1}, {1, D3DTSS_COLOROP},
                          {1, D3DTSS_ALPHAOP}};

// Everything the pass touches, as the device holds it.
struct Snapshot {
    std::vector<DWORD> States;
    IDirect3DSurface9 *RenderTarget, *DepthStencil;
    IDirect3DBaseTexture9* Texture;
    DWORD Fvf;
    IDirect3DVertexDeclaration9* Declaration;
    IDirect3DVertexShader9* VertexShader;
    IDirect3DPixelShader9* PixelShader;
    StreamSource Stream;
    D3DVIEWPORT9 Viewport;
};

Snapshot Take(const RecordingDevice* d) {
    Snapshot s{};
    for (D3DRENDERSTATETYPE r : WatchedRenderStates)
        s.States.push_back(d->PeekRenderState(r));
    for (D3DSAMPLERSTATETYPE t : WatchedSamplerStates)
        s.States.push_back(d->PeekSamplerState(0, t));
    for (const auto& t : WatchedStageStates)
        s.States.push_back(d->PeekTextureStageState(t.stage, t.type));
    s.RenderTarget = d->PeekRenderTarget(0);
    s.DepthStencil = d->PeekDepthStencil();
    s.Texture = d->PeekTexture(0);
    s.Fvf = d->PeekFVF();
    s.Declaration = d->PeekVertexDeclaration();
    s.VertexShader = d->PeekVertexShader();
    s.PixelShader = d->PeekPixelShader();
    s.Stream = d->PeekStreamSource(0);
    s.Viewport = d->PeekViewport();
    return s;
}

void ExpectSame(const Snapshot& a, const Snapshot& b) {
    EXPECT_EQ(a.States, b.States);
    EXPECT_EQ(a.RenderTarget, b.RenderTarget);
    EXPECT_EQ(a.DepthStencil, b.DepthStencil);
    EXPECT_EQ(a.Texture, b.Texture);
    EXPECT_EQ(a.Fvf, b.Fvf);
    EXPECT_EQ(a.Declaration, b.Declaration);
    EXPECT_EQ(a.VertexShader, b.VertexShader);
    EXPECT_EQ(a.PixelShader, b.PixelShader);
    EXPECT_EQ(a.Stream.Buffer, b.Stream.Buffer);
    EXPECT_EQ(a.Stream.Offset, b.Stream.Offset);
    EXPECT_EQ(a.Stream.Stride, b.Stream.Stride);
    EXPECT_EQ(std::memcmp(&a.Viewport, &b.Viewport, sizeof a.Viewport), 0)
        << a.Viewport.X << "," << a.Viewport.Y << " " << a.Viewport.Width << "x"
        << a.Viewport.Height << " vs " << b.Viewport.X << "," << b.Viewport.Y << " "
        << b.Viewport.Width << "x" << b.Viewport.Height;
}

// A game that drew into a surface of its own, through part of it, with shaders, blending off,
// fog on and every other watched state away from Direct3D's defaults.
struct Leftovers {
    IDirect3DSurface9* RenderTarget = nullptr;
    IDirect3DSurface9* DepthStencil = nullptr;
    IDirect3DTexture9* Texture = nullptr;
    IDirect3DVertexDeclaration9* Declaration = nullptr;
    IDirect3DVertexBuffer9* Stream = nullptr;
    IDirect3DVertexShader9* VertexShader = nullptr;
    IDirect3DPixelShader9* PixelShader = nullptr;
    D3DVIEWPORT9 Viewport{10, 20, 300, 200, 0.25f, 0.75f};

    void Apply(IDirect3DDevice9* d) {
        d->CreateRenderTarget(512, 384, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                              &RenderTarget, nullptr);
        d->CreateDepthStencilSurface(1024, 768, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                     &DepthStencil, nullptr);
        d->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &Texture, nullptr);
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            D3DDECL_END()};
        d->CreateVertexDeclaration(elements, &Declaration);
        d->CreateVertexBuffer(960, 0, 0, D3DPOOL_MANAGED, &Stream, nullptr);
        const DWORD vs[] = {0xFFFE0101, 0x0000FFFF}, ps[] = {0xFFFF0101, 0x0000FFFF};
        d->CreateVertexShader(vs, &VertexShader);
        d->CreatePixelShader(ps, &PixelShader);
        ASSERT_TRUE(RenderTarget && DepthStencil && Texture && Declaration && Stream &&
                    VertexShader && PixelShader);

        d->SetRenderTarget(0, RenderTarget);
        d->SetDepthStencilSurface(DepthStencil);
        d->SetViewport(&Viewport);
        d->SetTexture(0, Texture);
        d->SetVertexDeclaration(Declaration);
        d->SetStreamSource(0, Stream, 16, 20);
        d->SetVertexShader(VertexShader);
        d->SetPixelShader(PixelShader);
        const struct {
            D3DRENDERSTATETYPE state;
            DWORD value;
        } states[] = {{D3DRS_ZENABLE, D3DZB_TRUE},
                      {D3DRS_ZWRITEENABLE, TRUE},
                      {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
                      {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
                      {D3DRS_CULLMODE, D3DCULL_CW},
                      {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
                      {D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT},
                      {D3DRS_ALPHABLENDENABLE, FALSE},
                      {D3DRS_ALPHATESTENABLE, TRUE},
                      {D3DRS_FOGENABLE, TRUE},
                      {D3DRS_STENCILENABLE, TRUE},
                      {D3DRS_SCISSORTESTENABLE, TRUE},
                      {D3DRS_SEPARATEALPHABLENDENABLE, TRUE},
                      {D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED},
                      {D3DRS_SRGBWRITEENABLE, TRUE},
                      {D3DRS_FILLMODE, D3DFILL_WIREFRAME}};
        for (const auto& s : states)
            d->SetRenderState(s.state, s.value);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
        d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
        d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_SPECULAR);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    }

    std::vector<IUnknown*> Objects() const {
        return {RenderTarget, DepthStencil, Texture,    Declaration,
                Stream,       VertexShader, PixelShader};
    }

    // Back to the device's own bindings, then our references go.
    void Drop(RecordingDevice* d) {
        d->SetRenderTarget(0, d->BackBuffer());
        d->SetDepthStencilSurface(d->AutoDepthStencil());
        d->SetTexture(0, nullptr);
        d->SetVertexDeclaration(nullptr);
        d->SetStreamSource(0, nullptr, 0, 0);
        d->SetVertexShader(nullptr);
        d->SetPixelShader(nullptr);
        for (IUnknown* o : Objects())
            if (o) o->Release();
    }
};

TEST_F(Frame, DeviceStateAndReferencesAreAsTheGameLeftThem) {
    for (bool unusual : {false, true}) {
        SCOPED_TRACE(unusual ? "unusual game state" : "Direct3D defaults, nothing bound");
        Leftovers game;
        if (unusual) game.Apply(device);
        std::vector<ULONG> refs;
        for (IUnknown* o : game.Objects())
            refs.push_back(o ? RecordingDevice::PeekRefCount(o) : 0);
        const ULONG backBufferRefs = RecordingDevice::PeekRefCount(device->BackBuffer());
        const ULONG deviceRefs = device->RefCount();
        const Snapshot before = Take(device);

        // The first frame makes the resources, the second finds them.
        for (int frame = 0; frame < 2; ++frame) {
            SCOPED_TRACE(frame);
            device->ClearCalls();
            DrawDisplay();
            ASSERT_EQ(device->CountCalls("DrawPrimitive"), 2);
            ExpectSame(before, Take(device));
            for (size_t i = 0; i < refs.size(); ++i)
                if (refs[i]) {
                    EXPECT_EQ(RecordingDevice::PeekRefCount(game.Objects()[i]), refs[i]) << i;
                }
            EXPECT_EQ(RecordingDevice::PeekRefCount(device->BackBuffer()), backBufferRefs);
        }
        ReleaseResources();
        EXPECT_EQ(device->RefCount(), deviceRefs);
        if (unusual) game.Drop(device);
    }
}

// ---- the calls of a drawn frame ------------------------------------------------------------

struct Expected {
    std::string Method;
    std::vector<uint32_t> Args; // compared as a prefix of the logged arguments
};

std::string Describe(const DeviceCall& c) {
    std::string s = c.Method;
    s += "(";
    for (size_t i = 0; i < c.Args.size(); ++i)
        s += (i ? ", " : "") + std::to_string(c.Args[i]);
    return s + ")";
}

// Compares calls[from, to) against the list, one for one.
void ExpectCalls(const std::vector<DeviceCall>& calls, size_t from, size_t to,
                 const std::vector<Expected>& expected, const char* part) {
    SCOPED_TRACE(part);
    ASSERT_LE(from, to);
    EXPECT_EQ(to - from, expected.size());
    for (size_t i = 0; i < expected.size() && from + i < to; ++i) {
        const DeviceCall& c = calls[from + i];
        const Expected& e = expected[i];
        bool match = e.Method == c.Method && c.Args.size() >= e.Args.size();
        for (size_t a = 0; match && a < e.Args.size(); ++a)
            match = c.Args[a] == e.Args[a];
        EXPECT_TRUE(match) << "call " << i << ": expected " << e.Method << ", got " << Describe(c);
    }
}

// Between the clear and the composite only the symbology runs, and it only reads.
void ExpectOnlyReads(const std::vector<DeviceCall>& calls, size_t from, size_t to,
                     const char* part) {
    for (size_t i = from; i < to; ++i)
        EXPECT_EQ(std::strncmp(calls[i].Method, "Get", 3), 0) << part << ": " << Describe(calls[i]);
}

TEST_F(Frame, DrawnFrameMakesTheCallsOfThePassInOrder) {
    Leftovers game;
    game.Apply(device);
    DrawDisplay(); // makes the resources
    ProbeLine probe;
    UseProbeLine(&probe);
    size_t begin = 0, end = 0;
    probe.OnBegin = [&] { begin = device->Calls().size(); };
    probe.OnEnd = [&] { end = device->Calls().size(); };
    device->ClearCalls();
    DrawDisplay();
    ASSERT_EQ(probe.Begins, 1);
    ASSERT_EQ(probe.Ends, 1);
    const std::vector<DeviceCall>& calls = device->Calls();

    const uint32_t one = Raw(1.0f);
    // Steps 1 to 4: the size, the saving, the settings and the clear.
    std::vector<Expected> opening = {
        {"GetDesc", {Raw(device->BackBuffer())}},
        {"GetRenderTarget", {0}},
        {"GetTexture", {0}},
        {"GetFVF", {}},
        {"GetVertexDeclaration", {}},
        {"GetRenderState", {D3DRS_ZENABLE}},
        {"GetRenderState", {D3DRS_ZWRITEENABLE}},
        {"GetRenderState", {D3DRS_SRCBLEND}},
        {"GetRenderState", {D3DRS_DESTBLEND}},
        {"GetRenderState", {D3DRS_CULLMODE}},
        {"GetRenderState", {D3DRS_ZFUNC}},
        {"GetRenderState", {D3DRS_BLENDOP}},
        {"GetStreamSource", {0}},
        {"GetRenderState", {D3DRS_ALPHABLENDENABLE}},
        {"GetRenderState", {D3DRS_ALPHATESTENABLE}},
        {"GetRenderState", {D3DRS_FOGENABLE}},
        {"GetRenderState", {D3DRS_STENCILENABLE}},
        {"GetRenderState", {D3DRS_SCISSORTESTENABLE}},
        {"GetRenderState", {D3DRS_SEPARATEALPHABLENDENABLE}},
        {"GetRenderState", {D3DRS_COLORWRITEENABLE}},
        {"GetRenderState", {D3DRS_SRGBWRITEENABLE}},
        {"GetRenderState", {D3DRS_FILLMODE}},
        {"GetVertexShader", {}},
        {"GetPixelShader", {}},
        {"GetSamplerState", {0, D3DSAMP_MINFILTER}},
        {"GetSamplerState", {0, D3DSAMP_MAGFILTER}},
        {"GetSamplerState", {0, D3DSAMP_MIPFILTER}},
        {"GetSamplerState", {0, D3DSAMP_ADDRESSU}},
        {"GetSamplerState", {0, D3DSAMP_ADDRESSV}},
        {"GetTextureStageState", {0, D3DTSS_COLOROP}},
        {"GetTextureStageState", {0, D3DTSS_COLORARG1}},
        {"GetTextureStageState", {0, D3DTSS_COLORARG2}},
        {"GetTextureStageState", {0, D3DTSS_ALPHAOP}},
        {"GetTextureStageState", {1, D3DTSS_COLOROP}},
        {"GetTextureStageState", {1, D3DTSS_ALPHAOP}},
        {"GetDepthStencilSurface", {}},
        {"GetViewport", {}},
        {"SetRenderTarget", {0, Raw(TargetSurface)}},
        {"SetTexture", {0, 0}},
        {"SetVertexDeclaration", {0}},
        {"SetRenderState", {D3DRS_ZENABLE, D3DZB_FALSE}},
        {"SetRenderState", {D3DRS_ZWRITEENABLE, FALSE}},
        {"SetRenderState", {D3DRS_SRCBLEND, D3DBLEND_ONE}},
        {"SetRenderState", {D3DRS_DESTBLEND, D3DBLEND_ONE}},
        {"SetRenderState", {D3DRS_CULLMODE, D3DCULL_NONE}},
        {"SetRenderState", {D3DRS_ZFUNC, D3DCMP_ALWAYS}},
        {"SetRenderState", {D3DRS_BLENDOP, D3DBLENDOP_ADD}},
        {"SetRenderState", {D3DRS_ALPHATESTENABLE, FALSE}},
        {"SetRenderState", {D3DRS_FOGENABLE, FALSE}},
        {"SetRenderState", {D3DRS_STENCILENABLE, FALSE}},
        {"SetRenderState", {D3DRS_SCISSORTESTENABLE, FALSE}},
        {"SetRenderState", {D3DRS_SEPARATEALPHABLENDENABLE, FALSE}},
        {"SetRenderState", {D3DRS_COLORWRITEENABLE, 0xF}},
        {"SetRenderState", {D3DRS_SRGBWRITEENABLE, FALSE}},
        {"SetRenderState", {D3DRS_FILLMODE, D3DFILL_SOLID}},
        {"SetVertexShader", {0}},
        {"SetPixelShader", {0}},
        {"SetSamplerState", {0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP}},
        {"SetSamplerState", {0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP}},
        {"SetTextureStageState", {1, D3DTSS_COLOROP, D3DTOP_DISABLE}},
        {"SetTextureStageState", {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE}},
        {"SetDepthStencilSurface", {0}},
        {"Clear", {0, 0, D3DCLEAR_TARGET, 0x00000000, one, 0}},
    };
    // Step 7, right after Begin.
    std::vector<Expected> strokeStates = {
        {"SetRenderState", {D3DRS_ALPHABLENDENABLE, TRUE}},
        {"SetRenderState", {D3DRS_SRCBLEND, D3DBLEND_ONE}},
        {"SetRenderState", {D3DRS_DESTBLEND, D3DBLEND_ONE}},
        {"SetTexture", {0, Raw(ProfileTexture)}},
        {"SetSamplerState", {0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR}},
        {"SetSamplerState", {0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR}},
        {"SetSamplerState", {0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR}},
        {"SetTextureStageState", {0, D3DTSS_COLOROP, D3DTOP_MODULATE}},
        {"SetTextureStageState", {0, D3DTSS_COLORARG1, D3DTA_TEXTURE}},
        {"SetTextureStageState", {0, D3DTSS_COLORARG2, D3DTA_CURRENT}},
        {"SetTextureStageState", {0, D3DTSS_ALPHAOP, D3DTOP_DISABLE}},
    };
    // Steps 10 to 16 after End: the composite onto the back buffer, then the restore.
    std::vector<Expected> closing = {
        {"SetRenderTarget", {0, Raw(device->BackBuffer())}},
        {"SetDepthStencilSurface", {Raw(game.DepthStencil)}},
        {"SetFVF", {0x144}},
        {"SetStreamSource", {0, Raw(QuadBuffer), 0, 28}},
        {"SetRenderState", {D3DRS_ALPHABLENDENABLE, TRUE}},
        {"SetRenderState", {D3DRS_SRCBLEND, D3DBLEND_ZERO}},
        {"SetRenderState", {D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR}},
        {"SetTexture", {0, 0}},
        {"SetTextureStageState", {0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}},
        {"SetTextureStageState", {0, D3DTSS_COLORARG1, D3DTA_DIFFUSE}},
        {"DrawPrimitive", {D3DPT_TRIANGLESTRIP, 4, 2}},
        {"SetRenderState", {D3DRS_SRCBLEND, D3DBLEND_ONE}},
        {"SetRenderState", {D3DRS_DESTBLEND, D3DBLEND_ONE}},
        {"SetTexture", {0, Raw(TargetTexture)}},
        {"SetSamplerState", {0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR}},
        {"SetSamplerState", {0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR}},
        {"SetSamplerState", {0, D3DSAMP_MIPFILTER, D3DTEXF_NONE}},
        {"SetTextureStageState", {0, D3DTSS_COLOROP, D3DTOP_MODULATE}},
        {"SetTextureStageState", {0, D3DTSS_COLORARG1, D3DTA_TEXTURE}},
        {"SetTextureStageState", {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE}},
        {"DrawPrimitive", {D3DPT_TRIANGLESTRIP, 0, 2}},
        {"SetRenderTarget", {0, Raw(game.RenderTarget)}},
        {"SetViewport", {}},
        {"SetTexture", {0, Raw(game.Texture)}},
        {"SetFVF", {0}},
        {"SetVertexDeclaration", {Raw(game.Declaration)}},
        {"SetRenderState", {D3DRS_ZENABLE, D3DZB_TRUE}},
        {"SetRenderState", {D3DRS_ZWRITEENABLE, TRUE}},
        {"SetRenderState", {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA}},
        {"SetRenderState", {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}},
        {"SetRenderState", {D3DRS_CULLMODE, D3DCULL_CW}},
        {"SetRenderState", {D3DRS_ZFUNC, D3DCMP_LESSEQUAL}},
        {"SetRenderState", {D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT}},
        {"SetStreamSource", {0, Raw(game.Stream), 16, 20}},
        {"SetRenderState", {D3DRS_ALPHABLENDENABLE, FALSE}},
        {"SetRenderState", {D3DRS_ALPHATESTENABLE, TRUE}},
        {"SetRenderState", {D3DRS_FOGENABLE, TRUE}},
        {"SetRenderState", {D3DRS_STENCILENABLE, TRUE}},
        {"SetRenderState", {D3DRS_SCISSORTESTENABLE, TRUE}},
        {"SetRenderState", {D3DRS_SEPARATEALPHABLENDENABLE, TRUE}},
        {"SetRenderState", {D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED}},
        {"SetRenderState", {D3DRS_SRGBWRITEENABLE, TRUE}},
        {"SetRenderState", {D3DRS_FILLMODE, D3DFILL_WIREFRAME}},
        {"SetVertexShader", {Raw(game.VertexShader)}},
        {"SetPixelShader", {Raw(game.PixelShader)}},
        {"SetSamplerState", {0, D3DSAMP_MINFILTER, D3DTEXF_POINT}},
        {"SetSamplerState", {0, D3DSAMP_MAGFILTER, D3DTEXF_POINT}},
        {"SetSamplerState", {0, D3DSAMP_MIPFILTER, D3DTEXF_POINT}},
        {"SetSamplerState", {0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER}},
        {"SetSamplerState", {0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR}},
        {"SetTextureStageState", {0, D3DTSS_COLOROP, D3DTOP_ADD}},
        {"SetTextureStageState", {0, D3DTSS_COLORARG1, D3DTA_TFACTOR}},
        {"SetTextureStageState", {0, D3DTSS_COLORARG2, D3DTA_SPECULAR}},
        {"SetTextureStageState", {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2}},
        {"SetTextureStageState", {1, D3DTSS_COLOROP, D3DTOP_MODULATE}},
        {"SetTextureStageState", {1, D3DTSS_ALPHAOP, D3DTOP_MODULATE}},
    };

    ExpectCalls(calls, 0, std::min(opening.size(), calls.size()), opening, "opening");
    ExpectOnlyReads(calls, opening.size(), begin, "display geometry");
    ExpectCalls(calls, begin, std::min(begin + strokeStates.size(), calls.size()), strokeStates,
                "strokes");
    ExpectOnlyReads(calls, begin + strokeStates.size(), end, "symbology");
    ExpectCalls(calls, end, calls.size(), closing, "composite and restore");

    ReleaseResources();
    game.Drop(device);
}

// ---- a creation failing on the first frame -------------------------------------------------

TEST_F(Frame, FailedCreationSkipsTheFrameAndTheNextOneDraws) {
    const char* const failing[] = {"CreateTexture", "GetSurfaceLevel", "CreateVertexBuffer",
                                   "Lock"};
    for (const char* method : failing) {
        SCOPED_TRACE(method);
        const Snapshot before = Take(device);
        device->FailCall(method, 1, E_OUTOFMEMORY);
        device->ClearCalls();
        GameInterfaceByte() = 0x42;
        EXPECT_EQ(DrawDisplay(), 0x42);
        // Only creation went on: nothing saved, bound, cleared or drawn.
        for (const DeviceCall& c : device->Calls())
            EXPECT_TRUE(std::strstr("GetDesc CreateTexture GetSurfaceLevel CreateVertexBuffer Lock "
                                    "Unlock GetLevelCount LockRect UnlockRect",
                                    c.Method))
                << Describe(c);
        ExpectSame(before, Take(device));

        device->ClearCalls();
        EXPECT_EQ(DrawDisplay(), 0x42);
        EXPECT_EQ(device->CountCalls("DrawPrimitive"), 2);
        ReleaseResources();
        device->ClearFailures();
    }
}

TEST_F(Frame, FailedLineDrawerSkipsTheFrameAndTheNextOneDraws) {
    strokes->FailCreate(StrokeLogCreateLine, 1, E_OUTOFMEMORY);
    DrawDisplay();
    EXPECT_EQ(LineDrawer, nullptr);
    EXPECT_EQ(device->CountCalls("SetRenderTarget"), 0);
    DrawDisplay();
    EXPECT_NE(LineDrawer, nullptr);
    EXPECT_EQ(device->CountCalls("DrawPrimitive"), 2);
}

} // namespace
