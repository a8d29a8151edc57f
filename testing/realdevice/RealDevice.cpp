// Device creation and readback on Wine's d3d9.
#include "testing/realdevice/RealDevice.h"

#include <windows.h>

#include <cstdio>

namespace {
const char WindowClass[] = "RealDeviceWindow";

HWND HiddenWindow(UINT width, UINT height) {
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = instance;
        wc.lpszClassName = WindowClass;
        if (!RegisterClassA(&wc)) return nullptr;
        registered = true;
    }
    // Never shown: the back buffer is read, not presented.
    return CreateWindowA(WindowClass, "", WS_OVERLAPPEDWINDOW, 0, 0, int(width), int(height),
                         nullptr, nullptr, instance, nullptr);
}

// Expands a locked system-memory surface of a known format to RGBA.
bool ExpandToRgba(const D3DSURFACE_DESC& desc, const D3DLOCKED_RECT& locked, Image* out) {
    out->Width = desc.Width;
    out->Height = desc.Height;
    out->Rgba.assign(size_t(desc.Width) * desc.Height * 4, 0);
    for (UINT y = 0; y < desc.Height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
        uint8_t* dst = &out->Rgba[size_t(y) * desc.Width * 4];
        for (UINT x = 0; x < desc.Width; ++x, dst += 4) {
            if (desc.Format == D3DFMT_L8) {
                dst[0] = dst[1] = dst[2] = row[x];
                dst[3] = 255;
            } else {
                const uint8_t* p = row + size_t(x) * 4; // B, G, R, A in memory
                dst[0] = p[2];
                dst[1] = p[1];
                dst[2] = p[0];
                dst[3] = desc.Format == D3DFMT_A8R8G8B8 ? p[3] : 255;
            }
        }
    }
    return true;
}
} // namespace

IDirect3DDevice9* CreateRealDevice(UINT width, UINT height) {
    HWND window = HiddenWindow(width, height);
    if (!window) {
        fprintf(stderr, "CreateRealDevice: no window (error %lu)\n", GetLastError());
        return nullptr;
    }
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) {
        fprintf(stderr, "CreateRealDevice: Direct3DCreate9 failed (is an X display set?)\n");
        DestroyWindow(window);
        return nullptr;
    }
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
    // The device keeps its own reference to the Direct3D object.
    d3d->Release();
    if (FAILED(hr) || !device) {
        fprintf(stderr, "CreateRealDevice: CreateDevice %ux%u failed, hr 0x%08lx\n", width, height,
                static_cast<unsigned long>(hr));
        DestroyWindow(window);
        return nullptr;
    }
    return device;
}

IDirect3DSurface9* RealBackBuffer(IDirect3DDevice9* device) {
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) return nullptr;
    return surface;
}

bool ReadSurface(IDirect3DDevice9* device, IDirect3DSurface9* surface, Image* out) {
    D3DSURFACE_DESC desc;
    if (!surface || FAILED(surface->GetDesc(&desc))) {
        fprintf(stderr, "ReadSurface: no surface\n");
        return false;
    }
    if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_A8R8G8B8 &&
        desc.Format != D3DFMT_L8) {
        fprintf(stderr, "ReadSurface: format %d is not read\n", int(desc.Format));
        return false;
    }
    IDirect3DSurface9* copy = nullptr;
    HRESULT hr = device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                     D3DPOOL_SYSTEMMEM, &copy, nullptr);
    if (FAILED(hr)) {
        fprintf(stderr, "ReadSurface: system-memory surface failed, hr 0x%08lx\n",
                static_cast<unsigned long>(hr));
        return false;
    }
    bool ok = false;
    D3DLOCKED_RECT locked;
    if (FAILED(hr = device->GetRenderTargetData(surface, copy))) {
        fprintf(stderr, "ReadSurface: GetRenderTargetData failed, hr 0x%08lx\n",
                static_cast<unsigned long>(hr));
    } else if (FAILED(hr = copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        fprintf(stderr, "ReadSurface: LockRect failed, hr 0x%08lx\n",
                static_cast<unsigned long>(hr));
    } else {
        ok = ExpandToRgba(desc, locked, out);
        copy->UnlockRect();
    }
    copy->Release();
    return ok;
}

bool ReadBackBuffer(IDirect3DDevice9* device, Image* out) {
    IDirect3DSurface9* back = RealBackBuffer(device);
    if (!back) {
        fprintf(stderr, "ReadBackBuffer: no back buffer\n");
        return false;
    }
    bool ok = ReadSurface(device, back, out);
    back->Release();
    return ok;
}
