// Attaching the real plug-in to the simulated game: what it writes at each code site, what it
// asks, and where the patched sites lead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "tests/host/Plugin.h"

extern "C" void OtherForeignReset();
extern "C" int OtherForeignCalls;

namespace {

constexpr GameSite AllSites[] = {GameSite::Reset1, GameSite::Reset2,   GameSite::Reset3,
                                 GameSite::Reset4, GameSite::DrawSite, GameSite::DrawInterface};
const char ResetName[] = "IDirect3DDevice9::Reset";

bool IsReset(GameSite site) {
    return site <= GameSite::Reset4;
}
uintptr_t Second(GameSite site) {
    return GameSiteAddress(site) - HostResetSecondOffset;
}

// Every address a site may be written at, with its bytes as the game had them.
struct Snapshot {
    std::vector<uint8_t> First[6], Second[6];
    Snapshot() {
        for (GameSite s : AllSites) {
            int i = static_cast<int>(s) - 1;
            First[i] = CodeBytes(GameSiteAddress(s), GameSiteLength(s));
            if (IsReset(s)) Second[i] = CodeBytes(::Second(s), GameSiteLength(s));
        }
    }
};

std::string PromptText(uintptr_t address, const char* name) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "An unknown code found at 0x%08X (%s).\nDo you want to continue without this "
                  "Function?",
                  static_cast<unsigned>(address), name);
    return text;
}

class Attach : public ::testing::Test {
  protected:
    PromptCatcher prompts{IDYES};
    std::unique_ptr<LoadedPlugin> plugin;

    void Load() { plugin = std::make_unique<LoadedPlugin>(); }

    // The patch at `at`: the opcode, a target inside the plug-in, NOPs to the site's length.
    void ExpectPatch(uintptr_t at, GameSite site) {
        std::vector<uint8_t> bytes = CodeBytes(at, GameSiteLength(site));
        EXPECT_EQ(bytes[0], site == GameSite::DrawSite ? 0xE9 : 0xE8) << std::hex << at;
        EXPECT_TRUE(plugin->Contains(BranchTarget(at))) << std::hex << at;
        for (size_t i = 5; i < bytes.size(); ++i)
            EXPECT_EQ(bytes[i], 0x90) << at << "+" << i;
    }
};

// ---- the cases of the installer, one table ---------------------------------------------------

enum class Where { First, Second, AsFound };

struct InstallCase {
    const char* Name;
    void (*Arrange)();
    Where Outcome[6];
    std::vector<std::pair<uintptr_t, const char*>> Prompts; // in the order shown
};

void Pristine() {}
void ResetsAtSecond() {
    for (int s = 1; s <= 4; ++s)
        GameSetSite(GameSite(s), SiteBytes::UntouchedAtSecond);
}
// A foreign call at the first address of site 1, the game's own sequence at its second.
void CallAtFirstPushAtSecond() {
    uintptr_t second = Second(GameSite::Reset1);
    std::vector<uint8_t> own = CodeBytes(GameSiteAddress(GameSite::Reset1), 9);
    GameSetSite(GameSite::Reset1, SiteBytes::ForeignCall);
    WriteCode(second, own);
}
void ForeignAtSite2() {
    GameSetSite(GameSite::Reset2, SiteBytes::ForeignCall);
}
void ForeignAtSecondOfSite2() {
    GameSetSite(GameSite::Reset2, SiteBytes::ForeignCallAtSecond);
}
void OtherAtSite3() {
    GameSetSite(GameSite::Reset3, SiteBytes::Other);
}
void JumpAtSite1() {
    GameSetSite(GameSite::Reset1, SiteBytes::ForeignJump);
}
void JumpAtDrawSite() {
    GameSetSite(GameSite::DrawSite, SiteBytes::ForeignJump);
}
void OtherAtDrawSite() {
    GameSetSite(GameSite::DrawSite, SiteBytes::Other);
}
void CallAtDrawInterface() {
    GameSetSite(GameSite::DrawInterface, SiteBytes::ForeignCall);
}
void OtherAtDrawInterface() {
    GameSetSite(GameSite::DrawInterface, SiteBytes::Other);
}
void OtherAtSite4AndDrawInterface() {
    GameSetSite(GameSite::Reset4, SiteBytes::Other);
    GameSetSite(GameSite::DrawInterface, SiteBytes::Other);
}

constexpr Where F = Where::First, S = Where::Second, N = Where::AsFound;

