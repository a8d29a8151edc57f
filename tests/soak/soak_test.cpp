// The real plug-in, attached in the simulated game, through random frames, device faults and
// resets, and through random attaches; every frame is checked. A failure names the seed and the
// frame: `make soak SEED=... FRAMES=...` replays it (each frame's randomness depends only on the
// seed and the frame's number, so --first=N starts right at frame N).
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "Internal.h" // the recording device's pending failures, to count those that fired
#include "testing/d3dx/StrokeLog.h"
#include "testing/gamemodel/GameModel.h"
#include "testing/recdevice/RecordingDevice.h"

namespace {

// Set while game code runs, so that only faults there are the soak's to report.
volatile bool GuardActive = false;

constexpr DWORD StackGuardFault = 0xE0535447; // raised by GuardFail.cpp
constexpr DWORD HangFault = 0xE048414E;       // a frame that did not come back in time

// ---- arguments -------------------------------------------------------------------------------

struct Options {
    uint64_t Seed = 20261211;
    long Frames = 100000;
    long First = 0;
    bool KeepGoing = false;
    int Attaches = 500;
    // Kinds of game state left out, to look past a failure already known: "matrix" (never a
    // null matrix pointer).
    std::string Spare;
    // The plug-in under test, beside this module: the build's own, or vantor_guarded.asi, the
    // same sources built with stack guards so that a write past a local buffer is caught.
    std::string Plugin = "vantor.asi";
};
Options TheOptions;

Options ReadOptions() {
    Options o;
    if (const char* spare = std::getenv("VANTOR_SOAK_SPARE")) o.Spare = spare;
    for (int i = 1; i < __argc; ++i) {
        const char* a = __argv[i];
        auto value = [a](const char* name) -> const char* {
            size_t n = std::strlen(name);
            return std::strncmp(a, name, n) == 0 ? a + n : nullptr;
        };
        if (const char* v = value("--seed=")) o.Seed = std::strtoull(v, nullptr, 0);
        if (const char* v = value("--frames=")) o.Frames = std::strtol(v, nullptr, 0);
        if (const char* v = value("--first=")) o.First = std::strtol(v, nullptr, 0);
        if (const char* v = value("--attaches=")) o.Attaches = std::atoi(v);
        if (const char* v = value("--spare=")) o.Spare = v;
        if (const char* v = value("--plugin=")) o.Plugin = v;
        if (std::strcmp(a, "--keep-going") == 0) o.KeepGoing = true;
    }
    return o;
}

// ---- randomness ------------------------------------------------------------------------------

// splitmix64: small, fast, and the same everywhere.
struct Rng {
    uint64_t S;
    explicit Rng(uint64_t seed) : S(seed) {}
    uint64_t Next() {
        uint64_t z = (S += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return uint32_t(Next() % n); }
    uint32_t Bits() { return uint32_t(Next()); }
    bool Chance(double p) { return double(Next() >> 11) * (1.0 / 9007199254740992.0) < p; }
    float Uniform(float lo, float hi) {
        return lo + (hi - lo) * float(double(Next() >> 40) / 16777216.0);
    }
};

Rng StreamFor(uint64_t seed, uint64_t stream, long index) {
    Rng r(seed ^ (stream << 56) ^ (uint64_t(index) * 0xD1342543DE82EF95ull));
    r.Next();
    return r;
}

float FromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// How wild a frame's floats are: most frames are ordinary flight, some have a few bad values,
// a few are mostly bad.
struct FloatMix {
    double Special;
    Rng* R;
    float operator()(float ordinary) {
        if (!R->Chance(Special)) return ordinary;
        switch (R->Below(11)) {
        case 0:
            return 0.0f;
        case 1:
            return -0.0f;
        case 2:
            return std::numeric_limits<float>::quiet_NaN();
        case 3:
            return FromBits(0xFFC00001); // a negative NaN with payload
        case 4:
            return std::numeric_limits<float>::infinity();
        case 5:
            return -std::numeric_limits<float>::infinity();
        case 6:
            return std::numeric_limits<float>::max();
        case 7:
            return -1e30f;
        case 8:
            return 1e-40f; // denormal
        case 9:
            return -std::numeric_limits<float>::denorm_min();
        default:
            return FromBits(R->Bits());
        }
    }
};

// ---- faults ----------------------------------------------------------------------------------

struct Fault {
    DWORD Code;
    void* Address;
    ULONG_PTR Info[2];
};
Fault LastFault;

// Where the soak is, for a report from the exception handler or the watchdog.
struct Whereabouts {
    uint64_t Seed;
    long Frame;
    const std::string* Scene;
};
Whereabouts Now;
std::string Describe(const Fault& f);

// Resuming the soak after a fault is not possible here: Wine under qemu-user does not survive
// continuing from a fault for long. So the fault is reported with its seed and frame, and the
// process ends with a failure code.
void ReportFaultAndEnd() {
    std::printf("soak FAILURE seed %llu frame %ld: %s\n  frame: %s\n",
                static_cast<unsigned long long>(Now.Seed), Now.Frame, Describe(LastFault).c_str(),
                Now.Scene ? Now.Scene->c_str() : "");
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
}

LONG CALLBACK CatchFault(EXCEPTION_POINTERS* e) {
    if (!GuardActive) return EXCEPTION_CONTINUE_SEARCH;
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    switch (r->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_BREAKPOINT:
    case StackGuardFault:
        break;
    default:
        return EXCEPTION_CONTINUE_SEARCH;
    }
    LastFault = {r->ExceptionCode,
                 r->ExceptionAddress,
                 {r->NumberParameters > 0 ? r->ExceptionInformation[0] : 0,
                  r->NumberParameters > 1 ? r->ExceptionInformation[1] : 0}};
    ReportFaultAndEnd();
    return EXCEPTION_CONTINUE_SEARCH;
}

class FaultCatcher {
  public:
    FaultCatcher() : handle_(AddVectoredExceptionHandler(1, &CatchFault)) {}
    ~FaultCatcher() { RemoveVectoredExceptionHandler(handle_); }

  private:
    void* handle_;
};

// A frame that runs for seconds is stuck: the watchdog takes the soak's thread out of it the
// way the exception handler would, noting where it was.
class Watchdog {
  public:
    explicit Watchdog(DWORD limitMs) : limit_(limitMs) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &target_, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
        thread_ = CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr);
    }
    ~Watchdog() {
        stop_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(target_);
    }
    void Started() { started_ = GetTickCount(); }

  private:
    static DWORD WINAPI Run(void* p) {
        auto* w = static_cast<Watchdog*>(p);
        while (!w->stop_) {
            Sleep(200);
            if (!GuardActive || GetTickCount() - w->started_ < w->limit_) continue;
            SuspendThread(w->target_);
            CONTEXT c{};
            c.ContextFlags = CONTEXT_CONTROL;
            if (GuardActive && GetThreadContext(w->target_, &c)) {
                LastFault = {HangFault, reinterpret_cast<void*>(c.Eip), {0, 0}};
                ReportFaultAndEnd();
            }
            ResumeThread(w->target_);
            w->started_ = GetTickCount();
        }
        return 0;
    }
    DWORD limit_;
    HANDLE target_ = nullptr, thread_ = nullptr;
    volatile bool stop_ = false;
    volatile DWORD started_ = 0;
};

