// The objects behind the recording device: surfaces, textures, buffers, declarations, shaders and
// state blocks, each with its own reference count.
#include "Internal.h"

#include <algorithm>

namespace recdevice {

Tracked::Tracked(RecordingDevice::Impl* dev, bool registered, bool defaultPool)
    : Dev(dev), Registered(registered), DefaultPool(defaultPool) {
    if (Registered && Dev) Dev->Live.insert(this);
}

Tracked::~Tracked() {
    if (Registered && Dev) Dev->Live.erase(this);
}

namespace {

HRESULT DeviceOf(RecordingDevice::Impl* dev, IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!dev) return D3DERR_INVALIDCALL;
    dev->Self->AddRef();
    *out = dev->Self;
    return D3D_OK;
}

// Logging and failure injection for a call on an object; objects whose device is gone do neither.
template <class... A> HRESULT Enter(RecordingDevice::Impl* dev, const char* method, A... args) {
    return dev ? dev->Enter(method, args...) : D3D_OK;
}

template <class T> ULONG Drop(T* self, ULONG& refs) {
    ULONG r = --refs;
    if (r == 0) delete self;
    return r;
}

bool Is(REFIID riid, std::initializer_list<GUID> ids) {
    for (const GUID& g : ids)
        if (IsEqualGUID(riid, g)) return true;
    return false;
}

template <class T> HRESULT Answer(T* self, bool match, void** out) {
    if (!out) return E_POINTER;
    if (!match) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    self->AddRef();
    *out = self;
    return S_OK;
}

} // namespace

// Private data and priorities are not used by the product.
#define RESOURCE_EXTRAS(Class)                                                                     \
    HRESULT WINAPI Class::SetPrivateData(REFGUID, const void*, DWORD, DWORD) {                     \
        return D3DERR_INVALIDCALL;                                                                 \
    }                                                                                              \
    HRESULT WINAPI Class::GetPrivateData(REFGUID, void*, DWORD*) {                                 \
        return D3DERR_INVALIDCALL;                                                                 \
    }                                                                                              \
    HRESULT WINAPI Class::FreePrivateData(REFGUID) {                                               \
        return D3DERR_INVALIDCALL;                                                                 \
    }                                                                                              \
    DWORD WINAPI Class::SetPriority(DWORD) {                                                       \
        return 0;                                                                                  \
    }                                                                                              \
    DWORD WINAPI Class::GetPriority() {                                                            \
        return 0;                                                                                  \
    }                                                                                              \
    void WINAPI Class::PreLoad() {}

UINT PitchOf(D3DFORMAT f, UINT width) {
    switch (f) {
    case D3DFMT_DXT1:
        return std::max(1u, (width + 3) / 4) * 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return std::max(1u, (width + 3) / 4) * 16;
    case D3DFMT_L8:
    case D3DFMT_A8:
    case D3DFMT_P8:
    case D3DFMT_R3G3B2:
    case D3DFMT_A4L4:
        return width;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8L8:
    case D3DFMT_L16:
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_R16F:
    case D3DFMT_V8U8:
        return width * 2;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
        return width * 8;
    case D3DFMT_A32B32G32R32F:
        return width * 16;
    default:
        return width * 4;
    }
}

UINT RowsOf(D3DFORMAT f, UINT height) {
    bool block = f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 ||
                 f == D3DFMT_DXT5;
    return block ? std::max(1u, (height + 3) / 4) : height;
}

// --- Surface ---

Surface::Surface(RecordingDevice::Impl* dev, const D3DSURFACE_DESC& desc, IUnknown* container,
                 bool implicit, bool lockable)
    : Tracked(dev, !container && !implicit,
              !container && !implicit && desc.Pool == D3DPOOL_DEFAULT),
      Desc(desc), Container(container), Implicit(implicit), Lockable(lockable),
      Refs(container || implicit ? 0 : 1) {}

Surface::~Surface() = default;

HRESULT WINAPI Surface::QueryInterface(REFIID riid, void** out) {
    return Answer(
        static_cast<IDirect3DSurface9*>(this),
        Is(riid, {__uuidof(IUnknown), __uuidof(IDirect3DResource9), __uuidof(IDirect3DSurface9)}),
        out);
}

// A level's references are its texture's, as in Direct3D.
ULONG WINAPI Surface::AddRef() {
    return Container ? Container->AddRef() : ++Refs;
}

ULONG WINAPI Surface::Release() {
    if (Container) return Container->Release();
    if (Implicit) return Refs ? --Refs : 0;
    return Drop(this, Refs);
}