const InstallCase InstallCases[] = {
    {"SixUntouchedSites", Pristine, {F, F, F, F, F, F}, {}},
    {"ResetCallsAtSecondAddresses", ResetsAtSecond, {S, S, S, S, F, F}, {}},
    {"CallAtFirstPushAtSecond", CallAtFirstPushAtSecond, {S, F, F, F, F, F}, {}},
    {"ForeignCallAtSite2", ForeignAtSite2, {F, F, F, F, F, F}, {}},
    {"ForeignCallAtSecondOfSite2", ForeignAtSecondOfSite2, {F, S, F, F, F, F}, {}},
    {"OtherBytesAtSite3", OtherAtSite3, {F, F, N, F, F, F}, {{0x7F9788, ResetName}}},
    {"ForeignJumpAtSite1", JumpAtSite1, {N, F, F, F, F, F}, {{0x7F86C4, ResetName}}},
    {"ForeignJumpAtDrawSite", JumpAtDrawSite, {F, F, F, F, N, F}, {{0x58E8A7, "DrawSite"}}},
    {"OtherBytesAtDrawSite", OtherAtDrawSite, {F, F, F, F, N, F}, {{0x58E8A7, "DrawSite"}}},
    {"ForeignCallAtDrawInterface", CallAtDrawInterface, {F, F, F, F, F, F}, {}},
    {"OtherBytesAtDrawInterface",
     OtherAtDrawInterface,
     {F, F, F, F, F, N},
     {{0x704F61, "DrawInterface"}}},
    {"TwoPromptsInSiteOrder",
     OtherAtSite4AndDrawInterface,
     {F, F, F, N, F, N},
     {{0x7F9A16, ResetName}, {0x704F61, "DrawInterface"}}},
};

class Install : public Attach, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(Install, WritesEachSiteAndPromptsAsExpected) {
    const InstallCase& c = GetParam();
    c.Arrange();
    Snapshot before;
    Load();

