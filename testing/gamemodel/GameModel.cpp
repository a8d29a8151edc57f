#include "testing/gamemodel/GameModel.h"

#include <cstring>

#include <windows.h>

extern "C" {
void GameEnter(GameRegisters* in, GameRegisters* out, uint32_t address, uint32_t paint);
void GameCapture();
void GameForeignReset();
void GameForeignDrawInterface();
void GameForeignDrawSite();
extern uint32_t GameResumePoint;
}

namespace {

HostPlayer Player;
HostGunRecord GunRecord;
float GunOffsets[4];
HostVehiclePool Pool;
uint8_t* PoolSlots;    // GameMaxSlots entries, 2584 bytes apart
uint8_t PoolFlags[GameMaxSlots];
HostMatrix Matrices[GameMaxSlots];
GameTerrain Terrain;
std::vector<GameHostCall> GroundCalls, WaterCalls;

// Code pages of the model, and the protection the game's code has.
const uintptr_t CodePages[] = {0x569000, 0x58E000, 0x6E8000, 0x704000, 0x7F8000, 0x7F9000};
const uintptr_t DataPages[] = {0xA9B000, 0xB6F000, 0xB74000, 0xB7C000, 0xC40000,
                               0xC81000, 0xC97000, 0xC9C000};

struct SiteInfo {
    uintptr_t First;
    uintptr_t Length;
};
const SiteInfo Sites[] = {
    {HostResetSite1, 9},  {HostResetSite2, 11},       {HostResetSite3, 11},
    {HostResetSite4, 11}, {HostDrawSite, 5},          {HostDrawInterfaceSite, 5},
};

// push 0xC9C040; push eax; call [ecx+0x40]
const uint8_t ResetShortBytes[9] = {0x68, 0x40, 0xC0, 0xC9, 0x00, 0x50, 0xFF, 0x51, 0x40};
// push 0xC9C040; push eax; mov edx, [eax]; call [edx+0x40]
const uint8_t ResetLongBytes[11] = {0x68, 0x40, 0xC0, 0xC9, 0x00, 0x50,
                                    0x8B, 0x10, 0xFF, 0x52, 0x40};
// mov eax, [0xC97B24]
const uint8_t DrawSiteBytes[5] = {0xA1, 0x24, 0x7B, 0xC9, 0x00};
// mov al, [0xC402CC]
const uint8_t DrawInterfaceBytes[5] = {0xA0, 0xCC, 0x02, 0xC4, 0x00};

DWORD Unprotect(uintptr_t page) {
    DWORD old = 0;
    VirtualProtect(reinterpret_cast<void*>(page), 0x1000, PAGE_EXECUTE_READWRITE, &old);
    return old;
}

void Protect(uintptr_t page) {
    DWORD old = 0;
    VirtualProtect(reinterpret_cast<void*>(page), 0x1000, PAGE_EXECUTE_READ, &old);
}

void PutRelative(uintptr_t at, uint8_t opcode, uintptr_t target) {
    auto* p = reinterpret_cast<uint8_t*>(at);
    p[0] = opcode;
    uint32_t displacement = static_cast<uint32_t>(target - (at + 5));
    std::memcpy(p + 1, &displacement, 4);
}

// A resume point: C7 05 <&GameResumePoint> <at>: record where the game went on;
// E9 <GameCapture>: hand the registers to the harness.
void PutResumeStub(uintptr_t at) {
    auto* p = reinterpret_cast<uint8_t*>(at);
    p[0] = 0xC7;
    p[1] = 0x05;
    uint32_t slot = reinterpret_cast<uint32_t>(&GameResumePoint);
    uint32_t value = static_cast<uint32_t>(at);
    std::memcpy(p + 2, &slot, 4);
    std::memcpy(p + 6, &value, 4);
    PutRelative(at + 10, 0xE9, reinterpret_cast<uintptr_t>(&GameCapture));
}

void PutBytes(uintptr_t at, const uint8_t* bytes, size_t count) {
    std::memcpy(reinterpret_cast<void*>(at), bytes, count);
}

void Fill(uintptr_t at, uint8_t value, size_t count) {
    std::memset(reinterpret_cast<void*>(at), value, count);
}

float __cdecl GroundHeight(float x, float y, float z, uint8_t* found, int32_t zero) {
    GroundCalls.push_back({x, y, z, found, zero, 0, found ? *found : uint8_t(0xEE)});
    if (found) *found = Terrain.GroundFound ? 1 : 0;
    return Terrain.GroundFound ? Terrain.Ground : -100.0f;
}

uint8_t __cdecl WaterLevel(float x, float y, float z, float* level, int32_t zero1,
                           int32_t zero2) {
    WaterCalls.push_back({x, y, z, level, zero1, zero2, 0});
    if (Terrain.WaterFound && level) *level = Terrain.Water;
    return Terrain.WaterFound ? 1 : 0;
}

void WithCodeWritable(void (*write)()) {
    DWORD old[sizeof CodePages / sizeof CodePages[0]];
    for (size_t i = 0; i < sizeof CodePages / sizeof CodePages[0]; ++i)
        old[i] = Unprotect(CodePages[i]);
    write();
    for (uintptr_t page : CodePages) Protect(page);
    (void)old;
    FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
}

SiteBytes PendingBytes;
GameSite PendingSite;

void WriteSite() {
    const SiteInfo& s = Sites[static_cast<int>(PendingSite) - 1];
    bool reset = PendingSite <= GameSite::Reset4;
    uintptr_t second = s.First - HostResetSecondOffset;
    const uint8_t* own = reset ? (s.Length == 9 ? ResetShortBytes : ResetLongBytes)
                         : PendingSite == GameSite::DrawSite ? DrawSiteBytes
                                                             : DrawInterfaceBytes;
    Fill(s.First, 0xCC, s.Length);
    if (reset) Fill(second, 0xCC, s.Length);
    uintptr_t handler = GameForeignHandler(PendingSite);
    switch (PendingBytes) {
    case SiteBytes::Untouched:
        PutBytes(s.First, own, s.Length);
        break;
    case SiteBytes::UntouchedAtSecond:
        PutBytes(second, own, s.Length);
        break;
    case SiteBytes::ForeignCall:
        PutRelative(s.First, 0xE8, handler);
        Fill(s.First + 5, 0x90, s.Length - 5);
        break;
    case SiteBytes::ForeignCallAtSecond:
        PutRelative(second, 0xE8, handler);
        Fill(second + 5, 0x90, s.Length - 5);
        break;
    case SiteBytes::ForeignJump:
        PutRelative(s.First, 0xE9, handler);
        Fill(s.First + 5, 0x90, s.Length - 5);
        break;
    case SiteBytes::Other:
        break;
    }
}

void WritePristine() {
    for (uintptr_t page : CodePages) Fill(page, 0xCC, 0x1000);
    for (int site = 1; site <= 6; ++site) {
        PendingSite = static_cast<GameSite>(site);
        PendingBytes = SiteBytes::Untouched;
        WriteSite();
        const SiteInfo& s = Sites[site - 1];
        if (site <= 4) {
            PutResumeStub(s.First + s.Length);
            PutResumeStub(s.First - HostResetSecondOffset + s.Length);
        }
    }
    PutResumeStub(HostDrawSiteResume);
    PutResumeStub(HostDrawSiteSkip);
    PutResumeStub(HostDrawInterfaceResume);
    PutRelative(HostGroundHeightAddress, 0xE9, reinterpret_cast<uintptr_t>(&GroundHeight));
    PutRelative(HostWaterLevelAddress, 0xE9, reinterpret_cast<uintptr_t>(&WaterLevel));
}

} // namespace

