// What the recording device and its objects share; not for tests.
#pragma once

#include "RecordingDevice.h"

#include <bitset>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <unordered_set>

namespace recdevice {

constexpr int kRenderStates = 256;
constexpr int kSamplerTypes = 14; // D3DSAMP_ADDRESSU (1) .. D3DSAMP_DMAPOFFSET (13)
constexpr int kSamplers = 21;     // 16 pixel samplers, the displacement map, 4 vertex samplers
constexpr int kStages = 8;
constexpr int kStageTypes = 33; // D3DTSS_COLOROP (1) .. D3DTSS_CONSTANT (32)
constexpr int kTransforms = 512;
constexpr int kStreams = 16;
constexpr int kRenderTargets = 4;
constexpr int kClipPlanes = 6;
constexpr int kVsFloat = 256, kPsFloat = 224, kIntRegs = 16, kBoolRegs = 16;

// Sampler or texture slot number of Direct3D (0-15, D3DDMAPSAMPLER, D3DVERTEXTEXTURESAMPLER0-3)
// to an index into the arrays, or -1.
inline int SamplerSlot(DWORD sampler) {
    if (sampler < 16) return int(sampler);
    if (sampler >= D3DDMAPSAMPLER && sampler <= D3DVERTEXTEXTURESAMPLER3)
        return 16 + int(sampler - D3DDMAPSAMPLER);
    return -1;
}

struct Light {
    D3DLIGHT9 Value;
    BOOL Enabled;
};

// The part of the device's state that state blocks capture and apply. Object pointers in it each
// hold one reference, taken and given back by whoever changes them.
struct DeviceState {
    DWORD RenderStates[kRenderStates];
    DWORD SamplerStates[kSamplers][kSamplerTypes];
    DWORD StageStates[kStages][kStageTypes];
    D3DMATRIX Transforms[kTransforms];
    IDirect3DBaseTexture9* Textures[kSamplers];
    StreamSource Streams[kStreams];
    UINT StreamFreq[kStreams];
    IDirect3DIndexBuffer9* Indices;
    DWORD FVF;
    IDirect3DVertexDeclaration9* Declaration;
    IDirect3DVertexShader9* VertexShader;
    IDirect3DPixelShader9* PixelShader;
    D3DVIEWPORT9 Viewport;
    RECT Scissor;
    D3DMATERIAL9 Material;
    float ClipPlanes[kClipPlanes][4];
    std::map<DWORD, Light> Lights;
    float VsFloat[kVsFloat][4];
    int VsInt[kIntRegs][4];
    BOOL VsBool[kBoolRegs][1];
    float PsFloat[kPsFloat][4];
    int PsInt[kIntRegs][4];
    BOOL PsBool[kBoolRegs][1];
    float NPatchMode;
};

// Which parts of a DeviceState a state block holds.
struct StateMask {
    std::bitset<kRenderStates> RenderStates;
    std::bitset<kSamplers * kSamplerTypes> SamplerStates;
    std::bitset<kStages * kStageTypes> StageStates;
    std::bitset<kTransforms> Transforms;
    std::bitset<kSamplers> Textures;
    std::bitset<kStreams> Streams, StreamFreq;
    std::bitset<kClipPlanes> ClipPlanes;
    std::bitset<kVsFloat> VsFloat;
    std::bitset<kPsFloat> PsFloat;
    std::bitset<kIntRegs> VsInt, PsInt;
    std::bitset<kBoolRegs> VsBool, PsBool;
    bool Indices = false, FVF = false, Declaration = false, VertexShader = false,
         PixelShader = false, Viewport = false, Scissor = false, Material = false, Lights = false,
         NPatchMode = false;
    void SetAll();
};

void HoldAll(const DeviceState& s); // AddRef every object in s
void ReleaseAll(DeviceState& s);    // Release every object in s and null it
void Transfer(const DeviceState& from, DeviceState& to, const StateMask& m); // with references

template <class T> void Assign(T*& slot, T* value) {
    if (value) value->AddRef();
    T* old = slot;
    slot = value;
    if (old) old->Release();
}

// Base of every object the device creates: its place in the device's registry.
// Objects a texture or the device owns are not registered. When the device goes first, the objects
// still alive keep working but lose it (GetDevice fails).
struct Tracked {
    RecordingDevice::Impl* Dev;
    bool Registered;
    bool DefaultPool; // a D3DPOOL_DEFAULT resource that Reset refuses to outlive
    Tracked(RecordingDevice::Impl* dev, bool registered, bool defaultPool);
    virtual ~Tracked();
    virtual void Orphan() { Dev = nullptr; }
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;
};

struct FailureRule {
    std::string Method;
    int Remaining;
    HRESULT Result;
};

class Surface;
class StateBlock;

struct RecordingDevice::Impl {
    RecordingDevice* Self;
    ULONG Refs = 1;
    bool Logging = true;
    std::vector<DeviceCall> Log;
    std::vector<FailureRule> Failures;
    std::unordered_set<Tracked*> Live;