    ASSERT_EQ(prompts.Prompts.size(), c.Prompts.size());
    for (size_t i = 0; i < c.Prompts.size(); ++i) {
        const Prompt& p = prompts.Prompts[i];
        EXPECT_EQ(p.Text, PromptText(c.Prompts[i].first, c.Prompts[i].second));
        EXPECT_EQ(p.Caption, "VANTOR");
        EXPECT_EQ(p.Style, 0x114u);
        EXPECT_EQ(p.Owner, nullptr);
    }
    for (GameSite s : AllSites) {
        int i = static_cast<int>(s) - 1;
        SCOPED_TRACE(i + 1);
        uintptr_t first = GameSiteAddress(s);
        size_t n = GameSiteLength(s);
        if (c.Outcome[i] == Where::First)
            ExpectPatch(first, s);
        else
            EXPECT_EQ(CodeBytes(first, n), before.First[i]);
        if (!IsReset(s)) continue;
        if (c.Outcome[i] == Where::Second)
            ExpectPatch(Second(s), s);
        else
            EXPECT_EQ(CodeBytes(Second(s), n), before.Second[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Install, ::testing::ValuesIn(InstallCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- where the patched sites lead -------------------------------------------------------------

TEST_F(Attach, EachKindOfSiteLeadsToItsOwnHandler) {
    Load();
    uintptr_t t[6];
    for (GameSite s : AllSites)
        t[int(s) - 1] = BranchTarget(GameSiteAddress(s));
    EXPECT_EQ(t[1], t[2]);
    EXPECT_EQ(t[1], t[3]);
    EXPECT_NE(t[0], t[1]);
    EXPECT_NE(t[4], t[0]);
    EXPECT_NE(t[4], t[1]);
    EXPECT_NE(t[5], t[0]);
    EXPECT_NE(t[5], t[1]);
    EXPECT_NE(t[5], t[4]);
}

// Which reset a patched site ends in when run as the game runs it.
struct ChainCase {
    const char* Name;
    void (*Arrange)();
    GameSite Site;
    bool AtSecond;
    int GameForeignCalls, OtherForeignCalls, DeviceResets;
};

void OtherAtSite2GameForeignAtSite4() {
    GameSetSite(GameSite::Reset4, SiteBytes::ForeignCall);
    uintptr_t site2 = GameSiteAddress(GameSite::Reset2);
    WriteCode(site2, CallBytes(site2, reinterpret_cast<uintptr_t>(&OtherForeignReset), 11));
}
void GameForeignAtSite2OtherAtSite4() {
    GameSetSite(GameSite::Reset2, SiteBytes::ForeignCall);
    uintptr_t site4 = GameSiteAddress(GameSite::Reset4);
    WriteCode(site4, CallBytes(site4, reinterpret_cast<uintptr_t>(&OtherForeignReset), 11));
}
void ForeignAtFirstOfSite1() {
    GameSetSite(GameSite::Reset1, SiteBytes::ForeignCall);
}
void ForeignAtSecondOfSite1() {
    GameSetSite(GameSite::Reset1, SiteBytes::ForeignCallAtSecond);
}

const ChainCase ChainCases[] = {
    {"Site1Untouched", Pristine, GameSite::Reset1, false, 0, 0, 1},
    {"Site2Untouched", Pristine, GameSite::Reset2, false, 0, 0, 1},
    {"Site3Untouched", Pristine, GameSite::Reset3, false, 0, 0, 1},
    {"Site4Untouched", Pristine, GameSite::Reset4, false, 0, 0, 1},
    {"Site1AtSecond", ResetsAtSecond, GameSite::Reset1, true, 0, 0, 1},
    {"Site4AtSecond", ResetsAtSecond, GameSite::Reset4, true, 0, 0, 1},
    {"Site1ForeignAtFirst", ForeignAtFirstOfSite1, GameSite::Reset1, false, 1, 0, 0},
    {"Site1ForeignAtSecond", ForeignAtSecondOfSite1, GameSite::Reset1, true, 1, 0, 0},
    {"Site1CallAtFirstPushAtSecond", CallAtFirstPushAtSecond, GameSite::Reset1, true, 0, 0, 1},
    {"Site2Foreign", ForeignAtSite2, GameSite::Reset2, false, 1, 0, 0},
    {"Site2ForeignAtSecond", ForeignAtSecondOfSite2, GameSite::Reset2, true, 1, 0, 0},
    // One slot serves the three long sites: the call found last (site 4) wins, for all three.
    {"LastLongForeignWinsAtSite2", OtherAtSite2GameForeignAtSite4, GameSite::Reset2, false, 1, 0,
     0},
    {"LastLongForeignWinsAtSite2Reversed", GameForeignAtSite2OtherAtSite4, GameSite::Reset2, false,
     0, 1, 0},
    {"LastLongForeignServesSite3", GameForeignAtSite2OtherAtSite4, GameSite::Reset3, false, 0, 1,
     0},
    // The short site has a slot of its own.
    {"LongForeignNotAtSite1", ForeignAtSite2, GameSite::Reset1, false, 0, 0, 1},
};

class Chain : public Attach, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(Chain, ResetSiteEndsInTheExpectedReset) {
    const ChainCase& c = GetParam();
    c.Arrange();
    Load();
    OtherForeignCalls = 0;
    GameForeignResetResult = 0x0F0F0F0F;
    TableDevice* device = TheTableDevice();
    TableResetResult = 0x1234;
    uintptr_t at = c.AtSecond ? Second(c.Site) : GameSiteAddress(c.Site);
    GameRegisters r{reinterpret_cast<uint32_t>(device),
                    reinterpret_cast<uint32_t>(device->Table),
                    0x33333333,
                    0x44444444,
                    0,
                    0x66666666,
                    0x77777777,
                    0x88888888};
    GameRunResult run = GameRun(at, r);

    EXPECT_EQ(run.ResumePoint, at + GameSiteLength(c.Site));
    EXPECT_EQ(GameForeign.Reset, c.GameForeignCalls);
    EXPECT_EQ(OtherForeignCalls, c.OtherForeignCalls);
    ASSERT_EQ(int(TableResets().size()), c.DeviceResets);
    uint32_t expected = c.DeviceResets ? 0x1234u : c.GameForeignCalls ? 0x0F0F0F0Fu : 0x0E7E0E7Eu;
    EXPECT_EQ(run.Resume.eax, expected);
    if (c.DeviceResets) {
        EXPECT_EQ(TableResets()[0].Device, device);
        EXPECT_EQ(TableResets()[0].Parameters, reinterpret_cast<void*>(0xC9C040));
        EXPECT_FALSE(TableResets()[0].ThroughDecoy);
    }
    if (c.GameForeignCalls) {
        EXPECT_EQ(GameForeign.ResetEax, r.eax);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Chain, ::testing::ValuesIn(ChainCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- lifetime and the process around the plug-in ---------------------------------------------

TEST_F(Attach, PageProtectionsAfterInstallationEqualThoseBefore) {
    std::vector<DWORD> before = GameCodeProtections();
    Load();
    EXPECT_EQ(GameCodeProtections(), before);
}

TEST_F(Attach, PatchesRemainAfterDetach) {
    Load();
    std::vector<uint8_t> attached[6];
    for (GameSite s : AllSites)
        attached[int(s) - 1] = CodeBytes(GameSiteAddress(s), GameSiteLength(s));
    plugin->Unload();
    for (GameSite s : AllSites)
        EXPECT_EQ(CodeBytes(GameSiteAddress(s), GameSiteLength(s)), attached[int(s) - 1]);
}

DWORD WINAPI Idle(void*) {
    return 0;
}

TEST_F(Attach, ThreadNotificationsDoNothingAndAnswerTrue) {
    Load();
    // The game's own bytes back at one site: an installer run again would patch it anew.
    std::vector<uint8_t> own = {0xA0, 0xCC, 0x02, 0xC4, 0x00};
    WriteCode(HostDrawInterfaceSite, own);
    EXPECT_EQ(plugin->Notify(DLL_THREAD_ATTACH), TRUE);
    EXPECT_EQ(plugin->Notify(DLL_THREAD_DETACH), TRUE);
    HANDLE thread = CreateThread(nullptr, 0, &Idle, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(CodeBytes(HostDrawInterfaceSite, 5), own);
    EXPECT_TRUE(prompts.Prompts.empty());
}

// A copy under another name attached after the first finds the first copy's calls and chains to
// them; at DrawSite it finds a jump, which it does not follow, and asks.
TEST_F(Attach, SecondCopyChainsToTheFirst) {
    Load();
    Snapshot first;
    LoadedPlugin second("vantor_second.asi");
    ASSERT_NE(second.Module(), plugin->Module());

    ASSERT_EQ(prompts.Prompts.size(), 1u);
    EXPECT_EQ(prompts.Prompts[0].Text, PromptText(0x58E8A7, "DrawSite"));
    for (GameSite s : {GameSite::Reset1, GameSite::Reset2, GameSite::Reset3, GameSite::Reset4,
                       GameSite::DrawInterface}) {
        EXPECT_TRUE(second.Contains(BranchTarget(GameSiteAddress(s)))) << int(s);
    }
    EXPECT_EQ(CodeBytes(HostDrawSite, 5), first.First[4]);
    EXPECT_TRUE(plugin->Contains(BranchTarget(HostDrawSite)));

    // Through the second copy's handler into the first's, which resets the device once.
    for (GameSite s : {GameSite::Reset1, GameSite::Reset3}) {
        TableDevice* device = TheTableDevice();
        GameRegisters r{reinterpret_cast<uint32_t>(device),
                        reinterpret_cast<uint32_t>(device->Table),
                        3,
                        4,
                        0,
                        6,
                        7,
                        8};
        GameRunResult run = GameRun(GameSiteAddress(s), r);
        EXPECT_EQ(run.ResumePoint, GameSiteAddress(s) + GameSiteLength(s));
        EXPECT_EQ(TableResets().size(), 1u) << int(s);
        EXPECT_EQ(run.Resume.eax, 0u);
        EXPECT_EQ(run.Resume.esp, run.Entry.esp);
        EXPECT_EQ(run.Resume.edi, 8u);
    }
    second.Unload();
}

// ---- No ends the process ---------------------------------------------------------------------

// Runs only in a child process that AnswerNoEndsTheProcessWithCodeZero starts.
TEST_F(Attach, DISABLED_ChildAnswersNo) {
    prompts.Answer = IDNO;
    prompts.Echo = true;
    GameSetSite(GameSite::Reset3, SiteBytes::Other);
    Load();
    std::printf("attach returned\n");
    std::fflush(stdout);
    ExitProcess(3);
}

TEST(Prompt, AnswerNoEndsTheProcessWithCodeZero) {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string module = BuildDirectory() + "host_tests.dll";
    std::string command = std::string("\"") + program + "\" \"" + module +
                          "\" --gtest_also_run_disabled_tests "
                          "--gtest_filter=Attach.DISABLED_ChildAnswersNo";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &child));
    CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got)
        output.append(buffer, got);
    CloseHandle(readEnd);
    // The child's C runtime wrote text mode: line ends come back as CR LF.
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);

    EXPECT_EQ(code, 0u) << output;
    EXPECT_NE(output.find("prompt [VANTOR] " + PromptText(0x7F9788, ResetName)), std::string::npos)
        << output;
    EXPECT_EQ(output.find("attach returned"), std::string::npos) << output;
}

} // namespace
