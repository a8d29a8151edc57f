// The real device: what it is, and that what it draws comes back as the exact pixels.
#include <gtest/gtest.h>

#include "testing/realdevice/RealDevice.h"

#include <windows.h>

#include <cstdio>
#include <string>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb_image.h>

namespace {
const UINT Width = 320, Height = 240;

struct Rgb {
    uint8_t R, G, B;
};

Rgb PixelAt(const Image& image, UINT x, UINT y) {
    const uint8_t* p = &image.Rgba[(size_t(y) * image.Width + x) * 4];
    return {p[0], p[1], p[2]};
}

void ExpectEveryPixel(const Image& image, Rgb want, uint8_t alpha) {
    size_t wrong = 0;
    for (size_t i = 0; i < image.Rgba.size(); i += 4)
        if (image.Rgba[i] != want.R || image.Rgba[i + 1] != want.G || image.Rgba[i + 2] != want.B ||
            image.Rgba[i + 3] != alpha)
            ++wrong;
    EXPECT_EQ(wrong, 0u) << "pixels differing from " << int(want.R) << "," << int(want.G) << ","
                         << int(want.B) << "," << int(alpha);
}

// One device for the whole suite: creating one costs seconds under emulation.
class RealDeviceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { device_ = CreateRealDevice(Width, Height); }
    static void TearDownTestSuite() {
        if (device_) device_->Release();
        device_ = nullptr;
    }
    void SetUp() override {
        if (!device_) GTEST_SKIP() << "no real Direct3D 9 device here (see stderr for why)";
    }
    static IDirect3DDevice9* device_;
};
IDirect3DDevice9* RealDeviceTest::device_ = nullptr;

TEST_F(RealDeviceTest, BackBufferIsTheRequestedFormatAndSizeWithDepthStencil) {
    IDirect3DSurface9* back = RealBackBuffer(device_);
    ASSERT_NE(back, nullptr);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Width, Width);
    EXPECT_EQ(desc.Height, Height);
    IDirect3DSurface9* again = RealBackBuffer(device_);
    EXPECT_EQ(again, back);
    // Both of ours plus the device's own: releasing ours leaves exactly the device's.
    again->Release();
    EXPECT_EQ(back->Release(), 0u);

    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(depth->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_D24S8);
    depth->Release();

    D3DDEVICE_CREATION_PARAMETERS cp;
    ASSERT_EQ(device_->GetCreationParameters(&cp), D3D_OK);
    EXPECT_EQ(cp.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING,
              DWORD(D3DCREATE_SOFTWARE_VERTEXPROCESSING));
    EXPECT_FALSE(IsWindowVisible(cp.hFocusWindow));
}

TEST_F(RealDeviceTest, ClearedBackBufferReadsBackExactly) {
    const Rgb colours[] = {{0, 0, 0}, {255, 255, 255}, {10, 200, 30}, {1, 2, 254}, {128, 64, 7}};
    for (const Rgb& c : colours) {
        SCOPED_TRACE(testing::Message() << int(c.R) << "," << int(c.G) << "," << int(c.B));
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(c.R, c.G, c.B), 1, 0),
                  D3D_OK);
        Image image;
        ASSERT_TRUE(ReadBackBuffer(device_, &image));
        ASSERT_EQ(image.Width, Width);
        ASSERT_EQ(image.Height, Height);
        ASSERT_EQ(image.Rgba.size(), size_t(Width) * Height * 4);
        ExpectEveryPixel(image, c, 255);
    }
}

TEST_F(RealDeviceTest, ClearOfAPartOnlyTouchesThatPart) {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1, 0), D3D_OK);
    D3DRECT box = {10, 20, 30, 25}; // x1, y1, x2, y2: pixels 10..29 by 20..24
    ASSERT_EQ(device_->Clear(1, &box, D3DCLEAR_TARGET, D3DCOLOR_XRGB(200, 100, 50), 1, 0), D3D_OK);
    Image image;
    ASSERT_TRUE(ReadBackBuffer(device_, &image));
    // Top row first and x to the right: the box is where D3D puts it, not flipped.
    struct Case {
        UINT X, Y;
        bool Inside;
    } cases[] = {{10, 20, true},  {29, 24, true},  {9, 20, false},
                 {30, 24, false}, {10, 19, false}, {29, 25, false}};
    for (const Case& c : cases) {
        Rgb p = PixelAt(image, c.X, c.Y);
        Rgb want = c.Inside ? Rgb{200, 100, 50} : Rgb{0, 0, 0};
        EXPECT_EQ(p.R, want.R) << c.X << "," << c.Y;
        EXPECT_EQ(p.G, want.G) << c.X << "," << c.Y;
        EXPECT_EQ(p.B, want.B) << c.X << "," << c.Y;
    }
}