std::string ModuleOf(const void* address) {
    HMODULE m = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &m))
        return "?";
    char path[MAX_PATH] = {};
    GetModuleFileNameA(m, path, MAX_PATH);
    std::string s = path;
    char at[64];
    std::snprintf(at, sizeof at, "+0x%X", unsigned(uintptr_t(address) - uintptr_t(m)));
    return s.substr(s.find_last_of("\\/") + 1) + at;
}

std::string Describe(const Fault& f) {
    char text[200];
    if (f.Code == StackGuardFault)
        std::snprintf(text, sizeof text, "stack guard smashed");
    else if (f.Code == HangFault)
        std::snprintf(text, sizeof text, "no return within the time limit; stuck at %p (%s)",
                      f.Address, ModuleOf(f.Address).c_str());
    else
        std::snprintf(text, sizeof text, "exception 0x%08lX at %p (%s), %s 0x%08lX",
                      static_cast<unsigned long>(f.Code), f.Address, ModuleOf(f.Address).c_str(),
                      f.Info[0] ? "writing" : "reading", static_cast<unsigned long>(f.Info[1]));
    return text;
}

// ---- the plug-in -----------------------------------------------------------------------------

void ThisModule() {}

std::string PluginPath() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &self);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of("\\/") + 1) + TheOptions.Plugin;
}

bool InModule(HMODULE module, uintptr_t address) {
    auto base = reinterpret_cast<uintptr_t>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    return address >= base && address < base + nt->OptionalHeader.SizeOfImage;
}

// ---- one failure report per kind -------------------------------------------------------------

struct Failures {
    Failures(uint64_t seed, bool keepGoing) : Seed(seed), KeepGoing(keepGoing) {}
    uint64_t Seed;
    bool KeepGoing;
    long Count = 0;
    std::map<std::string, long> Kinds; // first frame of each kind
    std::string Scene;                 // what the current frame was made of

    // True when the run should stop.
    bool Report(long frame, const std::string& kind, const std::string& detail) {
        ++Count;
        if (Kinds.emplace(kind, frame).second) {
            std::printf("soak FAILURE seed %llu frame %ld: %s: %s\n  frame: %s\n",
                        static_cast<unsigned long long>(Seed), frame, kind.c_str(), detail.c_str(),
                        Scene.c_str());
            std::fflush(stdout);
            ADD_FAILURE() << "seed " << Seed << " frame " << frame << ": " << kind << ": " << detail
                          << "\n  frame: " << Scene;
        }
        return !KeepGoing;
    }
};

// ---- the device state the pass saves, and the references it borrows -------------------------

const D3DRENDERSTATETYPE SavedRenderStates[] = {D3DRS_ZENABLE,
                                                D3DRS_ZWRITEENABLE,
                                                D3DRS_SRCBLEND,
                                                D3DRS_DESTBLEND,
                                                D3DRS_CULLMODE,
                                                D3DRS_ZFUNC,
                                                D3DRS_BLENDOP,
                                                D3DRS_ALPHABLENDENABLE,
                                                D3DRS_ALPHATESTENABLE,
                                                D3DRS_FOGENABLE,
                                                D3DRS_STENCILENABLE,
                                                D3DRS_SCISSORTESTENABLE,
                                                D3DRS_SEPARATEALPHABLENDENABLE,
                                                D3DRS_COLORWRITEENABLE,
                                                D3DRS_SRGBWRITEENABLE,
                                                D3DRS_FILLMODE,
                                                D3DRS_LIGHTING};
const D3DSAMPLERSTATETYPE SavedSamplerStates[] = {
    D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER, D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV};
const D3DTEXTURESTAGESTATETYPE SavedStage0[] = {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                                D3DTSS_ALPHAOP};
const D3DTEXTURESTAGESTATETYPE SavedStage1[] = {D3DTSS_COLOROP, D3DTSS_ALPHAOP};
constexpr int RenderStateCount = sizeof SavedRenderStates / sizeof SavedRenderStates[0];

struct DeviceSnapshot {
    IDirect3DSurface9* RenderTarget;
    IDirect3DBaseTexture9* Texture;
    DWORD Fvf;
    IDirect3DVertexDeclaration9* Declaration;
    DWORD States[RenderStateCount];
    StreamSource Stream;
    IDirect3DVertexShader9* VertexShader;
    IDirect3DPixelShader9* PixelShader;
    DWORD Sampler[5], Stage0[4], Stage1[2];
    IDirect3DSurface9* DepthStencil;
    D3DVIEWPORT9 Viewport;
    D3DMATRIX View, Projection, World;
};

DeviceSnapshot Snap(const RecordingDevice* d) {
    DeviceSnapshot s;
    std::memset(&s, 0, sizeof s);
    s.RenderTarget = d->PeekRenderTarget(0);
    s.Texture = d->PeekTexture(0);
    s.Fvf = d->PeekFVF();
    s.Declaration = d->PeekVertexDeclaration();
    for (int i = 0; i < RenderStateCount; ++i)
        s.States[i] = d->PeekRenderState(SavedRenderStates[i]);
    s.Stream = d->PeekStreamSource(0);
    s.VertexShader = d->PeekVertexShader();
    s.PixelShader = d->PeekPixelShader();
    for (int i = 0; i < 5; ++i)
        s.Sampler[i] = d->PeekSamplerState(0, SavedSamplerStates[i]);
    for (int i = 0; i < 4; ++i)
        s.Stage0[i] = d->PeekTextureStageState(0, SavedStage0[i]);
    for (int i = 0; i < 2; ++i)
        s.Stage1[i] = d->PeekTextureStageState(1, SavedStage1[i]);
    s.DepthStencil = d->PeekDepthStencil();
    s.Viewport = d->PeekViewport();
    s.View = d->PeekTransform(D3DTS_VIEW);
    s.Projection = d->PeekTransform(D3DTS_PROJECTION);
    s.World = d->PeekTransform(D3DTS_WORLD);
    return s;
}

