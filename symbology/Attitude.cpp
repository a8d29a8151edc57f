// Where the aircraft points and where it goes: flight path marker, boresight cross, pitch
// ladder and the heading box with its scale.
#include <cmath>
#include <cstdlib>

#include "render/Shapes.h"
#include "symbology/Groups.h"

namespace {

constexpr float LabelScale = 0.625f;
constexpr float DegreesPerRadian = 57.2957763671875f;
constexpr float RadiansPerDegree = 0.017453292f;
constexpr float HeadingStepFactor = 0.2f;

D3DXVECTOR3 Velocity(const HostVehicle* vehicle) {
    return D3DXVECTOR3(vehicle->Velocity[0], vehicle->Velocity[1], vehicle->Velocity[2]);
}

} // namespace

void DrawFlightPathMarker(const DisplayGeometry* g, const HostVehicle* vehicle) {
    D3DXMATRIX frame;
    if (PlaceAlongDirection(g, Velocity(vehicle), g->DisplayBasis, &frame))
        DrawShape(&frame, &FlightPathMarker);
}

void DrawBoresightCross(const DisplayGeometry* g) {
    D3DXMATRIX frame;
    if (PlaceAtVehiclePoint(g, 0, 1016, 0, g->DisplayBasis, &frame))
        DrawShape(&frame, &BoresightCross);
}

void DrawPitchLadder(const DisplayGeometry* g, const HostVehicle* vehicle, TextBuffer& text) {
    // The ladder follows the ground track; while hovering there is none, so it follows the
    // nose's horizontal direction, and with the nose vertical there is no horizontal at all.
    float hx = vehicle->Velocity[0], hy = vehicle->Velocity[1];
    float gh = std::sqrt(hx * hx + hy * hy);
    if (gh == 0) {
        hx = g->Vehicle->Forward.x;
        hy = g->Vehicle->Forward.y;
        gh = std::sqrt(hx * hx + hy * hy);
        if (gh == 0) return;
    }
    for (int i = -17; i <= 17; ++i) {
        float a = static_cast<float>(double(i) * 5 * double(RadiansPerDegree));
        float ca = std::cos(a);
        D3DXVECTOR3 d(ca * hx / gh, ca * hy / gh, std::sin(a));
        D3DXMATRIX frame;
        if (!PlaceAlongDirection(g, d, g->AttitudeBasis, &frame)) continue;
        const Shape* rung = i < 0    ? &LadderRungNegative
                            : i == 0 ? &HorizonLine
                                     : &LadderRungPositive;
        DrawShape(&frame, rung);
        if (i == 0) continue;
        FormatText(text, "%d", std::abs(i) * 5);
        float y = i < 0 ? -6.0f : -3.0f;
        D3DXMATRIX left = InFrame(frame, -42, y, LabelScale);
        DrawString(text, &left, -1, 0);
        D3DXMATRIX right = InFrame(frame, 42, y, LabelScale);
        DrawString(text, &right, 1, 0);
    }
}

void DrawHeadingGroup(const DisplayGeometry* g, TextBuffer& text) {
    const HostVector& F = g->Vehicle->Forward;
    float h = std::atan2(F.x, F.y) * DegreesPerRadian;
    if (h < 0) h = h + 360;

    D3DXMATRIX frame;
    if (!PlaceAtVehiclePoint(g, 0, 1120, -80, g->DisplayBasis, &frame)) return;
    DrawShape(&frame, &HeadingBox);

    int32_t degrees;
    if (TruncateToInt32(h, &degrees) && FormatText(text, "%03d", degrees)) {
        D3DXMATRIX readout = InFrame(frame, 0, 0, LabelScale);
        DrawString(text, &readout, 0, 0);
    }
    D3DXMATRIX index = InFrame(frame, 0, 20, 12);
    DrawShape(&index, &TickVertical);

    double q = double(h) * double(HeadingStepFactor);
    int32_t c;
    if (!TruncateToInt32(q + 0.5, &c)) return;
    for (int32_t n = c - 2; n <= c + 2; ++n) {
        float x = static_cast<float>((double(static_cast<float>(n)) - q) * 24);
        bool even = n % 2 == 0;
        D3DXMATRIX tick = InFrame(frame, x, 18, even ? -8.0f : -6.0f);
        DrawShape(&tick, &TickVertical);
        float away = std::fabs(static_cast<float>(q) - static_cast<float>(n));
        if (away > 0.75f && n >= 0 && even && FormatText(text, "%02d", n / 2)) {
            D3DXMATRIX label = InFrame(frame, x, 4, LabelScale);
            DrawString(text, &label, 0, 0);
        }
    }
}
