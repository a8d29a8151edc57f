// The flight symbology: what is drawn each frame between the line drawer's Begin and End.
#pragma once

#include "host/HostInterface.h"
#include "symbology/Geometry.h"

// Builds the frame's display geometry from the device's view and projection and the vehicle.
void BuildDisplayGeometry(IDirect3DDevice9* device, const HostVehicle* vehicle,
                          DisplayGeometry* geometry);

// Draws every symbol group, in the display's fixed order.
void DrawSymbology(const DisplayGeometry* geometry, const HostVehicle* vehicle);

// Called on frames without the display, so that the load factor does not span them.
void ForgetPreviousVelocity();
