// The per-frame routine behind the game's DrawInterface call: the display gate, the pass that
// draws the symbology into the off-screen target and lays it over the scene, and the byte the
// overwritten game instruction loaded.
#include "render/DrawDisplay.h"

#include "host/HostInterface.h"
#include "render/Resources.h"
#include "symbology/Symbology.h"

uint32_t ChainedDrawInterface = 0;

namespace {

struct RenderStateValue {
    D3DRENDERSTATETYPE State;
    DWORD Value;
};

// The render states the pass holds for its whole length, with their values for the pass.
const RenderStateValue PassStates[] = {
    {D3DRS_ZENABLE, D3DZB_FALSE},    {D3DRS_ZWRITEENABLE, FALSE},    {D3DRS_SRCBLEND, D3DBLEND_ONE},
    {D3DRS_DESTBLEND, D3DBLEND_ONE}, {D3DRS_CULLMODE, D3DCULL_NONE}, {D3DRS_ZFUNC, D3DCMP_ALWAYS},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
};
constexpr int PassStateCount = sizeof PassStates / sizeof PassStates[0];

// States a game may leave behind that would change the display's picture: fog tints it, alpha
// and stencil tests or a scissor cut it, a colour write mask, sRGB writes, a separate alpha
// blend or wireframe alter what lands in the target and on the screen.
const RenderStateValue GuardedStates[] = {
    {D3DRS_ALPHATESTENABLE, FALSE},
    {D3DRS_FOGENABLE, FALSE},
    {D3DRS_STENCILENABLE, FALSE},
    {D3DRS_SCISSORTESTENABLE, FALSE},
    {D3DRS_SEPARATEALPHABLENDENABLE, FALSE},
    {D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN |
                                 D3DCOLORWRITEENABLE_BLUE | D3DCOLORWRITEENABLE_ALPHA},
    {D3DRS_SRGBWRITEENABLE, FALSE},
    {D3DRS_FILLMODE, D3DFILL_SOLID},
};
constexpr int GuardedStateCount = sizeof GuardedStates / sizeof GuardedStates[0];

// Sampler 0 and texture-stage states the pass sets at some point; saved so that they return.
const D3DSAMPLERSTATETYPE SamplerStates[] = {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER,
                                             D3DSAMP_MIPFILTER, D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV};
constexpr int SamplerStateCount = sizeof SamplerStates / sizeof SamplerStates[0];
const D3DTEXTURESTAGESTATETYPE Stage0States[] = {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                                 D3DTSS_ALPHAOP};
constexpr int Stage0StateCount = sizeof Stage0States / sizeof Stage0States[0];
const D3DTEXTURESTAGESTATETYPE Stage1States[] = {D3DTSS_COLOROP, D3DTSS_ALPHAOP};
constexpr int Stage1StateCount = sizeof Stage1States / sizeof Stage1States[0];

// The game's device state as the pass found it; every reference in it is one the pass owns
// until the end of the frame.
struct SavedState {
    IDirect3DSurface9* RenderTarget;
    IDirect3DBaseTexture9* Texture;
    DWORD Fvf;
    IDirect3DVertexDeclaration9* Declaration;
    DWORD PassStates[PassStateCount];
    IDirect3DVertexBuffer9* Stream;
    UINT StreamOffset, StreamStride;

