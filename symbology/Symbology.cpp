// Placeholder until the symbol groups land: the frame draws an empty symbology.
#include "symbology/Symbology.h"

void BuildDisplayGeometry(IDirect3DDevice9* device, const HostVehicle* vehicle,
                          DisplayGeometry* geometry) {
    device->GetTransform(D3DTS_VIEW, &geometry->View);
    device->GetTransform(D3DTS_PROJECTION, &geometry->Projection);
    geometry->Vehicle = vehicle->Matrix;
}

void DrawSymbology(const DisplayGeometry*, const HostVehicle*) {}

void ForgetPreviousVelocity() {}
