// Air data on the left of the display: load factor, airspeed box and scale, the "ARM " and
// "NAV" legends and the Mach number.
#include <cmath>

#include "render/Shapes.h"
#include "symbology/Groups.h"

namespace {

// The velocity of the last drawn frame; the load factor is its change since then.
float PreviousVelocity[3];

// False until a drawn frame has stored a velocity that the next frame may compare with.
bool PreviousVelocityKnown;

constexpr float LabelScale = 0.625f;

// The factors are the game's single-precision values, applied in double precision.
constexpr float Gravity = 9.80665f;
constexpr float DensityLapse = 0.0001f;
constexpr float DensityFloor = 0.1f;
constexpr float WindFactor = 0.2f;
constexpr float SpeedUnits = 97.19f;
constexpr float ScaleTens = 0.1f;
constexpr float ScaleSpacing = 6.4f;
constexpr float TemperatureLapse = 0.006f;
constexpr float SoundPerDegree = 0.61f;

void DrawLoadFactor(const DisplayGeometry* g, const HostVehicle* vehicle, TextBuffer& text) {
    const float* v = vehicle->Velocity;
    if (!PreviousVelocityKnown) {
        for (int i = 0; i < 3; ++i)
            PreviousVelocity[i] = v[i];
        PreviousVelocityKnown = true;
    }
    float timeStep = HostValue<float>(HostTimeStepAddress);
    float q = static_cast<float>(-double(timeStep) / double(Gravity) / 25);
    float r = 1 / q;
    float a[3];
    for (int i = 0; i < 3; ++i)
        a[i] = (PreviousVelocity[i] - v[i]) * r;
    a[2] = a[2] + 1;
    const HostVector& U = g->Vehicle->Up;
    float loadFactor = a[0] * U.x + a[1] * U.y + a[2] * U.z;

    D3DXMATRIX frame;
    if (timeStep > 0 && FormatDecimal(text, "%3.1f ", loadFactor) &&
        PlaceAtVehiclePoint(g, -92, 1120, 64, g->DisplayBasis, &frame)) {
        D3DXMATRIX readout = InFrame(frame, 0, 0, LabelScale);
        DrawString(text, &readout, -1, 0);
    }
    for (int i = 0; i < 3; ++i)
        PreviousVelocity[i] = v[i];
}

float AirspeedAlongNose(const HostVehicle* vehicle, const HostMatrix* placement) {
    const float* v = vehicle->Velocity;
    const float* wind = &HostValue<float>(HostWindAddress);
    const float F[3] = {placement->Forward.x, placement->Forward.y, placement->Forward.z};
    double along = 0;
    for (int i = 0; i < 3; ++i) {
        float w = static_cast<float>(double(WindFactor) * wind[i]);
        along += (double(v[i]) - w) * F[i];
    }
    return static_cast<float>(along);
}

void DrawAirspeed(const DisplayGeometry* g, const HostVehicle* vehicle, TextBuffer& text) {
    float z = g->Vehicle->Position.z;
    float density = static_cast<float>(1 - double(DensityLapse) * z);
    if (!(density > DensityFloor)) density = DensityFloor;
    float along = AirspeedAlongNose(vehicle, g->Vehicle);
    float indicated = static_cast<float>(double(density) * along * double(SpeedUnits));

    D3DXMATRIX s;
    if (!PlaceAtVehiclePoint(g, -140, 1120, 0, g->DisplayBasis, &s)) return;
    DrawShape(&s, &SpeedBox);

    int32_t speed;
    if (TruncateToInt32(std::fabs(indicated), &speed) && FormatText(text, "%3d", speed)) {
        D3DXMATRIX readout = InFrame(s, -8, 0, LabelScale);
        DrawString(text, &readout, -1, 0);
    }

    D3DXMATRIX pointer = InFrame(s, 12, 0, 12);
    DrawShape(&pointer, &TickHorizontal);
    D3DXMATRIX c = InFrame(s, 18, 0, LabelScale);
    DrawString("C", &c, 0, 1);

    double tens = double(indicated) * double(ScaleTens);
    int32_t centre;
    // The scale's last tick must stay representable too.
    if (TruncateToInt32(tens + 0.5, &centre) && centre >= INT32_MIN + 8 &&
        centre <= INT32_MAX - 8) {
        for (int32_t i = centre - 8; i <= centre + 8; ++i) {
            float y =
                static_cast<float>((double(static_cast<float>(i)) - tens) * double(ScaleSpacing));
            bool major = i % 5 == 0;
            D3DXMATRIX tick = InFrame(s, 10, y, major ? -8.0f : -6.0f);
            DrawShape(&tick, &TickHorizontal);
            float away = static_cast<float>(std::fabs(tens - double(static_cast<float>(i))));
            if (major && i >= 0 && away > 2.0f && FormatText(text, "%02d", i)) {
                D3DXMATRIX label = InFrame(s, 0, y, LabelScale);
                DrawString(text, &label, -1, 0);
            }
        }
    }

    D3DXMATRIX arm = InFrame(s, 48, -64, LabelScale);
    DrawString("ARM ", &arm, -1, 0);
    D3DXMATRIX nav = InFrame(s, -8, -112, LabelScale);
    DrawString("NAV", &nav, 1, 0);

    float temperature = static_cast<float>(16 - double(TemperatureLapse) * z);
    if (!(temperature > -65)) temperature = -65;
    float alongAgain = AirspeedAlongNose(vehicle, g->Vehicle);
    float mach = static_cast<float>((50 * double(alongAgain)) /
                                    (331.5 + double(SoundPerDegree) * temperature));
    if (FormatDecimal(text, "%4.2f", std::fabs(mach))) {
        D3DXMATRIX readout = InFrame(s, 48, -80, LabelScale);
        DrawString(text, &readout, -1, 0);
    }
}

} // namespace

void DrawAirDataGroup(const DisplayGeometry* g, const HostVehicle* vehicle, TextBuffer& text) {
    DrawLoadFactor(g, vehicle, text);
    DrawAirspeed(g, vehicle, text);
}

void ResetLoadFactor() {
    PreviousVelocityKnown = false;
}
