// The handlers behind the patched sites, run as the game runs them: chosen registers in, the
// registers, stack and resume point the game finds afterwards.
#include <gtest/gtest.h>

#include <memory>

#include "testing/recdevice/RecordingDevice.h"
#include "tests/host/Plugin.h"

namespace {

constexpr uint32_t Ebx = 0xB0B0B0B0, Ebp = 0xBEBEBEBE, Esi = 0x51515151, Edi = 0xD1D1D1D1;

class Handlers : public ::testing::Test {
  protected:
    RecordingDevice* device = CreateRecordingDevice(640, 480);
    PromptCatcher prompts{IDYES};
    std::unique_ptr<LoadedPlugin> plugin;

    void SetUp() override {
        GameDevice() = device;
        GameBackBuffer() = device->BackBuffer();
        TheTableDevice();
    }
    void TearDown() override {
        plugin.reset();
        device->Release();
    }
    void Load() { plugin = std::make_unique<LoadedPlugin>(); }

    // One frame with the display shown: the plug-in creates its resources on the device.
    void DrawFrame() {
        GameFlyJet(HostJetModel);
        GameRunDrawInterface();
        GamePlayerPointer() = nullptr;
    }

    // The game's registers at a reset site: the device in EAX; at the short site its table in
    // ECX, at the long ones a decoy table there, which the long sequence must not use.
    GameRunResult RunReset(GameSite site, bool atSecond) {
        uintptr_t at = GameSiteAddress(site) - (atSecond ? HostResetSecondOffset : 0);
        IDirect3DDevice9* game = device;
        uint32_t table = site == GameSite::Reset1 ? *reinterpret_cast<uint32_t*>(game)
                                                  : reinterpret_cast<uint32_t>(DecoyTable());
        GameRegisters r{reinterpret_cast<uint32_t>(game), table, 0x3D3D3D3D, Ebx, 0, Ebp, Esi, Edi};
        GameRunResult run = GameRun(at, r);
        EXPECT_EQ(run.ResumePoint, at + GameSiteLength(site));
        EXPECT_EQ(run.Resume.esp, run.Entry.esp);
        EXPECT_EQ(run.Resume.ebx, Ebx);
        EXPECT_EQ(run.Resume.ebp, Ebp);
        EXPECT_EQ(run.Resume.esi, Esi);
        EXPECT_EQ(run.Resume.edi, Edi);
        EXPECT_TRUE(TableResets().empty()) << "reset through the decoy table";
        return run;
    }
};

// ---- the reset handlers --------------------------------------------------------------------

struct ResetCase {
    const char* Name;
    GameSite Site;
    SiteBytes Bytes; // Untouched / UntouchedAtSecond: direct; ForeignCall(AtSecond): chained
    bool FrameFirst; // resources alive when the reset comes
    HRESULT DeviceAnswer;
};

bool Chained(SiteBytes b) {
    return b == SiteBytes::ForeignCall || b == SiteBytes::ForeignCallAtSecond;
}
bool AtSecond(SiteBytes b) {
    return b == SiteBytes::UntouchedAtSecond || b == SiteBytes::ForeignCallAtSecond;
}

const ResetCase ResetCases[] = {
    {"ShortDirect", GameSite::Reset1, SiteBytes::Untouched, true, D3D_OK},
    {"ShortDirectAtSecond", GameSite::Reset1, SiteBytes::UntouchedAtSecond, true, D3D_OK},
    {"ShortDirectBeforeAnyFrame", GameSite::Reset1, SiteBytes::Untouched, false, D3D_OK},
    {"ShortDirectDeviceLost", GameSite::Reset1, SiteBytes::Untouched, true, D3DERR_DEVICELOST},
    {"ShortChained", GameSite::Reset1, SiteBytes::ForeignCall, true, D3D_OK},
    {"ShortChainedAtSecond", GameSite::Reset1, SiteBytes::ForeignCallAtSecond, true, D3D_OK},
    {"LongDirectSite2", GameSite::Reset2, SiteBytes::Untouched, true, D3D_OK},
    {"LongDirectSite3", GameSite::Reset3, SiteBytes::Untouched, true, D3D_OK},
    {"LongDirectSite4AtSecond", GameSite::Reset4, SiteBytes::UntouchedAtSecond, true, D3D_OK},
    {"LongDirectBeforeAnyFrame", GameSite::Reset2, SiteBytes::Untouched, false, D3D_OK},
    {"LongDirectDeviceLost", GameSite::Reset3, SiteBytes::Untouched, true, D3DERR_DEVICELOST},
    {"LongChained", GameSite::Reset2, SiteBytes::ForeignCall, true, D3D_OK},
    {"LongChainedAtSecond", GameSite::Reset4, SiteBytes::ForeignCallAtSecond, true, D3D_OK},
};

class Reset : public Handlers, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(Reset, ReleasesThenResetsOnceAndHandsBackTheResult) {
    const ResetCase& c = GetParam();
    GameSetSite(c.Site, c.Bytes);
    Load();
    if (c.FrameFirst) {
        DrawFrame();
        // The device would refuse a reset now: the plug-in's default-pool objects are alive.
        ASSERT_GT(device->LiveDefaultPoolObjects(), 0);
    }
    device->SetResetResult(c.DeviceAnswer);
    GameForeignResetResult = 0x0C4A1BED;

    GameRunResult run = RunReset(c.Site, AtSecond(c.Bytes));

