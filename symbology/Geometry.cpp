// Display geometry. Symbols stand for directions from the aircraft: only the camera's rotation
// carries them, and they are drawn flat around their projected point at a fixed size.
#include "symbology/Geometry.h"

#include <cmath>

#include "symbology/Symbology.h"

namespace {

// Rows 1 to 3 carry nothing into clip depth; x is scaled to 640 units per half-width, y by k.
void NormaliseBasis(D3DXMATRIX* b, float k) {
    b->_13 = 0;
    b->_23 = 0;
    b->_33 = 0;
    b->_11 /= 640;
    b->_21 /= 640;
    b->_31 /= 640;
    b->_12 /= k;
    b->_22 /= k;
    b->_32 /= k;
}

} // namespace

void BuildDisplayGeometryFrom(const D3DXMATRIX& view, const D3DXMATRIX& projection,
                              const HostMatrix* vehicle, DisplayGeometry* g) {
    g->View = view;
    g->Projection = projection;
    g->Vehicle = vehicle;
    const D3DXMATRIX& V = g->View;
    const D3DXMATRIX& P = g->Projection;

    g->K = (P._11 / P._22) * 640;

    g->ViewRotation = V;
    g->ViewRotation._41 = 0;
    g->ViewRotation._42 = 0;
    g->ViewRotation._43 = 0;

    D3DXMatrixMultiply(&g->DirectionToClip, &g->ViewRotation, &P);
    g->DirectionToClip._43 = 0;

    g->OffsetFreeProjection = P;
    g->OffsetFreeProjection._43 = 0;
    D3DXMatrixMultiply(&g->PointToClip, &V, &g->OffsetFreeProjection);

    D3DXMATRIX p10 = P;
    p10._43 *= 10;
    D3DXMatrixMultiply(&g->FarViewProjection, &V, &p10);

    const HostVector& R = vehicle->Right;
    const HostVector& F = vehicle->Forward;
    const HostVector& U = vehicle->Up;

    D3DXMATRIX b(R.x, R.y, R.z, 0, U.x, U.y, U.z, 0, 0, 0, 0, 0, 0, 0, 0, 1);
    D3DXMatrixMultiply(&g->DisplayBasis, &b, &g->ViewRotation);
    NormaliseBasis(&g->DisplayBasis, g->K);

    const float halfPi = 1.5707964f;
    float theta = std::asin(F.z);
    float psi = std::atan2(F.x, F.y);
    D3DXMATRIX pitch, heading, roll;
    D3DXMatrixRotationX(&pitch, theta + halfPi);
    D3DXMatrixRotationZ(&heading, -psi);
    D3DXMatrixMultiply(&roll, &pitch, &heading);
    D3DXMatrixMultiply(&g->AttitudeBasis, &roll, &g->ViewRotation);
    NormaliseBasis(&g->AttitudeBasis, g->K);
}

void BuildDisplayGeometry(IDirect3DDevice9* device, const HostVehicle* vehicle,
                          DisplayGeometry* geometry) {
    D3DXMATRIX view, projection;
    device->GetTransform(D3DTS_VIEW, &view);
    device->GetTransform(D3DTS_PROJECTION, &projection);
    BuildDisplayGeometryFrom(view, projection, vehicle->Matrix, geometry);
}

D3DXVECTOR4 RowTimesMatrix(const D3DXVECTOR4& row, const D3DXMATRIX& matrix) {
    D3DXMATRIX t, product;
    D3DXMatrixTranslation(&t, row.x, row.y, row.z);
    t._44 = row.w;
    D3DXMatrixMultiply(&product, &t, &matrix);
    return D3DXVECTOR4(product._41, product._42, product._43, product._44);
}

D3DXVECTOR4 VehiclePointToClip(const DisplayGeometry* g, float x, float y, float z) {
    // Carried by the whole placement, then the position taken off again: only the offset's
    // direction is left, so the vehicle's position cannot move a symbol.
    const D3DXMATRIX& placement = *reinterpret_cast<const D3DXMATRIX*>(g->Vehicle);
    D3DXVECTOR4 w = RowTimesMatrix(D3DXVECTOR4(x, y, z, 1), placement);
    const HostVector& pos = g->Vehicle->Position;
    w.x -= pos.x;
    w.y -= pos.y;
    w.z -= pos.z;
    return RowTimesMatrix(w, g->DirectionToClip);
}

D3DXVECTOR4 WorldDirectionToClip(const DisplayGeometry* g, const D3DXVECTOR3& d) {
    return RowTimesMatrix(D3DXVECTOR4(d.x, d.y, d.z, 1), g->DirectionToClip);
}

D3DXVECTOR4 WorldPointToClip(const DisplayGeometry* g, const D3DXVECTOR3& p) {
    D3DXVECTOR4 camera = RowTimesMatrix(D3DXVECTOR4(p.x, p.y, p.z, 1), g->View);
    return RowTimesMatrix(camera, g->OffsetFreeProjection);
}

bool IsFiniteMatrix(const D3DXMATRIX& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m.m[r][c])) return false;
    return true;
}

bool PlaceOnDisplay(const DisplayGeometry* g, const D3DXVECTOR4& c, const D3DXMATRIX& basis,
                    D3DXMATRIX* frame) {
    // With P._22 = 0 the bases lose their vertical scale without turning non-finite.
    if (!std::isfinite(g->K) || g->K == 0) return false;
    float r = 1 / std::fabs(c.z);
    *frame = basis;
    frame->_41 = c.x * r;
    frame->_42 = c.y * r;
    frame->_43 = c.z * r;
    return IsFiniteMatrix(*frame);
}

bool PlaceAtVehiclePoint(const DisplayGeometry* g, float x, float y, float z,
                         const D3DXMATRIX& basis, D3DXMATRIX* frame) {
    return PlaceOnDisplay(g, VehiclePointToClip(g, x, y, z), basis, frame);
}

bool PlaceAlongDirection(const DisplayGeometry* g, const D3DXVECTOR3& d, const D3DXMATRIX& basis,
                         D3DXMATRIX* frame) {
    return PlaceOnDisplay(g, WorldDirectionToClip(g, d), basis, frame);
}

bool PlaceAtWorldPoint(const DisplayGeometry* g, const D3DXVECTOR3& p, const D3DXMATRIX& basis,
                       D3DXMATRIX* frame) {
    return PlaceOnDisplay(g, WorldPointToClip(g, p), basis, frame);
}

D3DXMATRIX InFrame(const D3DXMATRIX& frame, float dx, float dy, float s) {
    D3DXMATRIX local, result;
    D3DXMatrixScaling(&local, s, s, s);
    local._41 = dx;
    local._42 = dy;
    D3DXMatrixMultiply(&result, &local, &frame);
    return result;
}
