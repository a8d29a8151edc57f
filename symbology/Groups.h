// The symbol groups that DrawSymbology calls in the display's fixed order, and the bounded
// readout formatting they share.
#pragma once

#include <cstdint>

#include "symbology/Geometry.h"

// Every readout and label of a frame is formatted into one buffer of this size.
constexpr int TextBufferSize = 16;
using TextBuffer = char[TextBufferSize];

// The integer part of value, when value is finite and that part fits a 32-bit signed integer;
// otherwise false (the conversion would be undefined) and the readout is left out.
bool TruncateToInt32(double value, int32_t* out);
// Bounded printf-style formatting; false when the text did not fit.
bool FormatText(TextBuffer& text, const char* format, ...)
    __attribute__((format(gnu_printf, 2, 3)));
// "%...f" of value, under the same rule as TruncateToInt32 for its integer part.
bool FormatDecimal(TextBuffer& text, const char* format, double value);

// Attitude.cpp
void DrawFlightPathMarker(const DisplayGeometry* geometry, const HostVehicle* vehicle);
void DrawBoresightCross(const DisplayGeometry* geometry);
void DrawPitchLadder(const DisplayGeometry* geometry, const HostVehicle* vehicle, TextBuffer& text);
void DrawHeadingGroup(const DisplayGeometry* geometry, TextBuffer& text);

// AirData.cpp: load factor, airspeed group, "ARM ", "NAV", Mach.
void DrawAirDataGroup(const DisplayGeometry* geometry, const HostVehicle* vehicle,
                      TextBuffer& text);
void ResetLoadFactor();

// Altitude.cpp
struct Altitudes {
    float AltitudeFeet;
    bool RadarAltitudeValid;
    float RadarAltitude;
    float ShownAltitude;
};
void DrawWarnCue(const DisplayGeometry* geometry, const HostVehicle* vehicle);
Altitudes MeasureAltitudes(const HostMatrix* placement);
void DrawAltitudeGroup(const DisplayGeometry* geometry, const Altitudes& altitudes,
                       TextBuffer& text);
void DrawLowCue(const DisplayGeometry* geometry, const HostVehicle* vehicle,
                const Altitudes& altitudes);

// Targets.cpp
void DrawTargetBoxes(const DisplayGeometry* geometry);
void DrawGunPaths(const DisplayGeometry* geometry, const HostVehicle* vehicle);