HRESULT WINAPI Surface::GetDevice(IDirect3DDevice9** device) {
    return DeviceOf(Dev, device);
}
RESOURCE_EXTRAS(Surface)
D3DRESOURCETYPE WINAPI Surface::GetType() {
    return D3DRTYPE_SURFACE;
}

HRESULT WINAPI Surface::GetContainer(REFIID riid, void** container) {
    if (HRESULT hr = Enter(Dev, "GetContainer", this, container)) return hr;
    if (!container) return D3DERR_INVALIDCALL;
    if (Container) return Container->QueryInterface(riid, container);
    if (Dev) return Dev->Self->QueryInterface(riid, container);
    *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT WINAPI Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (HRESULT hr = Enter(Dev, "GetDesc", this, desc)) return hr;
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = Desc;
    return D3D_OK;
}

HRESULT Surface::DoLock(D3DLOCKED_RECT* locked, const RECT* rect) {
    if (!locked || !Lockable || Locked) return D3DERR_INVALIDCALL;
    UINT pitch = PitchOf(Desc.Format, Desc.Width);
    if (Bits.empty()) Bits.assign(size_t(pitch) * RowsOf(Desc.Format, Desc.Height), 0);
    size_t offset = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > LONG(Desc.Width) ||
            rect->bottom > LONG(Desc.Height) || rect->left >= rect->right ||
            rect->top >= rect->bottom)
            return D3DERR_INVALIDCALL;
        offset = size_t(rect->top) * pitch + PitchOf(Desc.Format, UINT(rect->left));
    }
    locked->Pitch = INT(pitch);
    locked->pBits = Bits.data() + offset;
    Locked = true;
    return D3D_OK;
}

HRESULT Surface::DoUnlock() {
    if (!Locked) return D3DERR_INVALIDCALL;
    Locked = false;
    return D3D_OK;
}

HRESULT WINAPI Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (HRESULT hr = Enter(Dev, "LockRect", this, locked, rect, flags)) return hr;
    return DoLock(locked, rect);
}

HRESULT WINAPI Surface::UnlockRect() {
    if (HRESULT hr = Enter(Dev, "UnlockRect", this)) return hr;
    return DoUnlock();
}

HRESULT WINAPI Surface::GetDC(HDC*) {
    return D3DERR_INVALIDCALL;
}
HRESULT WINAPI Surface::ReleaseDC(HDC) {
    return D3DERR_INVALIDCALL;
}

void Surface::Resize(UINT width, UINT height, D3DFORMAT format) {
    Desc.Width = width;
    Desc.Height = height;
    Desc.Format = format;
    Bits.clear();
    Locked = false;
}

// --- Texture ---

Texture::Texture(RecordingDevice::Impl* dev, UINT width, UINT height, UINT levels, DWORD usage,
                 D3DFORMAT format, D3DPOOL pool)
    : Tracked(dev, true, pool == D3DPOOL_DEFAULT) {
    // Lockable unless it lives in video memory without being dynamic.
    bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
    for (UINT i = 0; i < levels; ++i) {
        D3DSURFACE_DESC d{};
        d.Format = format;
        d.Type = D3DRTYPE_SURFACE;
        d.Usage = usage;
        d.Pool = pool;
        d.MultiSampleType = D3DMULTISAMPLE_NONE;
        d.Width = std::max(1u, width >> i);
        d.Height = std::max(1u, height >> i);
        Levels.push_back(
            new Surface(dev, d, static_cast<IDirect3DTexture9*>(this), false, lockable));
    }
}

Texture::~Texture() {
    for (Surface* s : Levels)
        delete s;
}

void Texture::Orphan() {
    Dev = nullptr;
    for (Surface* s : Levels)
        s->Dev = nullptr;
}

HRESULT WINAPI Texture::QueryInterface(REFIID riid, void** out) {
    return Answer(static_cast<IDirect3DTexture9*>(this),
                  Is(riid, {__uuidof(IUnknown), __uuidof(IDirect3DResource9),
                            __uuidof(IDirect3DBaseTexture9), __uuidof(IDirect3DTexture9)}),
                  out);
}

ULONG WINAPI Texture::AddRef() {
    return ++Refs;
}
ULONG WINAPI Texture::Release() {
    return Drop(this, Refs);
}
HRESULT WINAPI Texture::GetDevice(IDirect3DDevice9** device) {
    return DeviceOf(Dev, device);
}
RESOURCE_EXTRAS(Texture)
D3DRESOURCETYPE WINAPI Texture::GetType() {
    return D3DRTYPE_TEXTURE;
}