TEST_F(RealDeviceTest, LuminanceTargetOfDisplaySizeClearsAndReadsBackAsGrey) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(1280, 960, 1, D3DUSAGE_RENDERTARGET, D3DFMT_L8,
                                     D3DPOOL_DEFAULT, &texture, nullptr),
              D3D_OK);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &target), D3D_OK);
    IDirect3DSurface9* back = RealBackBuffer(device_);
    ASSERT_EQ(device_->SetRenderTarget(0, target), D3D_OK);
    // The auto depth buffer is smaller than this target, so clear the colour only.
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(77, 77, 77), 1, 0), D3D_OK);
    Image image;
    EXPECT_TRUE(ReadSurface(device_, target, &image));
    EXPECT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
    back->Release();
    target->Release();
    texture->Release();
    ASSERT_EQ(image.Width, 1280u);
    ASSERT_EQ(image.Height, 960u);
    ExpectEveryPixel(image, {77, 77, 77}, 255);
}

TEST_F(RealDeviceTest, ReadSurfaceRefusesFormatsItCannotExpand) {
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    Image image;
    EXPECT_FALSE(ReadSurface(device_, target, &image));
    target->Release();
}

TEST_F(RealDeviceTest, PreTransformedTriangleLightsInsideAndLeavesOutside) {
    struct Vertex {
        float X, Y, Z, Rhw;
        D3DCOLOR Colour;
    };
    // Covers the upper-left area: (40,40) - (200,40) - (40,200).
    const D3DCOLOR colour = D3DCOLOR_XRGB(250, 20, 90);
    Vertex triangle[3] = {
        {40, 40, 0.5f, 1, colour}, {200, 40, 0.5f, 1, colour}, {40, 200, 0.5f, 1, colour}};
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(5, 6, 7),
                             1, 0),
              D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    device_->SetVertexShader(nullptr);
    device_->SetPixelShader(nullptr);
    device_->SetTexture(0, nullptr);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    EXPECT_EQ(device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    Image image;
    ASSERT_TRUE(ReadBackBuffer(device_, &image));
    struct Case {
        UINT X, Y;
        bool Inside;
    } cases[] = {{60, 60, true},    {150, 50, true},  {50, 150, true}, {30, 30, false},
                 {150, 150, false}, {250, 60, false}, {60, 220, false}};
    for (const Case& c : cases) {
        Rgb p = PixelAt(image, c.X, c.Y);
        Rgb want = c.Inside ? Rgb{250, 20, 90} : Rgb{5, 6, 7};
        EXPECT_EQ(p.R, want.R) << c.X << "," << c.Y;
        EXPECT_EQ(p.G, want.G) << c.X << "," << c.Y;
        EXPECT_EQ(p.B, want.B) << c.X << "," << c.Y;
    }
}

std::string TempPath(const char* name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name + std::to_string(GetCurrentProcessId()) + ".png";
}

TEST(WritePng, DecodesBackToTheSamePixels) {
    Image image;
    image.Width = 37; // odd sizes catch row-stride slips
    image.Height = 11;
    for (UINT y = 0; y < image.Height; ++y)
        for (UINT x = 0; x < image.Width; ++x)
            image.Rgba.insert(image.Rgba.end(), {uint8_t(x * 7), uint8_t(y * 23), uint8_t(x ^ y),
                                                 uint8_t(255 - x - y)});
    std::string path = TempPath("writepng");
    ASSERT_TRUE(WritePng(path.c_str(), image));
    int w = 0, h = 0, channels = 0;
    stbi_uc* decoded = stbi_load(path.c_str(), &w, &h, &channels, 4);
    DeleteFileA(path.c_str());
    ASSERT_NE(decoded, nullptr) << stbi_failure_reason();
    EXPECT_EQ(w, 37);
    EXPECT_EQ(h, 11);
    EXPECT_EQ(channels, 4);
    EXPECT_TRUE(std::equal(image.Rgba.begin(), image.Rgba.end(), decoded));
    stbi_image_free(decoded);
}

TEST(WritePng, RefusesAnImageWhosePixelsDoNotMatchItsSize) {
    Image image;
    image.Width = 4;
    image.Height = 4;
    image.Rgba.assign(4 * 4 * 4 - 1, 0);
    std::string path = TempPath("badpng");
    EXPECT_FALSE(WritePng(path.c_str(), image));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}
} // namespace