// What differs, empty when nothing does.
std::string Differences(const DeviceSnapshot& a, const DeviceSnapshot& b) {
    std::string out;
    auto note = [&out](bool same, const std::string& what, uint32_t before, uint32_t after) {
        if (same) return;
        char text[120];
        std::snprintf(text, sizeof text, "%s 0x%X -> 0x%X; ", what.c_str(), before, after);
        out += text;
    };
    auto raw = [](const void* p) { return uint32_t(uintptr_t(p)); };
    note(a.RenderTarget == b.RenderTarget, "render target 0", raw(a.RenderTarget),
         raw(b.RenderTarget));
    note(a.Texture == b.Texture, "texture 0", raw(a.Texture), raw(b.Texture));
    note(a.Fvf == b.Fvf, "FVF", a.Fvf, b.Fvf);
    note(a.Declaration == b.Declaration, "declaration", raw(a.Declaration), raw(b.Declaration));
    for (int i = 0; i < RenderStateCount; ++i)
        note(a.States[i] == b.States[i], "render state " + std::to_string(SavedRenderStates[i]),
             a.States[i], b.States[i]);
    note(a.Stream.Buffer == b.Stream.Buffer, "stream 0 buffer", raw(a.Stream.Buffer),
         raw(b.Stream.Buffer));
    note(a.Stream.Offset == b.Stream.Offset, "stream 0 offset", a.Stream.Offset, b.Stream.Offset);
    note(a.Stream.Stride == b.Stream.Stride, "stream 0 stride", a.Stream.Stride, b.Stream.Stride);
    note(a.VertexShader == b.VertexShader, "vertex shader", raw(a.VertexShader),
         raw(b.VertexShader));
    note(a.PixelShader == b.PixelShader, "pixel shader", raw(a.PixelShader), raw(b.PixelShader));
    for (int i = 0; i < 5; ++i)
        note(a.Sampler[i] == b.Sampler[i],
             "sampler 0 state " + std::to_string(SavedSamplerStates[i]), a.Sampler[i],
             b.Sampler[i]);
    for (int i = 0; i < 4; ++i)
        note(a.Stage0[i] == b.Stage0[i], "stage 0 state " + std::to_string(SavedStage0[i]),
             a.Stage0[i], b.Stage0[i]);
    for (int i = 0; i < 2; ++i)
        note(a.Stage1[i] == b.Stage1[i], "stage 1 state " + std::to_string(SavedStage1[i]),
             a.Stage1[i], b.Stage1[i]);
    note(a.DepthStencil == b.DepthStencil, "depth-stencil", raw(a.DepthStencil),
         raw(b.DepthStencil));
    note(std::memcmp(&a.Viewport, &b.Viewport, sizeof a.Viewport) == 0, "viewport x", a.Viewport.X,
         b.Viewport.X);
    note(std::memcmp(&a.View, &b.View, sizeof a.View) == 0, "view transform", 0, 1);
    note(std::memcmp(&a.Projection, &b.Projection, sizeof a.Projection) == 0,
         "projection transform", 0, 1);
    note(std::memcmp(&a.World, &b.World, sizeof a.World) == 0, "world transform", 0, 1);
    return out;
}

// ---- the game: its own Direct3D objects, memory and device state ----------------------------

struct GameObjects {
    RecordingDevice* Device = nullptr;
    IDirect3DSurface9* Target = nullptr; // a render target of the game's own (default pool)
    IDirect3DTexture9* Textures[2] = {};
    IDirect3DVertexBuffer9* Buffers[2] = {};
    IDirect3DVertexDeclaration9* Declaration = nullptr;
    IDirect3DVertexShader9* VertexShader = nullptr;
    IDirect3DPixelShader9* PixelShader = nullptr;

    std::vector<IUnknown*> Watched() const {
        // Not the device: the plug-in's line drawer holds a reference to it for its life.
        std::vector<IUnknown*> all = {Device->BackBuffer(), Device->AutoDepthStencil(), Declaration,
                                      VertexShader, PixelShader};
        for (auto* t : Textures)
            all.push_back(t);
        for (auto* b : Buffers)
            all.push_back(b);
        if (Target) all.push_back(Target);
        return all;
    }

    void MakeTarget() {
        D3DSURFACE_DESC desc{};
        Device->BackBuffer()->GetDesc(&desc);
        Device->CreateRenderTarget(desc.Width, desc.Height, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0,
                                   FALSE, &Target, nullptr);
    }
    // The game gives its default-pool objects back before it resets, as Direct3D 9 wants.
    void DropTarget() {
        if (Device->PeekRenderTarget(0) == Target) Device->SetRenderTarget(0, Device->BackBuffer());
        if (Target) Target->Release();
        Target = nullptr;
    }

    void Create(UINT width, UINT height) {
        Device = CreateRecordingDevice(width, height);
        Device->SetLogging(false);
        for (auto*& t : Textures)
            Device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
        for (auto*& b : Buffers)
            Device->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, &b, nullptr);
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            D3DDECL_END()};
        Device->CreateVertexDeclaration(elements, &Declaration);
        const DWORD vs[] = {0xFFFE0200, 0x0000FFFF}, ps[] = {0xFFFF0200, 0x0000FFFF};
        Device->CreateVertexShader(vs, &VertexShader);
        Device->CreatePixelShader(ps, &PixelShader);
        MakeTarget();
        GameDevice() = Device;
        GameBackBuffer() = Device->BackBuffer();
    }

    void Destroy() {
        DropTarget();
        for (auto*& t : Textures)
            t->Release();
        for (auto*& b : Buffers)
            b->Release();
        Declaration->Release();
        VertexShader->Release();
        PixelShader->Release();
        GameDevice() = nullptr;
        GameBackBuffer() = nullptr;
        Device->Release();
    }
};

template <class T> T* Pick(Rng& r, T* const* options, int count, double nullChance) {
    if (r.Chance(nullChance)) return nullptr;
    return options[r.Below(count)];
}

DWORD RandomStateValue(Rng& r) {
    switch (r.Below(4)) {
    case 0:
        return r.Below(2);
    case 1:
        return 1 + r.Below(8);
    case 2:
        return r.Below(256);
    default:
        return r.Bits();
    }
}

// The device state the game leaves when it calls its interface drawing.
void DressDevice(Rng& r, GameObjects& g) {
    RecordingDevice* d = g.Device;
    d->SetRenderTarget(0, g.Target && r.Chance(0.3) ? g.Target : d->BackBuffer());
    d->SetDepthStencilSurface(r.Chance(0.8) ? d->AutoDepthStencil() : nullptr);
    IDirect3DBaseTexture9* textures[] = {g.Textures[0], g.Textures[1]};
    d->SetTexture(0, Pick(r, textures, 2, 0.3));
    d->SetVertexDeclaration(r.Chance(0.5) ? g.Declaration : nullptr);
    const DWORD fvfs[] = {0, 0x144, 0x152, 0x002, 0x112};
    d->SetFVF(r.Chance(0.9) ? fvfs[r.Below(5)] : r.Bits());
    for (D3DRENDERSTATETYPE s : SavedRenderStates)
        d->SetRenderState(s, RandomStateValue(r));
    IDirect3DVertexBuffer9* buffers[] = {g.Buffers[0], g.Buffers[1]};
    d->SetStreamSource(0, Pick(r, buffers, 2, 0.3), 4 * r.Below(16), 4 * r.Below(16));
    d->SetVertexShader(r.Chance(0.3) ? g.VertexShader : nullptr);
    d->SetPixelShader(r.Chance(0.3) ? g.PixelShader : nullptr);
    for (D3DSAMPLERSTATETYPE s : SavedSamplerStates)
        d->SetSamplerState(0, s, RandomStateValue(r));
    for (D3DTEXTURESTAGESTATETYPE s : SavedStage0)
        d->SetTextureStageState(0, s, RandomStateValue(r));
    for (D3DTEXTURESTAGESTATETYPE s : SavedStage1)
        d->SetTextureStageState(1, s, RandomStateValue(r));
    D3DSURFACE_DESC desc{};
    d->PeekRenderTarget(0)->GetDesc(&desc);
    D3DVIEWPORT9 vp;
    vp.X = r.Below(desc.Width / 2 + 1);
    vp.Y = r.Below(desc.Height / 2 + 1);
    vp.Width = 1 + r.Below(desc.Width - vp.X);
    vp.Height = 1 + r.Below(desc.Height - vp.Y);
    vp.MinZ = r.Uniform(0, 0.5f);
    vp.MaxZ = r.Uniform(0.5f, 1);
    d->SetViewport(&vp);
}

