// The simulated game process and its game model behave as the game does at its addresses.
#include <gtest/gtest.h>

#include <windows.h>

#include "testing/gamemodel/GameModel.h"

TEST(HostImage, SpansTheGameAddressRange) {
    for (uintptr_t a : {uintptr_t(0x401000), HostGroundHeightAddress, HostDrawSite,
                        HostPresentParametersAddress + sizeof(D3DPRESENT_PARAMETERS) - 1}) {
        MEMORY_BASIC_INFORMATION info{};
        ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(a), &info, sizeof info), 0u);
        EXPECT_EQ(info.AllocationBase, GetModuleHandleA(nullptr)) << std::hex << a;
    }
}

TEST(GameCode, DrawSiteLoadsEaxAndResumesAfterTheLoad) {
    GameDrawSiteDword() = 0xCAFEF00D;
    GameRegisters in{1, 2, 3, 4, 0, 6, 7, 8};
    GameRunResult run = GameRun(HostDrawSite, in);
    EXPECT_EQ(run.ResumePoint, HostDrawSiteResume);
    EXPECT_EQ(run.Resume.eax, 0xCAFEF00Du);
    EXPECT_EQ(run.Resume.ecx, 2u);
    EXPECT_EQ(run.Resume.edx, 3u);
    EXPECT_EQ(run.Resume.ebx, 4u);
    EXPECT_EQ(run.Resume.esp, run.Entry.esp);
    EXPECT_EQ(run.Resume.ebp, 6u);
    EXPECT_EQ(run.Resume.esi, 7u);
    EXPECT_EQ(run.Resume.edi, 8u);
}

TEST(GameCode, DrawInterfaceLoadsAl) {
    GameInterfaceByte() = 0x5A;
    GameRunResult run;
    EXPECT_EQ(GameRunDrawInterface(&run), 0x5A);
    EXPECT_EQ(run.ResumePoint, HostDrawInterfaceResume);
    EXPECT_EQ(run.Resume.eax, 0x1111115Au);
}

TEST(GameCode, CodePagesAreExecuteRead) {
    for (DWORD p : GameCodeProtections()) EXPECT_EQ(p, DWORD(PAGE_EXECUTE_READ));
}

TEST(GameCode, HostFunctionsAnswerFromTheTerrain) {
    GameTerrainScript() = {true, 12.0f, true, 3.5f};
    uint8_t flag = 0;
    float g = HostGroundHeight()(1, 2, 3, &flag, 0);
    EXPECT_EQ(g, 12.0f);
    EXPECT_EQ(flag, 1);
    float level = 0;
    EXPECT_NE(HostWaterLevel()(1, 2, 0, &level, 0, 0), 0);
    EXPECT_EQ(level, 3.5f);
    ASSERT_EQ(GameGroundCalls().size(), 1u);
    EXPECT_EQ(GameGroundCalls()[0].z, 3.0f);
}
