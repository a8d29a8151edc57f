// The display's own objects: what is made, at what size, how often, and what a failure leaves.
#include <gtest/gtest.h>

#include "RenderFixture.h"

namespace {

using Resources = RecordedGame;

bool AllFive() {
    return TargetTexture && TargetSurface && ProfileTexture && LineDrawer && QuadBuffer;
}

// The quads as the vertex buffer holds them.
std::vector<QuadVertex> ReadQuads() {
    std::vector<QuadVertex> v(8);
    void* data = nullptr;
    if (FAILED(QuadBuffer->Lock(0, 0, &data, D3DLOCK_READONLY)) || !data) return {};
    std::memcpy(v.data(), data, 8 * sizeof(QuadVertex));
    QuadBuffer->Unlock();
    return v;
}

const DeviceCall* FindCall(const RecordingDevice* device, const char* method) {
    for (const DeviceCall& c : device->Calls())
        if (std::strcmp(c.Method, method) == 0) return &c;
    return nullptr;
}

TEST_F(Resources, FirstCallMakesAllFiveAtTwiceTheBackBuffer) {
    EXPECT_TRUE(EnsureResources());
    ASSERT_TRUE(AllFive());

    const DeviceCall* create = FindCall(device, "CreateTexture");
    ASSERT_NE(create, nullptr);
    // The first texture made is the target (the profile texture comes after it).
    const std::vector<uint32_t> target{2048,      1536,           0, D3DUSAGE_RENDERTARGET,
                                       D3DFMT_L8, D3DPOOL_DEFAULT};
    EXPECT_EQ(std::vector<uint32_t>(create->Args.begin(), create->Args.begin() + 6), target);

    D3DSURFACE_DESC desc{};
    ASSERT_EQ(TargetSurface->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2048u);
    EXPECT_EQ(desc.Height, 1536u);
    EXPECT_EQ(desc.Format, D3DFMT_L8);
    IDirect3DSurface9* level0 = nullptr;
    ASSERT_EQ(TargetTexture->GetSurfaceLevel(0, &level0), D3D_OK);
    EXPECT_EQ(level0, TargetSurface);
    level0->Release();

    const DeviceCall* buffer = FindCall(device, "CreateVertexBuffer");
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(
        std::vector<uint32_t>(buffer->Args.begin(), buffer->Args.begin() + 4),
        (std::vector<uint32_t>{224, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT}));
    const DeviceCall* lock = FindCall(device, "Lock");
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(lock->Args.back(), uint32_t(D3DLOCK_DISCARD));

    EXPECT_EQ(LineDrawer->GetPattern(), 1u);
    EXPECT_EQ(LineDrawer->GetWidth(), 3.2f);
    EXPECT_TRUE(LineDrawer->GetAntialias());
    EXPECT_FALSE(LineDrawer->GetGLLines());
    EXPECT_EQ(LineDrawer->GetPatternScale(), 1.0f);
}

TEST_F(Resources, LaterCallsOnlyReadTheBackBufferSize) {
    ASSERT_TRUE(EnsureResources());
    void* before[5] = {TargetTexture, TargetSurface, ProfileTexture, LineDrawer, QuadBuffer};
    device->ClearCalls();
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_TRUE(EnsureResources());
    void* after[5] = {TargetTexture, TargetSurface, ProfileTexture, LineDrawer, QuadBuffer};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(before[i], after[i]) << i;
    ASSERT_EQ(device->Calls().size(), 3u);
    for (const DeviceCall& c : device->Calls()) {
        EXPECT_STREQ(c.Method, "GetDesc");
        EXPECT_EQ(c.Args[0], Raw(device->BackBuffer()));
    }
}

TEST_F(Resources, QuadsCoverTheBackBufferWithAHalfPixelShift) {
    ASSERT_TRUE(EnsureResources());
    const std::vector<QuadVertex> v = ReadQuads();
    ASSERT_EQ(v.size(), 8u);
    struct Corner {
        float x, y, u, v;
    };
    const Corner corners[4] = {{-0.5f, -0.5f, 0, 0},
                               {1023.5f, -0.5f, 1, 0},
                               {-0.5f, 767.5f, 0, 1},
                               {1023.5f, 767.5f, 1, 1}};
    for (int i = 0; i < 8; ++i) {
        const Corner& c = corners[i % 4];
        SCOPED_TRACE(i);
        EXPECT_EQ(v[i].x, c.x);
        EXPECT_EQ(v[i].y, c.y);
        EXPECT_EQ(v[i].z, 0.0f);
        EXPECT_EQ(v[i].rhw, 1.0f);
        EXPECT_EQ(v[i].u, c.u);
        EXPECT_EQ(v[i].v, c.v);
        EXPECT_EQ(v[i].colour, i < 4 ? 0xFF80FF40u : 0xFFF8E2F2u);
    }
}

TEST_F(Resources, ReleaseGivesBackEveryObjectAndANewSizeIsMadeAfterReset) {
    ASSERT_TRUE(EnsureResources());
    ReleaseResources();
    EXPECT_FALSE(TargetTexture || TargetSurface || ProfileTexture || LineDrawer || QuadBuffer);
    EXPECT_EQ(device->LiveDefaultPoolObjects(), 0);

    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 1280;
    pp.BackBufferHeight = 720;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(device->Reset(&pp), D3D_OK);

    ASSERT_TRUE(EnsureResources());
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(TargetSurface->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2560u);
    EXPECT_EQ(desc.Height, 1440u);
    EXPECT_EQ(LineDrawer->GetWidth(), 4.0f);
    const std::vector<QuadVertex> v = ReadQuads();
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[3].x, 1279.5f);
    EXPECT_EQ(v[3].y, 719.5f);
    EXPECT_EQ(v[7].x, 1279.5f);
    EXPECT_EQ(v[7].y, 719.5f);
}