// A camera near the aircraft and a perspective projection, with the frame's bad values mixed in.
void SetCamera(Rng& r, FloatMix& f, RecordingDevice* d, const HostMatrix* m) {
    const float yaw = r.Uniform(-3.2f, 3.2f), pitch = r.Uniform(-1.5f, 1.5f);
    const float fx = std::cos(pitch) * std::sin(yaw), fy = std::cos(pitch) * std::cos(yaw),
                fz = std::sin(pitch);
    // right = forward x up(0,0,1), normalised; up = right x forward
    float rx = fy, ry = -fx, rz = 0;
    const float rl = std::sqrt(rx * rx + ry * ry) + 1e-6f;
    rx /= rl;
    ry /= rl;
    const float ux = ry * fz - rz * fy, uy = rz * fx - rx * fz, uz = rx * fy - ry * fx;
    float ex = r.Uniform(-3000, 3000), ey = r.Uniform(-3000, 3000), ez = r.Uniform(0, 2000);
    if (m && r.Chance(0.8)) {
        ex = m->Position.x - 20 * fx;
        ey = m->Position.y - 20 * fy;
        ez = m->Position.z - 20 * fz + 4;
    }
    D3DMATRIX v = {};
    v._11 = rx, v._12 = ux, v._13 = fx;
    v._21 = ry, v._22 = uy, v._23 = fy;
    v._31 = rz, v._32 = uz, v._33 = fz;
    v._41 = -(rx * ex + ry * ey + rz * ez);
    v._42 = -(ux * ex + uy * ey + uz * ez);
    v._43 = -(fx * ex + fy * ey + fz * ez);
    v._44 = 1;
    const float fov = r.Uniform(0.3f, 2.0f), aspect = r.Uniform(1.0f, 2.4f);
    const float zn = r.Uniform(0.1f, 2), zf = r.Uniform(500, 10000), ys = 1 / std::tan(fov / 2);
    D3DMATRIX p = {};
    p._11 = ys / aspect;
    p._22 = ys;
    p._33 = zf / (zf - zn);
    p._34 = 1;
    p._43 = -zn * zf / (zf - zn);
    for (float* x = &v._11; x <= &v._44; ++x)
        *x = f(*x);
    for (float* x = &p._11; x <= &p._44; ++x)
        *x = f(*x);
    d->SetTransform(D3DTS_VIEW, &v);
    d->SetTransform(D3DTS_PROJECTION, &p);
}

void RandomPlacement(Rng& r, FloatMix& f, HostMatrix* m) {
    const float yaw = r.Uniform(-3.2f, 3.2f), pitch = r.Uniform(-1.6f, 1.6f),
                roll = r.Uniform(-3.2f, 3.2f);
    const float cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch),
                cr = std::cos(roll), sr = std::sin(roll);
    const float fw[3] = {cp * sy, cp * cy, sp};
    const float rt0[3] = {cy, -sy, 0};
    const float up0[3] = {-sp * sy, -sp * cy, cp};
    float rt[3], up[3];
    for (int i = 0; i < 3; ++i) {
        rt[i] = cr * rt0[i] + sr * up0[i];
        up[i] = cr * up0[i] - sr * rt0[i];
    }
    m->Right = {f(rt[0]), f(rt[1]), f(rt[2]), f(0)};
    m->Forward = {f(fw[0]), f(fw[1]), f(fw[2]), f(0)};
    m->Up = {f(up[0]), f(up[1]), f(up[2]), f(0)};
    m->Position = {f(r.Uniform(-3000, 3000)), f(r.Uniform(-3000, 3000)), f(r.Uniform(-50, 2000)),
                   f(1)};
}

int32_t RandomCount(Rng& r) {
    switch (r.Below(20)) {
    case 0:
        return 0;
    case 1:
        return -1;
    case 2:
        return std::numeric_limits<int32_t>::min();
    case 3:
        return -int32_t(r.Below(100000));
    case 4:
        return r.Chance(0.05) ? int32_t(GameMaxSlots) : 65 + int32_t(r.Below(400));
    default:
        return 1 + int32_t(r.Below(64));
    }
}

uint16_t RandomModel(Rng& r) {
    const uint16_t models[] = {519, 521, 0, 0xFFFF};
    if (r.Chance(0.8)) return HostJetModel;
    return r.Chance(0.8) ? models[r.Below(4)] : uint16_t(r.Bits());
}

int32_t RandomState(Rng& r) {
    const int32_t states[] = {49, 51, 0, -50};
    if (r.Chance(0.8)) return HostPlayerDriving;
    return r.Chance(0.8) ? states[r.Below(4)] : int32_t(r.Bits());
}

