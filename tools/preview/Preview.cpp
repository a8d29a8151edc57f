// The preview: renders the display for flight-state files through the real plug-in, attached
// in the simulated game process, on a real Direct3D 9 device.
//
//   hostsim.exe preview.dll STATE.json -o OUT.png [--strokes OUT.jsonl] [STATE2.json -o ...]
//   STATE.json --sequence N -o PREFIX   writes PREFIX-000.png ... of a roll into a pull-up
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "testing/d3dx/StrokeLog.h"
#include "testing/gamemodel/GameModel.h"
#include "testing/realdevice/RealDevice.h"
#include "tools/preview/FlightState.h"

namespace {

struct Job {
    std::string State, Picture, Strokes;
    int Sequence; // frames of a roll into a pull-up; Picture is then the frames' prefix
};

// Frame i of n of the manoeuvre: a roll to 60 degrees, then a pull-up of 30 degrees in the
// bank, the flight path lagging the nose by a few degrees while the pull lasts.
void ManoeuvreFrame(FlightState* s, float heading, float pitch, int i, int n) {
    auto ease = [](float t) { return t <= 0 ? 0.0f : t >= 1 ? 1.0f : t * t * (3 - 2 * t); };
    float t = n > 1 ? float(i) / float(n - 1) : 0.0f;
    float roll = 60 * ease(2 * t);
    float pull = ease(2 * t - 1);
    float nose = pitch + 30 * pull;
    float speed = std::sqrt(s->Velocity[0] * s->Velocity[0] + s->Velocity[1] * s->Velocity[1] +
                            s->Velocity[2] * s->Velocity[2]);
    heading += 25 * pull * pull;
    SetAttitude(s, heading, nose - 5 * std::sin(3.14159265f * pull), roll);
    std::array<float, 3> path = s->Forward;
    SetAttitude(s, heading, nose, roll);
    for (int k = 0; k < 3; ++k)
        s->Velocity[k] = speed * path[k];
}

constexpr D3DCOLOR SkyColour = 0xFF7DA7D9;
constexpr D3DCOLOR GroundColour = 0xFF6B7B4A;
constexpr D3DCOLOR GridColour = 0xFF8E9C6A;
constexpr D3DCOLOR WaterColour = 0xFF2E5E8C;
constexpr D3DCOLOR WaveColour = 0xFF4F7FAD;
constexpr D3DCOLOR MarkerColour = 0xFFE0E0E0;
constexpr float GridSpacing = 40.0f;
constexpr int GridLines = 60;

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
struct WorldVertex {
    float x, y, z;
    D3DCOLOR colour;
};

// The view ray through normalised screen point (x, y) has a world z of
// x / P11 * V31 + y / P22 * V32 + V33 (camera to world is the transposed rotation), a linear
// function of the screen point: the horizon is the line where it is 0 and the ground lies below.
float RayUpness(const FlightState& s, float x, float y) {
    return x / s.Projection._11 * s.View._31 + y / s.Projection._22 * s.View._32 + s.View._33;
}

void DrawGroundPolygon(IDirect3DDevice9* device, const FlightState& s, D3DCOLOR colour) {
    const float corners[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    std::vector<ScreenVertex> polygon;
    for (int i = 0; i < 4; ++i) {
        const float* a = corners[i];
        const float* b = corners[(i + 1) % 4];
        float ua = RayUpness(s, a[0], a[1]), ub = RayUpness(s, b[0], b[1]);
        auto put = [&](float x, float y) {
            polygon.push_back({(x + 1) * 0.5f * s.Width - 0.5f, (1 - y) * 0.5f * s.Height - 0.5f,
                               0.5f, 1.0f, colour});
        };
        if (ua < 0) put(a[0], a[1]);
        if ((ua < 0) != (ub < 0)) {
            float t = ua / (ua - ub);
            put(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]));
        }
    }
    if (polygon.size() < 3) return;
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, UINT(polygon.size() - 2), polygon.data(),
                            sizeof(ScreenVertex));
}

void DrawWorldLines(IDirect3DDevice9* device, const std::vector<WorldVertex>& lines) {
    if (lines.size() < 2) return;
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, UINT(lines.size() / 2), lines.data(),
                            sizeof(WorldVertex));
}

