// The worked camera, a frame drawn on the recording device, and a reader that turns the line
// drawer's stroke log back into named symbols and strings.
#pragma once

#include <gtest/gtest.h>

#include <d3dx9.h>

#include <string>
#include <vector>

#include "symbology/Geometry.h"

struct IStrokeLog;
namespace recdevice {
class RecordingDevice;
}

// A camera looking along +y with +z up, translated by (0, -5, 20); k = 480.
D3DXMATRIX WorkedView();
D3DXMATRIX WorkedProjection();

// One shape or glyph as drawn: consecutive strokes with one matrix whose points are exactly
// those of a known shape. Anything else is a "Path" with its points.
struct DrawnItem {
    std::string Name; // the shape's name, the glyph's character, or "Path"
    bool Glyph = false;
    D3DXMATRIX Matrix;
    std::vector<D3DXVECTOR3> Points; // of a path
};

// A shape, a path, or a string: glyphs of one orientation and scale, 12 units apart.
struct Drawn {
    // The shape's name, "Path", or the text: empty cells read as blanks, and O, drawn exactly
    // as 0, reads as 0.
    std::string Name;
    bool Text = false;
    D3DXMATRIX Matrix;               // the shape's, or the first drawn glyph's
    std::vector<D3DXVECTOR3> Points; // of a path
};

struct Display {
    std::vector<Drawn> Sequence; // in drawing order

    std::vector<Drawn> Shapes(const std::string& name) const;
    std::vector<Drawn> Strings(const std::string& text) const;
    int Count(const std::string& name) const { return int(Shapes(name).size()); }
    // Index in Sequence of the first shape or string of that name at or after `from`; -1 if none.
    int Find(const std::string& name, int from = 0) const;
};
Display ReadDisplay(IStrokeLog* log);

// Where a matrix puts its origin in a frame's display units, and its scale against the frame.
struct Local {
    float X, Y, Scale;
};
Local InFrameUnits(const D3DXMATRIX& m, const D3DXMATRIX& frame);
// A string's visible left and right edges and its centre line, in a frame's display units.
struct TextPlace {
    float Left, Right, Y, Scale;
};
TextPlace PlaceOfText(const Drawn& text, const D3DXMATRIX& frame);

// The jet flying level along +y at the origin, the worked camera on a recording device that is
// the game's, the product's resources made, and the stroke log open.
class SymbologyTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // One frame through the symbology's entry points, between the line drawer's Begin and End.
    Display DrawFrame();
    // One whole frame of the plug-in's per-frame routine.
    Display DrawDisplayFrame();

    // The vehicle's axes, with the camera turned to look along the nose from behind (right and
    // up as the vehicle's), so that symbols keep their display units at any attitude.
    void Fly(const D3DXVECTOR3& right, const D3DXVECTOR3& forward, const D3DXVECTOR3& up);

    // Frames of the frame last drawn (from the geometry it built).
    D3DXMATRIX VehicleFrame(float x, float y, float z) const;
    D3DXMATRIX DirectionFrame(const D3DXVECTOR3& d, bool attitude = false) const;

    recdevice::RecordingDevice* Device = nullptr;
    IStrokeLog* Log = nullptr;
    DisplayGeometry Geometry{};
};