    DeviceState State{};
    IDirect3DSurface9* RenderTargets[kRenderTargets] = {};
    IDirect3DSurface9* DepthStencil = nullptr;
    Surface* Back = nullptr;
    Surface* AutoDepth = nullptr;
    StateBlock* Recording = nullptr; // between BeginStateBlock and EndStateBlock
    bool InScene = false;
    BOOL SoftwareVP = FALSE;
    BOOL CursorShown = FALSE;
    D3DCLIPSTATUS9 ClipStatus{};
    D3DGAMMARAMP Gamma{};

    HRESULT ResetResult = D3D_OK;
    HRESULT CooperativeLevel = D3D_OK;
    int Resets = 0;

    // Logs the call and answers the failure armed for it, or D3D_OK.
    template <class... A> HRESULT Enter(const char* method, A... args) {
        if (Logging) Log.push_back(DeviceCall{method, {Raw(args)...}});
        if (Failures.empty()) return D3D_OK;
        return Injected(method);
    }
    HRESULT Injected(const char* method);

    // Where Set* calls land: the state block being recorded, or the device.
    DeviceState& Target();
    StateMask* Mask(); // null unless recording

    void Defaults(UINT width, UINT height, bool autoDepth);
    void BindRenderTarget(DWORD index, IDirect3DSurface9* s);

    static uint32_t Raw(uint32_t v) { return v; }
    static uint32_t Raw(int v) { return uint32_t(v); }
    static uint32_t Raw(unsigned long v) { return uint32_t(v); }
    static uint32_t Raw(long v) { return uint32_t(v); }
    static uint32_t Raw(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return u;
    }
    static uint32_t Raw(const void* p) { return uint32_t(uintptr_t(p)); }
    template <class E, class = std::enable_if_t<std::is_enum<E>::value>> static uint32_t Raw(E e) {
        return uint32_t(e);
    }
};

// Bytes per pixel row and rows of a surface of this format (block formats in rows of blocks).
UINT PitchOf(D3DFORMAT f, UINT width);
UINT RowsOf(D3DFORMAT f, UINT height);

// Objects, defined in Objects.cpp.
class Surface final : public IDirect3DSurface9, public Tracked {
  public:
    // container: the texture a level belongs to (its references are the texture's), else null.
    // implicit: the back buffer or auto depth stencil, owned by the device and never freed at 0.
    Surface(RecordingDevice::Impl* dev, const D3DSURFACE_DESC& desc, IUnknown* container,
            bool implicit, bool lockable);
    ~Surface() override;
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;
    HRESULT WINAPI GetDevice(IDirect3DDevice9** device) override;
    HRESULT WINAPI SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override;
    HRESULT WINAPI GetPrivateData(REFGUID guid, void* data, DWORD* size) override;
    HRESULT WINAPI FreePrivateData(REFGUID guid) override;
    DWORD WINAPI SetPriority(DWORD priority) override;
    DWORD WINAPI GetPriority() override;
    void WINAPI PreLoad() override;
    D3DRESOURCETYPE WINAPI GetType() override;
    HRESULT WINAPI GetContainer(REFIID riid, void** container) override;
    HRESULT WINAPI GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT WINAPI LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT WINAPI UnlockRect() override;
    HRESULT WINAPI GetDC(HDC* dc) override;
    HRESULT WINAPI ReleaseDC(HDC dc) override;

    // Lock and unlock without the log, for textures that lock their levels.
    HRESULT DoLock(D3DLOCKED_RECT* locked, const RECT* rect);
    HRESULT DoUnlock();
    void Resize(UINT width, UINT height, D3DFORMAT format);