HostPlayer* GamePlayerRecord() { return &Player; }
HostVehicle* GameVehicleSlot(int slot) {
    return reinterpret_cast<HostVehicle*>(PoolSlots + slot * HostVehicleStride);
}
HostMatrix* GameMatrixRecord(int slot) { return &Matrices[slot]; }
HostGunRecord* GameGunRecord() { return &GunRecord; }
float* GameGunOffsets() { return GunOffsets; }
HostVehiclePool* GamePool() { return &Pool; }

void GameSetPool(int count) {
    Pool.Slots = PoolSlots;
    Pool.Flags = PoolFlags;
    Pool.Count = count;
    std::memset(PoolFlags, 0, sizeof PoolFlags);
    for (int i = 0; i < count && i < GameMaxSlots; ++i) {
        if (i >= 64) std::memset(GameVehicleSlot(i), 0, HostVehicleStride);
        GameVehicleSlot(i)->Matrix = &Matrices[i];
        Matrices[i].Position.w = 1;
    }
    GamePoolPointer() = &Pool;
}

void GameSetAxes(const float right[3], const float forward[3], const float up[3]) {
    HostMatrix* m = GameMatrixRecord(0);
    m->Right = {right[0], right[1], right[2], 0};
    m->Forward = {forward[0], forward[1], forward[2], 0};
    m->Up = {up[0], up[1], up[2], 0};
}

