// The texture loader: any image stb_image decodes, as an A8R8G8B8 managed texture with the
// full mip chain, the lower levels box-filtered from the one above.
#include <d3dx9.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#include <stb_image.h>

#include <cstdint>
#include <vector>

#include "testing/d3dx/Internal.h"

namespace {
struct Level {
    UINT Width, Height;
    std::vector<uint8_t> Rgba;
};

// Each texel of the next level is the mean of the (up to) 2x2 block above it.
Level HalfSize(const Level& a) {
    Level b{a.Width > 1 ? a.Width / 2 : 1, a.Height > 1 ? a.Height / 2 : 1, {}};
    b.Rgba.resize(size_t(b.Width) * b.Height * 4);
    const UINT fx = a.Width > 1 ? 2 : 1, fy = a.Height > 1 ? 2 : 1;
    for (UINT y = 0; y < b.Height; ++y)
        for (UINT x = 0; x < b.Width; ++x)
            for (int c = 0; c < 4; ++c) {
                unsigned sum = 0;
                for (UINT dy = 0; dy < fy; ++dy)
                    for (UINT dx = 0; dx < fx; ++dx)
                        sum += a.Rgba[((y * fy + dy) * a.Width + x * fx + dx) * 4 + c];
                const unsigned n = fx * fy;
                b.Rgba[(y * b.Width + x) * 4 + c] = uint8_t((sum + n / 2) / n);
            }
    return b;
}

bool Fill(IDirect3DTexture9* texture, UINT index, const Level& level) {
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(index, &locked, nullptr, 0))) return false;
    for (UINT y = 0; y < level.Height; ++y) {
        auto* row = static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
        for (UINT x = 0; x < level.Width; ++x) {
            const uint8_t* p = &level.Rgba[(size_t(y) * level.Width + x) * 4];
            row[x * 4 + 0] = p[2]; // A8R8G8B8 lies in memory as B, G, R, A
            row[x * 4 + 1] = p[1];
            row[x * 4 + 2] = p[0];
            row[x * 4 + 3] = p[3];
        }
    }
    texture->UnlockRect(index);
    return true;
}
} // namespace

extern "C" HRESULT WINAPI D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device,
                                                            const void* data, UINT size,
                                                            IDirect3DTexture9** texture) {
    if (!device || !data || !size || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    HRESULT hr;
    if (TakeCreateFailure(StrokeLogCreateTexture, &hr)) return hr;

    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(static_cast<const stbi_uc*>(data), int(size), &width,
                                            &height, &channels, 4);
    if (!pixels) return D3DXERR_INVALIDDATA;
    Level level{UINT(width), UINT(height),
                std::vector<uint8_t>(pixels, pixels + size_t(width) * height * 4)};
    stbi_image_free(pixels);

    IDirect3DTexture9* made = nullptr;
    hr = device->CreateTexture(level.Width, level.Height, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                               &made, nullptr);
    if (FAILED(hr)) return hr;
    const DWORD levels = made->GetLevelCount();
    for (DWORD i = 0; i < levels; ++i) {
        if (i > 0) level = HalfSize(level);
        if (!Fill(made, i, level)) {
            made->Release();
            return D3DERR_INVALIDCALL;
        }
    }
    *texture = made;
    return D3D_OK;
}
