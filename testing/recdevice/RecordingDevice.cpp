// The recording device: every IDirect3DDevice9 method, logged, with Direct3D 9's rules where
// the product depends on them.
#include "Internal.h"

#include <algorithm>

namespace recdevice {

namespace {

constexpr HRESULT kInvalid = D3DERR_INVALIDCALL;

UINT MipCount(UINT w, UINT h) {
    UINT n = 1;
    for (UINT m = std::max(w, h); m > 1; m >>= 1)
        ++n;
    return n;
}

D3DSURFACE_DESC SurfaceDesc(UINT w, UINT h, D3DFORMAT f, DWORD usage, D3DPOOL pool,
                            D3DMULTISAMPLE_TYPE ms = D3DMULTISAMPLE_NONE, DWORD quality = 0) {
    D3DSURFACE_DESC d{};
    d.Format = f;
    d.Type = D3DRTYPE_SURFACE;
    d.Usage = usage;
    d.Pool = pool;
    d.MultiSampleType = ms;
    d.MultiSampleQuality = quality;
    d.Width = w;
    d.Height = h;
    return d;
}

template <class T> void Out(T** out, T* value) {
    if (value) value->AddRef();
    *out = value;
}

} // namespace

// --- the device's own plumbing ---

HRESULT RecordingDevice::Impl::Injected(const char* method) {
    for (auto it = Failures.begin(); it != Failures.end(); ++it) {
        if (it->Method != method) continue;
        if (--it->Remaining > 0) continue;
        HRESULT hr = it->Result;
        Failures.erase(it);
        return hr;
    }
    return D3D_OK;
}

DeviceState& RecordingDevice::Impl::Target() {
    return Recording ? Recording->State : State;
}
StateMask* RecordingDevice::Impl::Mask() {
    return Recording ? &Recording->Mask : nullptr;
}

void RecordingDevice::Impl::BindRenderTarget(DWORD index, IDirect3DSurface9* s) {
    Assign(RenderTargets[index], s);
    if (index == 0 && s) {
        // A new first target brings a viewport and scissor rectangle over the whole of it.
        const D3DSURFACE_DESC& d = static_cast<Surface*>(s)->Desc;
        State.Viewport = D3DVIEWPORT9{0, 0, d.Width, d.Height, 0.0f, 1.0f};
        State.Scissor = RECT{0, 0, LONG(d.Width), LONG(d.Height)};
    }
}

RecordingDevice::RecordingDevice(UINT w, UINT h) : impl_(new Impl) {
    Impl& d = *impl_;
    d.Self = this;
    d.Back =
        new Surface(&d, SurfaceDesc(w, h, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT),
                    nullptr, true, false);
    d.AutoDepth =
        new Surface(&d, SurfaceDesc(w, h, D3DFMT_D24S8, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT),
                    nullptr, true, false);
    d.Defaults(w, h, true);
    d.BindRenderTarget(0, d.Back);
    Assign(d.DepthStencil, static_cast<IDirect3DSurface9*>(d.AutoDepth));
}

RecordingDevice::~RecordingDevice() {
    Impl& d = *impl_;
    if (d.Recording) d.Recording->Release();
    ReleaseAll(d.State);
    for (auto*& rt : d.RenderTargets)
        Assign(rt, static_cast<IDirect3DSurface9*>(nullptr));
    Assign(d.DepthStencil, static_cast<IDirect3DSurface9*>(nullptr));
    delete d.Back;
    delete d.AutoDepth;
    for (Tracked* t : std::vector<Tracked*>(d.Live.begin(), d.Live.end()))
        t->Orphan();
    d.Live.clear();
}

RecordingDevice* CreateRecordingDevice(UINT backBufferWidth, UINT backBufferHeight) {
    return new RecordingDevice(backBufferWidth, backBufferHeight);
}

// --- IUnknown ---

HRESULT WINAPI RecordingDevice::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualGUID(riid, __uuidof(IUnknown)) || IsEqualGUID(riid, __uuidof(IDirect3DDevice9))) {
        AddRef();
        *out = static_cast<IDirect3DDevice9*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG WINAPI RecordingDevice::AddRef() {
    return ++impl_->Refs;
}

ULONG WINAPI RecordingDevice::Release() {
    ULONG r = --impl_->Refs;
    if (r == 0) delete this;
    return r;
}

// --- device, display, cursor, swap chains ---

HRESULT WINAPI RecordingDevice::TestCooperativeLevel() {
    if (HRESULT hr = impl_->Enter("TestCooperativeLevel")) return hr;
    return impl_->CooperativeLevel;
}

UINT WINAPI RecordingDevice::GetAvailableTextureMem() {
    impl_->Enter("GetAvailableTextureMem");
    return 256u << 20;
}

HRESULT WINAPI RecordingDevice::EvictManagedResources() {
    return impl_->Enter("EvictManagedResources");
}

HRESULT WINAPI RecordingDevice::GetDirect3D(IDirect3D9** out) {
    impl_->Enter("GetDirect3D", out);
    if (out) *out = nullptr;
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::GetDeviceCaps(D3DCAPS9* caps) {
    if (HRESULT hr = impl_->Enter("GetDeviceCaps", caps)) return hr;
    if (!caps) return kInvalid;
    // A plain shader model 3 card without texture size restrictions.
    *caps = D3DCAPS9{};
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_DRAWPRIMITIVES2EX;
    caps->PrimitiveMiscCaps = D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP |
                              D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    caps->RasterCaps = D3DPRASTERCAPS_SCISSORTEST;
    caps->SrcBlendCaps = caps->DestBlendCaps = 0x1FFF;
    caps->TextureCaps = D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
    caps->TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                              D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR |
                              D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR;
    caps->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_CLAMP;
    caps->MaxTextureWidth = caps->MaxTextureHeight = 8192;
    caps->MaxTextureAspectRatio = 8192;
    caps->MaxTextureBlendStages = kStages;
    caps->MaxSimultaneousTextures = kStages;
    caps->MaxActiveLights = 8;
    caps->MaxUserClipPlanes = kClipPlanes;
    caps->MaxPointSize = 64.0f;
    caps->MaxPrimitiveCount = 0xFFFFF;
    caps->MaxVertexIndex = 0xFFFFFF;
    caps->MaxStreams = kStreams;
    caps->MaxStreamStride = 255;
    caps->VertexShaderVersion = D3DVS_VERSION(3, 0);
    caps->MaxVertexShaderConst = kVsFloat;
    caps->PixelShaderVersion = D3DPS_VERSION(3, 0);
    caps->PixelShader1xMaxValue = 8.0f;
    caps->NumSimultaneousRTs = kRenderTargets;
    caps->StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                  D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    if (HRESULT hr = impl_->Enter("GetDisplayMode", swapChain, mode)) return hr;
    if (swapChain != 0 || !mode) return kInvalid;
    *mode = D3DDISPLAYMODE{impl_->Back->Desc.Width, impl_->Back->Desc.Height, 60, D3DFMT_X8R8G8B8};
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p) {
    if (HRESULT hr = impl_->Enter("GetCreationParameters", p)) return hr;
    if (!p) return kInvalid;
    *p = D3DDEVICE_CREATION_PARAMETERS{D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                       D3DCREATE_HARDWARE_VERTEXPROCESSING};
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetCursorProperties(UINT x, UINT y, IDirect3DSurface9* s) {
    impl_->Enter("SetCursorProperties", x, y, s);
    return kInvalid;
}

void WINAPI RecordingDevice::SetCursorPosition(int x, int y, DWORD flags) {
    impl_->Enter("SetCursorPosition", x, y, flags);
}

WINBOOL WINAPI RecordingDevice::ShowCursor(WINBOOL show) {
    impl_->Enter("ShowCursor", show);
    WINBOOL was = impl_->CursorShown;
    impl_->CursorShown = show;
    return was;
}

HRESULT WINAPI RecordingDevice::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pp,
                                                          IDirect3DSwapChain9** out) {
    impl_->Enter("CreateAdditionalSwapChain", pp, out);
    if (out) *out = nullptr;
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::GetSwapChain(UINT i, IDirect3DSwapChain9** out) {
    impl_->Enter("GetSwapChain", i, out);
    if (out) *out = nullptr;
    return kInvalid;
}

UINT WINAPI RecordingDevice::GetNumberOfSwapChains() {
    impl_->Enter("GetNumberOfSwapChains");
    return 1;
}

HRESULT WINAPI RecordingDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
    Impl& d = *impl_;
    ++d.Resets;
    if (HRESULT hr = d.Enter("Reset", pp)) return hr;
    if (!pp) return kInvalid;
    // Direct3D refuses while the application still holds video memory or the implicit surfaces.
    auto held = [&d](Surface* s) {
        ULONG own = 0;
        for (auto* rt : d.RenderTargets)
            own += rt == s;
        own += d.DepthStencil == s;
        return s->Refs > own;
    };
    if (held(d.Back) || held(d.AutoDepth)) return kInvalid;
    for (Tracked* t : d.Live)
        if (t->DefaultPool) return kInvalid;
    if (d.ResetResult != D3D_OK) return d.ResetResult;

    if (pp->BackBufferWidth == 0) pp->BackBufferWidth = d.Back->Desc.Width;
    if (pp->BackBufferHeight == 0) pp->BackBufferHeight = d.Back->Desc.Height;
    if (pp->BackBufferFormat == D3DFMT_UNKNOWN) pp->BackBufferFormat = D3DFMT_X8R8G8B8;
    UINT w = pp->BackBufferWidth, h = pp->BackBufferHeight;
    bool autoDepth = pp->EnableAutoDepthStencil;
    for (auto*& rt : d.RenderTargets)
        Assign(rt, static_cast<IDirect3DSurface9*>(nullptr));
    Assign(d.DepthStencil, static_cast<IDirect3DSurface9*>(nullptr));
    d.Back->Resize(w, h, D3DFMT_X8R8G8B8);
    D3DFORMAT depth = pp->AutoDepthStencilFormat;
    d.AutoDepth->Resize(w, h, autoDepth && depth != D3DFMT_UNKNOWN ? depth : D3DFMT_D24S8);
    d.Defaults(w, h, autoDepth);
    d.BindRenderTarget(0, d.Back);
    if (autoDepth) Assign(d.DepthStencil, static_cast<IDirect3DSurface9*>(d.AutoDepth));
    d.InScene = false;
    d.CooperativeLevel = D3D_OK;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::Present(const RECT* src, const RECT* dst, HWND window,
                                        const RGNDATA* dirty) {
    if (HRESULT hr = impl_->Enter("Present", src, dst, window, dirty)) return hr;
    return impl_->CooperativeLevel == D3D_OK ? D3D_OK : D3DERR_DEVICELOST;
}

HRESULT WINAPI RecordingDevice::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                              IDirect3DSurface9** out) {
    HRESULT hr = impl_->Enter("GetBackBuffer", swapChain, index, type, out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (swapChain != 0 || index != 0) return kInvalid;
    Out(out, static_cast<IDirect3DSurface9*>(impl_->Back));
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* status) {
    impl_->Enter("GetRasterStatus", swapChain, status);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::SetDialogBoxMode(WINBOOL enable) {
    impl_->Enter("SetDialogBoxMode", enable);
    return kInvalid;
}

void WINAPI RecordingDevice::SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) {
    impl_->Enter("SetGammaRamp", swapChain, flags, ramp);
    if (swapChain == 0 && ramp) impl_->Gamma = *ramp;
}

void WINAPI RecordingDevice::GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) {
    impl_->Enter("GetGammaRamp", swapChain, ramp);
    if (swapChain == 0 && ramp) *ramp = impl_->Gamma;
}

// --- resources ---

HRESULT WINAPI RecordingDevice::CreateTexture(UINT w, UINT h, UINT levels, DWORD usage,
                                              D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DTexture9** out, HANDLE* shared) {
    HRESULT hr = impl_->Enter("CreateTexture", w, h, levels, usage, format, pool, out, shared);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!w || !h || shared) return kInvalid;
    UINT full = MipCount(w, h);
    if (usage & D3DUSAGE_AUTOGENMIPMAP) {
        if (levels > 1) return kInvalid;
        levels = 1;
    } else if (levels == 0) {
        levels = full;
    } else if (levels > full) {
        return kInvalid;
    }
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) && pool != D3DPOOL_DEFAULT)
        return kInvalid;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return kInvalid;
    *out = new Texture(impl_.get(), w, h, levels, usage, format, pool);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::CreateVolumeTexture(UINT w, UINT h, UINT depth, UINT levels,
                                                    DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                    IDirect3DVolumeTexture9** out, HANDLE* shared) {
    impl_->Enter("CreateVolumeTexture", w, h, depth, levels, usage, format, pool, out, shared);
    if (out) *out = nullptr;
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::CreateCubeTexture(UINT edge, UINT levels, DWORD usage,
                                                  D3DFORMAT format, D3DPOOL pool,
                                                  IDirect3DCubeTexture9** out, HANDLE* shared) {
    impl_->Enter("CreateCubeTexture", edge, levels, usage, format, pool, out, shared);
    if (out) *out = nullptr;
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf,
                                                   D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                                   HANDLE* shared) {
    HRESULT hr = impl_->Enter("CreateVertexBuffer", length, usage, fvf, pool, out, shared);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!length || shared || pool == D3DPOOL_SCRATCH) return kInvalid;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return kInvalid;
    D3DVERTEXBUFFER_DESC d{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
    *out = new VertexBuffer(impl_.get(), d);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format,
                                                  D3DPOOL pool, IDirect3DIndexBuffer9** out,
                                                  HANDLE* shared) {
    HRESULT hr = impl_->Enter("CreateIndexBuffer", length, usage, format, pool, out, shared);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!length || shared || pool == D3DPOOL_SCRATCH) return kInvalid;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return kInvalid;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return kInvalid;
    D3DINDEXBUFFER_DESC d{format, D3DRTYPE_INDEXBUFFER, usage, pool, length};
    *out = new IndexBuffer(impl_.get(), d);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::CreateRenderTarget(UINT w, UINT h, D3DFORMAT format,
                                                   D3DMULTISAMPLE_TYPE ms, DWORD quality,
                                                   WINBOOL lockable, IDirect3DSurface9** out,
                                                   HANDLE* shared) {
    HRESULT hr =
        impl_->Enter("CreateRenderTarget", w, h, format, ms, quality, lockable, out, shared);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!w || !h || shared) return kInvalid;
    *out = new Surface(
        impl_.get(), SurfaceDesc(w, h, format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, ms, quality),
        nullptr, false, lockable);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::CreateDepthStencilSurface(UINT w, UINT h, D3DFORMAT format,
                                                          D3DMULTISAMPLE_TYPE ms, DWORD quality,
                                                          WINBOOL discard, IDirect3DSurface9** out,
                                                          HANDLE* shared) {
    HRESULT hr =
        impl_->Enter("CreateDepthStencilSurface", w, h, format, ms, quality, discard, out, shared);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!w || !h || shared) return kInvalid;
    bool lockable = format == D3DFMT_D16_LOCKABLE || format == D3DFMT_D32F_LOCKABLE;
    *out = new Surface(
        impl_.get(), SurfaceDesc(w, h, format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, ms, quality),
        nullptr, false, lockable);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::UpdateSurface(IDirect3DSurface9* src, const RECT* srcRect,
                                              IDirect3DSurface9* dst, const POINT* dstPoint) {
    if (HRESULT hr = impl_->Enter("UpdateSurface", src, srcRect, dst, dstPoint)) return hr;
    return src && dst ? D3D_OK : kInvalid;
}

HRESULT WINAPI RecordingDevice::UpdateTexture(IDirect3DBaseTexture9* src,
                                              IDirect3DBaseTexture9* dst) {
    if (HRESULT hr = impl_->Enter("UpdateTexture", src, dst)) return hr;
    return src && dst ? D3D_OK : kInvalid;
}

HRESULT WINAPI RecordingDevice::GetRenderTargetData(IDirect3DSurface9* rt, IDirect3DSurface9* dst) {
    if (HRESULT hr = impl_->Enter("GetRenderTargetData", rt, dst)) return hr;
    return rt && dst ? D3D_OK : kInvalid;
}

HRESULT WINAPI RecordingDevice::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dst) {
    impl_->Enter("GetFrontBufferData", swapChain, dst);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::StretchRect(IDirect3DSurface9* src, const RECT* srcRect,
                                            IDirect3DSurface9* dst, const RECT* dstRect,
                                            D3DTEXTUREFILTERTYPE filter) {
    if (HRESULT hr = impl_->Enter("StretchRect", src, srcRect, dst, dstRect, filter)) return hr;
    return src && dst ? D3D_OK : kInvalid;
}

HRESULT WINAPI RecordingDevice::ColorFill(IDirect3DSurface9* s, const RECT* rect, D3DCOLOR color) {
    if (HRESULT hr = impl_->Enter("ColorFill", s, rect, color)) return hr;
    return s ? D3D_OK : kInvalid;
}

HRESULT WINAPI RecordingDevice::CreateOffscreenPlainSurface(UINT w, UINT h, D3DFORMAT format,
                                                            D3DPOOL pool, IDirect3DSurface9** out,
                                                            HANDLE* shared) {
    HRESULT hr = impl_->Enter("CreateOffscreenPlainSurface", w, h, format, pool, out, shared);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!w || !h || shared || pool == D3DPOOL_MANAGED) return kInvalid;
    *out = new Surface(impl_.get(), SurfaceDesc(w, h, format, 0, pool), nullptr, false, true);
    return D3D_OK;
}

