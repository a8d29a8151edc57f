// Display geometry: the frame's matrices derived from the camera and the vehicle, and the
// placement of symbols at infinity (directions) or at world points, at a fixed size.
#pragma once

#include <d3dx9.h>

#include "host/HostInterface.h"

struct DisplayGeometry {
    D3DXMATRIX View, Projection;
    float K; // vertical scale of both bases: 640 x P._11 / P._22
    D3DXMATRIX ViewRotation, DirectionToClip, OffsetFreeProjection, PointToClip, FarViewProjection,
        DisplayBasis, AttitudeBasis;
    const HostMatrix* Vehicle;
};

// Builds the frame's geometry from a view, a projection and the vehicle's placement.
void BuildDisplayGeometryFrom(const D3DXMATRIX& view, const D3DXMATRIX& projection,
                              const HostMatrix* vehicle, DisplayGeometry* geometry);

// A row vector times a matrix, through the translation-row product the line drawer's math uses.
D3DXVECTOR4 RowTimesMatrix(const D3DXVECTOR4& row, const D3DXMATRIX& matrix);

// Clip-space positions of the three kinds of things a symbol can mark.
D3DXVECTOR4 VehiclePointToClip(const DisplayGeometry* geometry, float x, float y, float z);
D3DXVECTOR4 WorldDirectionToClip(const DisplayGeometry* geometry, const D3DXVECTOR3& d);
D3DXVECTOR4 WorldPointToClip(const DisplayGeometry* geometry, const D3DXVECTOR3& p);

// The display frame around clip position c in the given basis. False, with the frame left
// undefined, when any element would not be finite: such a symbol is not drawn this frame.
bool PlaceOnDisplay(const DisplayGeometry* geometry, const D3DXVECTOR4& c, const D3DXMATRIX& basis,
                    D3DXMATRIX* frame);

bool PlaceAtVehiclePoint(const DisplayGeometry* geometry, float x, float y, float z,
                         const D3DXMATRIX& basis, D3DXMATRIX* frame);
bool PlaceAlongDirection(const DisplayGeometry* geometry, const D3DXVECTOR3& d,
                         const D3DXMATRIX& basis, D3DXMATRIX* frame);
bool PlaceAtWorldPoint(const DisplayGeometry* geometry, const D3DXVECTOR3& p,
                       const D3DXMATRIX& basis, D3DXMATRIX* frame);

// L x frame: a shape point is scaled by s about the origin, moved by (dx, dy), then framed.
D3DXMATRIX InFrame(const D3DXMATRIX& frame, float dx, float dy, float s = 1.0f);

bool IsFiniteMatrix(const D3DXMATRIX& m);