DWORD WINAPI Texture::SetLOD(DWORD lod) {
    DWORD old = Lod;
    Lod = std::min<DWORD>(lod, DWORD(Levels.size() - 1));
    return old;
}
DWORD WINAPI Texture::GetLOD() {
    return Lod;
}

DWORD WINAPI Texture::GetLevelCount() {
    Enter(Dev, "GetLevelCount", this);
    return DWORD(Levels.size());
}

HRESULT WINAPI Texture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) {
    AutoGenFilter = filter;
    return D3D_OK;
}
D3DTEXTUREFILTERTYPE WINAPI Texture::GetAutoGenFilterType() {
    return AutoGenFilter;
}
void WINAPI Texture::GenerateMipSubLevels() {}

HRESULT WINAPI Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (HRESULT hr = Enter(Dev, "GetLevelDesc", this, level, desc)) return hr;
    if (!desc || level >= Levels.size()) return D3DERR_INVALIDCALL;
    *desc = Levels[level]->Desc;
    return D3D_OK;
}

HRESULT WINAPI Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    HRESULT hr = Enter(Dev, "GetSurfaceLevel", this, level, surface);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (hr) return hr;
    if (level >= Levels.size()) return D3DERR_INVALIDCALL;
    Levels[level]->AddRef();
    *surface = Levels[level];
    return D3D_OK;
}

HRESULT WINAPI Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                 DWORD flags) {
    if (HRESULT hr = Enter(Dev, "LockRect", this, level, locked, rect, flags)) return hr;
    if (level >= Levels.size()) return D3DERR_INVALIDCALL;
    return Levels[level]->DoLock(locked, rect);
}

HRESULT WINAPI Texture::UnlockRect(UINT level) {
    if (HRESULT hr = Enter(Dev, "UnlockRect", this, level)) return hr;
    if (level >= Levels.size()) return D3DERR_INVALIDCALL;
    return Levels[level]->DoUnlock();
}

HRESULT WINAPI Texture::AddDirtyRect(const RECT*) {
    return D3D_OK;
}

// --- Buffers ---

template <class I, class D>
Buffer<I, D>::Buffer(RecordingDevice::Impl* dev, const D& desc)
    : Tracked(dev, true, desc.Pool == D3DPOOL_DEFAULT), Description(desc), Bytes(desc.Size, 0) {}

template <class I, class D> HRESULT WINAPI Buffer<I, D>::QueryInterface(REFIID riid, void** out) {
    return Answer(static_cast<I*>(this),
                  Is(riid, {__uuidof(IUnknown), __uuidof(IDirect3DResource9), __uuidof(I)}), out);
}
template <class I, class D> ULONG WINAPI Buffer<I, D>::AddRef() {
    return ++Refs;
}
template <class I, class D> ULONG WINAPI Buffer<I, D>::Release() {
    return Drop(this, Refs);
}
template <class I, class D> HRESULT WINAPI Buffer<I, D>::GetDevice(IDirect3DDevice9** device) {
    return DeviceOf(Dev, device);
}
template <class I, class D>
HRESULT WINAPI Buffer<I, D>::SetPrivateData(REFGUID, const void*, DWORD, DWORD) {
    return D3DERR_INVALIDCALL;
}
template <class I, class D> HRESULT WINAPI Buffer<I, D>::GetPrivateData(REFGUID, void*, DWORD*) {
    return D3DERR_INVALIDCALL;
}
template <class I, class D> HRESULT WINAPI Buffer<I, D>::FreePrivateData(REFGUID) {
    return D3DERR_INVALIDCALL;
}
template <class I, class D> DWORD WINAPI Buffer<I, D>::SetPriority(DWORD) {
    return 0;
}
template <class I, class D> DWORD WINAPI Buffer<I, D>::GetPriority() {
    return 0;
}
template <class I, class D> void WINAPI Buffer<I, D>::PreLoad() {}
template <class I, class D> D3DRESOURCETYPE WINAPI Buffer<I, D>::GetType() {
    return Description.Type;
}

template <class I, class D>
HRESULT WINAPI Buffer<I, D>::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    HRESULT hr = Enter(Dev, "Lock", this, offset, size, data, flags);
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (hr) return hr;
    if (size == 0 && offset == 0) size = Description.Size;
    if (offset > Description.Size || size > Description.Size - offset) return D3DERR_INVALIDCALL;
    ++Locks;
    *data = Bytes.data() + offset;
    return D3D_OK;
}

template <class I, class D> HRESULT WINAPI Buffer<I, D>::Unlock() {
    if (HRESULT hr = Enter(Dev, "Unlock", this)) return hr;
    if (Locks == 0) return D3DERR_INVALIDCALL;
    --Locks;
    return D3D_OK;
}

