// The Direct3D objects the display owns, created lazily on the game's device and released
// before every device reset.
#pragma once

#include <d3d9.h>
#include <d3dx9.h>

// One full-screen quad vertex: D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct QuadVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(QuadVertex) == 28, "QuadVertex is 28 bytes");

constexpr DWORD QuadVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr D3DCOLOR OverlayColour = 0xFF80FF40;
constexpr D3DCOLOR TintColour = 0xFFF8E2F2;
constexpr UINT OverlayQuadStart = 0; // vertices 0 to 3
constexpr UINT TintQuadStart = 4;    // vertices 4 to 7

extern IDirect3DTexture9* TargetTexture;
extern IDirect3DSurface9* TargetSurface;
extern IDirect3DTexture9* ProfileTexture;
extern ID3DXLine* LineDrawer;
extern IDirect3DVertexBuffer9* QuadBuffer;

// The 2x4 image laid across every stroke.
extern const unsigned char ProfileImage[78];

// The line width in target pixels for a back buffer of the given width.
float StrokeWidth(UINT backBufferWidth);

// Creates whichever resources are missing; true when all five exist afterwards.
bool EnsureResources();
void ReleaseResources();
