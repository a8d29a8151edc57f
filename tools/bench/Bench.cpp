// The cost of a frame: DrawDisplay entered through the game's own DrawInterface site, on the
// recording device with logging off and a line drawer that only counts, so that what is timed
// is the display's own work. Prints a table and writes the figures as JSON.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/HostInterface.h"
#include "host/Patching.h"
#include "render/DrawDisplay.h"
#include "render/Resources.h"
#include "symbology/Groups.h"
#include "symbology/Symbology.h"
#include "testing/d3dx/StrokeLog.h"
#include "testing/gamemodel/GameModel.h"
#include "testing/recdevice/RecordingDevice.h"

// ---- heap allocations made by anything linked into this module ------------------------------

namespace {
volatile long Allocations = 0;
// Where the first allocations of a traced stretch came from, for finding them in the map file.
bool Tracing = false;
void* Callers[16];
int CallerCount = 0;
void Note(void* caller) {
    ++Allocations;
    if (Tracing && CallerCount < 16) Callers[CallerCount++] = caller;
}
} // namespace

extern "C" {
void* __real_malloc(size_t);
void* __real_calloc(size_t, size_t);
void* __real_realloc(void*, size_t);
void* __wrap_malloc(size_t n) {
    Note(__builtin_return_address(0));
    return __real_malloc(n);
}
void* __wrap_calloc(size_t n, size_t size) {
    Note(__builtin_return_address(0));
    return __real_calloc(n, size);
}
void* __wrap_realloc(void* p, size_t n) {
    Note(__builtin_return_address(0));
    return __real_realloc(p, n);
}
}

// Replacing the global allocation functions counts every new of this module, libstdc++'s own
// included; they take their memory past the malloc counter so that nothing is counted twice.
void* operator new(size_t n) {
    Note(__builtin_return_address(0));
    if (void* p = __real_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    return operator new(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    Note(__builtin_return_address(0));
    return __real_malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept {
    return operator new(n, t);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace {

// ---- the game's frame, entered at its own site ---------------------------------------------

// The site's call returns to 0x704F66, where the game model keeps a resume stub for its
// register harness. For timing, that stub's first byte becomes a return, so that the site can
// be called like a function: the game's own call instruction, DrawDisplay, back.
using SiteEntry = uint8_t (*)();
const SiteEntry EnterSite = reinterpret_cast<SiteEntry>(HostDrawInterfaceSite);

class DirectReturn {
  public:
    DirectReturn() : at_(reinterpret_cast<uint8_t*>(HostDrawInterfaceResume)), saved_(*at_) {
        const uint8_t ret = 0xC3;
        PatchBytes(HostDrawInterfaceResume, &ret, 1);
        FlushInstructionCache(GetCurrentProcess(), at_, 1);
    }
    ~DirectReturn() {
        PatchBytes(HostDrawInterfaceResume, &saved_, 1);
        FlushInstructionCache(GetCurrentProcess(), at_, 1);
    }

  private:
    uint8_t* at_;
    uint8_t saved_;
};

double TicksPerMicrosecond() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart) / 1e6;
}

int64_t Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

struct Spread {
    double Median, P99;
};

Spread Percentiles(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&v](double q) {
        size_t i = std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5));
        return v[i];
    };
    return {at(0.5), at(0.99)};
}

// Each sample is one frame, or the mean of `batch` frames for frames too short for the clock.
std::vector<double> TimeFrames(int samples, int batch, double ticksPerUs) {
    std::vector<double> us;
    us.reserve(samples);
    for (int s = 0; s < samples; ++s) {
        const int64_t t0 = Now();
        for (int i = 0; i < batch; ++i)
            EnterSite();
        const int64_t t1 = Now();
        us.push_back(double(t1 - t0) / ticksPerUs / batch);
    }
    return us;
}

// ---- the flight state ----------------------------------------------------------------------