// The game's memory for one frame; returns whether the display gate should open.
bool DressGame(Rng& r, GameObjects& g, std::string* scene) {
    static const double Mixes[] = {0, 0, 0, 0, 0, 0.02, 0.05, 0.05, 0.1, 0.5};
    Rng* rp = &r;
    FloatMix f{Mixes[r.Below(10)], rp};
    char text[400];

    HostPlayer* player = GamePlayerRecord();
    const bool hasPlayer = !r.Chance(0.03);
    GamePlayerPointer() = hasPlayer ? player : nullptr;
    player->State = RandomState(r);
    HostVehicle* vehicle = GameVehicleSlot(0);
    const bool hasVehicle = !r.Chance(0.03);
    player->Vehicle = hasVehicle ? vehicle : nullptr;
    vehicle->Model = RandomModel(r);
    const bool hasMatrix = !r.Chance(0.02) || TheOptions.Spare.find("matrix") != std::string::npos;
    vehicle->Matrix = hasMatrix ? GameMatrixRecord(0) : nullptr;
    RandomPlacement(r, f, GameMatrixRecord(0));
    const float speed = r.Uniform(0, 300);
    const HostMatrix* m0 = GameMatrixRecord(0);
    for (int i = 0; i < 3; ++i)
        vehicle->Velocity[i] =
            f(speed * (&m0->Forward.x)[i] * (std::isfinite((&m0->Forward.x)[i]) ? 1 : 0) +
              r.Uniform(-10, 10));

    HostVehiclePool* pool = GamePool();
    const bool hasPool = !r.Chance(0.03);
    GamePoolPointer() = hasPool ? pool : nullptr;
    pool->Slots = reinterpret_cast<uint8_t*>(GameVehicleSlot(0));
    pool->Count = RandomCount(r);
    const int dressed = std::min<int32_t>(pool->Count, 64);
    for (int i = 1; i < dressed; ++i) {
        pool->Flags[i] = r.Chance(0.7) ? uint8_t(r.Below(0x80)) : uint8_t(r.Bits());
        GameVehicleSlot(i)->Matrix =
            r.Chance(0.05) && TheOptions.Spare.find("matrix") == std::string::npos
                ? nullptr
                : GameMatrixRecord(i);
        RandomPlacement(r, f, GameMatrixRecord(i));
    }
    if (dressed > 0) pool->Flags[0] = uint8_t(r.Bits());

    HostGunRecord* guns = GameGunRecord();
    const int gunCase = r.Below(10);
    GameGunPointer() = gunCase == 0 ? nullptr : guns;
    guns->Offsets = gunCase == 1 ? nullptr : GameGunOffsets();
    GameGunOffsets()[0] = f(r.Uniform(-6, 0));
    GameGunOffsets()[HostSecondGunOffset] = f(r.Uniform(0, 6));

    const float steps[] = {1.0f / 30, 1.0f / 60, 1.0f / 20, 0.0f, -1.0f / 30};
    GameTimeStep() = f(r.Chance(0.85) ? steps[r.Below(3)] : steps[3 + r.Below(2)]);
    for (int i = 0; i < 3; ++i)
        GameWind()[i] = f(r.Uniform(-10, 10));
    GameWarnByte() = uint8_t(r.Bits());
    GameInterfaceByte() = uint8_t(r.Bits());
    GameTerrain& t = GameTerrainScript();
    t.GroundFound = r.Chance(0.7);
    t.Ground = f(r.Uniform(-100, 600));
    t.WaterFound = r.Chance(0.3);
    t.Water = f(r.Uniform(-5, 50));

    SetCamera(r, f, g.Device, hasMatrix ? GameMatrixRecord(0) : nullptr);

    std::snprintf(text, sizeof text,
                  "mix %.2f, player %s state %d, vehicle %s model %u matrix %s, pool %s count "
                  "%d, gun record %s, time step %g, WARN 0x%02X, ground %s, water %s",
                  f.Special, hasPlayer ? "set" : "null", int(player->State),
                  hasVehicle ? "set" : "null", unsigned(vehicle->Model), hasMatrix ? "set" : "null",
                  hasPool ? "set" : "null", int(pool->Count),
                  gunCase == 0   ? "null"
                  : gunCase == 1 ? "inner null"
                                 : "set",
                  double(GameTimeStep()), unsigned(GameWarnByte()), t.GroundFound ? "found" : "no",
                  t.WaterFound ? "found" : "no");
    *scene = text;
    return hasPlayer && player->State == HostPlayerDriving && hasVehicle &&
           vehicle->Model == HostJetModel;
}

// ---- runs through the game's sites -----------------------------------------------------------

struct SiteRun {
    uintptr_t Address;
    GameRegisters Registers;
    uint32_t Misalign;
    GameRunResult Result;
};

void RunSite(SiteRun* run) {
    GuardActive = true;
    run->Result = GameRun(run->Address, run->Registers, run->Misalign);
    GuardActive = false;
}

GameRegisters RandomRegisters(Rng& r) {
    return {r.Bits(), r.Bits(), r.Bits(), r.Bits(), 0, r.Bits(), r.Bits(), r.Bits()};
}

bool CalleeSavedKept(const GameRunResult& run) {
    return run.Resume.ebx == run.Entry.ebx && run.Resume.esi == run.Entry.esi &&
           run.Resume.edi == run.Entry.edi && run.Resume.ebp == run.Entry.ebp &&
           run.Resume.esp == run.Entry.esp;
}

const char* const FaultNames[] = {"CreateTexture",      "GetSurfaceLevel",
                                  "CreateVertexBuffer", "Lock",
                                  "D3DXCreateLine",     "D3DXCreateTextureFromFileInMemory"};

struct Tally {
    long Frames = 0, GateOpen = 0, Resets = 0, ResetsLost = 0, Resizes = 0, SizeChecks = 0;
    long Armed[6] = {}, DeviceFired = 0;
    int MaxExtraObjects = 0;
};

} // namespace

// ---- frames ----------------------------------------------------------------------------------