void DrawScene(IDirect3DDevice9* device, const FlightState& s) {
    bool water = s.WaterFound && (!s.GroundFound || s.Water >= s.Ground);
    float surface = water ? s.Water : s.GroundFound ? s.Ground : 0.0f;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, SkyColour, 1.0f, 0);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetTexture(0, nullptr);
    DrawGroundPolygon(device, s, water ? WaterColour : GroundColour);

    const D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &s.View);
    device->SetTransform(D3DTS_PROJECTION, &s.Projection);

    // A grid fixed to the world, so that motion and attitude show against it.
    std::vector<WorldVertex> grid;
    float cx = std::floor(s.Position[0] / GridSpacing) * GridSpacing;
    float cy = std::floor(s.Position[1] / GridSpacing) * GridSpacing;
    float extent = GridSpacing * GridLines / 2;
    D3DCOLOR c = water ? WaveColour : GridColour;
    for (int i = -GridLines / 2; i <= GridLines / 2; ++i) {
        float o = i * GridSpacing;
        grid.push_back({cx + o, cy - extent, surface, c});
        grid.push_back({cx + o, cy + extent, surface, c});
        grid.push_back({cx - extent, cy + o, surface, c});
        grid.push_back({cx + extent, cy + o, surface, c});
    }
    DrawWorldLines(device, grid);

    // A small cross-braced cube at every other vehicle, a stem down to the surface.
    std::vector<WorldVertex> markers;
    for (size_t slot = 1; slot < s.Vehicles.size(); ++slot) {
        if (!s.Vehicles[slot].Occupied) continue;
        const auto& p = s.Vehicles[slot].Position;
        const float h = 3;
        const float e[12][6] = {
            {-h, -h, -h, h, -h, -h}, {h, -h, -h, h, h, -h}, {h, h, -h, -h, h, -h},
            {-h, h, -h, -h, -h, -h}, {-h, -h, h, h, -h, h}, {h, -h, h, h, h, h},
            {h, h, h, -h, h, h},     {-h, h, h, -h, -h, h}, {-h, -h, -h, -h, -h, h},
            {h, -h, -h, h, -h, h},   {h, h, -h, h, h, h},   {-h, h, -h, -h, h, h}};
        for (const auto& l : e) {
            markers.push_back({p[0] + l[0], p[1] + l[1], p[2] + l[2], MarkerColour});
            markers.push_back({p[0] + l[3], p[1] + l[4], p[2] + l[5], MarkerColour});
        }
        markers.push_back({p[0], p[1], p[2] - h, MarkerColour});
        markers.push_back({p[0], p[1], surface, MarkerColour});
    }
    DrawWorldLines(device, markers);
}

void PutState(const FlightState& s, const float velocity[3]) {
    GameFlyJet(static_cast<uint16_t>(s.Model), s.PlayerState);
    GameSetAxes(s.Right.data(), s.Forward.data(), s.Up.data());
    GameSetPosition(s.Position[0], s.Position[1], s.Position[2]);
    GameSetVelocity(velocity[0], velocity[1], velocity[2]);
    GameTimeStep() = s.TimeStep;
    for (int i = 0; i < 3; ++i)
        GameWind()[i] = s.Wind[i];
    GameWarnByte() = static_cast<uint8_t>(s.WarnByte);
    if (s.HasGunOffsets) {
        GameGunOffsets()[0] = s.GunOffsets[0];
        GameGunOffsets()[HostSecondGunOffset] = s.GunOffsets[1];
        GameGunPointer() = GameGunRecord();
    } else {
        GameGunPointer() = nullptr;
    }
    GameTerrainScript() = {s.GroundFound, s.Ground, s.WaterFound, s.Water};
    GameSetPool(static_cast<int>(s.Vehicles.size()));
    for (size_t slot = 1; slot < s.Vehicles.size(); ++slot) {
        HostVehiclePool* pool = GamePool();
        if (!s.Vehicles[slot].Occupied) {
            pool->Flags[slot] = HostSlotEmpty;
            continue;
        }
        const auto& p = s.Vehicles[slot].Position;
        GameMatrixRecord(int(slot))->Position = {p[0], p[1], p[2], 1};
        GameVehicleSlot(int(slot))->Model = 400;
    }
}

// Numbers that read back as the same single-precision values.
void PutFloat(FILE* f, float v) {
    std::fprintf(f, "%.9g", double(v));
}

bool WriteStrokes(const std::string& path, IStrokeLog* log) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    for (UINT i = 0; i < log->Count(); ++i) {
        const StrokeRecord* r = log->Get(i);
        std::fputs("{\"matrix\": [", f);
        for (int k = 0; k < 16; ++k) {
            if (k) std::fputs(", ", f);
            PutFloat(f, r->Matrix.m[k / 4][k % 4]);
        }
        std::fputs("], \"points\": [", f);
        for (UINT p = 0; p < r->PointCount; ++p) {
            std::fputs(p ? ", [" : "[", f);
            PutFloat(f, r->Points[p].x);
            std::fputs(", ", f);
            PutFloat(f, r->Points[p].y);
            std::fputs(", ", f);
            PutFloat(f, r->Points[p].z);
            std::fputs("]", f);
        }
        std::fprintf(f, "], \"color\": %lu}\n", static_cast<unsigned long>(r->Colour));
    }
    return std::fclose(f) == 0;
}

