// The altitude side of the display and the two text cues: "WARN" when the nose points well
// away from the flight path, "LOW" when sinking near the ground or water.
#include <cmath>
#include <cstdlib>

#include "render/Shapes.h"
#include "symbology/Groups.h"

namespace {

constexpr float FeetPerUnit = 3.2808f;
constexpr float LabelScale = 0.625f;
constexpr float ThousandsScale = 0.75f;

// Larger thousands, then the hundreds, of |value|, starting at offset (x, y) of frame.
void DrawFeet(const D3DXMATRIX& frame, float x, float y, float value, TextBuffer& text) {
    int32_t thousands, whole;
    if (!TruncateToInt32(std::fabs(value * 0.001f), &thousands) ||
        !TruncateToInt32(std::fabs(value), &whole))
        return;
    if (thousands != 0 && FormatText(text, "%2d", thousands)) {
        D3DXMATRIX m = InFrame(frame, x, y, ThousandsScale);
        DrawString(text, &m, 1, 0);
    }
    if (FormatText(text, "%03d", whole % 1000)) {
        D3DXMATRIX m = InFrame(frame, x + 18, y, LabelScale);
        DrawString(text, &m, 1, 0);
    }
}

void DrawAltitudeScale(const D3DXMATRIX& frame, float shown, TextBuffer& text) {
    double hundreds = double(shown) * 0.01;
    int32_t centre;
    if (!TruncateToInt32(hundreds + 0.5, &centre) || centre < INT32_MIN + 8 ||
        centre > INT32_MAX - 8)
        return;
    for (int32_t i = centre - 8; i <= centre + 8; ++i) {
        float y = static_cast<float>((double(static_cast<float>(i)) - hundreds) * 6.4);
        bool major = i % 5 == 0;
        D3DXMATRIX tick = InFrame(frame, -10, y, major ? 8.0f : 6.0f);
        DrawShape(&tick, &TickHorizontal);
        if (!major || !(std::fabs(hundreds - i) > 2.0)) continue;
        int32_t m = std::abs(i);
        bool fits = i >= 0 ? FormatText(text, "%02d,%01d", m / 10, m % 10)
                           : FormatText(text, "-%01d,%01d", m / 10, m % 10);
        if (fits) {
            D3DXMATRIX label = InFrame(frame, 0, y, LabelScale);
            DrawString(text, &label, 1, 0);
        }
    }
}

} // namespace

void DrawWarnCue(const DisplayGeometry* g, const HostVehicle* vehicle) {
    if ((HostValue<uint8_t>(HostWarnByteAddress) & 0xC0) == 0) return;
    const float* v = vehicle->Velocity;
    const HostVector& F = g->Vehicle->Forward;
    float speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    float c = (F.x * v[0] + F.y * v[1] + F.z * v[2]) / speed;
    // Without a velocity the angle is undefined: c is not a number and fails the test.
    if (!(c < 0.9397f)) return;
    D3DXMATRIX frame;
    if (!PlaceAtVehiclePoint(g, 0, 1120, 0, g->DisplayBasis, &frame)) return;
    D3DXMATRIX m = InFrame(frame, 0, 0, 1.25f);
    DrawString("WARN", &m, 0, 0);
}

Altitudes MeasureAltitudes(const HostMatrix* placement) {
    const HostVector& pos = placement->Position;
    Altitudes a{};
    a.AltitudeFeet = pos.z * FeetPerUnit;

    uint8_t groundFound = 0;
    float ground = HostGroundHeight()(pos.x, pos.y, pos.z, &groundFound, 0);
    float level = 0;
    bool water = HostWaterLevel()(pos.x, pos.y, 0.0f, &level, 0, 0) != 0;

    float surface = 0;
    bool known = true;
    if (groundFound && water)
        surface = ground > level ? ground : level;
    else if (groundFound)
        surface = ground;
    else if (water)
        surface = level;
    else
        known = false;
    a.RadarAltitudeValid = false;
    if (known) {
        a.RadarAltitude = (pos.z - surface) * FeetPerUnit;
        a.RadarAltitudeValid = true;
    }
    a.ShownAltitude = a.AltitudeFeet;
    if (a.RadarAltitudeValid && a.RadarAltitude < 1500) a.ShownAltitude = a.RadarAltitude;
    return a;
}

void DrawAltitudeGroup(const DisplayGeometry* g, const Altitudes& alt, TextBuffer& text) {
    D3DXMATRIX frame;
    if (!PlaceAtVehiclePoint(g, 140, 1120, 0, g->DisplayBasis, &frame)) return;
    DrawShape(&frame, &AltitudeBox);
    DrawFeet(frame, 8, 0, alt.ShownAltitude, text);

    D3DXMATRIX radarBox = InFrame(frame, -48, -72);
    DrawShape(&radarBox, &RadarAltitudeBox);
    D3DXMATRIX r = InFrame(frame, -48, -72, LabelScale);
    DrawString("R", &r, 1, 0);
    if (alt.RadarAltitudeValid && alt.RadarAltitude < 10000)
        DrawFeet(frame, -40, -72, alt.RadarAltitude, text);
    D3DXMATRIX al = InFrame(frame, -48, -96, LabelScale);
    DrawString("AL", &al, 1, 0);

    D3DXMATRIX pointer = InFrame(frame, -12, 0, -12);
    DrawShape(&pointer, &TickHorizontal);

    DrawAltitudeScale(frame, alt.ShownAltitude, text);
}

void DrawLowCue(const DisplayGeometry* g, const HostVehicle* vehicle, const Altitudes& alt) {
    if (!alt.RadarAltitudeValid) return;
    float climb = vehicle->Velocity[2] * 196.848f;
    bool low = (alt.RadarAltitude < 250 && climb < -4) || (alt.RadarAltitude >= 250 && climb < -8);
    if (!low) return;
    D3DXMATRIX frame;
    D3DXVECTOR3 v(vehicle->Velocity[0], vehicle->Velocity[1], vehicle->Velocity[2]);
    if (!PlaceAlongDirection(g, v, g->DisplayBasis, &frame)) return;
    D3DXMATRIX m = InFrame(frame, 0, -12, LabelScale);
    DrawString("LOW", &m, 0, 0);
}