void GameSetPosition(float x, float y, float z) { GameMatrixRecord(0)->Position = {x, y, z, 1}; }

void GameSetVelocity(float x, float y, float z) {
    float* v = GameVehicleSlot(0)->Velocity;
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

void GameFlyJet(uint16_t model, int32_t state) {
    GameSetPool(1);
    HostVehicle* vehicle = GameVehicleSlot(0);
    vehicle->Model = model;
    const float right[3] = {1, 0, 0}, forward[3] = {0, 1, 0}, up[3] = {0, 0, 1};
    GameSetAxes(right, forward, up);
    GameSetPosition(0, 0, 0);
    Player.State = state;
    Player.Vehicle = vehicle;
    GamePlayerPointer() = &Player;
    GameTimeStep() = 1.0f / 30;
}

GameTerrain& GameTerrainScript() { return Terrain; }
const std::vector<GameHostCall>& GameGroundCalls() { return GroundCalls; }
const std::vector<GameHostCall>& GameWaterCalls() { return WaterCalls; }

uintptr_t GameSiteAddress(GameSite site) { return Sites[static_cast<int>(site) - 1].First; }
uintptr_t GameSiteLength(GameSite site) { return Sites[static_cast<int>(site) - 1].Length; }

uintptr_t GameForeignHandler(GameSite site) {
    switch (site) {
    case GameSite::DrawSite:
        return reinterpret_cast<uintptr_t>(&GameForeignDrawSite);
    case GameSite::DrawInterface:
        return reinterpret_cast<uintptr_t>(&GameForeignDrawInterface);
    default:
        return reinterpret_cast<uintptr_t>(&GameForeignReset);
    }
}

void GameSetSite(GameSite site, SiteBytes bytes) {
    PendingSite = site;
    PendingBytes = bytes;
    WithCodeWritable(&WriteSite);
}

std::vector<DWORD> GameCodeProtections() {
    std::vector<DWORD> result;
    for (uintptr_t page : CodePages) {
        MEMORY_BASIC_INFORMATION info{};
        VirtualQuery(reinterpret_cast<void*>(page), &info, sizeof info);
        result.push_back(info.Protect);
    }
    return result;
}

GameRunResult GameRun(uintptr_t address, GameRegisters registers, uint32_t misalign) {
    constexpr uint32_t paint = 0x8000;
    GameRunResult result{};
    registers.esp = misalign;
    GameResumePoint = 0;
    GameEnter(&registers, &result.Resume, static_cast<uint32_t>(address), paint);
    result.Entry = registers;
    result.ResumePoint = GameResumePoint;
    const uint32_t* low = reinterpret_cast<const uint32_t*>(registers.esp - paint);
    uint32_t untouched = 0;
    while (untouched < paint / 4 && low[untouched] == 0xCDCDCDCD) ++untouched;
    result.StackUsed = paint - untouched * 4;
    return result;
}

uint8_t GameRunDrawInterface(GameRunResult* result) {
    GameRegisters r{0x11111111, 0x22222222, 0x33333333, 0x44444444,
                    0,          0x66666666, 0x77777777, 0x88888888};
    GameRunResult run = GameRun(HostDrawInterfaceSite, r);
    if (result) *result = run;
    return static_cast<uint8_t>(run.Resume.eax & 0xFF);
}

void GameReset() {
    static bool first = true;
    if (first) {
        first = false;
        PoolSlots = static_cast<uint8_t*>(VirtualAlloc(nullptr, GameMaxSlots * HostVehicleStride,
                                                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        for (uintptr_t page : DataPages) {
            DWORD old;
            VirtualProtect(reinterpret_cast<void*>(page), 0x1000, PAGE_READWRITE, &old);
        }
    }
    std::memset(&Player, 0, sizeof Player);
    std::memset(&GunRecord, 0, sizeof GunRecord);
    std::memset(GunOffsets, 0, sizeof GunOffsets);
    GunRecord.Offsets = GunOffsets;
    std::memset(&Pool, 0, sizeof Pool);
    std::memset(PoolSlots, 0, 64 * HostVehicleStride);
    std::memset(Matrices, 0, sizeof Matrices);
    std::memset(PoolFlags, 0, sizeof PoolFlags);
    for (uintptr_t page : DataPages) std::memset(reinterpret_cast<void*>(page), 0, 0x1000);
    Terrain = GameTerrain{};
    GroundCalls.clear();
    WaterCalls.clear();
    std::memset(&GameForeign, 0, sizeof GameForeign);
    GameForeignResetResult = 0;
    WithCodeWritable(&WritePristine);
}