TEST(Soak, RandomFramesFaultsAndResetsThroughThePlugin) {
    const Options o = TheOptions = ReadOptions();
    FaultCatcher catcher;
    Watchdog watchdog(10000);
    Failures failures(o.Seed, o.KeepGoing);
    Tally tally;
    Now = {o.Seed, 0, &failures.Scene};

    GameObjects g;
    g.Create(1280, 720);
    IStrokeLog* strokes = OpenStrokeLog(g.Device);
    ASSERT_NE(strokes, nullptr) << "our d3dx9_43.dll stand-in was not loaded";
    strokes->Reset();
    strokes->SetRasterize(FALSE);
    strokes->SetLogging(FALSE);

    // Slots beyond the ones dressed each frame: placed once, with random flags.
    GameSetPool(GameMaxSlots);
    {
        Rng r = StreamFor(o.Seed, 1, 0);
        FloatMix plain{0, &r};
        for (int i = 64; i < GameMaxSlots; ++i) {
            GamePool()->Flags[i] = uint8_t(r.Bits());
            RandomPlacement(r, plain, GameMatrixRecord(i));
        }
    }

    HMODULE plugin = LoadLibraryA(PluginPath().c_str());
    ASSERT_NE(plugin, nullptr) << "cannot load " << PluginPath();
    ASSERT_EQ(*reinterpret_cast<uint8_t*>(HostDrawInterfaceSite), 0xE8) << "not attached";

    const int baseObjects = g.Device->LiveObjects();
    UINT expectWidth = 0, expectHeight = 0; // a target size the next drawn frame must make
    const uintptr_t resetSites[] = {HostResetSite1, HostResetSite2, HostResetSite3, HostResetSite4};
    const long last = o.First + o.Frames;
    for (long frame = o.First; frame < last; ++frame) {
        Rng r = StreamFor(o.Seed, 0, frame);
        Now.Frame = frame;
        ++tally.Frames;

        // A reset between frames, through one of the patched sites.
        if (r.Chance(0.02)) {
            const int site = r.Below(4);
            const bool lost = r.Chance(0.3);
            D3DPRESENT_PARAMETERS& pp = GamePresentParameters();
            const UINT sizes[][2] = {{640, 480},  {641, 481},   {800, 600},   {1024, 768},
                                     {1280, 720}, {1920, 1080}, {2560, 1440}, {16, 16}};
            const bool resize = r.Chance(0.4);
            if (resize) {
                const int k = r.Below(8);
                pp.BackBufferWidth = sizes[k][0];
                pp.BackBufferHeight = sizes[k][1];
            }
            g.Device->SetResetResult(lost ? D3DERR_DEVICELOST : D3D_OK);
            g.DropTarget();
            const int resetsBefore = g.Device->ResetCalls();
            GameRegisters regs = RandomRegisters(r);
            regs.eax = uint32_t(uintptr_t(static_cast<IDirect3DDevice9*>(g.Device)));
            regs.ecx = *reinterpret_cast<uint32_t*>(regs.eax);
            SiteRun run{resetSites[site], regs, 4 * r.Below(4), {}};
            watchdog.Started();
            failures.Scene = "reset through site " + std::to_string(site + 1) +
                             (lost ? ", scripted D3DERR_DEVICELOST" : ", scripted D3D_OK") +
                             (resize ? ", new size " + std::to_string(pp.BackBufferWidth) + "x" +
                                           std::to_string(pp.BackBufferHeight)
                                     : "");
            ++tally.Resets;
            tally.ResetsLost += lost;
            RunSite(&run);
            {
                const GameRunResult& res = run.Result;
                const uint32_t expected = lost ? D3DERR_DEVICELOST : D3D_OK;
                const uintptr_t resume = resetSites[site] + (site == 0 ? 9 : 11);
                char detail[200];
                std::snprintf(detail, sizeof detail,
                              "EAX 0x%08X (expected 0x%08X), %d default-pool objects alive, "
                              "resumed at 0x%X",
                              res.Resume.eax, expected, g.Device->LiveDefaultPoolObjects(),
                              unsigned(res.ResumePoint));
                bool stop = false;
                if (res.Resume.eax == uint32_t(D3DERR_INVALIDCALL))
                    stop = failures.Report(frame, "reset refused", detail);
                else if (res.Resume.eax != expected || res.ResumePoint != resume)
                    stop = failures.Report(frame, "reset result", detail);
                else if (!(res.Resume.ebx == res.Entry.ebx && res.Resume.esi == res.Entry.esi &&
                           res.Resume.ebp == res.Entry.ebp && res.Resume.edi == res.Entry.edi &&
                           res.Resume.esp == res.Entry.esp))
                    stop = failures.Report(frame, "reset registers", detail);
                else if (g.Device->ResetCalls() != resetsBefore + 1)
                    stop = failures.Report(frame, "reset calls", detail);
                if (stop) break;
                if (!lost && resize) {
                    ++tally.Resizes;
                    expectWidth = pp.BackBufferWidth;
                    expectHeight = pp.BackBufferHeight;
                }
            }
            g.Device->SetResetResult(D3D_OK);
            g.MakeTarget();
        }

        const bool gate = DressGame(r, g, &failures.Scene);
        DressDevice(r, g);
        tally.GateOpen += gate;

        // Faults, now and then and often right after a reset, when everything is made anew.
        if (r.Chance(0.03)) {
            g.Device->ClearFailures();
            for (int k = 1 + r.Below(3); k > 0; --k) {
                const int kind = r.Below(6);
                const int nth = 1 + r.Below(3);
                const HRESULT results[] = {E_OUTOFMEMORY, D3DERR_OUTOFVIDEOMEMORY,
                                           D3DERR_INVALIDCALL, D3DERR_DEVICELOST};
                const HRESULT hr = results[r.Below(4)];
                if (kind < 4)
                    g.Device->FailCall(FaultNames[kind], nth, hr);
                else
                    strokes->FailCreate(kind == 4 ? StrokeLogCreateLine : StrokeLogCreateTexture,
                                        nth, hr);
                ++tally.Armed[kind];
            }
        }

        const bool checkSize = gate && expectWidth != 0;
        if (checkSize) {
            g.Device->SetLogging(true);
            g.Device->ClearCalls();
        }

        const DeviceSnapshot before = Snap(g.Device);
        const std::vector<IUnknown*> watched = g.Watched();
        std::vector<ULONG> refs;
        for (IUnknown* u : watched)
            refs.push_back(RecordingDevice::PeekRefCount(u));
        const size_t pending = g.Device->impl().Failures.size();

        SiteRun run{HostDrawInterfaceSite, RandomRegisters(r), 4 * r.Below(4), {}};
        watchdog.Started();
        RunSite(&run);
        tally.DeviceFired += long(pending - g.Device->impl().Failures.size());

        const GameRunResult& res = run.Result;
        bool stop = false;
        char detail[200];
        if (res.ResumePoint != HostDrawInterfaceResume) {
            std::snprintf(detail, sizeof detail, "resumed at 0x%X", unsigned(res.ResumePoint));
            stop = stop || failures.Report(frame, "resume point", detail);
        }
        if (uint8_t(res.Resume.eax) != GameInterfaceByte()) {
            std::snprintf(detail, sizeof detail, "AL 0x%02X, game byte 0x%02X",
                          unsigned(res.Resume.eax & 0xFF), unsigned(GameInterfaceByte()));
            stop = stop || failures.Report(frame, "AL", detail);
        }
        if (!CalleeSavedKept(res))
            stop = stop || failures.Report(frame, "callee-saved registers", "changed");
        const std::string changed = Differences(before, Snap(g.Device));
        if (!changed.empty()) stop = stop || failures.Report(frame, "device state", changed);
        for (size_t i = 0; i < watched.size(); ++i) {
            const ULONG now = RecordingDevice::PeekRefCount(watched[i]);
            if (now != refs[i]) {
                std::snprintf(detail, sizeof detail, "object %u: %lu references, %lu before",
                              unsigned(i), static_cast<unsigned long>(now),
                              static_cast<unsigned long>(refs[i]));
                stop = stop || failures.Report(frame, "reference count", detail);
            }
        }
        const int extra = g.Device->LiveObjects() - baseObjects;
        tally.MaxExtraObjects = std::max(tally.MaxExtraObjects, extra);
        if (extra > 16) {
            std::snprintf(detail, sizeof detail, "%d objects beyond the game's", extra);
            stop = stop || failures.Report(frame, "objects pile up", detail);
        }
        if (checkSize) {
            for (const DeviceCall& c : g.Device->Calls()) {
                if (std::strcmp(c.Method, "CreateTexture") != 0 || c.Args.size() < 4 ||
                    c.Args[3] != D3DUSAGE_RENDERTARGET)
                    continue;
                ++tally.SizeChecks;
                if (c.Args[0] != 2 * expectWidth || c.Args[1] != 2 * expectHeight) {
                    std::snprintf(detail, sizeof detail, "target %ux%u after a reset to %ux%u",
                                  c.Args[0], c.Args[1], expectWidth, expectHeight);
                    stop = stop || failures.Report(frame, "target size", detail);
                }
                expectWidth = expectHeight = 0;
                break;
            }
            g.Device->SetLogging(false);
            g.Device->ClearCalls();
        }
        if (stop) break;
    }

    // Unloading releases the plug-in's objects; then a reset must go through.
    g.Device->ClearFailures();
    strokes->Reset();
    FreeLibrary(plugin);
    g.DropTarget();
    EXPECT_EQ(g.Device->LiveDefaultPoolObjects(), 0) << "the plug-in left objects behind";

    std::printf("soak: seed %llu, frames %ld to %ld: %ld frames (%ld with the gate open), "
                "%ld resets (%ld scripted lost, %ld with a new size, %ld target sizes checked), "
                "faults armed: %ld CreateTexture, %ld GetSurfaceLevel, %ld CreateVertexBuffer, "
                "%ld Lock, %ld D3DXCreateLine, %ld D3DXCreateTextureFromFileInMemory; %ld device "
                "faults fired; at most %d objects of the plug-in alive; %ld failures\n",
                static_cast<unsigned long long>(o.Seed), o.First, last - 1, tally.Frames,
                tally.GateOpen, tally.Resets, tally.ResetsLost, tally.Resizes, tally.SizeChecks,
                tally.Armed[0], tally.Armed[1], tally.Armed[2], tally.Armed[3], tally.Armed[4],
                tally.Armed[5], tally.DeviceFired, tally.MaxExtraObjects, failures.Count);
    for (const auto& k : failures.Kinds)
        std::printf("  %s: first at frame %ld (seed %llu)\n", k.first.c_str(), k.second,
                    static_cast<unsigned long long>(o.Seed));
    std::fflush(stdout);

    strokes->Release();
    g.Destroy();
}