template <class I, class D> HRESULT WINAPI Buffer<I, D>::GetDesc(D* desc) {
    if (HRESULT hr = Enter(Dev, "GetDesc", this, desc)) return hr;
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = Description;
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

// --- Vertex declarations and shaders ---

VertexDeclaration::VertexDeclaration(RecordingDevice::Impl* dev,
                                     std::vector<D3DVERTEXELEMENT9> elements)
    : Tracked(dev, true, false), Elements(std::move(elements)) {}

HRESULT WINAPI VertexDeclaration::QueryInterface(REFIID riid, void** out) {
    return Answer(static_cast<IDirect3DVertexDeclaration9*>(this),
                  Is(riid, {__uuidof(IUnknown), __uuidof(IDirect3DVertexDeclaration9)}), out);
}
ULONG WINAPI VertexDeclaration::AddRef() {
    return ++Refs;
}
ULONG WINAPI VertexDeclaration::Release() {
    return Drop(this, Refs);
}
HRESULT WINAPI VertexDeclaration::GetDevice(IDirect3DDevice9** device) {
    return DeviceOf(Dev, device);
}

HRESULT WINAPI VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) {
    if (HRESULT hr = Enter(Dev, "GetDeclaration", this, elements, count)) return hr;
    if (!count) return D3DERR_INVALIDCALL;
    *count = UINT(Elements.size());
    if (elements) std::copy(Elements.begin(), Elements.end(), elements);
    return D3D_OK;
}

std::vector<DWORD> ShaderCode(const DWORD* code) {
    std::vector<DWORD> out;
    if (!code) return out;
    // A version token, then instructions up to the end token; a sane bound guards against junk.
    for (size_t i = 0; i < (1u << 16); ++i) {
        out.push_back(code[i]);
        if (code[i] == 0x0000FFFF) return out;
    }
    return {};
}

template <class I>
Shader<I>::Shader(RecordingDevice::Impl* dev, std::vector<DWORD> code)
    : Tracked(dev, true, false), Code(std::move(code)) {}

template <class I> HRESULT WINAPI Shader<I>::QueryInterface(REFIID riid, void** out) {
    return Answer(static_cast<I*>(this), Is(riid, {__uuidof(IUnknown), __uuidof(I)}), out);
}
template <class I> ULONG WINAPI Shader<I>::AddRef() {
    return ++Refs;
}
template <class I> ULONG WINAPI Shader<I>::Release() {
    return Drop(this, Refs);
}
template <class I> HRESULT WINAPI Shader<I>::GetDevice(IDirect3DDevice9** device) {
    return DeviceOf(Dev, device);
}

template <class I> HRESULT WINAPI Shader<I>::GetFunction(void* data, UINT* size) {
    if (HRESULT hr = Enter(Dev, "GetFunction", this, data, size)) return hr;
    if (!size) return D3DERR_INVALIDCALL;
    UINT bytes = UINT(Code.size() * sizeof(DWORD));
    if (data) {
        if (*size < bytes) return D3DERR_INVALIDCALL;
        std::memcpy(data, Code.data(), bytes);
    }
    *size = bytes;
    return D3D_OK;
}

template class Shader<IDirect3DVertexShader9>;
template class Shader<IDirect3DPixelShader9>;

// --- State blocks ---

StateBlock::StateBlock(RecordingDevice::Impl* dev) : Tracked(dev, true, false) {}

StateBlock::~StateBlock() {
    ReleaseAll(State);
}

HRESULT WINAPI StateBlock::QueryInterface(REFIID riid, void** out) {
    return Answer(static_cast<IDirect3DStateBlock9*>(this),
                  Is(riid, {__uuidof(IUnknown), __uuidof(IDirect3DStateBlock9)}), out);
}
ULONG WINAPI StateBlock::AddRef() {
    return ++Refs;
}
ULONG WINAPI StateBlock::Release() {
    return Drop(this, Refs);
}
HRESULT WINAPI StateBlock::GetDevice(IDirect3DDevice9** device) {
    return DeviceOf(Dev, device);
}

HRESULT WINAPI StateBlock::Capture() {
    if (HRESULT hr = Enter(Dev, "Capture", this)) return hr;
    if (!Dev || Dev->Recording) return D3DERR_INVALIDCALL;
    Transfer(Dev->State, State, Mask);
    return D3D_OK;
}

HRESULT WINAPI StateBlock::Apply() {
    if (HRESULT hr = Enter(Dev, "Apply", this)) return hr;
    if (!Dev || Dev->Recording) return D3DERR_INVALIDCALL;
    Transfer(State, Dev->State, Mask);
    return D3D_OK;
}

} // namespace recdevice
