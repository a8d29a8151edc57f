// The line drawer on a real device (Wine's d3d9 under a virtual X server): which pixels a
// stroke lights, and with the display's 2x4 profile texture how bright they are.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <cmath>
#include <cstdint>

#include "testing/d3dx/StrokeLog.h"
#include "testing/realdevice/RealDevice.h"

namespace {
const UINT Width = 320, Height = 240;

// 2 by 4 RGBA: rows black, white, white, black.
const uint8_t ProfilePng[78] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0x08, 0x06, 0x00, 0x00, 0x00, 0xa4, 0xef, 0xee,
    0x39, 0x00, 0x00, 0x00, 0x15, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60, 0x60, 0x60, 0xf8,
    0x0f, 0xc6, 0xff, 0xa1, 0x00, 0xc1, 0x80, 0x49, 0x01, 0x00, 0x60, 0xd1, 0x13, 0xed, 0x81, 0xcd,
    0x7b, 0x3d, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

class LinePicture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { device_ = CreateRealDevice(Width, Height); }
    static void TearDownTestSuite() {
        if (device_) device_->Release();
        device_ = nullptr;
    }
    void SetUp() override {
        if (!device_) GTEST_SKIP() << "no real Direct3D 9 device here (see stderr for why)";
        ASSERT_EQ(D3DXCreateLine(device_, &line), D3D_OK);
        IStrokeLog* log = OpenStrokeLog(device_);
        ASSERT_NE(log, nullptr) << "our d3dx9_43.dll is not the one loaded";
        log->Reset();
        log->Release();
    }
    void TearDown() override {
        if (line) line->Release();
    }

    // Clears to black and draws one strip in white inside Begin/End; `textured` binds the
    // profile texture the way the display does, else the stroke is its plain vertex colour.
    void Draw(const D3DXVECTOR3* points, DWORD count, float width, bool textured, Image* out) {
        IDirect3DTexture9* profile = nullptr;
        if (textured) {
            ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, ProfilePng, 78, &profile), D3D_OK);
        }
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        ASSERT_EQ(line->SetWidth(width), D3D_OK);
        ASSERT_EQ(line->Begin(), D3D_OK);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        device_->SetTexture(0, profile);
        for (DWORD s : {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER})
            device_->SetSamplerState(0, D3DSAMPLERSTATETYPE(s), D3DTEXF_LINEAR);
        device_->SetTextureStageState(0, D3DTSS_COLOROP,
                                      textured ? D3DTOP_MODULATE : D3DTOP_SELECTARG2);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        D3DXMATRIX identity;
        D3DXMatrixScaling(&identity, 1, 1, 1);
        EXPECT_EQ(line->DrawTransform(points, count, &identity, 0xFFFFFFFF), D3D_OK);
        ASSERT_EQ(line->End(), D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
        device_->SetTexture(0, nullptr);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        if (profile) profile->Release();
        ASSERT_TRUE(ReadBackBuffer(device_, out));
        ASSERT_EQ(out->Width, Width);
    }

    static uint8_t Green(const Image& image, UINT x, UINT y) {
        return image.Rgba[(size_t(y) * image.Width + x) * 4 + 1];
    }

    static IDirect3DDevice9* device_;
    ID3DXLine* line = nullptr;
};
IDirect3DDevice9* LinePicture::device_ = nullptr;

// Clip x -0.5 to 0.5 at y 0 spans pixels 80 to 240 on row 120; four pixels wide, the stroke
// covers rows 118 to 121 exactly and nothing else.
TEST_F(LinePicture, HorizontalStrokeOfWidthFourLightsItsBand) {
    const D3DXVECTOR3 points[] = {{-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}};
    Image image;
    Draw(points, 2, 4, false, &image);
    size_t wrong = 0;
    for (UINT y = 0; y < Height; ++y)
        for (UINT x = 0; x < Width; ++x) {
            const bool inside = y >= 118 && y <= 121 && x >= 80 && x < 240;
            if (Green(image, x, y) != (inside ? 255 : 0)) {
                if (wrong < 5) ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
                ++wrong;
            }
        }
    EXPECT_EQ(wrong, 0u);
}

// With the profile texture, v across the four rows samples its four texel rows at their centres:
// dark, bright, bright, dark.
TEST_F(LinePicture, ProfileTextureShapesTheBrightnessAcross) {
    const D3DXVECTOR3 points[] = {{-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}};
    Image image;
    Draw(points, 2, 4, true, &image);
    const struct {
        UINT Row;
        int Level;
    } profile[] = {{117, 0}, {118, 0}, {119, 255}, {120, 255}, {121, 0}, {122, 0}};
    for (const auto& p : profile)
        for (UINT x = 90; x < 230; x += 10)
            EXPECT_NEAR(Green(image, x, p.Row), p.Level, 3) << "row " << p.Row << " x " << x;
}

TEST_F(LinePicture, StrokeBehindTheCameraDrawsNothing) {
    const D3DXVECTOR3 points[] = {{-0.5f, 0, -1}, {0.5f, 0.2f, -1}, {0, 0.5f, -1}};
    Image image;
    Draw(points, 3, 4, false, &image);
    size_t lit = 0;
    for (UINT y = 0; y < Height; ++y)
        for (UINT x = 0; x < Width; ++x)
            lit += Green(image, x, y) != 0;
    EXPECT_EQ(lit, 0u);
}

// A strip turning back sharply: every pixel whose centre lies well inside the stroke is lit.
TEST_F(LinePicture, SharpCornerLeavesNoGap) {
    const float width = 8, h = width / 2;
    // Pixels: (60, 120) to the joint (200, 120), then back to (80, 60).
    const D3DXVECTOR3 points[] = {
        {60.0f / 160 - 1, 0, 0.5f}, {200.0f / 160 - 1, 0, 0.5f}, {80.0f / 160 - 1, 0.5f, 0.5f}};
    Image image;
    Draw(points, 3, width, false, &image);
    auto distance = [](float x, float y, float ax, float ay, float bx, float by) {
        const float lx = bx - ax, ly = by - ay;
        float t = ((x - ax) * lx + (y - ay) * ly) / (lx * lx + ly * ly);
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        return std::hypot(x - ax - t * lx, y - ay - t * ly);
    };
    size_t checked = 0, dark = 0;
    for (UINT y = 100; y < 140; ++y)
        for (UINT x = 170; x < 220; ++x) {
            const float cx = x + 0.5f, cy = y + 0.5f;
            const float d =
                std::fmin(distance(cx, cy, 60, 120, 200, 120), distance(cx, cy, 200, 120, 80, 60));
            if (d > h - 0.75f) continue;
            ++checked;
            if (Green(image, x, y) != 255) {
                if (dark < 5) ADD_FAILURE() << "gap at pixel (" << x << ", " << y << ")";
                ++dark;
            }
        }
    EXPECT_GT(checked, 200u);
    EXPECT_EQ(dark, 0u);
}

} // namespace
