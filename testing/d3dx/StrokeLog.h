// The stroke log of our d3dx9_43.dll stand-in: what the line drawer was asked to draw and what
// it produced, for tests and tools. It is reached without any export of its own: QueryInterface
// on any ID3DXLine of ours with IID_IStrokeLog answers the process-wide log. Header only.
#pragma once

#include <d3dx9.h>

// {5C1E7A10-3B9D-4F62-A8E4-7D0B2C6F91A3}
inline constexpr GUID IID_IStrokeLog = {
    0x5c1e7a10, 0x3b9d, 0x4f62, {0xa8, 0xe4, 0x7d, 0x0b, 0x2c, 0x6f, 0x91, 0xa3}};

// One DrawTransform call. Points and Segments stay valid until the next Mark or Reset.
struct StrokeRecord {
    D3DXMATRIX Matrix; // the transform, colour and points as passed
    D3DCOLOR Colour;
    UINT PointCount;
    const D3DXVECTOR3* Points;
    // The segments left after clipping, in viewport pixels (x right, y down): x0, y0, x1, y1 each.
    UINT SegmentCount;
    const float* Segments;
    float Width; // the line width in force for the call
};

enum StrokeLogCreate {
    StrokeLogCreateLine = 0,    // D3DXCreateLine
    StrokeLogCreateTexture = 1, // D3DXCreateTextureFromFileInMemory
};

// A process-wide object: AddRef and Release are accepted but never free it.
#undef INTERFACE
#define INTERFACE IStrokeLog
DECLARE_INTERFACE_(IStrokeLog, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** out) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;

    // Clears the records and the call count; settings and pending failures stay.
    STDMETHOD_(void, Mark)(THIS) PURE;
    // Records since the last Mark, in call order (only while logging is on).
    STDMETHOD_(UINT, Count)(THIS) PURE;
    // Null when index >= Count().
    STDMETHOD_(const StrokeRecord*, Get)(THIS_ UINT index) PURE;
    // Successful DrawTransform calls since the last Mark, logged or not.
    STDMETHOD_(UINT, CallCount)(THIS) PURE;
    // FALSE: strokes are clipped, mapped and logged but nothing reaches the device. Default TRUE.
    STDMETHOD_(void, SetRasterize)(THIS_ BOOL rasterize) PURE;
    // FALSE: calls are counted but not recorded. Default TRUE.
    STDMETHOD_(void, SetLogging)(THIS_ BOOL logging) PURE;
    // The nth DrawTransform call from now (1 = the next one) answers hr, draws and logs nothing
    // and is not counted; 0 cancels.
    STDMETHOD_(void, FailDraw)(THIS_ UINT nth, HRESULT hr) PURE;
    // The nth D3DXCreateLine or D3DXCreateTextureFromFileInMemory call from now (1 = the next)
    // answers hr and creates nothing; 0 cancels. OpenStrokeLog's own D3DXCreateLine counts too.
    STDMETHOD_(void, FailCreate)(THIS_ StrokeLogCreate which, UINT nth, HRESULT hr) PURE;
    // Back to the start: no records, rasterize and logging on, no pending failures.
    STDMETHOD_(void, Reset)(THIS) PURE;
};
#undef INTERFACE

// The log, through a line drawer created (and released again) on device; null if that fails,
// e.g. when Wine's own d3dx9_43 got loaded instead of ours. Release it when done.
inline IStrokeLog* OpenStrokeLog(IDirect3DDevice9* device) {
    ID3DXLine* line = nullptr;
    if (FAILED(D3DXCreateLine(device, &line)) || !line) return nullptr;
    IStrokeLog* log = nullptr;
    if (FAILED(line->QueryInterface(IID_IStrokeLog, reinterpret_cast<void**>(&log)))) log = nullptr;
    line->Release();
    return log;
}
