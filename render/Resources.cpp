// The display's own Direct3D objects: made on first need, each into an empty slot, and given
// back before every device reset.
#include "render/Resources.h"

#include <cstring>

#include "host/HostInterface.h"

IDirect3DTexture9* TargetTexture = nullptr;
IDirect3DSurface9* TargetSurface = nullptr;
IDirect3DTexture9* ProfileTexture = nullptr;
ID3DXLine* LineDrawer = nullptr;
IDirect3DVertexBuffer9* QuadBuffer = nullptr;

// 2x4 RGBA: black, white, white, black from the top. Laid across a stroke it gives the stroke a
// bright core and dark edges.
const unsigned char ProfileImage[78] = {
    // signature
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a,
    // IHDR
    0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04,
    0x08, 0x06, 0x00, 0x00, 0x00, 0xa4, 0xef, 0xee, 0x39,
    // IDAT
    0x00, 0x00, 0x00, 0x15, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60, 0x60, 0x60, 0xf8, 0x0f,
    0xc6, 0xff, 0xa1, 0x00, 0xc1, 0x80, 0x49, 0x01, 0x00, 0x60, 0xd1, 0x13, 0xed, 0x81, 0xcd, 0x7b,
    0x3d,
    // IEND
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

float StrokeWidth(UINT backBufferWidth) {
    if (backBufferWidth <= 640) return 2.0f;
    return static_cast<float>(static_cast<double>(backBufferWidth) / 320.0);
}

namespace {

constexpr UINT QuadVertexCount = 8;
constexpr UINT QuadBufferBytes = QuadVertexCount * sizeof(QuadVertex);
static_assert(QuadBufferBytes == 224, "two quads of four vertices");

// The overlay quad, then the tint quad, both over the whole back buffer. The half-pixel shift
// puts every screen pixel centre on the shared corner of a 2x2 block of target texels.
void FillQuads(QuadVertex* v, UINT width, UINT height) {
    const float right = static_cast<float>(width) - 0.5f;
    const float bottom = static_cast<float>(height) - 0.5f;
    const D3DCOLOR colours[2] = {OverlayColour, TintColour};
    for (int quad = 0; quad < 2; ++quad) {
        QuadVertex* q = v + 4 * quad;
        q[0] = {-0.5f, -0.5f, 0.0f, 1.0f, colours[quad], 0.0f, 0.0f};
        q[1] = {right, -0.5f, 0.0f, 1.0f, colours[quad], 1.0f, 0.0f};
        q[2] = {-0.5f, bottom, 0.0f, 1.0f, colours[quad], 0.0f, 1.0f};
        q[3] = {right, bottom, 0.0f, 1.0f, colours[quad], 1.0f, 1.0f};
    }
}

} // namespace

bool EnsureResources() {
    IDirect3DDevice9* device = HostDevice();
    IDirect3DSurface9* backBuffer = HostBackBuffer();
    if (!device || !backBuffer) return false;
    D3DSURFACE_DESC desc{};
    if (FAILED(backBuffer->GetDesc(&desc))) return false;
    const UINT w = desc.Width, h = desc.Height;

    if (!TargetTexture) {
        device->CreateTexture(2 * w, 2 * h, 0, D3DUSAGE_RENDERTARGET, D3DFMT_L8, D3DPOOL_DEFAULT,
                              &TargetTexture, nullptr);
        if (TargetSurface) {
            TargetSurface->Release();
            TargetSurface = nullptr;
        }
        if (TargetTexture) TargetTexture->GetSurfaceLevel(0, &TargetSurface);
    } else if (!TargetSurface) {
        // A surface fetch that failed on an earlier frame; without it the target could not be
        // drawn into until the next reset.
        TargetTexture->GetSurfaceLevel(0, &TargetSurface);
    }

    if (!ProfileTexture)
        D3DXCreateTextureFromFileInMemory(device, ProfileImage, sizeof ProfileImage,
                                          &ProfileTexture);

    if (!LineDrawer) {
        D3DXCreateLine(device, &LineDrawer);
        if (LineDrawer) {
            LineDrawer->SetPattern(0x00000001);
            LineDrawer->SetWidth(StrokeWidth(w));
            LineDrawer->SetAntialias(TRUE);
            LineDrawer->SetGLLines(FALSE);
            LineDrawer->SetPatternScale(1.0f);
        }
    }

    if (!QuadBuffer) {
        QuadVertex quads[QuadVertexCount];
        FillQuads(quads, w, h);
        device->CreateVertexBuffer(QuadBufferBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                   D3DPOOL_DEFAULT, &QuadBuffer, nullptr);
        if (QuadBuffer) {
            void* data = nullptr;
            if (SUCCEEDED(QuadBuffer->Lock(0, 0, &data, D3DLOCK_DISCARD)) && data) {
                std::memcpy(data, quads, QuadBufferBytes);
                QuadBuffer->Unlock();
            } else {
                // The buffer is written only once in its life: one that could not be filled
                // is dropped and made again on the next frame.
                QuadBuffer->Release();
                QuadBuffer = nullptr;
            }
        }
    }

    return TargetTexture && TargetSurface && ProfileTexture && LineDrawer && QuadBuffer;
}

void ReleaseResources() {
    // The surface belongs to the texture: it goes first.
    if (TargetSurface) {
        TargetSurface->Release();
        TargetSurface = nullptr;
    }
    if (TargetTexture) {
        TargetTexture->Release();
        TargetTexture = nullptr;
    }
    if (ProfileTexture) {
        ProfileTexture->Release();
        ProfileTexture = nullptr;
    }
    if (LineDrawer) {
        LineDrawer->Release();
        LineDrawer = nullptr;
    }
    if (QuadBuffer) {
        QuadBuffer->Release();
        QuadBuffer = nullptr;
    }
}