// A camera behind and above the jet, looking along +y; a 70 degree vertical field of view.
void SetCamera(RecordingDevice* device, float aspect) {
    D3DMATRIX view = {};
    const float ex = 0, ey = -25, ez = 306;
    view._11 = 1;
    view._32 = 1;
    view._23 = 1;
    view._41 = -ex;
    view._42 = -ez;
    view._43 = -ey;
    view._44 = 1;
    device->SetTransform(D3DTS_VIEW, &view);

    const float zn = 0.5f, zf = 3000, yScale = 1 / std::tan(0.5f * 70 * 3.14159265f / 180);
    D3DMATRIX projection = {};
    projection._11 = yScale / aspect;
    projection._22 = yScale;
    projection._33 = zf / (zf - zn);
    projection._34 = 1;
    projection._43 = -zn * zf / (zf - zn);
    device->SetTransform(D3DTS_PROJECTION, &projection);
}

// Level flight at 300 m, 100 m/s, climbing a little, in a light wind; ground found below.
void Fly() {
    GameFlyJet();
    GameSetPosition(0, 0, 300);
    GameSetVelocity(0, 100, 3);
    GameTimeStep() = 1.0f / 30;
    GameWind()[0] = 2;
    GameWind()[1] = 1;
    GameWind()[2] = 0;
    GameInterfaceByte() = 0x5A;
    GameTerrainScript().GroundFound = true;
    GameTerrainScript().Ground = 12;
}

// `occupied` slots: slot 0 the player's jet, the others ahead of it and within the view.
void SetTraffic(int occupied) {
    GameSetPool(std::max(occupied, 1));
    if (occupied == 0) GamePool()->Flags[0] = HostSlotEmpty;
    for (int i = 1; i < occupied; ++i) {
        HostMatrix* m = GameMatrixRecord(i);
        m->Right = {1, 0, 0, 0};
        m->Forward = {0, 1, 0, 0};
        m->Up = {0, 0, 1, 0};
        m->Position = {float((i * 37) % 600 - 300), float(400 + (i * 53) % 1500),
                       float(250 + (i * 11) % 120), 1};
        GameVehicleSlot(i)->Model = 400;
    }
}

// A line drawer that does nothing at all: the frame timed with it is the display's own work
// and its device calls, without the stand-in's clipping and mapping of every stroke.
class NullLine : public ID3DXLine {
  public:
    HRESULT WINAPI QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 1; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
    HRESULT WINAPI Begin() override { return S_OK; }
    HRESULT WINAPI Draw(const D3DXVECTOR2*, DWORD, D3DCOLOR) override { return S_OK; }
    HRESULT WINAPI DrawTransform(const D3DXVECTOR3*, DWORD, const D3DXMATRIX*, D3DCOLOR) override {
        return S_OK;
    }
    HRESULT WINAPI SetPattern(DWORD) override { return S_OK; }
    DWORD WINAPI GetPattern() override { return 0; }
    HRESULT WINAPI SetPatternScale(FLOAT) override { return S_OK; }
    FLOAT WINAPI GetPatternScale() override { return 1; }
    HRESULT WINAPI SetWidth(FLOAT) override { return S_OK; }
    FLOAT WINAPI GetWidth() override { return 1; }
    HRESULT WINAPI SetAntialias(WINBOOL) override { return S_OK; }
    WINBOOL WINAPI GetAntialias() override { return TRUE; }
    HRESULT WINAPI SetGLLines(WINBOOL) override { return S_OK; }
    WINBOOL WINAPI GetGLLines() override { return FALSE; }
    HRESULT WINAPI End() override { return S_OK; }
    HRESULT WINAPI OnLostDevice() override { return S_OK; }
    HRESULT WINAPI OnResetDevice() override { return S_OK; }
};

// ---- where the time goes ---------------------------------------------------------------------

// The pieces of a drawn frame, each timed alone over many runs, with the line drawer doing
// nothing: the symbol groups in drawing order, the geometry, the resources check.
struct Piece {
    const char* Name;
    double Us;
};

template <class F> double MeanUs(F f, int runs, double ticksPerUs) {
    const int64_t t0 = Now();
    for (int i = 0; i < runs; ++i)
        f();
    return double(Now() - t0) / ticksPerUs / runs;
}