// ---- attach ----------------------------------------------------------------------------------

namespace {

struct Prompt {
    HWND Owner;
    std::string Text, Caption;
    UINT Style;
};

// While alive, every MessageBoxA in the process is answered from a script and recorded. The
// plug-in prompts from inside LoadLibrary, before anything could touch its imports, so the box
// is caught at user32's own entry: a jump there leads to the recorder.
class PromptScript {
  public:
    PromptScript() {
        entry_ =
            reinterpret_cast<uint8_t*>(GetProcAddress(LoadLibraryA("user32.dll"), "MessageBoxA"));
        std::memcpy(saved_, entry_, 5);
        The = this;
        uint8_t jump[5] = {0xE9};
        const uint32_t d = uint32_t(uintptr_t(&Record) - (uintptr_t(entry_) + 5));
        std::memcpy(jump + 1, &d, 4);
        Write(jump);
    }
    ~PromptScript() {
        Write(saved_);
        The = nullptr;
    }
    PromptScript(const PromptScript&) = delete;
    PromptScript& operator=(const PromptScript&) = delete;

    std::vector<int> Answers;
    std::vector<Prompt> Seen;

  private:
    static int WINAPI Record(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
        PromptScript* s = The;
        const size_t i = s->Seen.size();
        s->Seen.push_back({owner, text ? text : "", caption ? caption : "", style});
        return i < s->Answers.size() ? s->Answers[i] : IDYES;
    }
    void Write(const uint8_t* bytes) {
        DWORD old = 0;
        VirtualProtect(entry_, 5, PAGE_EXECUTE_READWRITE, &old);
        std::memcpy(entry_, bytes, 5);
        VirtualProtect(entry_, 5, old, &old);
        FlushInstructionCache(GetCurrentProcess(), entry_, 5);
    }
    static PromptScript* The;
    uint8_t* entry_;
    uint8_t saved_[5];
};
PromptScript* PromptScript::The = nullptr;

// The pages the game model's code lives on (GameCodeProtections reports them in this order).
const uintptr_t CodePages[] = {0x569000, 0x58E000, 0x6E8000, 0x704000, 0x7F8000, 0x7F9000};
constexpr int CodePageCount = sizeof CodePages / sizeof CodePages[0];

struct SiteRule {
    uintptr_t First;
    size_t Length;
    uint8_t Own;    // the game's first byte
    bool Reset;     // has a second address 0x40 below, and chains a foreign call at both
    bool Chains;    // a foreign call at the first address is taken over
    uint8_t Opcode; // of the patch
    const char* Name;
};
const SiteRule Rules[] = {
    {HostResetSite1, 9, 0x68, true, true, 0xE8, "IDirect3DDevice9::Reset"},
    {HostResetSite2, 11, 0x68, true, true, 0xE8, "IDirect3DDevice9::Reset"},
    {HostResetSite3, 11, 0x68, true, true, 0xE8, "IDirect3DDevice9::Reset"},
    {HostResetSite4, 11, 0x68, true, true, 0xE8, "IDirect3DDevice9::Reset"},
    {HostDrawSite, 5, 0xA1, false, false, 0xE9, "DrawSite"},
    {HostDrawInterfaceSite, 5, 0xA0, false, true, 0xE8, "DrawInterface"},
};

enum class Outcome { AsFound, First, Second };

// What the installer must make of a site, from its first bytes, and the prompt it must show.
Outcome Expect(const SiteRule& s, uint8_t first, uint8_t second, bool* prompts) {
    *prompts = false;
    if (s.Reset) {
        if (first == 0x68) return Outcome::First;
        if (second == 0x68) return Outcome::Second;
        if (first == 0xE8) return Outcome::First;
        if (second == 0xE8) return Outcome::Second;
        *prompts = true;
        return Outcome::AsFound;
    }
    if (s.Chains && first == 0xE8) return Outcome::First;
    if (first == s.Own) return Outcome::First;
    *prompts = true;
    return Outcome::AsFound;
}

uint8_t RandomFirstByte(Rng& r, uint8_t own) {
    const uint8_t others[] = {0xE8, 0xE9, 0xCC, 0x90, 0x68, 0xA0, 0xA1};
    switch (r.Below(4)) {
    case 0:
        return own;
    case 1:
        return 0xE8;
    case 2:
        return others[r.Below(7)];
    default:
        return uint8_t(r.Bits());
    }
}

std::string PromptText(uintptr_t address, const char* name) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "An unknown code found at 0x%08X (%s).\nDo you want to continue without this "
                  "Function?",
                  unsigned(address), name);
    return text;
}

DWORD ProtectionOf(uintptr_t page) {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(reinterpret_cast<void*>(page), &info, sizeof info);
    return info.Protect;
}

uintptr_t Target(uintptr_t at) {
    uint32_t d;
    std::memcpy(&d, reinterpret_cast<const void*>(at + 1), 4);
    return uint32_t(at + 5 + d);
}

} // namespace

