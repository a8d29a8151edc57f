// A box over every vehicle in the game's pool, and the predicted paths of the two guns drawn
// into the scene's own perspective.
#include <cmath>
#include <cstring>

#include "render/Resources.h"
#include "render/Shapes.h"
#include "symbology/Groups.h"

namespace {

constexpr int GunPathPoints = 20;
constexpr float MuzzleSpeed = 1016;
constexpr float Drop = 3.6f;
constexpr float WindFactor = 0.2f;
constexpr float CrossDamping = 0.09f;
constexpr float AlongDamping = 0.000018f;
constexpr float StepTime = 0.18f;

float FloatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The game's padding in the fourth column is not a homogeneous weight: nothing is divided by it.
D3DXVECTOR3 VehicleToWorld(const HostMatrix* placement, float x, float y, float z) {
    D3DXVECTOR4 w =
        RowTimesMatrix(D3DXVECTOR4(x, y, z, 1), *reinterpret_cast<const D3DXMATRIX*>(placement));
    return D3DXVECTOR3(w.x, w.y, w.z);
}

D3DXVECTOR3 Wind() {
    const float* w = &HostValue<float>(HostWindAddress);
    return D3DXVECTOR3(WindFactor * w[0], WindFactor * w[1], WindFactor * w[2]);
}

void Damp(D3DXVECTOR3* v, float factor) {
    v->x = v->x - factor * std::fabs(v->x) * v->x;
    v->y = v->y - factor * std::fabs(v->y) * v->y;
    v->z = v->z - factor * std::fabs(v->z) * v->z;
}

bool IsFiniteVector(const D3DXVECTOR3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

void DrawTargetBoxes(const DisplayGeometry* g) {
    for (int32_t i = 0;; ++i) {
        // The game may change its pool between slots; it is read afresh each time.
        const HostVehiclePool* pool = HostValue<HostVehiclePool*>(HostVehiclePoolAddress);
        if (!pool || i >= pool->Count) return;
        if (pool->Flags[i] & HostSlotEmpty) continue;
        const HostVehicle* entry =
            reinterpret_cast<const HostVehicle*>(pool->Slots + uint32_t(i) * HostVehicleStride);
        const HostMatrix* placement = entry->Matrix;
        if (!placement) continue;
        D3DXVECTOR3 p(placement->Position.x, placement->Position.y, placement->Position.z);
        D3DXMATRIX frame;
        if (PlaceAtWorldPoint(g, p, g->DisplayBasis, &frame)) DrawShape(&frame, &TargetBox);
    }
}

void DrawGunPaths(const DisplayGeometry* g, const HostVehicle* vehicle) {
    const HostMatrix* placement = g->Vehicle;
    float offsets[2] = {FloatFromBits(0xC08C0440), FloatFromBits(0x408BA6F0)};
    const HostGunRecord* guns = HostValue<HostGunRecord*>(HostGunRecordAddress);
    if (guns && guns->Offsets) {
        offsets[0] = guns->Offsets[0];
        offsets[1] = guns->Offsets[HostSecondGunOffset];
    }

    const D3DXVECTOR3 origin(placement->Position.x, placement->Position.y, placement->Position.z);
    const D3DXVECTOR3 v(vehicle->Velocity[0], vehicle->Velocity[1], vehicle->Velocity[2]);
    D3DXVECTOR3 aim = VehicleToWorld(placement, 0, MuzzleSpeed, 0) - origin;
    D3DXVECTOR3 u, sum = v + aim;
    D3DXVec3Normalize(&u, &sum);
    D3DXVECTOR3 V = MuzzleSpeed * u - v;
    D3DXVECTOR3 P = VehicleToWorld(placement, 0, 10, 0);

    D3DXVECTOR3 path[GunPathPoints];
    bool finite = true;
    for (int k = 0; k < GunPathPoints; ++k) {
        V.z = V.z - Drop;
        D3DXVECTOR3 N;
        D3DXVec3Normalize(&N, &V);
        D3DXVECTOR3 W = Wind();
        D3DXVECTOR3 R = V - W;
        float s = (N.x * R.x + N.y * R.y) + N.z * R.z;
        D3DXVECTOR3 A = s * N;
        D3DXVECTOR3 Q = R - A;
        Damp(&Q, CrossDamping);
        Damp(&A, AlongDamping);
        R = A + Q;
        V = R + Wind();
        P = P + StepTime * V;
        path[k] = P;
        finite = finite && IsFiniteVector(P);
    }
    if (!finite) return;

    for (int gun = 0; gun < 2; ++gun) {
        D3DXVECTOR3 d = VehicleToWorld(placement, offsets[gun], 0, 0) - origin;
        D3DXMATRIX shift, transform;
        D3DXMatrixTranslation(&shift, d.x, d.y, d.z);
        D3DXMatrixMultiply(&transform, &shift, &g->FarViewProjection);
        if (IsFiniteMatrix(transform))
            LineDrawer->DrawTransform(path, GunPathPoints, &transform, StrokeColour);
    }
}