// --- targets and scenes ---

HRESULT WINAPI RecordingDevice::SetRenderTarget(DWORD index, IDirect3DSurface9* s) {
    if (HRESULT hr = impl_->Enter("SetRenderTarget", index, s)) return hr;
    if (index >= kRenderTargets || (index == 0 && !s)) return kInvalid;
    if (s && !(static_cast<Surface*>(s)->Desc.Usage & D3DUSAGE_RENDERTARGET)) return kInvalid;
    impl_->BindRenderTarget(index, s);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetRenderTarget(DWORD index, IDirect3DSurface9** out) {
    HRESULT hr = impl_->Enter("GetRenderTarget", index, out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (index >= kRenderTargets) return kInvalid;
    if (!impl_->RenderTargets[index]) return D3DERR_NOTFOUND;
    Out(out, impl_->RenderTargets[index]);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetDepthStencilSurface(IDirect3DSurface9* s) {
    if (HRESULT hr = impl_->Enter("SetDepthStencilSurface", s)) return hr;
    if (s && !(static_cast<Surface*>(s)->Desc.Usage & D3DUSAGE_DEPTHSTENCIL)) return kInvalid;
    Assign(impl_->DepthStencil, s);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetDepthStencilSurface(IDirect3DSurface9** out) {
    HRESULT hr = impl_->Enter("GetDepthStencilSurface", out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!impl_->DepthStencil) return D3DERR_NOTFOUND;
    Out(out, impl_->DepthStencil);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::BeginScene() {
    if (HRESULT hr = impl_->Enter("BeginScene")) return hr;
    if (impl_->InScene) return kInvalid;
    impl_->InScene = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::EndScene() {
    if (HRESULT hr = impl_->Enter("EndScene")) return hr;
    if (!impl_->InScene) return kInvalid;
    impl_->InScene = false;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags,
                                      D3DCOLOR color, float z, DWORD stencil) {
    if (HRESULT hr = impl_->Enter("Clear", count, rects, flags, color, z, stencil)) return hr;
    if (count && !rects) return kInvalid;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !impl_->DepthStencil) return kInvalid;
    return D3D_OK;
}

// --- fixed-function state ---

HRESULT WINAPI RecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    if (HRESULT hr = impl_->Enter("SetTransform", state, m)) return hr;
    if (!m || unsigned(state) >= kTransforms) return kInvalid;
    impl_->Target().Transforms[state] = *m;
    if (auto* mask = impl_->Mask()) mask->Transforms.set(state);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
    if (HRESULT hr = impl_->Enter("GetTransform", state, m)) return hr;
    if (!m || unsigned(state) >= kTransforms) return kInvalid;
    *m = impl_->State.Transforms[state];
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    if (HRESULT hr = impl_->Enter("MultiplyTransform", state, m)) return hr;
    if (!m || unsigned(state) >= kTransforms) return kInvalid;
    // The given matrix first, then the current one, as Direct3D composes row vectors.
    const D3DMATRIX a = *m, b = impl_->State.Transforms[state];
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    impl_->Target().Transforms[state] = r;
    if (auto* mask = impl_->Mask()) mask->Transforms.set(state);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetViewport(const D3DVIEWPORT9* vp) {
    if (HRESULT hr = impl_->Enter("SetViewport", vp)) return hr;
    if (!vp) return kInvalid;
    impl_->Target().Viewport = *vp;
    if (auto* mask = impl_->Mask()) mask->Viewport = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetViewport(D3DVIEWPORT9* vp) {
    if (HRESULT hr = impl_->Enter("GetViewport", vp)) return hr;
    if (!vp) return kInvalid;
    *vp = impl_->State.Viewport;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetMaterial(const D3DMATERIAL9* m) {
    if (HRESULT hr = impl_->Enter("SetMaterial", m)) return hr;
    if (!m) return kInvalid;
    impl_->Target().Material = *m;
    if (auto* mask = impl_->Mask()) mask->Material = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetMaterial(D3DMATERIAL9* m) {
    if (HRESULT hr = impl_->Enter("GetMaterial", m)) return hr;
    if (!m) return kInvalid;
    *m = impl_->State.Material;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (HRESULT hr = impl_->Enter("SetLight", index, light)) return hr;
    if (!light) return kInvalid;
    auto& lights = impl_->Target().Lights;
    auto it = lights.find(index);
    if (it == lights.end())
        lights[index] = Light{*light, FALSE};
    else
        it->second.Value = *light;
    if (auto* mask = impl_->Mask()) mask->Lights = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetLight(DWORD index, D3DLIGHT9* light) {
    if (HRESULT hr = impl_->Enter("GetLight", index, light)) return hr;
    auto it = impl_->State.Lights.find(index);
    if (!light || it == impl_->State.Lights.end()) return kInvalid;
    *light = it->second.Value;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::LightEnable(DWORD index, WINBOOL enable) {
    if (HRESULT hr = impl_->Enter("LightEnable", index, enable)) return hr;
    auto& lights = impl_->Target().Lights;
    auto it = lights.find(index);
    if (it == lights.end()) {
        // Enabling a light never set brings Direct3D's default white directional light.
        D3DLIGHT9 l{};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
        l.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
        it = lights.emplace(index, Light{l, FALSE}).first;
    }
    it->second.Enabled = enable ? TRUE : FALSE;
    if (auto* mask = impl_->Mask()) mask->Lights = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetLightEnable(DWORD index, WINBOOL* enable) {
    if (HRESULT hr = impl_->Enter("GetLightEnable", index, enable)) return hr;
    auto it = impl_->State.Lights.find(index);
    if (!enable || it == impl_->State.Lights.end()) return kInvalid;
    *enable = it->second.Enabled;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetClipPlane(DWORD index, const float* plane) {
    if (HRESULT hr = impl_->Enter("SetClipPlane", index, plane)) return hr;
    if (!plane || index >= kClipPlanes) return kInvalid;
    std::memcpy(impl_->Target().ClipPlanes[index], plane, 16);
    if (auto* mask = impl_->Mask()) mask->ClipPlanes.set(index);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetClipPlane(DWORD index, float* plane) {
    if (HRESULT hr = impl_->Enter("GetClipPlane", index, plane)) return hr;
    if (!plane || index >= kClipPlanes) return kInvalid;
    std::memcpy(plane, impl_->State.ClipPlanes[index], 16);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (HRESULT hr = impl_->Enter("SetRenderState", state, value)) return hr;
    if (unsigned(state) >= kRenderStates) return kInvalid;
    impl_->Target().RenderStates[state] = value;
    if (auto* mask = impl_->Mask()) mask->RenderStates.set(state);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (HRESULT hr = impl_->Enter("GetRenderState", state, value)) return hr;
    if (!value || unsigned(state) >= kRenderStates) return kInvalid;
    *value = impl_->State.RenderStates[state];
    return D3D_OK;
}

// --- state blocks ---

HRESULT WINAPI RecordingDevice::CreateStateBlock(D3DSTATEBLOCKTYPE type,
                                                 IDirect3DStateBlock9** out) {
    HRESULT hr = impl_->Enter("CreateStateBlock", type, out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (impl_->Recording) return kInvalid;
    if (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE)
        return kInvalid;
    // The pixel and vertex kinds hold everything as well; the product uses none of them.
    auto* sb = new StateBlock(impl_.get());
    sb->Mask.SetAll();
    Transfer(impl_->State, sb->State, sb->Mask);
    *out = sb;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::BeginStateBlock() {
    if (HRESULT hr = impl_->Enter("BeginStateBlock")) return hr;
    if (impl_->Recording) return kInvalid;
    impl_->Recording = new StateBlock(impl_.get());
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::EndStateBlock(IDirect3DStateBlock9** out) {
    HRESULT hr = impl_->Enter("EndStateBlock", out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!impl_->Recording) return kInvalid;
    *out = impl_->Recording;
    impl_->Recording = nullptr;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetClipStatus(const D3DCLIPSTATUS9* status) {
    if (HRESULT hr = impl_->Enter("SetClipStatus", status)) return hr;
    if (!status) return kInvalid;
    impl_->ClipStatus = *status;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetClipStatus(D3DCLIPSTATUS9* status) {
    if (HRESULT hr = impl_->Enter("GetClipStatus", status)) return hr;
    if (!status) return kInvalid;
    *status = impl_->ClipStatus;
    return D3D_OK;
}

// --- textures and samplers ---

HRESULT WINAPI RecordingDevice::GetTexture(DWORD stage, IDirect3DBaseTexture9** out) {
    HRESULT hr = impl_->Enter("GetTexture", stage, out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    int slot = SamplerSlot(stage);
    if (slot < 0) return kInvalid;
    Out(out, impl_->State.Textures[slot]);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (HRESULT hr = impl_->Enter("SetTexture", stage, texture)) return hr;
    int slot = SamplerSlot(stage);
    if (slot < 0) return kInvalid;
    Assign(impl_->Target().Textures[slot], texture);
    if (auto* mask = impl_->Mask()) mask->Textures.set(slot);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                                     DWORD* value) {
    if (HRESULT hr = impl_->Enter("GetTextureStageState", stage, type, value)) return hr;
    if (!value || stage >= kStages || unsigned(type) >= kStageTypes) return kInvalid;
    *value = impl_->State.StageStates[stage][type];
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                                     DWORD value) {
    if (HRESULT hr = impl_->Enter("SetTextureStageState", stage, type, value)) return hr;
    if (stage >= kStages || unsigned(type) >= kStageTypes) return kInvalid;
    impl_->Target().StageStates[stage][type] = value;
    if (auto* mask = impl_->Mask()) mask->StageStates.set(stage * kStageTypes + type);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type,
                                                DWORD* value) {
    if (HRESULT hr = impl_->Enter("GetSamplerState", sampler, type, value)) return hr;
    int slot = SamplerSlot(sampler);
    if (!value || slot < 0 || unsigned(type) >= kSamplerTypes) return kInvalid;
    *value = impl_->State.SamplerStates[slot][type];
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type,
                                                DWORD value) {
    if (HRESULT hr = impl_->Enter("SetSamplerState", sampler, type, value)) return hr;
    int slot = SamplerSlot(sampler);
    if (slot < 0 || unsigned(type) >= kSamplerTypes) return kInvalid;
    impl_->Target().SamplerStates[slot][type] = value;
    if (auto* mask = impl_->Mask()) mask->SamplerStates.set(slot * kSamplerTypes + type);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::ValidateDevice(DWORD* passes) {
    if (HRESULT hr = impl_->Enter("ValidateDevice", passes)) return hr;
    if (!passes) return kInvalid;
    *passes = 1;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetPaletteEntries(UINT palette, const PALETTEENTRY* entries) {
    impl_->Enter("SetPaletteEntries", palette, entries);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::GetPaletteEntries(UINT palette, PALETTEENTRY* entries) {
    impl_->Enter("GetPaletteEntries", palette, entries);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::SetCurrentTexturePalette(UINT palette) {
    impl_->Enter("SetCurrentTexturePalette", palette);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::GetCurrentTexturePalette(UINT* palette) {
    impl_->Enter("GetCurrentTexturePalette", palette);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::SetScissorRect(const RECT* rect) {
    if (HRESULT hr = impl_->Enter("SetScissorRect", rect)) return hr;
    if (!rect) return kInvalid;
    impl_->Target().Scissor = *rect;
    if (auto* mask = impl_->Mask()) mask->Scissor = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetScissorRect(RECT* rect) {
    if (HRESULT hr = impl_->Enter("GetScissorRect", rect)) return hr;
    if (!rect) return kInvalid;
    *rect = impl_->State.Scissor;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetSoftwareVertexProcessing(WINBOOL software) {
    if (HRESULT hr = impl_->Enter("SetSoftwareVertexProcessing", software)) return hr;
    impl_->SoftwareVP = software;
    return D3D_OK;
}

WINBOOL WINAPI RecordingDevice::GetSoftwareVertexProcessing() {
    impl_->Enter("GetSoftwareVertexProcessing");
    return impl_->SoftwareVP;
}

HRESULT WINAPI RecordingDevice::SetNPatchMode(float segments) {
    if (HRESULT hr = impl_->Enter("SetNPatchMode", segments)) return hr;
    impl_->Target().NPatchMode = segments;
    if (auto* mask = impl_->Mask()) mask->NPatchMode = true;
    return D3D_OK;
}

float WINAPI RecordingDevice::GetNPatchMode() {
    impl_->Enter("GetNPatchMode");
    return impl_->State.NPatchMode;
}

// --- drawing: recorded, nothing drawn ---

HRESULT WINAPI RecordingDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    return impl_->Enter("DrawPrimitive", type, start, count);
}

HRESULT WINAPI RecordingDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex,
                                                     UINT minIndex, UINT vertices, UINT startIndex,
                                                     UINT count) {
    return impl_->Enter("DrawIndexedPrimitive", type, baseVertex, minIndex, vertices, startIndex,
                        count);
}

HRESULT WINAPI RecordingDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data,
                                                UINT stride) {
    if (HRESULT hr = impl_->Enter("DrawPrimitiveUP", type, count, data, stride)) return hr;
    if (!data || !stride) return kInvalid;
    // Direct3D leaves stream 0 unset after drawing from user memory.
    DeviceState& s = impl_->State;
    Assign(s.Streams[0].Buffer, static_cast<IDirect3DVertexBuffer9*>(nullptr));
    s.Streams[0].Offset = s.Streams[0].Stride = 0;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex,
                                                       UINT vertices, UINT count,
                                                       const void* indices, D3DFORMAT format,
                                                       const void* data, UINT stride) {
    if (HRESULT hr = impl_->Enter("DrawIndexedPrimitiveUP", type, minIndex, vertices, count,
                                  indices, format, data, stride))
        return hr;
    if (!indices || !data || !stride) return kInvalid;
    DeviceState& s = impl_->State;
    Assign(s.Streams[0].Buffer, static_cast<IDirect3DVertexBuffer9*>(nullptr));
    s.Streams[0].Offset = s.Streams[0].Stride = 0;
    Assign(s.Indices, static_cast<IDirect3DIndexBuffer9*>(nullptr));
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::ProcessVertices(UINT src, UINT dst, UINT count,
                                                IDirect3DVertexBuffer9* buffer,
                                                IDirect3DVertexDeclaration9* decl, DWORD flags) {
    impl_->Enter("ProcessVertices", src, dst, count, buffer, decl, flags);
    return kInvalid;
}

// --- vertex formats and shaders ---

HRESULT WINAPI RecordingDevice::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                        IDirect3DVertexDeclaration9** out) {
    HRESULT hr = impl_->Enter("CreateVertexDeclaration", elements, out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (!elements) return kInvalid;
    std::vector<D3DVERTEXELEMENT9> list;
    for (int i = 0;; ++i) {
        if (i > MAXD3DDECLLENGTH) return kInvalid;
        list.push_back(elements[i]);
        if (elements[i].Stream == 0xFF) break;
    }
    *out = new VertexDeclaration(impl_.get(), std::move(list));
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) {
    if (HRESULT hr = impl_->Enter("SetVertexDeclaration", decl)) return hr;
    Assign(impl_->Target().Declaration, decl);
    if (auto* mask = impl_->Mask()) mask->Declaration = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetVertexDeclaration(IDirect3DVertexDeclaration9** out) {
    HRESULT hr = impl_->Enter("GetVertexDeclaration", out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    Out(out, impl_->State.Declaration);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetFVF(DWORD fvf) {
    if (HRESULT hr = impl_->Enter("SetFVF", fvf)) return hr;
    impl_->Target().FVF = fvf;
    if (auto* mask = impl_->Mask()) mask->FVF = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetFVF(DWORD* fvf) {
    if (HRESULT hr = impl_->Enter("GetFVF", fvf)) return hr;
    if (!fvf) return kInvalid;
    *fvf = impl_->State.FVF;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::CreateVertexShader(const DWORD* code,
                                                   IDirect3DVertexShader9** out) {
    HRESULT hr = impl_->Enter("CreateVertexShader", code, out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    std::vector<DWORD> c = ShaderCode(code);
    if (c.empty() || (c[0] & 0xFFFF0000) != 0xFFFE0000) return kInvalid;
    *out = new VertexShader(impl_.get(), std::move(c));
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetVertexShader(IDirect3DVertexShader9* shader) {
    if (HRESULT hr = impl_->Enter("SetVertexShader", shader)) return hr;
    Assign(impl_->Target().VertexShader, shader);
    if (auto* mask = impl_->Mask()) mask->VertexShader = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetVertexShader(IDirect3DVertexShader9** out) {
    HRESULT hr = impl_->Enter("GetVertexShader", out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    Out(out, impl_->State.VertexShader);
    return D3D_OK;
}

namespace {

// Shader constants: a run of registers written into the target state, marked when recording.
template <class T, size_t N, size_t W, size_t M>
HRESULT SetConstants(T (&regs)[N][W], std::bitset<M>* mask, UINT start, const T* data, UINT count) {
    if (!data || start > N || count > N - start) return kInvalid;
    std::memcpy(regs[start], data, sizeof(T) * W * count);
    if (mask)
        for (UINT i = 0; i < count; ++i)
            mask->set(start + i);
    return D3D_OK;
}

template <class T, size_t N, size_t W>
HRESULT GetConstants(const T (&regs)[N][W], UINT start, T* data, UINT count) {
    if (!data || start > N || count > N - start) return kInvalid;
    std::memcpy(data, regs[start], sizeof(T) * W * count);
    return D3D_OK;
}

} // namespace

#define CONSTANTS(Stage, Kind, Type, Field)                                                        \
    HRESULT WINAPI RecordingDevice::Set##Stage##ShaderConstant##Kind(UINT start, const Type* data, \
                                                                     UINT count) {                 \
        if (HRESULT hr = impl_->Enter("Set" #Stage "ShaderConstant" #Kind, start, data, count))    \
            return hr;                                                                             \
        StateMask* m = impl_->Mask();                                                              \
        return SetConstants(impl_->Target().Field, m ? &m->Field : nullptr, start, data, count);   \
    }                                                                                              \
    HRESULT WINAPI RecordingDevice::Get##Stage##ShaderConstant##Kind(UINT start, Type* data,       \
                                                                     UINT count) {                 \
        if (HRESULT hr = impl_->Enter("Get" #Stage "ShaderConstant" #Kind, start, data, count))    \
            return hr;                                                                             \
        return GetConstants(impl_->State.Field, start, data, count);                               \
    }

CONSTANTS(Vertex, F, float, VsFloat)
CONSTANTS(Vertex, I, int, VsInt)
CONSTANTS(Vertex, B, WINBOOL, VsBool)
CONSTANTS(Pixel, F, float, PsFloat)
CONSTANTS(Pixel, I, int, PsInt)
CONSTANTS(Pixel, B, WINBOOL, PsBool)

HRESULT WINAPI RecordingDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer,
                                                UINT offset, UINT stride) {
    if (HRESULT hr = impl_->Enter("SetStreamSource", stream, buffer, offset, stride)) return hr;
    if (stream >= kStreams) return kInvalid;
    StreamSource& s = impl_->Target().Streams[stream];
    Assign(s.Buffer, buffer);
    s.Offset = offset;
    s.Stride = stride;
    if (auto* mask = impl_->Mask()) mask->Streams.set(stream);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** out,
                                                UINT* offset, UINT* stride) {
    HRESULT hr = impl_->Enter("GetStreamSource", stream, out, offset, stride);
    if (!out || !offset || !stride) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    if (stream >= kStreams) return kInvalid;
    const StreamSource& s = impl_->State.Streams[stream];
    Out(out, s.Buffer);
    *offset = s.Offset;
    *stride = s.Stride;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetStreamSourceFreq(UINT stream, UINT divider) {
    if (HRESULT hr = impl_->Enter("SetStreamSourceFreq", stream, divider)) return hr;
    if (stream >= kStreams) return kInvalid;
    impl_->Target().StreamFreq[stream] = divider;
    if (auto* mask = impl_->Mask()) mask->StreamFreq.set(stream);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetStreamSourceFreq(UINT stream, UINT* divider) {
    if (HRESULT hr = impl_->Enter("GetStreamSourceFreq", stream, divider)) return hr;
    if (!divider || stream >= kStreams) return kInvalid;
    *divider = impl_->State.StreamFreq[stream];
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetIndices(IDirect3DIndexBuffer9* indices) {
    if (HRESULT hr = impl_->Enter("SetIndices", indices)) return hr;
    Assign(impl_->Target().Indices, indices);
    if (auto* mask = impl_->Mask()) mask->Indices = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetIndices(IDirect3DIndexBuffer9** out) {
    HRESULT hr = impl_->Enter("GetIndices", out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    Out(out, impl_->State.Indices);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** out) {
    HRESULT hr = impl_->Enter("CreatePixelShader", code, out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    std::vector<DWORD> c = ShaderCode(code);
    if (c.empty() || (c[0] & 0xFFFF0000) != 0xFFFF0000) return kInvalid;
    *out = new PixelShader(impl_.get(), std::move(c));
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::SetPixelShader(IDirect3DPixelShader9* shader) {
    if (HRESULT hr = impl_->Enter("SetPixelShader", shader)) return hr;
    Assign(impl_->Target().PixelShader, shader);
    if (auto* mask = impl_->Mask()) mask->PixelShader = true;
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::GetPixelShader(IDirect3DPixelShader9** out) {
    HRESULT hr = impl_->Enter("GetPixelShader", out);
    if (!out) return kInvalid;
    *out = nullptr;
    if (hr) return hr;
    Out(out, impl_->State.PixelShader);
    return D3D_OK;
}

HRESULT WINAPI RecordingDevice::DrawRectPatch(UINT handle, const float* segments,
                                              const D3DRECTPATCH_INFO* info) {
    impl_->Enter("DrawRectPatch", handle, segments, info);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::DrawTriPatch(UINT handle, const float* segments,
                                             const D3DTRIPATCH_INFO* info) {
    impl_->Enter("DrawTriPatch", handle, segments, info);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::DeletePatch(UINT handle) {
    impl_->Enter("DeletePatch", handle);
    return kInvalid;
}

HRESULT WINAPI RecordingDevice::CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** out) {
    impl_->Enter("CreateQuery", type, out);
    if (out) *out = nullptr;
    return kInvalid;
}

// --- for tests ---

IDirect3DSurface9* RecordingDevice::BackBuffer() const {
    return impl_->Back;
}
IDirect3DSurface9* RecordingDevice::AutoDepthStencil() const {
    return impl_->AutoDepth;
}
const std::vector<DeviceCall>& RecordingDevice::Calls() const {
    return impl_->Log;
}
void RecordingDevice::ClearCalls() {
    impl_->Log.clear();
}
void RecordingDevice::SetLogging(bool on) {
    impl_->Logging = on;
}

int RecordingDevice::CountCalls(const char* method) const {
    return int(std::count_if(impl_->Log.begin(), impl_->Log.end(), [method](const DeviceCall& c) {
        return std::strcmp(c.Method, method) == 0;
    }));
}

DWORD RecordingDevice::PeekRenderState(D3DRENDERSTATETYPE state) const {
    return unsigned(state) < kRenderStates ? impl_->State.RenderStates[state] : 0;
}

DWORD RecordingDevice::PeekSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type) const {
    int slot = SamplerSlot(sampler);
    return slot >= 0 && unsigned(type) < kSamplerTypes ? impl_->State.SamplerStates[slot][type] : 0;
}

DWORD RecordingDevice::PeekTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const {
    return stage < kStages && unsigned(type) < kStageTypes ? impl_->State.StageStates[stage][type]
                                                           : 0;
}

D3DMATRIX RecordingDevice::PeekTransform(D3DTRANSFORMSTATETYPE state) const {
    return unsigned(state) < kTransforms ? impl_->State.Transforms[state] : D3DMATRIX{};
}

IDirect3DSurface9* RecordingDevice::PeekRenderTarget(DWORD index) const {
    return index < kRenderTargets ? impl_->RenderTargets[index] : nullptr;
}

IDirect3DSurface9* RecordingDevice::PeekDepthStencil() const {
    return impl_->DepthStencil;
}

IDirect3DBaseTexture9* RecordingDevice::PeekTexture(DWORD stage) const {
    int slot = SamplerSlot(stage);
    return slot >= 0 ? impl_->State.Textures[slot] : nullptr;
}

StreamSource RecordingDevice::PeekStreamSource(UINT stream) const {
    return stream < kStreams ? impl_->State.Streams[stream] : StreamSource{};
}

D3DVIEWPORT9 RecordingDevice::PeekViewport() const {
    return impl_->State.Viewport;
}
DWORD RecordingDevice::PeekFVF() const {
    return impl_->State.FVF;
}
IDirect3DVertexDeclaration9* RecordingDevice::PeekVertexDeclaration() const {
    return impl_->State.Declaration;
}
IDirect3DVertexShader9* RecordingDevice::PeekVertexShader() const {
    return impl_->State.VertexShader;
}
IDirect3DPixelShader9* RecordingDevice::PeekPixelShader() const {
    return impl_->State.PixelShader;
}
bool RecordingDevice::InScene() const {
    return impl_->InScene;
}

ULONG RecordingDevice::PeekRefCount(IUnknown* object) {
    if (!object) return 0;
    object->AddRef();
    return object->Release();
}

const void* RecordingDevice::PeekBufferBytes(IUnknown* buffer) {
    if (auto* vb = dynamic_cast<VertexBuffer*>(buffer)) return vb->Bytes.data();
    if (auto* ib = dynamic_cast<IndexBuffer*>(buffer)) return ib->Bytes.data();
    return nullptr;
}

bool RecordingDevice::PeekLocked(IUnknown* resource) {
    if (auto* vb = dynamic_cast<VertexBuffer*>(resource)) return vb->Locks > 0;
    if (auto* ib = dynamic_cast<IndexBuffer*>(resource)) return ib->Locks > 0;
    if (auto* s = dynamic_cast<Surface*>(resource)) return s->Locked;
    if (auto* t = dynamic_cast<Texture*>(resource))
        return std::any_of(t->Levels.begin(), t->Levels.end(),
                           [](const Surface* l) { return l->Locked; });
    return false;
}

ULONG RecordingDevice::RefCount() const {
    return impl_->Refs;
}
int RecordingDevice::LiveObjects() const {
    return int(impl_->Live.size());
}

int RecordingDevice::LiveDefaultPoolObjects() const {
    return int(std::count_if(impl_->Live.begin(), impl_->Live.end(),
                             [](const Tracked* t) { return t->DefaultPool; }));
}

void RecordingDevice::SetResetResult(HRESULT hr) {
    impl_->ResetResult = hr;
}
int RecordingDevice::ResetCalls() const {
    return impl_->Resets;
}
void RecordingDevice::SetCooperativeLevel(HRESULT hr) {
    impl_->CooperativeLevel = hr;
}

void RecordingDevice::FailCall(const char* method, int nth, HRESULT hr) {
    if (nth >= 1) impl_->Failures.push_back(FailureRule{method, nth, hr});
}

void RecordingDevice::ClearFailures() {
    impl_->Failures.clear();
}

} // namespace recdevice