TEST(Soak, RandomAttaches) {
    const Options o = TheOptions = ReadOptions();
    FaultCatcher catcher;
    Failures failures(o.Seed, o.KeepGoing);
    Now = {o.Seed, 0, &failures.Scene};
    const std::string path = PluginPath();
    const DWORD protections[] = {PAGE_EXECUTE_READ, PAGE_EXECUTE_READWRITE, PAGE_READONLY,
                                 PAGE_READWRITE,    PAGE_EXECUTE,           PAGE_NOACCESS};
    const int answers[] = {IDYES, IDOK, IDCANCEL, 0, IDABORT, IDRETRY, IDIGNORE};
    long prompts = 0, patched = 0, chained = 0, untouched = 0;

    for (int attach = 0; attach < o.Attaches; ++attach) {
        Rng r = StreamFor(o.Seed, 2, attach);
        Now.Frame = attach;
        GameReset();

        // Random bytes at both addresses of every site.
        std::vector<uint8_t> before[CodePageCount];
        for (uintptr_t page : CodePages) {
            DWORD old;
            VirtualProtect(reinterpret_cast<void*>(page), 0x1000, PAGE_EXECUTE_READWRITE, &old);
        }
        std::string scene = "first bytes";
        for (const SiteRule& s : Rules) {
            for (int at = 0; at < (s.Reset ? 2 : 1); ++at) {
                auto* p = reinterpret_cast<uint8_t*>(s.First - at * HostResetSecondOffset);
                p[0] = RandomFirstByte(r, s.Own);
                for (size_t i = 1; i < s.Length; ++i)
                    p[i] = uint8_t(r.Bits());
                char b[8];
                std::snprintf(b, sizeof b, " %02X", p[0]);
                scene += b;
            }
            scene += ";";
        }
        for (int k = 0; k < CodePageCount; ++k) {
            auto* p = reinterpret_cast<const uint8_t*>(CodePages[k]);
            before[k].assign(p, p + 0x1000);
        }
        DWORD protection[CodePageCount];
        for (int k = 0; k < CodePageCount; ++k) {
            DWORD old;
            VirtualProtect(reinterpret_cast<void*>(CodePages[k]), 0x1000, protections[r.Below(6)],
                           &old);
            protection[k] = ProtectionOf(CodePages[k]);
        }

        // What the installer must do, and the prompts it must show, in order.
        Outcome expected[6];
        std::vector<std::string> texts;
        for (int i = 0; i < 6; ++i) {
            const SiteRule& s = Rules[i];
            const uintptr_t second = s.First - HostResetSecondOffset;
            auto byteAt = [&before](uintptr_t a) {
                for (int k = 0; k < CodePageCount; ++k)
                    if (a >= CodePages[k] && a < CodePages[k] + 0x1000)
                        return before[k][a - CodePages[k]];
                return uint8_t(0);
            };
            bool prompt = false;
            expected[i] = Expect(s, byteAt(s.First), s.Reset ? byteAt(second) : 0, &prompt);
            if (prompt) texts.push_back(PromptText(s.Reset ? second : s.First, s.Name));
        }
        PromptScript script;
        for (size_t k = 0; k < texts.size(); ++k)
            script.Answers.push_back(answers[r.Below(7)]);
        failures.Scene = scene;

        GuardActive = true;
        HMODULE plugin = LoadLibraryA(path.c_str());
        GuardActive = false;
        if (!plugin) {
            if (failures.Report(attach, "load", "LoadLibrary failed")) break;
            continue;
        }

        bool stop = false;
        for (int k = 0; k < CodePageCount; ++k) {
            const DWORD now = ProtectionOf(CodePages[k]);
            if (now != protection[k]) {
                char detail[120];
                std::snprintf(detail, sizeof detail, "page 0x%X: 0x%lX, was 0x%lX",
                              unsigned(CodePages[k]), static_cast<unsigned long>(now),
                              static_cast<unsigned long>(protection[k]));
                stop = stop || failures.Report(attach, "page protection", detail);
            }
            DWORD old;
            VirtualProtect(reinterpret_cast<void*>(CodePages[k]), 0x1000, PAGE_EXECUTE_READ, &old);
        }

        // Bytes: outside the sites as before; each site as found or patched where it must be.
        std::vector<bool> site(CodePageCount * 0x1000, false);
        auto mark = [&site](uintptr_t a, size_t n) {
            for (int k = 0; k < CodePageCount; ++k)
                if (a >= CodePages[k] && a < CodePages[k] + 0x1000)
                    for (size_t i = 0; i < n; ++i)
                        site[k * 0x1000 + (a - CodePages[k]) + i] = true;
        };
        uintptr_t handler[6] = {};
        for (int i = 0; i < 6; ++i) {
            const SiteRule& s = Rules[i];
            const uintptr_t addresses[2] = {s.First, s.First - HostResetSecondOffset};
            for (int at = 0; at < (s.Reset ? 2 : 1); ++at) {
                const uintptr_t a = addresses[at];
                mark(a, s.Length);
                const bool here = (at == 0 && expected[i] == Outcome::First) ||
                                  (at == 1 && expected[i] == Outcome::Second);
                const auto* now = reinterpret_cast<const uint8_t*>(a);
                const int k = a >= 0x7F9000 ? 5 : a >= 0x7F8000 ? 4 : a >= 0x704000 ? 3 : 1;
                const uint8_t* was = &before[k][a - CodePages[k]];
                std::string detail = "site " + std::to_string(i + 1) + " at " +
                                     std::to_string(at + 1) +
                                     (here ? ": not patched" : ": written");
                if (!here) {
                    if (std::memcmp(now, was, s.Length) != 0)
                        stop = stop || failures.Report(attach, "site written", detail);
                    continue;
                }
                bool ok = now[0] == s.Opcode && InModule(plugin, Target(a));
                for (size_t n = 5; n < s.Length; ++n)
                    ok = ok && now[n] == 0x90;
                if (!ok) stop = stop || failures.Report(attach, "site patch", detail);
                handler[i] = Target(a);
                ++patched;
                chained += was[0] == 0xE8;
            }
            untouched += expected[i] == Outcome::AsFound;
        }
        for (int k = 0; k < CodePageCount; ++k) {
            const auto* now = reinterpret_cast<const uint8_t*>(CodePages[k]);
            for (int i = 0; i < 0x1000; ++i) {
                if (site[k * 0x1000 + i] || now[i] == before[k][i]) continue;
                char detail[80];
                std::snprintf(detail, sizeof detail, "byte at 0x%X", unsigned(CodePages[k] + i));
                stop = stop || failures.Report(attach, "written outside the sites", detail);
                break;
            }
        }
        // One handler per kind of site: the short reset, the long resets, DrawSite, DrawDisplay.
        for (int i = 2; i < 4; ++i)
            if (handler[i] && handler[1] && handler[i] != handler[1])
                stop = stop || failures.Report(attach, "handlers", "long reset sites differ");
        for (int i = 0; i < 6; ++i)
            for (int j = i + 1; j < 6; ++j) {
                const bool bothLong = i >= 1 && i <= 3 && j >= 1 && j <= 3;
                if (!bothLong && handler[i] && handler[i] == handler[j])
                    stop = stop || failures.Report(attach, "handlers", "two kinds share one");
            }

        prompts += long(script.Seen.size());
        bool promptsRight = script.Seen.size() == texts.size();
        for (size_t k = 0; promptsRight && k < texts.size(); ++k)
            promptsRight = script.Seen[k].Text == texts[k] && script.Seen[k].Caption == "VANTOR" &&
                           script.Seen[k].Style == 0x114 && script.Seen[k].Owner == nullptr;
        if (!promptsRight)
            stop = stop || failures.Report(attach, "prompts",
                                           std::to_string(script.Seen.size()) + " shown, " +
                                               std::to_string(texts.size()) + " expected");
        FreeLibrary(plugin);
        if (stop) break;
    }
    std::printf("soak: seed %llu, %d attaches: %ld sites patched (%ld over a foreign call), %ld "
                "left as found, %ld prompts answered; %ld failures\n",
                static_cast<unsigned long long>(o.Seed), o.Attaches, patched, chained, untouched,
                prompts, failures.Count);
    std::fflush(stdout);
}