std::vector<Piece> Breakdown(IDirect3DDevice9* device, double ticksPerUs) {
    const HostVehicle* v = GamePlayerRecord()->Vehicle;
    DisplayGeometry g{};
    BuildDisplayGeometry(device, v, &g);
    TextBuffer text;
    const Altitudes alt = MeasureAltitudes(v->Matrix);
    const int n = 2000;
    std::vector<Piece> out;
    out.push_back({"EnsureResources", MeanUs([] { EnsureResources(); }, n, ticksPerUs)});
    out.push_back({"BuildDisplayGeometry",
                   MeanUs([&] { BuildDisplayGeometry(device, v, &g); }, n, ticksPerUs)});
    out.push_back(
        {"flight path marker", MeanUs([&] { DrawFlightPathMarker(&g, v); }, n, ticksPerUs)});
    out.push_back({"WARN cue", MeanUs([&] { DrawWarnCue(&g, v); }, n, ticksPerUs)});
    out.push_back({"boresight cross", MeanUs([&] { DrawBoresightCross(&g); }, n, ticksPerUs)});
    out.push_back(
        {"air data group", MeanUs([&] { DrawAirDataGroup(&g, v, text); }, n, ticksPerUs)});
    out.push_back({"altitude measure (2 host calls)",
                   MeanUs([&] { MeasureAltitudes(v->Matrix); }, n, ticksPerUs)});
    out.push_back(
        {"altitude group", MeanUs([&] { DrawAltitudeGroup(&g, alt, text); }, n, ticksPerUs)});
    out.push_back({"LOW cue", MeanUs([&] { DrawLowCue(&g, v, alt); }, n, ticksPerUs)});
    out.push_back({"pitch ladder", MeanUs([&] { DrawPitchLadder(&g, v, text); }, n, ticksPerUs)});
    out.push_back({"heading group", MeanUs([&] { DrawHeadingGroup(&g, text); }, n, ticksPerUs)});
    out.push_back({"target boxes (20 slots)", MeanUs([&] { DrawTargetBoxes(&g); }, n, ticksPerUs)});
    out.push_back({"gun paths", MeanUs([&] { DrawGunPaths(&g, v); }, n, ticksPerUs)});
    return out;
}

// ---- per-frame counts ------------------------------------------------------------------------

struct FrameCounts {
    UINT DrawTransforms;
    int DeviceCalls;     // the display's own
    int LineDrawerCalls; // made by the line drawer on the display's behalf
    long Allocations;
    uint32_t StackBytes;
    bool AlRight;
};

// Calls the stand-in line drawer makes on the device: fixed per Begin/End, and per stroke.
void LineDrawerCost(RecordingDevice* device, int* fixed, int* perStroke) {
    const D3DXVECTOR3 points[2] = {{0, 0, 0.5f}, {0.1f, 0.1f, 0.5f}};
    const D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    device->SetLogging(true);
    device->ClearCalls();
    LineDrawer->Begin();
    LineDrawer->End();
    *fixed = int(device->Calls().size());
    device->ClearCalls();
    LineDrawer->Begin();
    for (int i = 0; i < 10; ++i)
        LineDrawer->DrawTransform(points, 2, &identity, 0xFFFFFFFF);
    LineDrawer->End();
    *perStroke = (int(device->Calls().size()) - *fixed) / 10;
    device->ClearCalls();
    device->SetLogging(false);
}

FrameCounts CountOneFrame(RecordingDevice* device, IStrokeLog* strokes) {
    int fixed = 0, perStroke = 0;
    LineDrawerCost(device, &fixed, &perStroke);

    FrameCounts c{};
    device->SetLogging(true);
    device->ClearCalls();
    strokes->Mark();
    GameRunResult run;
    const uint8_t al = GameRunDrawInterface(&run);
    c.DrawTransforms = strokes->CallCount();
    const int all = int(device->Calls().size());
    c.LineDrawerCalls = fixed + perStroke * int(c.DrawTransforms);
    c.DeviceCalls = all - c.LineDrawerCalls;
    c.StackBytes = run.StackUsed;
    c.AlRight = al == GameInterfaceByte();
    device->ClearCalls();
    device->SetLogging(false);

    // Allocations over many frames, logging off as in the timed runs.
    strokes->Mark();
    DirectReturn direct;
    const long before = Allocations;
    Tracing = true;
    for (int i = 0; i < 100; ++i)
        EnterSite();
    Tracing = false;
    c.Allocations = Allocations - before;
    return c;
}

