// Display geometry: the frame's matrices derived from the camera and the vehicle.
#pragma once

#include <d3dx9.h>

struct HostMatrix;

struct DisplayGeometry {
    D3DXMATRIX View, Projection;
    float K; // vertical scale of both bases
    D3DXMATRIX ViewRotation, DirectionToClip, OffsetFreeProjection, PointToClip,
        FarViewProjection, DisplayBasis, AttitudeBasis;
    const HostMatrix* Vehicle;
};
