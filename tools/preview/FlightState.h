// A flight state for the preview: what the game would hold in memory for one frame, and the
// camera it would draw it from.
#pragma once

#include <array>
#include <string>
#include <vector>

#include <d3dx9.h>

struct FlightState {
    int Width = 1280, Height = 960;
    int Model = 520, PlayerState = 50;
    std::array<float, 3> Position{}, Right{1, 0, 0}, Forward{0, 1, 0}, Up{0, 0, 1}, Velocity{};
    bool HasPreviousVelocity = false;
    std::array<float, 3> PreviousVelocity{};
    float TimeStep = 1.0f / 30;
    std::array<float, 3> Wind{};
    int WarnByte = 0;
    bool HasGunOffsets = false;
    std::array<float, 2> GunOffsets{};
    bool GroundFound = false, WaterFound = false;
    float Ground = 0, Water = 0;
    D3DXMATRIX View{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    D3DXMATRIX Projection{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // Slot 0 is the player's own vehicle; an empty slot has no position.
    struct Slot {
        bool Occupied;
        std::array<float, 3> Position;
    };
    std::vector<Slot> Vehicles;
};

// Sets the aircraft's axes from heading (0 along +y, growing toward +x), pitch (nose up) and
// roll (right wing down), in degrees.
void SetAttitude(FlightState* state, float headingDeg, float pitchDeg, float rollDeg);

// Reads and checks a state file. On failure returns false and says, naming the file and the
// field, what is wrong.
bool LoadFlightState(const std::string& path, FlightState* state, std::string* error);
