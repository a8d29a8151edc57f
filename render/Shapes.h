// Symbols and glyphs as stroke polylines in symbol units (x right, y up).
#pragma once

#include <d3dx9.h>

// The platform's headers also declare a drawing function named Polyline, which hides this
// record's name: write it as `struct Polyline` where a type is meant.
struct Polyline {
    int VertexCount;
    const D3DXVECTOR3* Vertices;
};

struct Shape {
    int PolylineCount;
    const struct Polyline* Polylines;
};

extern const Shape FlightPathMarker, BoresightCross, TargetBox, LadderRungPositive,
    LadderRungNegative, HorizonLine, SpeedBox, AltitudeBox, RadarAltitudeBox, HeadingBox,
    TickHorizontal, TickVertical;

// One entry per character code 32 to 95; null where the font has no glyph.
constexpr int GlyphTableFirst = 32;
constexpr int GlyphTableSize = 64;
extern const Shape* const GlyphTable[GlyphTableSize];

constexpr D3DCOLOR StrokeColour = 0xFFFFFFFF;

// Draws through LineDrawer between its Begin and End; a null transform means identity.
HRESULT DrawShape(const D3DXMATRIX* transform, const Shape* shape);
// align: 1 starts the text at the origin, 0 centres it, -1 ends it there; line raises by 12.
void DrawString(const char* text, const D3DXMATRIX* transform, signed char align, signed char line);