// A device reset through the game's own patched reset site, as the game resizes its screen.
bool ResetThroughGame(IDirect3DDevice9* device, int width, int height) {
    D3DPRESENT_PARAMETERS& pp = GamePresentParameters();
    std::memset(&pp, 0, sizeof pp);
    pp.BackBufferWidth = UINT(width);
    pp.BackBufferHeight = UINT(height);
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.hDeviceWindow = nullptr;
    GameRegisters r{
        reinterpret_cast<uint32_t>(device), *reinterpret_cast<uint32_t*>(device), 0, 0, 0, 0, 0, 0};
    GameRunResult run = GameRun(HostResetSite1, r);
    return run.Resume.eax == D3D_OK;
}

int Render(const std::vector<Job>& jobs) {
    GameReset();
    HMODULE plugin = LoadLibraryA("vantor.asi");
    if (!plugin) {
        std::fprintf(stderr, "preview: cannot load vantor.asi (error %lu)\n", GetLastError());
        return 1;
    }
    IDirect3DDevice9* device = nullptr;
    IStrokeLog* log = nullptr;
    int width = 0, height = 0, failures = 0;
    for (const Job& job : jobs) {
        FlightState first;
        std::string error;
        if (!LoadFlightState(job.State, &first, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
        float heading = std::atan2(first.Forward[0], first.Forward[1]) * 57.29578f;
        float pitch = std::asin(first.Forward[2]) * 57.29578f;
        for (int frame = 0; frame < std::max(1, job.Sequence); ++frame) {
            FlightState s = first;
            std::string picture = job.Picture;
            if (job.Sequence > 0) {
                ManoeuvreFrame(&s, heading, pitch, frame, job.Sequence);
                char suffix[16];
                std::snprintf(suffix, sizeof suffix, "-%03d.png", frame);
                picture += suffix;
            }
            if (!device) {
                device = CreateRealDevice(UINT(s.Width), UINT(s.Height));
                if (!device) return 1;
                log = OpenStrokeLog(device);
                if (!log) {
                    std::fprintf(stderr, "preview: the D3DX stand-in's stroke log is missing\n");
                    return 1;
                }
            } else if (s.Width != width || s.Height != height) {
                GameBackBuffer()->Release();
                GameBackBuffer() = nullptr;
                if (!ResetThroughGame(device, s.Width, s.Height)) {
                    std::fprintf(stderr, "preview: device reset to %dx%d failed\n", s.Width,
                                 s.Height);
                    return 1;
                }
            }
            width = s.Width;
            height = s.Height;
            GameDevice() = device;
            if (!GameBackBuffer()) GameBackBuffer() = RealBackBuffer(device);
            device->SetTransform(D3DTS_VIEW, &s.View);
            device->SetTransform(D3DTS_PROJECTION, &s.Projection);

            device->BeginScene();
            if (s.HasPreviousVelocity) {
                // An unrecorded frame first, so that the load factor shows the change.
                PutState(s, s.PreviousVelocity.data());
                GameRunDrawInterface();
            }
            DrawScene(device, s);
            PutState(s, s.Velocity.data());
            log->Mark();
            GameRunDrawInterface();
            device->EndScene();

            Image image;
            if (!ReadBackBuffer(device, &image) || !WritePng(picture.c_str(), image)) {
                std::fprintf(stderr, "preview: cannot write %s\n", picture.c_str());
                ++failures;
                continue;
            }
            if (!job.Strokes.empty() && !WriteStrokes(job.Strokes, log)) {
                std::fprintf(stderr, "preview: cannot write %s\n", job.Strokes.c_str());
                ++failures;
                continue;
            }
            std::printf("preview: %s -> %s (%u strokes)\n", job.State.c_str(), picture.c_str(),
                        log->Count());
        }
    }
    std::fflush(stdout);
    // The process ends here; the game would keep the plug-in loaded too.
    return failures ? 1 : 0;
}

} // namespace

extern "C" __declspec(dllexport) int ModuleMain(int argc, char** argv) {
    std::vector<Job> jobs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "-o" || a == "--strokes" || a == "--sequence") && i + 1 < argc) {
            if (jobs.empty()) break;
            if (a == "--sequence")
                jobs.back().Sequence = std::max(1, std::atoi(argv[++i]));
            else
                (a == "-o" ? jobs.back().Picture : jobs.back().Strokes) = argv[++i];
        } else if (a[0] != '-') {
            jobs.push_back({a, "", "", 0});
        } else {
            jobs.clear();
            break;
        }
    }
    bool usable = !jobs.empty();
    for (const Job& j : jobs)
        usable = usable && !j.Picture.empty();
    if (!usable) {
        std::fprintf(stderr, "usage: preview STATE.json -o OUT.png [--strokes OUT.jsonl] ...\n");
        return 2;
    }
    // Every state is checked before anything is drawn or written.
    for (const Job& job : jobs) {
        FlightState s;
        std::string error;
        if (!LoadFlightState(job.State, &s, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }
    return Render(jobs);
}