    DWORD AlphaBlend;
    DWORD GuardedStates[GuardedStateCount];
    IDirect3DVertexShader9* VertexShader;
    IDirect3DPixelShader9* PixelShader;
    DWORD Sampler[SamplerStateCount];
    DWORD Stage0[Stage0StateCount];
    DWORD Stage1[Stage1StateCount];
    IDirect3DSurface9* DepthStencil;
    D3DVIEWPORT9 Viewport;
};

// The display is drawn only while the player drives the jet. A jet without a placement record
// (a vehicle the game is still setting up or taking down) has nothing to place symbols by.
const HostVehicle* DisplayedVehicle(const HostPlayer* player) {
    if (!player || player->State != HostPlayerDriving) return nullptr;
    const HostVehicle* vehicle = player->Vehicle;
    if (!vehicle || vehicle->Model != HostJetModel || !vehicle->Matrix) return nullptr;
    return vehicle;
}

void Save(IDirect3DDevice9* device, SavedState* s) {
    device->GetRenderTarget(0, &s->RenderTarget);
    device->GetTexture(0, &s->Texture);
    device->GetFVF(&s->Fvf);
    device->GetVertexDeclaration(&s->Declaration);
    for (int i = 0; i < PassStateCount; ++i)
        device->GetRenderState(PassStates[i].State, &s->PassStates[i]);
    device->GetStreamSource(0, &s->Stream, &s->StreamOffset, &s->StreamStride);

    device->GetRenderState(D3DRS_ALPHABLENDENABLE, &s->AlphaBlend);
    for (int i = 0; i < GuardedStateCount; ++i)
        device->GetRenderState(GuardedStates[i].State, &s->GuardedStates[i]);
    device->GetVertexShader(&s->VertexShader);
    device->GetPixelShader(&s->PixelShader);
    for (int i = 0; i < SamplerStateCount; ++i)
        device->GetSamplerState(0, SamplerStates[i], &s->Sampler[i]);
    for (int i = 0; i < Stage0StateCount; ++i)
        device->GetTextureStageState(0, Stage0States[i], &s->Stage0[i]);
    for (int i = 0; i < Stage1StateCount; ++i)
        device->GetTextureStageState(1, Stage1States[i], &s->Stage1[i]);
    device->GetDepthStencilSurface(&s->DepthStencil);
    device->GetViewport(&s->Viewport);
}

void Restore(IDirect3DDevice9* device, const SavedState& s) {
    device->SetRenderTarget(0, s.RenderTarget);
    // Setting a render target resets the viewport to all of it; the game may have drawn into
    // only part of the screen.
    device->SetViewport(&s.Viewport);
    device->SetTexture(0, s.Texture);
    device->SetFVF(s.Fvf);
    device->SetVertexDeclaration(s.Declaration);
    for (int i = 0; i < PassStateCount; ++i)
        device->SetRenderState(PassStates[i].State, s.PassStates[i]);
    device->SetStreamSource(0, s.Stream, s.StreamOffset, s.StreamStride);

    device->SetRenderState(D3DRS_ALPHABLENDENABLE, s.AlphaBlend);
    for (int i = 0; i < GuardedStateCount; ++i)
        device->SetRenderState(GuardedStates[i].State, s.GuardedStates[i]);
    device->SetVertexShader(s.VertexShader);
    device->SetPixelShader(s.PixelShader);
    for (int i = 0; i < SamplerStateCount; ++i)
        device->SetSamplerState(0, SamplerStates[i], s.Sampler[i]);
    for (int i = 0; i < Stage0StateCount; ++i)
        device->SetTextureStageState(0, Stage0States[i], s.Stage0[i]);
    for (int i = 0; i < Stage1StateCount; ++i)
        device->SetTextureStageState(1, Stage1States[i], s.Stage1[i]);
}

void GiveBack(SavedState* s) {
    if (s->RenderTarget) {
        s->RenderTarget->Release();
        s->RenderTarget = nullptr;
    }
    if (s->Texture) {
        s->Texture->Release();
        s->Texture = nullptr;
    }
    if (s->Declaration) {
        s->Declaration->Release();
        s->Declaration = nullptr;
    }
    if (s->Stream) {
        s->Stream->Release();
        s->Stream = nullptr;
    }
    if (s->VertexShader) {
        s->VertexShader->Release();
        s->VertexShader = nullptr;
    }
    if (s->PixelShader) {
        s->PixelShader->Release();
        s->PixelShader = nullptr;
    }
    if (s->DepthStencil) {
        s->DepthStencil->Release();
        s->DepthStencil = nullptr;
    }
}

void RunPass(IDirect3DDevice9* device, const HostVehicle* vehicle) {
    SavedState saved{};
    Save(device, &saved);

    device->SetRenderTarget(0, TargetSurface);
    device->SetTexture(0, nullptr);
    device->SetVertexDeclaration(nullptr);
    for (const RenderStateValue& s : PassStates)
        device->SetRenderState(s.State, s.Value);
    for (const RenderStateValue& s : GuardedStates)
        device->SetRenderState(s.State, s.Value);
    // The fixed-function pipeline draws the strokes and the composite.
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    // Clamped, so that no address mode the game left (a border colour, a wrap) reaches into the
    // stroke profile or across the target's edges.
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    // A second stage left active by the game would change the colours.
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    // Direct3D 9 wants a depth buffer at least as large as the render target, and the target is
    // twice the screen; depth is off for the whole pass anyway.
    device->SetDepthStencilSurface(nullptr);

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);

    DisplayGeometry geometry{};
    BuildDisplayGeometry(device, vehicle, &geometry);

    LineDrawer->Begin();
    // Strokes add up in the target: the profile texture times white, one plus one.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetTexture(0, ProfileTexture);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);

    DrawSymbology(&geometry, vehicle);

    // End puts back the state the device had at Begin, so the composite sets its own.
    LineDrawer->End();

    // The composite goes to the game's back buffer, whatever render target the game had bound.
    device->SetRenderTarget(0, HostBackBuffer());
    device->SetDepthStencilSurface(saved.DepthStencil);
    device->SetFVF(QuadVertexFormat);
    device->SetStreamSource(0, QuadBuffer, 0, sizeof(QuadVertex));

    // Tint: the scene times the vertex colour. Blending must be on, or the quad would overwrite
    // the scene; the colour comes from the vertices alone rather than from an absent texture.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, TintQuadStart, 2);

    // Overlay: the target's luminance times the overlay colour, added. Only level 0 of the
    // target is ever drawn, so no mip filter: a 2:1 reduction would otherwise read level 1.
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetTexture(0, TargetTexture);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, OverlayQuadStart, 2);

    Restore(device, saved);
    GiveBack(&saved);
}

} // namespace

// The game calls this with the stack aligned to 4 bytes only; the matrices of the pass want 16.
extern "C" __attribute__((force_align_arg_pointer)) uint8_t DrawDisplay() {
    const HostPlayer* player = HostCurrentPlayer();
    IDirect3DDevice9* device = HostDevice();
    const HostVehicle* vehicle = DisplayedVehicle(player);

    // A frame without a device or back buffer, or whose resources cannot all be made, is
    // skipped before anything is bound; the next one tries again.
    if (vehicle && EnsureResources()) {
        RunPass(device, vehicle);
    } else {
        // The load factor must not span frames without the display.
        ForgetPreviousVelocity();
    }

    // Every frame, so that another module's handler at this site keeps running outside the jet.
    if (ChainedDrawInterface)
        reinterpret_cast<void (*)()>(static_cast<uintptr_t>(ChainedDrawInterface))();

    return HostValue<uint8_t>(HostInterfaceByteAddress);
}
