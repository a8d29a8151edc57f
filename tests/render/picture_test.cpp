// The composite on a real device: the tint over the whole scene and the green overlay where
// the target is lit, with the game having left blending off and fog on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "RenderFixture.h"
#include "testing/realdevice/RealDevice.h"

namespace {

constexpr UINT Width = 64, Height = 48;

// Four bands of scene colour, left to right, as the game drew them.
const D3DCOLOR SceneBands[4] = {0xFFC86432, 0xFFFFFFFF, 0xFF000000, 0xFF5AB4F0};

D3DCOLOR SceneAt(UINT x) {
    return SceneBands[x * 4 / Width];
}

class Picture : public ::testing::Test {
  protected:
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
    ProbeLine probe;

    void SetUp() override {
        device = CreateRealDevice(Width, Height);
        if (!device) GTEST_SKIP() << "no real Direct3D 9 device here (see stderr for why)";
        backBuffer = RealBackBuffer(device);
        GameDevice() = device;
        GameBackBuffer() = backBuffer;
        GameFlyJet();
        ASSERT_TRUE(EnsureResources());
        // The symbology draws nothing here: the test lights the target itself at End.
        UseProbeLine(&probe);
    }
    void TearDown() override {
        if (!device) return;
        ReleaseResources();
        GameDevice() = nullptr;
        GameBackBuffer() = nullptr;
        if (backBuffer) backBuffer->Release();
        if (device) device->Release();
    }

    void DrawScene() {
        for (int band = 0; band < 4; ++band) {
            const D3DRECT r{LONG(band * Width / 4), 0, LONG((band + 1) * Width / 4), LONG(Height)};
            device->Clear(1, &r, D3DCLEAR_TARGET, SceneBands[band], 1.0f, 0);
        }
        // What the display must not depend on: blending off, fog on in a loud colour.
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetRenderState(D3DRS_FOGENABLE, TRUE);
        device->SetRenderState(D3DRS_FOGCOLOR, 0xFFFF00FF);
        device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
        const float start = -1.0f, end = -0.5f; // everything at z = 0 lies in full fog
        device->SetRenderState(D3DRS_FOGSTART, Raw(start));
        device->SetRenderState(D3DRS_FOGEND, Raw(end));
    }
};

int Channel(D3DCOLOR c, int shift) {
    return (c >> shift) & 0xFF;
}

TEST_F(Picture, TintEverywhereAndOverlayWhereTheTargetIsLit) {
    const struct {
        const char* name;
        std::vector<RECT> lit; // in target texels (twice the screen)
    } cases[] = {
        {"nothing lit", {}},
        {"left half lit", {{0, 0, LONG(Width), LONG(2 * Height)}}},
        {"one texel column lit", {{2 * 40, 0, 2 * 40 + 1, LONG(2 * Height)}}},
        {"one texel lit", {{2 * 50 + 1, 2 * 10 + 1, 2 * 50 + 2, 2 * 10 + 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        probe.OnEnd = [&] {
            for (const RECT& r : c.lit) {
                const D3DRECT d{r.left, r.top, r.right, r.bottom};
                device->Clear(1, &d, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
            }
        };
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        DrawScene();
        DrawDisplay();
        device->EndScene();

        DWORD blend = 7, fog = 7;
        device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
        device->GetRenderState(D3DRS_FOGENABLE, &fog);
        EXPECT_EQ(blend, DWORD(FALSE));
        EXPECT_EQ(fog, DWORD(TRUE));

        Image image;
        ASSERT_TRUE(ReadBackBuffer(device, &image));
        ASSERT_EQ(image.Width, Width);
        ASSERT_EQ(image.Height, Height);
        const int tint[3] = {248, 226, 242}, overlay[3] = {128, 255, 64};
        int bad = 0;
        for (UINT y = 0; y < Height; ++y)
            for (UINT x = 0; x < Width; ++x) {
                // Each screen pixel is the mean of its 2x2 block of target texels.
                int lit = 0;
                for (UINT ty = 2 * y; ty < 2 * y + 2; ++ty)
                    for (UINT tx = 2 * x; tx < 2 * x + 2; ++tx)
                        for (const RECT& r : c.lit)
                            if (LONG(tx) >= r.left && LONG(tx) < r.right && LONG(ty) >= r.top &&
                                LONG(ty) < r.bottom) {
                                ++lit;
                                break;
                            }
                const float l = lit / 4.0f;
                const D3DCOLOR scene = SceneAt(x);
                const int shifts[3] = {16, 8, 0};
                for (int k = 0; k < 3; ++k) {
                    const float expected = std::min(
                        255.0f, Channel(scene, shifts[k]) * tint[k] / 255.0f + overlay[k] * l);
                    const int got = image.Rgba[(y * Width + x) * 4 + k];
                    if (std::fabs(got - expected) > 2.0f && bad++ < 8)
                        ADD_FAILURE() << "pixel " << x << "," << y << " channel " << k << ": "
                                      << got << ", expected " << expected;
                }
            }
        EXPECT_EQ(bad, 0);
    }
}

} // namespace
