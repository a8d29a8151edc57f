// The game's fixed addresses, records and functions. Everything here is the game's layout:
// offsets are checked at compile time against the game's record layouts.
#pragma once

#include <cstddef>
#include <cstdint>

#include <d3d9.h>

struct HostVector {
    float x, y, z, w;
};

// The game's placement record: one row per axis, then the position.
struct HostMatrix {
    HostVector Right;    // +0x00
    HostVector Forward;  // +0x10
    HostVector Up;       // +0x20
    HostVector Position; // +0x30
};
static_assert(sizeof(HostMatrix) == 64, "HostMatrix is 16 floats");

struct HostVehicle {
    uint8_t Unknown00[0x14];
    HostMatrix* Matrix; // +0x14
    uint8_t Unknown18[0x0A];
    uint16_t Model; // +0x22
    uint8_t Unknown24[0x20];
    float Velocity[3]; // +0x44
};
static_assert(offsetof(HostVehicle, Matrix) == 0x14, "vehicle matrix");
static_assert(offsetof(HostVehicle, Model) == 0x22, "vehicle model");
static_assert(offsetof(HostVehicle, Velocity) == 0x44, "vehicle velocity");

struct HostPlayer {
    uint8_t Unknown000[0x530];
    int32_t State; // +0x530
    uint8_t Unknown534[0x58];
    HostVehicle* Vehicle; // +0x58C
};
static_assert(offsetof(HostPlayer, State) == 0x530, "player state");
static_assert(offsetof(HostPlayer, Vehicle) == 0x58C, "player vehicle");

// Vehicle records in the pool lie this many bytes apart.
constexpr uint32_t HostVehicleStride = 2584;

struct HostVehiclePool {
    uint8_t* Slots;  // +0x00: slot 0
    uint8_t* Flags;  // +0x04: one byte per slot
    int32_t Count;   // +0x08
};
constexpr uint8_t HostSlotEmpty = 0x80;

// The gun record: its +0x14 points to the two guns' lateral offsets at +0x00 and +0x0C.
struct HostGunRecord {
    uint8_t Unknown00[0x14];
    const float* Offsets; // +0x14
};
static_assert(offsetof(HostGunRecord, Offsets) == 0x14, "gun offsets");
constexpr int HostSecondGunOffset = 3; // floats: +0x0C

// Fixed addresses of the game's values.
constexpr uintptr_t HostPlayerAddress = 0xB6F5F0;      // HostPlayer*
constexpr uintptr_t HostVehiclePoolAddress = 0xB74494; // HostVehiclePool*
constexpr uintptr_t HostGunRecordAddress = 0xA9B8E8;   // HostGunRecord*
constexpr uintptr_t HostTimeStepAddress = 0xB7CB5C;    // float
constexpr uintptr_t HostWarnByteAddress = 0xB7CB84;    // uint8_t
constexpr uintptr_t HostWindAddress = 0xC813E0;        // float[3]
constexpr uintptr_t HostDeviceAddress = 0xC97C28;      // IDirect3DDevice9*
constexpr uintptr_t HostBackBufferAddress = 0xC97C30;  // IDirect3DSurface9*
constexpr uintptr_t HostPresentParametersAddress = 0xC9C040; // D3DPRESENT_PARAMETERS
constexpr uintptr_t HostInterfaceByteAddress = 0xC402CC;     // uint8_t, AL after DrawInterface
constexpr uintptr_t HostDrawSiteDwordAddress = 0xC97B24;     // uint32_t, EAX after DrawSite

constexpr uint16_t HostJetModel = 520;
constexpr uint16_t HostOtherJetModel = 519;
constexpr int32_t HostPlayerDriving = 50;

// The game's own functions; the caller removes the arguments.
using HostGroundHeightFunction = float(__cdecl*)(float x, float y, float z, uint8_t* found,
                                                 int32_t zero);
using HostWaterLevelFunction = uint8_t(__cdecl*)(float x, float y, float zero, float* level,
                                                 int32_t zero1, int32_t zero2);
constexpr uintptr_t HostGroundHeightAddress = 0x5696C0;
constexpr uintptr_t HostWaterLevelAddress = 0x6E8580;

template <typename T> inline T& HostValue(uintptr_t address) {
    return *reinterpret_cast<T*>(address);
}

inline HostPlayer* HostCurrentPlayer() { return HostValue<HostPlayer*>(HostPlayerAddress); }
inline IDirect3DDevice9* HostDevice() { return HostValue<IDirect3DDevice9*>(HostDeviceAddress); }
inline IDirect3DSurface9* HostBackBuffer() {
    return HostValue<IDirect3DSurface9*>(HostBackBufferAddress);
}
inline HostGroundHeightFunction HostGroundHeight() {
    return reinterpret_cast<HostGroundHeightFunction>(HostGroundHeightAddress);
}
inline HostWaterLevelFunction HostWaterLevel() {
    return reinterpret_cast<HostWaterLevelFunction>(HostWaterLevelAddress);
}

// The game's code sites (first addresses; each reset site has a second one 0x40 below).
constexpr uintptr_t HostResetSite1 = 0x7F8704; // 9-byte call sequence
constexpr uintptr_t HostResetSite2 = 0x7F9750; // 11-byte call sequences
constexpr uintptr_t HostResetSite3 = 0x7F97C8;
constexpr uintptr_t HostResetSite4 = 0x7F9A56;
constexpr uintptr_t HostResetSecondOffset = 0x40;
constexpr uintptr_t HostDrawSite = 0x58E8A7;
constexpr uintptr_t HostDrawSiteResume = 0x58E8AC;
constexpr uintptr_t HostDrawSiteSkip = 0x58EABD;
constexpr uintptr_t HostDrawInterfaceSite = 0x704F61;
constexpr uintptr_t HostDrawInterfaceResume = 0x704F66;