TEST_F(Resources, ReleaseWithNothingMadeMakesNoCall) {
    ReleaseResources();
    ReleaseResources();
    EXPECT_TRUE(device->Calls().empty());
    EXPECT_FALSE(TargetTexture || TargetSurface || ProfileTexture || LineDrawer || QuadBuffer);
}

TEST(StrokeWidth, FollowsTheBackBufferWidth) {
    const struct {
        UINT width;
        float expected;
    } cases[] = {{320, 2.0f},  {640, 2.0f},  {641, 2.003125f},
                 {1024, 3.2f}, {1280, 4.0f}, {1920, 6.0f}};
    for (const auto& c : cases) {
        EXPECT_EQ(StrokeWidth(c.width), c.expected) << c.width;
        // And the line drawer made on a back buffer of that width gets it.
        RecordingDevice* device = CreateRecordingDevice(c.width, c.width * 3 / 4);
        GameDevice() = device;
        GameBackBuffer() = device->BackBuffer();
        ASSERT_TRUE(EnsureResources());
        EXPECT_EQ(LineDrawer->GetWidth(), c.expected) << c.width;
        ReleaseResources();
        GameDevice() = nullptr;
        GameBackBuffer() = nullptr;
        device->Release();
    }
}

TEST_F(Resources, ProfileImageDecodesToBlackWhiteWhiteBlack) {
    ASSERT_TRUE(EnsureResources());
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(ProfileTexture->GetLevelDesc(0, &desc), D3D_OK);
    ASSERT_EQ(desc.Width, 2u);
    ASSERT_EQ(desc.Height, 4u);
    ASSERT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(ProfileTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const uint32_t rows[4] = {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x) {
            const auto* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
            uint32_t texel;
            std::memcpy(&texel, row + 4 * x, 4);
            EXPECT_EQ(texel, rows[y]) << x << "," << y;
        }
    ProfileTexture->UnlockRect(0);
}

// One creation step failing: EnsureResources says so, keeps what it made, and the next call
// makes only what is missing.
TEST_F(Resources, AFailedCreationIsRetriedOnTheNextCall) {
    const struct {
        const char* name;
        const char* method; // a device or object method, or null for a D3DX creation
        StrokeLogCreate which;
        int nth;
    } cases[] = {
        {"target texture", "CreateTexture", StrokeLogCreateLine, 1},
        {"level-0 surface", "GetSurfaceLevel", StrokeLogCreateLine, 1},
        {"profile texture", nullptr, StrokeLogCreateTexture, 1},
        {"line drawer", nullptr, StrokeLogCreateLine, 1},
        {"quad buffer", "CreateVertexBuffer", StrokeLogCreateLine, 1},
        {"quad buffer lock", "Lock", StrokeLogCreateLine, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.method)
            device->FailCall(c.method, c.nth, E_OUTOFMEMORY);
        else
            strokes->FailCreate(c.which, c.nth, E_OUTOFMEMORY);
        EXPECT_FALSE(EnsureResources());
        EXPECT_FALSE(AllFive());
        void* made[5] = {TargetTexture, TargetSurface, ProfileTexture, LineDrawer, QuadBuffer};
        EXPECT_TRUE(EnsureResources());
        EXPECT_TRUE(AllFive());
        void* now[5] = {TargetTexture, TargetSurface, ProfileTexture, LineDrawer, QuadBuffer};
        for (int i = 0; i < 5; ++i)
            if (made[i]) {
                EXPECT_EQ(made[i], now[i]) << "remade member " << i;
            }
        ReleaseResources();
        device->ClearFailures();
    }
}

} // namespace
