// A Direct3D 9 device for tests: it keeps state, counts references, logs calls, enforces the
// Reset rule and injects failures, and draws nothing. Every object it hands out is a real object
// with a true COM reference count, destroyed when released to zero.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace recdevice {

// One call on the device or on one of its objects (Lock, Unlock, GetSurfaceLevel, LockRect, ...),
// with its arguments as raw 32-bit values: enums, DWORDs, pointers, floats by bit pattern. Structs
// passed by pointer are logged as the pointer. AddRef, Release and QueryInterface are not logged.
struct DeviceCall {
    const char* Method;
    std::vector<uint32_t> Args;
};

struct StreamSource {
    IDirect3DVertexBuffer9* Buffer;
    UINT Offset;
    UINT Stride;
};

class RecordingDevice : public IDirect3DDevice9 {
  public:
    RecordingDevice(UINT backBufferWidth, UINT backBufferHeight);
    virtual ~RecordingDevice();
    RecordingDevice(const RecordingDevice&) = delete;
    RecordingDevice& operator=(const RecordingDevice&) = delete;

    // --- IDirect3DDevice9, every method; those the product does not use answer D3DERR_INVALIDCALL
    HRESULT WINAPI QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG WINAPI AddRef() override;
    ULONG WINAPI Release() override;
    HRESULT WINAPI TestCooperativeLevel() override;
    UINT WINAPI GetAvailableTextureMem() override;
    HRESULT WINAPI EvictManagedResources() override;
    HRESULT WINAPI GetDirect3D(IDirect3D9** ppD3D9) override;
    HRESULT WINAPI GetDeviceCaps(D3DCAPS9* pCaps) override;
    HRESULT WINAPI GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
    HRESULT WINAPI GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    HRESULT WINAPI SetCursorProperties(UINT XHotSpot, UINT YHotSpot,
                                       IDirect3DSurface9* pCursorBitmap) override;
    void WINAPI SetCursorPosition(int X, int Y, DWORD Flags) override;
    WINBOOL WINAPI ShowCursor(WINBOOL bShow) override;
    HRESULT WINAPI CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pPresentationParameters,
                                             IDirect3DSwapChain9** pSwapChain) override;
    HRESULT WINAPI GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain) override;
    UINT WINAPI GetNumberOfSwapChains() override;
    HRESULT WINAPI Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT WINAPI Present(const RECT* src_rect, const RECT* dst_rect, HWND dst_window_override,
                           const RGNDATA* dirty_region) override;
    HRESULT WINAPI GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                 IDirect3DSurface9** ppBackBuffer) override;
    HRESULT WINAPI GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus) override;
    HRESULT WINAPI SetDialogBoxMode(WINBOOL bEnableDialogs) override;
    void WINAPI SetGammaRamp(UINT swapchain_idx, DWORD flags, const D3DGAMMARAMP* ramp) override;
    void WINAPI GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP* pRamp) override;
    HRESULT WINAPI CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage,
                                 D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture9** ppTexture,
                                 HANDLE* pSharedHandle) override;
    HRESULT WINAPI CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels,
                                       DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                       IDirect3DVolumeTexture9** ppVolumeTexture,
                                       HANDLE* pSharedHandle) override;
    HRESULT WINAPI CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                     D3DPOOL Pool, IDirect3DCubeTexture9** ppCubeTexture,
                                     HANDLE* pSharedHandle) override;
    HRESULT WINAPI CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                      IDirect3DVertexBuffer9** ppVertexBuffer,
                                      HANDLE* pSharedHandle) override;
    HRESULT WINAPI CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                     IDirect3DIndexBuffer9** ppIndexBuffer,
                                     HANDLE* pSharedHandle) override;
    HRESULT WINAPI CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format,
                                      D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                      WINBOOL Lockable, IDirect3DSurface9** ppSurface,
                                      HANDLE* pSharedHandle) override;
    HRESULT WINAPI CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                             D3DMULTISAMPLE_TYPE MultiSample,
                                             DWORD MultisampleQuality, WINBOOL Discard,
                                             IDirect3DSurface9** ppSurface,
                                             HANDLE* pSharedHandle) override;
    HRESULT WINAPI UpdateSurface(IDirect3DSurface9* src_surface, const RECT* src_rect,
                                 IDirect3DSurface9* dst_surface, const POINT* dst_point) override;
    HRESULT WINAPI UpdateTexture(IDirect3DBaseTexture9* pSourceTexture,
                                 IDirect3DBaseTexture9* pDestinationTexture) override;
    HRESULT WINAPI GetRenderTargetData(IDirect3DSurface9* pRenderTarget,
                                       IDirect3DSurface9* pDestSurface) override;
    HRESULT WINAPI GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDestSurface) override;
    HRESULT WINAPI StretchRect(IDirect3DSurface9* src_surface, const RECT* src_rect,
                               IDirect3DSurface9* dst_surface, const RECT* dst_rect,
                               D3DTEXTUREFILTERTYPE filter) override;
    HRESULT WINAPI ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT WINAPI CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                               D3DPOOL Pool, IDirect3DSurface9** ppSurface,
                                               HANDLE* pSharedHandle) override;
    HRESULT WINAPI SetRenderTarget(DWORD RenderTargetIndex,
                                   IDirect3DSurface9* pRenderTarget) override;
    HRESULT WINAPI GetRenderTarget(DWORD RenderTargetIndex,
                                   IDirect3DSurface9** ppRenderTarget) override;
    HRESULT WINAPI SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override;
    HRESULT WINAPI GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override;
    HRESULT WINAPI BeginScene() override;
    HRESULT WINAPI EndScene() override;
    HRESULT WINAPI Clear(DWORD rect_count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                         float z, DWORD stencil) override;
    HRESULT WINAPI SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT WINAPI GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT WINAPI MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT WINAPI SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT WINAPI GetViewport(D3DVIEWPORT9* pViewport) override;
    HRESULT WINAPI SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT WINAPI GetMaterial(D3DMATERIAL9* pMaterial) override;
    HRESULT WINAPI SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT WINAPI GetLight(DWORD Index, D3DLIGHT9*) override;
    HRESULT WINAPI LightEnable(DWORD Index, WINBOOL Enable) override;
    HRESULT WINAPI GetLightEnable(DWORD Index, WINBOOL* pEnable) override;
    HRESULT WINAPI SetClipPlane(DWORD index, const float* plane) override;
    HRESULT WINAPI GetClipPlane(DWORD Index, float* pPlane) override;
    HRESULT WINAPI SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT WINAPI GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT WINAPI CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB) override;
    HRESULT WINAPI BeginStateBlock() override;
    HRESULT WINAPI EndStateBlock(IDirect3DStateBlock9** ppSB) override;
    HRESULT WINAPI SetClipStatus(const D3DCLIPSTATUS9* clip_status) override;
    HRESULT WINAPI GetClipStatus(D3DCLIPSTATUS9* pClipStatus) override;
    HRESULT WINAPI GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT WINAPI SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT WINAPI GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                                        DWORD* pValue) override;
    HRESULT WINAPI SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                                        DWORD Value) override;
    HRESULT WINAPI GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    HRESULT WINAPI SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT WINAPI ValidateDevice(DWORD* pNumPasses) override;
    HRESULT WINAPI SetPaletteEntries(UINT palette_idx, const PALETTEENTRY* entries) override;
    HRESULT WINAPI GetPaletteEntries(UINT PaletteNumber, PALETTEENTRY* pEntries) override;
    HRESULT WINAPI SetCurrentTexturePalette(UINT PaletteNumber) override;
    HRESULT WINAPI GetCurrentTexturePalette(UINT* PaletteNumber) override;
    HRESULT WINAPI SetScissorRect(const RECT* rect) override;
    HRESULT WINAPI GetScissorRect(RECT* pRect) override;
    HRESULT WINAPI SetSoftwareVertexProcessing(WINBOOL bSoftware) override;
    WINBOOL WINAPI GetSoftwareVertexProcessing() override;
    HRESULT WINAPI SetNPatchMode(float nSegments) override;
    float WINAPI GetNPatchMode() override;
    HRESULT WINAPI DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                                 UINT PrimitiveCount) override;
    HRESULT WINAPI DrawIndexedPrimitive(D3DPRIMITIVETYPE, INT BaseVertexIndex, UINT MinVertexIndex,
                                        UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT WINAPI DrawPrimitiveUP(D3DPRIMITIVETYPE primitive_type, UINT primitive_count,
                                   const void* data, UINT stride) override;
    HRESULT WINAPI DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitive_type, UINT min_vertex_idx,
                                          UINT vertex_count, UINT primitive_count,
                                          const void* index_data, D3DFORMAT index_format,
                                          const void* data, UINT stride) override;
    HRESULT WINAPI ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                                   IDirect3DVertexBuffer9* pDestBuffer,
                                   IDirect3DVertexDeclaration9* pVertexDecl, DWORD Flags) override;
    HRESULT WINAPI CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                           IDirect3DVertexDeclaration9** declaration) override;
    HRESULT WINAPI SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
    HRESULT WINAPI GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT WINAPI SetFVF(DWORD FVF) override;
    HRESULT WINAPI GetFVF(DWORD* pFVF) override;
    HRESULT WINAPI CreateVertexShader(const DWORD* byte_code,
                                      IDirect3DVertexShader9** shader) override;
    HRESULT WINAPI SetVertexShader(IDirect3DVertexShader9* pShader) override;
    HRESULT WINAPI GetVertexShader(IDirect3DVertexShader9** ppShader) override;
    HRESULT WINAPI SetVertexShaderConstantF(UINT reg_idx, const float* data, UINT count) override;
    HRESULT WINAPI GetVertexShaderConstantF(UINT StartRegister, float* pConstantData,
                                            UINT Vector4fCount) override;
    HRESULT WINAPI SetVertexShaderConstantI(UINT reg_idx, const int* data, UINT count) override;
    HRESULT WINAPI GetVertexShaderConstantI(UINT StartRegister, int* pConstantData,
                                            UINT Vector4iCount) override;
    HRESULT WINAPI SetVertexShaderConstantB(UINT reg_idx, const WINBOOL* data, UINT count) override;
    HRESULT WINAPI GetVertexShaderConstantB(UINT StartRegister, WINBOOL* pConstantData,
                                            UINT BoolCount) override;
    HRESULT WINAPI SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                                   UINT OffsetInBytes, UINT Stride) override;
    HRESULT WINAPI GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData,
                                   UINT* OffsetInBytes, UINT* pStride) override;
    HRESULT WINAPI SetStreamSourceFreq(UINT StreamNumber, UINT Divider) override;
    HRESULT WINAPI GetStreamSourceFreq(UINT StreamNumber, UINT* Divider) override;
    HRESULT WINAPI SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
    HRESULT WINAPI GetIndices(IDirect3DIndexBuffer9** ppIndexData) override;
    HRESULT WINAPI CreatePixelShader(const DWORD* byte_code,
                                     IDirect3DPixelShader9** shader) override;
    HRESULT WINAPI SetPixelShader(IDirect3DPixelShader9* pShader) override;
    HRESULT WINAPI GetPixelShader(IDirect3DPixelShader9** ppShader) override;
    HRESULT WINAPI SetPixelShaderConstantF(UINT reg_idx, const float* data, UINT count) override;
    HRESULT WINAPI GetPixelShaderConstantF(UINT StartRegister, float* pConstantData,
                                           UINT Vector4fCount) override;
    HRESULT WINAPI SetPixelShaderConstantI(UINT reg_idx, const int* data, UINT count) override;
    HRESULT WINAPI GetPixelShaderConstantI(UINT StartRegister, int* pConstantData,
                                           UINT Vector4iCount) override;
    HRESULT WINAPI SetPixelShaderConstantB(UINT reg_idx, const WINBOOL* data, UINT count) override;
    HRESULT WINAPI GetPixelShaderConstantB(UINT StartRegister, WINBOOL* pConstantData,
                                           UINT BoolCount) override;
    HRESULT WINAPI DrawRectPatch(UINT handle, const float* segment_count,
                                 const D3DRECTPATCH_INFO* patch_info) override;
    HRESULT WINAPI DrawTriPatch(UINT handle, const float* segment_count,
                                const D3DTRIPATCH_INFO* patch_info) override;
    HRESULT WINAPI DeletePatch(UINT Handle) override;
    HRESULT WINAPI CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) override;

    // --- for tests; nothing below is logged

    // The implicit back buffer (X8R8G8B8, the chosen size), not AddRef'd: what the game keeps at
    // its back-buffer address. It stays the same object across Reset (resized in place).
    IDirect3DSurface9* BackBuffer() const;
    // The implicit depth-stencil surface (D24S8), not AddRef'd.
    IDirect3DSurface9* AutoDepthStencil() const;

    const std::vector<DeviceCall>& Calls() const;
    void ClearCalls();
    void SetLogging(bool on); // off: no log at all, for benchmarks
    int CountCalls(const char* method) const;

    DWORD PeekRenderState(D3DRENDERSTATETYPE state) const;
    DWORD PeekSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type) const;
    DWORD PeekTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const;
    D3DMATRIX PeekTransform(D3DTRANSFORMSTATETYPE state) const;
    IDirect3DSurface9* PeekRenderTarget(DWORD index) const;
    IDirect3DSurface9* PeekDepthStencil() const;
    IDirect3DBaseTexture9* PeekTexture(DWORD stage) const;
    StreamSource PeekStreamSource(UINT stream) const;
    D3DVIEWPORT9 PeekViewport() const;
    DWORD PeekFVF() const;
    IDirect3DVertexDeclaration9* PeekVertexDeclaration() const;
    IDirect3DVertexShader9* PeekVertexShader() const;
    IDirect3DPixelShader9* PeekPixelShader() const;
    bool InScene() const; // between BeginScene and EndScene

    // The memory behind a vertex or index buffer (null for anything else), and whether a buffer,
    // surface or texture level is locked now.
    static const void* PeekBufferBytes(IUnknown* buffer);
    static bool PeekLocked(IUnknown* resource);

    // Public reference count of any object (device included), read without changing it.
    static ULONG PeekRefCount(IUnknown* object);
    ULONG RefCount() const;             // the device's own
    int LiveObjects() const;            // every object created and not yet destroyed
    int LiveDefaultPoolObjects() const; // those in D3DPOOL_DEFAULT (implicit surfaces excluded)

    // Reset: D3DERR_INVALIDCALL while a default-pool object lives or an implicit surface is held
    // beyond the device's own bindings (bound objects count as alive); otherwise the scripted
    // result (D3D_OK by default). A scripted failure leaves the device as it was. A successful
    // Reset gives back every binding, restores the defaults, resizes the back buffer to the
    // parameters' size (a zero size keeps the current one and is written back, as in windowed
    // mode) and binds the depth-stencil surface only when EnableAutoDepthStencil is set (ZENABLE
    // follows it).
    void SetResetResult(HRESULT hr);
    int ResetCalls() const;               // every call, refused or not
    void SetCooperativeLevel(HRESULT hr); // what TestCooperativeLevel answers (D3D_OK by default)

    // The nth call (1-based, counted from now) of `method` fails with hr and creates nothing.
    // Names are the logged ones: "CreateTexture", "GetSurfaceLevel", "CreateVertexBuffer", "Lock",
    // "LockRect", "SetRenderTarget", "Reset", ... Several may be armed at once.
    void FailCall(const char* method, int nth, HRESULT hr);
    void ClearFailures();

    // Internal, for the objects of this device.
    struct Impl;
    Impl& impl() { return *impl_; }

  private:
    std::unique_ptr<Impl> impl_;
};

// The device with a reference count of 1, render target 0 the back buffer, the depth-stencil
// surface bound, Direct3D 9's default states and a viewport over the whole back buffer.
RecordingDevice* CreateRecordingDevice(UINT backBufferWidth, UINT backBufferHeight);

} // namespace recdevice

using recdevice::CreateRecordingDevice;
using recdevice::DeviceCall;
using recdevice::RecordingDevice;
using recdevice::StreamSource;
