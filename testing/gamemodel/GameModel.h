// The game model: the game's records at their fixed addresses inside hostsim's image, the
// game's own instruction bytes at the six code sites, the two host functions on a scripted
// terrain, and a register-level way to run game code.
#pragma once

#include <cstdint>
#include <vector>

#include "host/HostInterface.h"

// ---- records -------------------------------------------------------------------------------

// Model-owned storage the fixed pointers can point at.
HostPlayer* GamePlayerRecord();
HostVehicle* GameVehicleSlot(int slot);      // pool entries, 2584 bytes apart
HostMatrix* GameMatrixRecord(int slot);      // one matrix per slot
HostGunRecord* GameGunRecord();              // with its offsets record behind +0x14
float* GameGunOffsets();                     // the offsets record (+0x00 and +0x0C used)

// Fixed-address values, typed.
inline HostPlayer*& GamePlayerPointer() { return HostValue<HostPlayer*>(HostPlayerAddress); }
inline HostVehiclePool*& GamePoolPointer() {
    return HostValue<HostVehiclePool*>(HostVehiclePoolAddress);
}
inline HostGunRecord*& GameGunPointer() { return HostValue<HostGunRecord*>(HostGunRecordAddress); }
inline float& GameTimeStep() { return HostValue<float>(HostTimeStepAddress); }
inline uint8_t& GameWarnByte() { return HostValue<uint8_t>(HostWarnByteAddress); }
inline float* GameWind() { return &HostValue<float>(HostWindAddress); }
inline IDirect3DDevice9*& GameDevice() { return HostValue<IDirect3DDevice9*>(HostDeviceAddress); }
inline IDirect3DSurface9*& GameBackBuffer() {
    return HostValue<IDirect3DSurface9*>(HostBackBufferAddress);
}
inline D3DPRESENT_PARAMETERS& GamePresentParameters() {
    return HostValue<D3DPRESENT_PARAMETERS>(HostPresentParametersAddress);
}
inline uint8_t& GameInterfaceByte() { return HostValue<uint8_t>(HostInterfaceByteAddress); }
inline uint32_t& GameDrawSiteDword() { return HostValue<uint32_t>(HostDrawSiteDwordAddress); }

// The pool the model owns: `count` slots (flags 0) at model storage; slot 0 is the vehicle
// GameFlyJet puts the player in. Counts up to GameMaxSlots.
constexpr int GameMaxSlots = 10000;
HostVehiclePool* GamePool();
void GameSetPool(int count);

// Puts the player, in state `state`, into slot 0's vehicle of `model`, level along +y at the
// origin (right +x, forward +y, up +z), with a pool of one slot and a time step of 1/30.
void GameFlyJet(uint16_t model = HostJetModel, int32_t state = HostPlayerDriving);
void GameSetAxes(const float right[3], const float forward[3], const float up[3]);
void GameSetPosition(float x, float y, float z);
void GameSetVelocity(float x, float y, float z);

// ---- terrain behind the two host functions -------------------------------------------------

struct GameTerrain {
    bool GroundFound = false;
    float Ground = 0;
    bool WaterFound = false;
    float Water = 0;
};
struct GameHostCall {
    float x, y, z; // z: the third float argument
    const void* Pointer;
    int32_t Zero1, Zero2; // Zero2 unused for the ground function
    uint8_t FlagOnEntry;  // the ground flag as the caller left it
};
GameTerrain& GameTerrainScript();
const std::vector<GameHostCall>& GameGroundCalls();
const std::vector<GameHostCall>& GameWaterCalls();

// ---- code sites ----------------------------------------------------------------------------

enum class GameSite { Reset1 = 1, Reset2, Reset3, Reset4, DrawSite, DrawInterface };
enum class SiteBytes {
    Untouched,         // the game's own bytes at the first address
    UntouchedAtSecond, // the game's own bytes 0x40 below (reset sites), other bytes at the first
    ForeignCall,       // a 5-byte call to the model's recording handler, at the first address
    ForeignCallAtSecond,
    ForeignJump, // E9 toward the model's recording handler
    Other,       // bytes no module would leave (0xCC ...)
};
uintptr_t GameSiteAddress(GameSite site);  // first address
uintptr_t GameSiteLength(GameSite site);   // 9, 11 or 5
void GameSetSite(GameSite site, SiteBytes bytes);
// The address a foreign call or jump at a site leads to.
uintptr_t GameForeignHandler(GameSite site);

// What the foreign handlers saw. Reset handlers return ForeignResetResult in EAX, without
// resetting; the DrawInterface handler is a plain function; the DrawSite one loads EAX and
// resumes at 0x58E8AC.
struct GameForeignCalls {
    int Reset;          // calls of either reset handler
    uint32_t ResetEax;  // EAX at entry of the last one
    int DrawInterface;
    int DrawSite;
};
extern "C" GameForeignCalls GameForeign;
extern "C" uint32_t GameForeignResetResult;

// Page protection of every page the game model's code lives on, in address order.
std::vector<DWORD> GameCodeProtections();

// ---- running game code ---------------------------------------------------------------------

struct GameRegisters {
    uint32_t eax, ecx, edx, ebx, esp, ebp, esi, edi;
};
struct GameRunResult {
    GameRegisters Entry;  // as the game code started (esp filled in by the harness)
    GameRegisters Resume; // as the game saw them where it resumed
    uintptr_t ResumePoint;
    uint32_t StackUsed; // deepest bytes below the entry esp that were written
};
// Runs the game's code at `address` with the given registers (esp is chosen by the harness:
// on this thread's stack, `misalign` bytes below a 16-byte boundary) until it reaches one of
// the model's resume points.
GameRunResult GameRun(uintptr_t address, GameRegisters registers, uint32_t misalign = 4);
// The DrawInterface site with arbitrary registers; returns AL as the game sees it.
uint8_t GameRunDrawInterface(GameRunResult* result = nullptr);

// Everything back to pristine: records zeroed, pointers null, the six sites untouched, the
// foreign counters cleared, terrain without ground or water.
void GameReset();
