// The texture loader on the recording device: the display's 2x4 profile image, its mip chain,
// data that does not decode, and failures.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testing/d3dx/StrokeLog.h"
#include "testing/recdevice/RecordingDevice.h"

namespace {

// 2 by 4 RGBA: rows black, white, white, black.
const uint8_t ProfilePng[78] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0x08, 0x06, 0x00, 0x00, 0x00, 0xa4, 0xef, 0xee,
    0x39, 0x00, 0x00, 0x00, 0x15, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60, 0x60, 0x60, 0xf8,
    0x0f, 0xc6, 0xff, 0xa1, 0x00, 0xc1, 0x80, 0x49, 0x01, 0x00, 0x60, 0xd1, 0x13, 0xed, 0x81, 0xcd,
    0x7b, 0x3d, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

class TextureLoader : public ::testing::Test {
  protected:
    void SetUp() override {
        device = CreateRecordingDevice(640, 480);
        log = OpenStrokeLog(device);
        ASSERT_NE(log, nullptr) << "our d3dx9_43.dll is not the one loaded";
        log->Reset();
        device->ClearCalls();
    }
    void TearDown() override {
        if (log) log->Reset();
        device->Release();
    }

    // Texel (x, y) of a level as A8R8G8B8, read back through LockRect.
    std::vector<D3DCOLOR> Texels(IDirect3DTexture9* texture, UINT level, UINT* w, UINT* h) {
        D3DSURFACE_DESC desc;
        EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
        *w = desc.Width;
        *h = desc.Height;
        D3DLOCKED_RECT locked;
        std::vector<D3DCOLOR> texels;
        if (texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY) != D3D_OK) return texels;
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x)
                texels.push_back(reinterpret_cast<const D3DCOLOR*>(
                    static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch)[x]);
        texture->UnlockRect(level);
        return texels;
    }

    RecordingDevice* device = nullptr;
    IStrokeLog* log = nullptr;
};

TEST_F(TextureLoader, ProfileImageDecodesWithItsMipChain) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, ProfilePng, sizeof ProfilePng, &texture),
              D3D_OK);
    ASSERT_NE(texture, nullptr);

    // The D3DX defaults: the image's size, the full chain, A8R8G8B8, managed.
    ASSERT_EQ(device->CountCalls("CreateTexture"), 1);
    for (const DeviceCall& call : device->Calls())
        if (std::string(call.Method) == "CreateTexture") {
            EXPECT_EQ(call.Args[0], 2u);
            EXPECT_EQ(call.Args[1], 4u);
            EXPECT_EQ(call.Args[2], 0u);
            EXPECT_EQ(call.Args[3], 0u);
            EXPECT_EQ(call.Args[4], uint32_t(D3DFMT_A8R8G8B8));
            EXPECT_EQ(call.Args[5], uint32_t(D3DPOOL_MANAGED));
        }
    ASSERT_EQ(texture->GetLevelCount(), 3u);

    const D3DCOLOR black = 0xFF000000, white = 0xFFFFFFFF, grey = 0xFF808080;
    const struct {
        UINT Width, Height;
        std::vector<D3DCOLOR> Texels; // rows top first
    } levels[] = {
        {2, 4, {black, black, white, white, white, white, black, black}},
        {1, 2, {grey, grey}}, // each the mean of a black and a white row, rounded
        {1, 1, {grey}},
    };
    for (UINT i = 0; i < 3; ++i) {
        UINT w = 0, h = 0;
        const std::vector<D3DCOLOR> texels = Texels(texture, i, &w, &h);
        EXPECT_EQ(w, levels[i].Width) << "level " << i;
        EXPECT_EQ(h, levels[i].Height) << "level " << i;
        EXPECT_EQ(texels, levels[i].Texels) << "level " << i;
    }
    EXPECT_EQ(texture->Release(), 0u);
}

// Colour and alpha land in their A8R8G8B8 places; the one texel of the last level of a 3x1
// image is the mean of the first two.
TEST_F(TextureLoader, ChannelsLandInTheirPlaces) {
    // 3 by 1 RGBA: red opaque, green half transparent, blue transparent.
    const uint8_t png[74] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
        0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1b,
        0xe0, 0x14, 0xb4, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8,
        0xcf, 0xc0, 0xf0, 0x1f, 0x08, 0x1b, 0x40, 0x14, 0x00, 0x20, 0x6f, 0x04, 0x7d, 0x40, 0x70,
        0xf8, 0x2e, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, png, sizeof png, &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 2u);
    UINT w = 0, h = 0;
    EXPECT_EQ(Texels(texture, 0, &w, &h),
              (std::vector<D3DCOLOR>{0xFFFF0000, 0x8000FF00, 0x000000FF}));
    EXPECT_EQ(w, 3u);
    EXPECT_EQ(h, 1u);
    EXPECT_EQ(Texels(texture, 1, &w, &h), (std::vector<D3DCOLOR>{0xC0808000}));
    texture->Release();
}

TEST_F(TextureLoader, UndecodableDataGivesInvalidDataAndNoTexture) {
    std::vector<uint8_t> corrupt(ProfilePng, ProfilePng + sizeof ProfilePng);
    corrupt[43] ^= 0xFF; // inside the zlib stream
    const struct {
        const char* What;
        std::vector<uint8_t> Bytes;
    } table[] = {
        {"text", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
        {"signature only", {ProfilePng, ProfilePng + 8}},
        {"cut after the header", {ProfilePng, ProfilePng + 33}},
        {"cut inside the data", {ProfilePng, ProfilePng + 50}},
        {"corrupt data", corrupt},
    };
    for (const auto& row : table) {
        const int live = device->LiveObjects();
        IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(1);
        EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, row.Bytes.data(),
                                                    UINT(row.Bytes.size()), &texture),
                  D3DXERR_INVALIDDATA)
            << row.What;
        EXPECT_EQ(texture, nullptr) << row.What;
        EXPECT_EQ(device->LiveObjects(), live) << row.What;
    }
    EXPECT_EQ(device->CountCalls("CreateTexture"), 0);
}

TEST_F(TextureLoader, MissingArgumentsAreInvalidCalls) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(nullptr, ProfilePng, 78, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, nullptr, 78, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, ProfilePng, 0, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, ProfilePng, 78, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(device->CountCalls("CreateTexture"), 0);
}

TEST_F(TextureLoader, DeviceFailureIsPassedOnWithNoTexture) {
    const int live = device->LiveObjects();
    device->FailCall("CreateTexture", 1, E_OUTOFMEMORY);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, ProfilePng, 78, &texture), E_OUTOFMEMORY);
    EXPECT_EQ(texture, nullptr);
    device->FailCall("LockRect", 2, D3DERR_INVALIDCALL); // a lower level cannot be filled
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, ProfilePng, 78, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(device->LiveObjects(), live);
}

TEST_F(TextureLoader, ArmedFailureHitsExactlyTheNthCall) {
    log->FailCreate(StrokeLogCreateTexture, 2, E_OUTOFMEMORY);
    const HRESULT expected[] = {D3D_OK, E_OUTOFMEMORY, D3D_OK};
    for (HRESULT want : expected) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, ProfilePng, 78, &texture), want);
        EXPECT_EQ(texture != nullptr, want == D3D_OK);
        if (texture) texture->Release();
    }
    EXPECT_EQ(device->CountCalls("CreateTexture"), 2);
}

} // namespace
