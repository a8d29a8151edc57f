// Tells whether this machine can give a real Direct3D 9 device of the kind pictures need: exit
// code 0 when a device and a double-size luminance render target can be made.
#include <cstdio>

#include "testing/realdevice/RealDevice.h"

int main() {
    IDirect3DDevice9* device = CreateRealDevice(640, 480);
    if (!device) return 1;
    IDirect3DTexture9* target = nullptr;
    HRESULT hr = device->CreateTexture(1280, 960, 0, D3DUSAGE_RENDERTARGET, D3DFMT_L8,
                                       D3DPOOL_DEFAULT, &target, nullptr);
    if (FAILED(hr)) std::fprintf(stderr, "probe: no luminance render target (0x%08lx)\n", hr);
    if (target) target->Release();
    device->Release();
    return FAILED(hr) ? 1 : 0;
}