    EXPECT_EQ(device->LiveDefaultPoolObjects(), 0);
    if (Chained(c.Bytes)) {
        EXPECT_EQ(GameForeign.Reset, 1);
        EXPECT_EQ(GameForeign.ResetEax, run.Entry.eax);
        EXPECT_EQ(device->ResetCalls(), 0);
        EXPECT_EQ(run.Resume.eax, 0x0C4A1BEDu);
    } else {
        EXPECT_EQ(GameForeign.Reset, 0);
        EXPECT_EQ(device->ResetCalls(), 1);
        // D3D_OK proves the release came first: the device refuses while the objects live.
        EXPECT_EQ(run.Resume.eax, static_cast<uint32_t>(c.DeviceAnswer));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Reset, ::testing::ValuesIn(ResetCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Handlers, NextFrameAfterAResetCreatesTheResourcesAgain) {
    Load();
    DrawFrame();
    int alive = device->LiveDefaultPoolObjects();
    RunReset(GameSite::Reset2, false);
    ASSERT_EQ(device->LiveDefaultPoolObjects(), 0);
    DrawFrame();
    EXPECT_EQ(device->LiveDefaultPoolObjects(), alive);
}

// ---- the DrawSite handler --------------------------------------------------------------------

struct DrawSiteCase {
    const char* Name;
    bool Player, Vehicle;
    int32_t State;
    uint16_t Model;
    bool Skips;
};

const DrawSiteCase DrawSiteCases[] = {
    {"Model520", true, true, HostPlayerDriving, 520, true},
    {"Model519", true, true, HostPlayerDriving, 519, true},
    {"Model521", true, true, HostPlayerDriving, 521, false},
    {"Model518", true, true, HostPlayerDriving, 518, false},
    {"OtherState", true, true, HostPlayerDriving + 1, 520, false},
    {"NoVehicle", true, false, HostPlayerDriving, 520, false},
    {"NoPlayer", false, false, HostPlayerDriving, 520, false},
};

class DrawSite : public Handlers, public ::testing::WithParamInterface<DrawSiteCase> {};

TEST_P(DrawSite, SkipsTheBlockOnlyInTheJets) {
    const DrawSiteCase& c = GetParam();
    Load();
    GameFlyJet(c.Model, c.State);
    if (!c.Vehicle) GamePlayerRecord()->Vehicle = nullptr;
    if (!c.Player) GamePlayerPointer() = nullptr;
    GameDrawSiteDword() = 0xD5D5D5D5;
    GameRegisters r{0xAAAAAAAA, 0xCCCCCCCC, 0xDDDDDDDD, Ebx, 0, Ebp, Esi, Edi};

    GameRunResult run = GameRun(HostDrawSite, r);

    EXPECT_EQ(run.ResumePoint, c.Skips ? HostDrawSiteSkip : HostDrawSiteResume);
    EXPECT_EQ(run.Resume.eax, c.Skips ? 0xAAAAAAAAu : 0xD5D5D5D5u);
    EXPECT_EQ(run.Resume.ecx, 0xCCCCCCCCu);
    EXPECT_EQ(run.Resume.edx, 0xDDDDDDDDu);
    EXPECT_EQ(run.Resume.ebx, Ebx);
    EXPECT_EQ(run.Resume.esp, run.Entry.esp);
    EXPECT_EQ(run.Resume.ebp, Ebp);
    EXPECT_EQ(run.Resume.esi, Esi);
    EXPECT_EQ(run.Resume.edi, Edi);
}

INSTANTIATE_TEST_SUITE_P(Cases, DrawSite, ::testing::ValuesIn(DrawSiteCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// A jump another module left at DrawSite is not followed: after Yes the block is always drawn.
TEST_F(Handlers, ForeignJumpAtDrawSiteNeverSkips) {
    GameSetSite(GameSite::DrawSite, SiteBytes::ForeignJump);
    Load();
    ASSERT_EQ(prompts.Prompts.size(), 1u);
    GameFlyJet(HostJetModel);
    GameRunResult run = GameRun(HostDrawSite, GameRegisters{});
    EXPECT_EQ(run.ResumePoint, HostDrawSiteResume);
    EXPECT_EQ(GameForeign.DrawSite, 1);
}

// ---- the DrawInterface site and its chained handler -------------------------------------------

// A call another module left at DrawInterface is chained without a prompt: on a drawn frame the
// plug-in's routine runs and calls it, and the game still finds its byte in AL.
TEST_F(Handlers, ForeignCallAtDrawInterfaceIsChained) {
    GameSetSite(GameSite::DrawInterface, SiteBytes::ForeignCall);
    Load();
    EXPECT_TRUE(prompts.Prompts.empty());
    GameFlyJet(HostJetModel);
    GameInterfaceByte() = 0x6B;
    GameRunResult run;
    EXPECT_EQ(GameRunDrawInterface(&run), 0x6B);
    EXPECT_EQ(run.ResumePoint, HostDrawInterfaceResume);
    EXPECT_EQ(GameForeign.DrawInterface, 1);
    EXPECT_GT(device->CountCalls("DrawPrimitive"), 0) << "the display was not drawn";
}

// ---- the entry's notifications and the resources ---------------------------------------------

TEST_F(Handlers, ThreadDetachKeepsTheResourcesProcessDetachReleasesThem) {
    int before = device->LiveObjects();
    Load();
    DrawFrame();
    int alive = device->LiveDefaultPoolObjects();
    ASSERT_GT(alive, 0);
    EXPECT_EQ(plugin->Notify(DLL_THREAD_ATTACH), TRUE);
    EXPECT_EQ(plugin->Notify(DLL_THREAD_DETACH), TRUE);
    EXPECT_EQ(device->LiveDefaultPoolObjects(), alive);
    plugin->Unload();
    EXPECT_EQ(device->LiveDefaultPoolObjects(), 0);
    EXPECT_EQ(device->LiveObjects(), before);
}

} // namespace