std::string Machine() {
    std::string cpu = "unknown CPU";
    if (FILE* f = std::fopen("Z:\\proc\\cpuinfo", "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "model name", 10) != 0) continue;
            const char* colon = std::strchr(line, ':');
            if (!colon) continue;
            cpu = colon + 1;
            cpu.erase(0, cpu.find_first_not_of(" \t"));
            cpu.erase(cpu.find_last_not_of(" \t\r\n") + 1);
            break;
        }
        std::fclose(f);
    }
    SYSTEM_INFO si;
    GetNativeSystemInfo(&si);
    char text[700];
    std::snprintf(text, sizeof text,
                  "i686 Windows code under Wine and qemu-user emulation on x86_64 %s, %lu "
                  "processors shared; times are inflated by the emulation",
                  cpu.c_str(), static_cast<unsigned long>(si.dwNumberOfProcessors));
    return text;
}

std::string JsonEscaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

} // namespace

extern "C" __declspec(dllexport) int ModuleMain(int argc, char** argv) {
    const char* outPath = argc > 1 ? argv[1] : "out/bench.json";
    const int drawnFrames = argc > 2 ? std::atoi(argv[2]) : 10000;
    const double ticksPerUs = TicksPerMicrosecond();

    GameReset();
    constexpr UINT width = 1920, height = 1080;
    RecordingDevice* device = CreateRecordingDevice(width, height);
    device->SetLogging(false);
    GameDevice() = device;
    GameBackBuffer() = device->BackBuffer();
    SetCamera(device, float(width) / height);
    IStrokeLog* strokes = OpenStrokeLog(device);
    if (!strokes) {
        std::fprintf(stderr, "bench: the D3DX stand-in was not loaded\n");
        return 2;
    }
    strokes->Reset();
    strokes->SetRasterize(FALSE);
    strokes->SetLogging(FALSE);

    if (!WriteBranchPatch(HostDrawInterfaceSite, 0xE8, reinterpret_cast<uintptr_t>(&DrawDisplay),
                          5)) {
        std::fprintf(stderr, "bench: cannot patch the DrawInterface site\n");
        return 2;
    }

    Fly();
    SetTraffic(20);
    // The game model records every call of the terrain functions in a vector; grown once here
    // and kept (GameReset clears it but keeps its capacity), its growth is not counted below.
    for (int i = 0; i < 300; ++i)
        GameRunDrawInterface();
    GameReset();
    GameDevice() = device;
    GameBackBuffer() = device->BackBuffer();
    WriteBranchPatch(HostDrawInterfaceSite, 0xE8, reinterpret_cast<uintptr_t>(&DrawDisplay), 5);
    Fly();
    SetTraffic(20);
    const FrameCounts counts = CountOneFrame(device, strokes);

    Spread drawn, closed, withoutLine;
    std::vector<Piece> pieces;
    struct SlotFigure {
        int Occupied;
        double MedianUs;
    };
    std::vector<SlotFigure> slots;
    {
        DirectReturn direct;
        for (int i = 0; i < 200; ++i)
            EnterSite();
        drawn = Percentiles(TimeFrames(drawnFrames, 1, ticksPerUs));

        NullLine nothing;
        ID3DXLine* line = LineDrawer;
        LineDrawer = &nothing;
        withoutLine = Percentiles(TimeFrames(2000, 1, ticksPerUs));
        pieces = Breakdown(device, ticksPerUs);
        LineDrawer = line;

        const int sizes[] = {0, 100, 1000, 10000};
        const int frames[] = {2000, 1000, 200, 30};
        for (int k = 0; k < 4; ++k) {
            SetTraffic(sizes[k]);
            EnterSite();
            slots.push_back({sizes[k], Percentiles(TimeFrames(frames[k], 1, ticksPerUs)).Median});
        }

        // On foot: no vehicle. Batches of 100 frames, the clock being coarse at this scale.
        SetTraffic(20);
        GamePlayerRecord()->Vehicle = nullptr;
        GamePlayerRecord()->State = 1;
        std::vector<double> us = TimeFrames(drawnFrames, 100, ticksPerUs);
        for (double& u : us)
            u *= 1000;
        closed = Percentiles(us);
    }

    // Least squares over the four pool sizes.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const SlotFigure& s : slots) {
        sx += s.Occupied;
        sy += s.MedianUs;
        sxx += double(s.Occupied) * s.Occupied;
        sxy += s.Occupied * s.MedianUs;
    }
    const double n = double(slots.size());
    const double perSlotNs = (n * sxy - sx * sy) / (n * sxx - sx * sx) * 1000;
    const double budgetRatio = drawn.Median / 16667.0;
    const std::string machine = Machine();

    std::printf("Vantor frame cost, %d frames per figure unless noted\n", drawnFrames);
    std::printf("  %-44s %12s %12s\n", "", "median", "p99");
    std::printf("  %-44s %9.2f us %9.2f us\n", "drawn frame, 20 occupied slots", drawn.Median,
                drawn.P99);
    std::printf("  %-44s %9.2f us %9.2f us\n", "  the same with a line drawer doing nothing",
                withoutLine.Median, withoutLine.P99);
    double inPieces = 0;
    for (const Piece& p : pieces) {
        std::printf("      %-40s %9.2f us\n", p.Name, p.Us);
        inPieces += p.Us;
    }
    std::printf("      %-40s %9.2f us\n", "frame minus the pieces (timed alone, warm)",
                withoutLine.Median - inPieces);
    std::printf("  %-44s %9.1f ns %9.1f ns\n", "closed gate (on foot), batches of 100",
                closed.Median, closed.P99);
    for (const SlotFigure& s : slots)
        std::printf("  %-44s %9.2f us\n",
                    ("drawn frame, " + std::to_string(s.Occupied) + " occupied slots").c_str(),
                    s.MedianUs);
    std::printf("  %-44s %9.1f ns\n", "cost per occupied slot (least squares)", perSlotNs);
    std::printf("  per drawn frame: %u DrawTransform calls, %d device calls by the display "
                "(+%d by the line drawer), %ld heap allocations, %u stack bytes, AL %s\n",
                counts.DrawTransforms, counts.DeviceCalls, counts.LineDrawerCalls,
                counts.Allocations / 100, counts.StackBytes, counts.AlRight ? "right" : "WRONG");
    for (int i = 0; i < CallerCount; ++i)
        std::printf("  allocation %d from %p (bench.dll at %p)\n", i, Callers[i],
                    static_cast<void*>(GetModuleHandleA("bench.dll")));
    std::printf("  budget ratio (median drawn frame / 16.7 ms): %.5f\n", budgetRatio);
    std::printf("  machine: %s\n", machine.c_str());

    FILE* f = std::fopen(outPath, "w");
    if (!f) {
        std::fprintf(stderr, "bench: cannot write %s\n", outPath);
        return 1;
    }
    std::fprintf(f, "{\n  \"drawn_frame_us\": {\"median\": %.3f, \"p99\": %.3f},\n", drawn.Median,
                 drawn.P99);
    std::fprintf(f, "  \"closed_gate_ns\": {\"median\": %.2f, \"p99\": %.2f},\n", closed.Median,
                 closed.P99);
    std::fprintf(f, "  \"slots\": [");
    for (size_t i = 0; i < slots.size(); ++i)
        std::fprintf(f, "%s{\"occupied\": %d, \"median_us\": %.3f}", i ? ", " : "",
                     slots[i].Occupied, slots[i].MedianUs);
    std::fprintf(f, "],\n  \"per_slot_ns\": %.2f,\n", perSlotNs);
    std::fprintf(f,
                 "  \"per_frame\": {\"draw_transform_calls\": %u, \"device_calls\": %d, "
                 "\"heap_allocations\": %.2f, \"stack_bytes\": %u},\n",
                 counts.DrawTransforms, counts.DeviceCalls, counts.Allocations / 100.0,
                 counts.StackBytes);
    std::fprintf(f, "  \"machine\": \"%s\",\n  \"budget_ratio\": %.6f\n}\n",
                 JsonEscaped(machine).c_str(), budgetRatio);
    std::fclose(f);
    std::printf("wrote %s\n", outPath);

    ReleaseResources();
    strokes->Reset();
    strokes->Release();
    GameDevice() = nullptr;
    GameBackBuffer() = nullptr;
    device->Release();
    std::fflush(stdout);
    return counts.AlRight ? 0 : 1;
}