    D3DSURFACE_DESC Desc;
    IUnknown* Container;
    bool Implicit;
    bool Lockable;
    bool Locked = false;
    ULONG Refs = 0;
    std::vector<uint8_t> Bits; // allocated at first lock
};

class Texture final : public IDirect3DTexture9, public Tracked {
  public:
    Texture(RecordingDevice::Impl* dev, UINT width, UINT height, UINT levels, DWORD usage,
            D3DFORMAT format, D3DPOOL pool);
    ~Texture() override;
    void Orphan() override;
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;
    HRESULT WINAPI GetDevice(IDirect3DDevice9** device) override;
    HRESULT WINAPI SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override;
    HRESULT WINAPI GetPrivateData(REFGUID guid, void* data, DWORD* size) override;
    HRESULT WINAPI FreePrivateData(REFGUID guid) override;
    DWORD WINAPI SetPriority(DWORD priority) override;
    DWORD WINAPI GetPriority() override;
    void WINAPI PreLoad() override;
    D3DRESOURCETYPE WINAPI GetType() override;
    DWORD WINAPI SetLOD(DWORD lod) override;
    DWORD WINAPI GetLOD() override;
    DWORD WINAPI GetLevelCount() override;
    HRESULT WINAPI SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE WINAPI GetAutoGenFilterType() override;
    void WINAPI GenerateMipSubLevels() override;
    HRESULT WINAPI GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT WINAPI GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT WINAPI LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                            DWORD flags) override;
    HRESULT WINAPI UnlockRect(UINT level) override;
    HRESULT WINAPI AddDirtyRect(const RECT* rect) override;

    ULONG Refs = 1;
    DWORD Lod = 0;
    D3DTEXTUREFILTERTYPE AutoGenFilter = D3DTEXF_LINEAR;
    std::vector<Surface*> Levels;
};

// Vertex and index buffers: real memory behind Lock.
template <class Iface, class Desc> class Buffer final : public Iface, public Tracked {
  public:
    Buffer(RecordingDevice::Impl* dev, const Desc& desc);
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;
    HRESULT WINAPI GetDevice(IDirect3DDevice9** device) override;
    HRESULT WINAPI SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override;
    HRESULT WINAPI GetPrivateData(REFGUID guid, void* data, DWORD* size) override;
    HRESULT WINAPI FreePrivateData(REFGUID guid) override;
    DWORD WINAPI SetPriority(DWORD priority) override;
    DWORD WINAPI GetPriority() override;
    void WINAPI PreLoad() override;
    D3DRESOURCETYPE WINAPI GetType() override;
    HRESULT WINAPI Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT WINAPI Unlock() override;
    HRESULT WINAPI GetDesc(Desc* desc) override;

    ULONG Refs = 1;
    int Locks = 0;
    Desc Description;
    std::vector<uint8_t> Bytes;
};
using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

class VertexDeclaration final : public IDirect3DVertexDeclaration9, public Tracked {
  public:
    VertexDeclaration(RecordingDevice::Impl* dev, std::vector<D3DVERTEXELEMENT9> elements);
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;
    HRESULT WINAPI GetDevice(IDirect3DDevice9** device) override;
    HRESULT WINAPI GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;

    ULONG Refs = 1;
    std::vector<D3DVERTEXELEMENT9> Elements; // with the closing D3DDECL_END
};

template <class Iface> class Shader final : public Iface, public Tracked {
  public:
    Shader(RecordingDevice::Impl* dev, std::vector<DWORD> code);
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;
    HRESULT WINAPI GetDevice(IDirect3DDevice9** device) override;
    HRESULT WINAPI GetFunction(void* data, UINT* size) override;

    ULONG Refs = 1;
    std::vector<DWORD> Code;
};
using VertexShader = Shader<IDirect3DVertexShader9>;
using PixelShader = Shader<IDirect3DPixelShader9>;

class StateBlock final : public IDirect3DStateBlock9, public Tracked {
  public:
    StateBlock(RecordingDevice::Impl* dev);
    ~StateBlock() override;
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;
    HRESULT WINAPI GetDevice(IDirect3DDevice9** device) override;
    HRESULT WINAPI Capture() override;
    HRESULT WINAPI Apply() override;

    ULONG Refs = 1;
    DeviceState State{};
    StateMask Mask;
};

// Shader byte code up to and including its end token, or empty when there is none.
std::vector<DWORD> ShaderCode(const DWORD* code);

} // namespace recdevice
