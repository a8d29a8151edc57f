// A real Direct3D 9 device (Wine's d3d9 on Mesa, under a virtual X server) for pictures and
// end-to-end checks, and reading its pixels back.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

// A device on a hidden window: windowed, D3DFMT_X8R8G8B8 back buffer of the given size,
// D3DSWAPEFFECT_DISCARD, software vertex processing, automatic D24S8 depth stencil.
// Null on failure, with the reason on stderr.
IDirect3DDevice9* CreateRealDevice(UINT width, UINT height);

// The device's back buffer, AddRef'd: the caller releases it.
IDirect3DSurface9* RealBackBuffer(IDirect3DDevice9* device);

// Pixels top row first, 4 bytes per pixel in R, G, B, A order.
struct Image {
    UINT Width = 0, Height = 0;
    std::vector<uint8_t> Rgba;
};

// The back buffer through GetRenderTargetData into a system-memory surface. X8R8G8B8 reads
// with alpha 255.
bool ReadBackBuffer(IDirect3DDevice9* device, Image* out);

// Any render-target surface of D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8 or D3DFMT_L8 (luminance is
// expanded to grey, alpha 255). False, with the reason on stderr, for anything else.
bool ReadSurface(IDirect3DDevice9* device, IDirect3DSurface9* surface, Image* out);

// Writes the image as an RGBA PNG.
bool WritePng(const char* path, const Image& image);
