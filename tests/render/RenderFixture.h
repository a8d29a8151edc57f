// Shared pieces of the render tests: the DrawInterface call patch, a line drawer the tests can
// watch, and a frame on the recording device.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>

#include "render/DrawDisplay.h"
#include "render/Resources.h"
#include "testing/d3dx/StrokeLog.h"
#include "testing/gamemodel/GameModel.h"
#include "testing/recdevice/RecordingDevice.h"

// What the installer writes at the DrawInterface site: a call toward DrawDisplay over the
// game's load of AL. GameReset puts the game's bytes back before the next test.
inline void PatchDrawInterfaceCall() {
    auto* site = reinterpret_cast<uint8_t*>(HostDrawInterfaceSite);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(site, 5, PAGE_EXECUTE_READWRITE, &old));
    const uint32_t displacement = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&DrawDisplay) -
                                                        (HostDrawInterfaceSite + 5));
    site[0] = 0xE8;
    std::memcpy(site + 1, &displacement, 4);
    VirtualProtect(site, 5, old, &old);
    FlushInstructionCache(GetCurrentProcess(), site, 5);
}

// A line drawer that draws nothing and lets a test act at Begin, End and every stroke; it
// makes no device call of its own. Static lifetime: Release never frees it.
class ProbeLine : public ID3DXLine {
  public:
    std::function<void()> OnBegin, OnEnd;
    std::function<HRESULT(const D3DXVECTOR3*, DWORD, const D3DXMATRIX*, D3DCOLOR)> OnDraw;
    int Begins = 0, Ends = 0, Draws = 0;
    ULONG Refs = 1;

    HRESULT WINAPI QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return ++Refs; }
    ULONG WINAPI Release() override { return --Refs; }
    HRESULT WINAPI GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
    HRESULT WINAPI Begin() override {
        ++Begins;
        if (OnBegin) OnBegin();
        return S_OK;
    }
    HRESULT WINAPI Draw(const D3DXVECTOR2*, DWORD, D3DCOLOR) override { return E_NOTIMPL; }
    HRESULT WINAPI DrawTransform(const D3DXVECTOR3* points, DWORD count, const D3DXMATRIX* m,
                                 D3DCOLOR colour) override {
        ++Draws;
        return OnDraw ? OnDraw(points, count, m, colour) : S_OK;
    }
    HRESULT WINAPI SetPattern(DWORD) override { return S_OK; }
    DWORD WINAPI GetPattern() override { return 0; }
    HRESULT WINAPI SetPatternScale(FLOAT) override { return S_OK; }
    FLOAT WINAPI GetPatternScale() override { return 0; }
    HRESULT WINAPI SetWidth(FLOAT) override { return S_OK; }
    FLOAT WINAPI GetWidth() override { return 0; }
    HRESULT WINAPI SetAntialias(WINBOOL) override { return S_OK; }
    WINBOOL WINAPI GetAntialias() override { return FALSE; }
    HRESULT WINAPI SetGLLines(WINBOOL) override { return S_OK; }
    WINBOOL WINAPI GetGLLines() override { return FALSE; }
    HRESULT WINAPI End() override {
        ++Ends;
        if (OnEnd) OnEnd();
        return S_OK;
    }
    HRESULT WINAPI OnLostDevice() override { return S_OK; }
    HRESULT WINAPI OnResetDevice() override { return S_OK; }
};

// Puts the probe in the line drawer's slot (the one there is released); ReleaseResources
// later gives the probe its reference back.
inline void UseProbeLine(ProbeLine* probe) {
    if (LineDrawer) {
        LineDrawer->Release();
        LineDrawer = nullptr;
    }
    probe->Refs = 1;
    LineDrawer = probe;
}

inline uint32_t Raw(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}
inline uint32_t Raw(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A game on the recording device, its player in the jet, the stroke log cleared.
class RecordedGame : public ::testing::Test {
  protected:
    RecordingDevice* device = nullptr;
    IStrokeLog* strokes = nullptr;

    void StartDevice(UINT width, UINT height) {
        device = CreateRecordingDevice(width, height);
        GameDevice() = device;
        GameBackBuffer() = device->BackBuffer();
    }
    void SetUp() override {
        StartDevice(1024, 768);
        GameFlyJet();
        strokes = OpenStrokeLog(device);
        ASSERT_NE(strokes, nullptr) << "our d3dx9_43.dll stand-in was not loaded";
        strokes->Reset();
        device->ClearCalls();
    }
    void TearDown() override {
        ReleaseResources();
        ChainedDrawInterface = 0;
        if (strokes) {
            strokes->Reset();
            strokes->Release();
        }
        // Every object the display made lives in the default pool; none may outlive it.
        EXPECT_EQ(device->LiveDefaultPoolObjects(), 0);
        GameDevice() = nullptr;
        GameBackBuffer() = nullptr;
        device->Release();
    }
};
