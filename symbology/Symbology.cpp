// The frame's symbology in the display's fixed drawing order, and the readout formatting.
#include "symbology/Symbology.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "symbology/Groups.h"

bool TruncateToInt32(double value, int32_t* out) {
    if (!std::isfinite(value)) return false;
    double whole = std::trunc(value);
    if (whole < -2147483648.0 || whole > 2147483647.0) return false;
    *out = static_cast<int32_t>(whole);
    return true;
}

bool FormatText(TextBuffer& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, TextBufferSize, format, args);
    va_end(args);
    return n >= 0 && n < TextBufferSize;
}

bool FormatDecimal(TextBuffer& text, const char* format, double value) {
    int32_t whole;
    if (!TruncateToInt32(value, &whole)) return false;
    return FormatText(text, format, value);
}

void DrawSymbology(const DisplayGeometry* geometry, const HostVehicle* vehicle) {
    TextBuffer text;
    DrawFlightPathMarker(geometry, vehicle);
    DrawWarnCue(geometry, vehicle);
    DrawBoresightCross(geometry);
    DrawAirDataGroup(geometry, vehicle, text);
    Altitudes altitudes = MeasureAltitudes(vehicle->Matrix);
    DrawAltitudeGroup(geometry, altitudes, text);
    DrawLowCue(geometry, vehicle, altitudes);
    DrawPitchLadder(geometry, vehicle, text);
    DrawHeadingGroup(geometry, text);
    DrawTargetBoxes(geometry);
    DrawGunPaths(geometry, vehicle);
}

void ForgetPreviousVelocity() {
    ResetLoadFactor();
}
