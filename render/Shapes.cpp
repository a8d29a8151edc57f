// The stroke shapes of every symbol and the 39-glyph stroke font, with the two operations
// that hand them to the line drawer.
#include "render/Shapes.h"

#include <cstddef>
#include <cstring>

#include "render/Resources.h"

namespace {

// A point in symbol units; every shape and glyph lies in the plane z = 0.
D3DXVECTOR3 V(float x, float y) {
    return D3DXVECTOR3(x, y, 0.0f);
}

template <size_t N> constexpr struct Polyline Strip(const D3DXVECTOR3 (&vertices)[N]) {
    return {static_cast<int>(N), vertices};
}

template <size_t N> constexpr Shape Of(const struct Polyline (&polylines)[N]) {
    return {static_cast<int>(N), polylines};
}

// ---- symbol shapes: polylines in drawing order ----

const D3DXVECTOR3 BoresightCross_1[] = {V(-12, 0), V(-4, 0)};
const D3DXVECTOR3 BoresightCross_2[] = {V(12, 0), V(4, 0)};
const D3DXVECTOR3 BoresightCross_3[] = {V(0, -12), V(0, -4)};
const D3DXVECTOR3 BoresightCross_4[] = {V(0, 12), V(0, 4)};
const struct Polyline BoresightCrossStrips[] = {Strip(BoresightCross_1), Strip(BoresightCross_2),
                                                Strip(BoresightCross_3), Strip(BoresightCross_4)};

const D3DXVECTOR3 FlightPathMarker_1[] = {
    V(0, 4),    V(-2, 3.5), V(-3.5, 2), V(-4, 0),  V(-3.5, -2), V(-2, -3.5), V(0, -4),
    V(2, -3.5), V(3.5, -2), V(4, 0),    V(3.5, 2), V(2, 3.5),   V(0, 4)};
const D3DXVECTOR3 FlightPathMarker_2[] = {V(-12, 0), V(-4, 0)};
const D3DXVECTOR3 FlightPathMarker_3[] = {V(12, 0), V(4, 0)};
const D3DXVECTOR3 FlightPathMarker_4[] = {V(0, 8), V(0, 4)};
const struct Polyline FlightPathMarkerStrips[] = {
    Strip(FlightPathMarker_1), Strip(FlightPathMarker_2), Strip(FlightPathMarker_3),
    Strip(FlightPathMarker_4)};

const D3DXVECTOR3 TargetBox_1[] = {V(-12, 12), V(-12, -12), V(12, -12), V(12, 12), V(-12, 12)};
const struct Polyline TargetBoxStrips[] = {Strip(TargetBox_1)};

const D3DXVECTOR3 LadderRungPositive_1[] = {V(-40, -6), V(-40, 0), V(-16, 0)};
const D3DXVECTOR3 LadderRungPositive_2[] = {V(40, -6), V(40, 0), V(16, 0)};
const struct Polyline LadderRungPositiveStrips[] = {Strip(LadderRungPositive_1),
                                                    Strip(LadderRungPositive_2)};

const D3DXVECTOR3 LadderRungNegative_1[] = {V(-19, -0.75), V(-16, 0), V(-16, 6)};
const D3DXVECTOR3 LadderRungNegative_2[] = {V(19, -0.75), V(16, 0), V(16, 6)};
const D3DXVECTOR3 LadderRungNegative_3[] = {V(-40, -6), V(-36, -5)};
const D3DXVECTOR3 LadderRungNegative_4[] = {V(-33, -4.25), V(-29, -3.25)};
const D3DXVECTOR3 LadderRungNegative_5[] = {V(-26, -2.5), V(-22, -1.5)};
const D3DXVECTOR3 LadderRungNegative_6[] = {V(40, -6), V(36, -5)};
const D3DXVECTOR3 LadderRungNegative_7[] = {V(33, -4.25), V(29, -3.25)};
const D3DXVECTOR3 LadderRungNegative_8[] = {V(26, -2.5), V(22, -1.5)};
const struct Polyline LadderRungNegativeStrips[] = {
    Strip(LadderRungNegative_1), Strip(LadderRungNegative_2), Strip(LadderRungNegative_3),
    Strip(LadderRungNegative_4), Strip(LadderRungNegative_5), Strip(LadderRungNegative_6),
    Strip(LadderRungNegative_7), Strip(LadderRungNegative_8)};

const D3DXVECTOR3 HorizonLine_1[] = {V(-1280, 0), V(-16, 0)};
const D3DXVECTOR3 HorizonLine_2[] = {V(1280, 0), V(16, 0)};
const struct Polyline HorizonLineStrips[] = {Strip(HorizonLine_1), Strip(HorizonLine_2)};

const D3DXVECTOR3 SpeedBox_1[] = {V(0, 0), V(-8, 8), V(-40, 8), V(-40, -8), V(-8, -8), V(0, 0)};
const struct Polyline SpeedBoxStrips[] = {Strip(SpeedBox_1)};

const D3DXVECTOR3 AltitudeBox_1[] = {V(0, 0), V(8, 8), V(52, 8), V(52, -8), V(8, -8), V(0, 0)};
const struct Polyline AltitudeBoxStrips[] = {Strip(AltitudeBox_1)};

const D3DXVECTOR3 RadarAltitudeBox_1[] = {V(8, 8), V(8, -8), V(52, -8), V(52, 8), V(8, 8)};
const struct Polyline RadarAltitudeBoxStrips[] = {Strip(RadarAltitudeBox_1)};

const D3DXVECTOR3 HeadingBox_1[] = {V(-12, 8), V(-12, -8), V(12, -8), V(12, 8), V(-12, 8)};
const struct Polyline HeadingBoxStrips[] = {Strip(HeadingBox_1)};

const D3DXVECTOR3 TickHorizontal_1[] = {V(0, 0), V(1, 0)};
const struct Polyline TickHorizontalStrips[] = {Strip(TickHorizontal_1)};

const D3DXVECTOR3 TickVertical_1[] = {V(0, 0), V(0, 1)};
const struct Polyline TickVerticalStrips[] = {Strip(TickVertical_1)};

// ---- the font: 12-unit cells centred on x = 0 ----

// Comma (44)
const D3DXVECTOR3 Comma_1[] = {V(0, -7), V(0, -8.5), V(-1, -9.5)};
const struct Polyline CommaStrips[] = {Strip(Comma_1)};
const Shape GlyphComma = Of(CommaStrips);

// Hyphen (45)
const D3DXVECTOR3 Hyphen_1[] = {V(-4, 0), V(4, 0)};
const struct Polyline HyphenStrips[] = {Strip(Hyphen_1)};
const Shape GlyphHyphen = Of(HyphenStrips);

// FullStop (46)
const D3DXVECTOR3 FullStop_1[] = {V(0, -7), V(0, -8.5)};
const struct Polyline FullStopStrips[] = {Strip(FullStop_1)};
const Shape GlyphFullStop = Of(FullStopStrips);

// 0 (48)
const D3DXVECTOR3 Digit0_1[] = {V(2.5, 8),  V(-2.5, 8), V(-4, 6.5), V(-4, -6.5), V(-2.5, -8),
                                V(2.5, -8), V(4, -6.5), V(4, 6.5),  V(2.5, 8)};
const struct Polyline Digit0Strips[] = {Strip(Digit0_1)};
const Shape GlyphDigit0 = Of(Digit0Strips);

// 1 (49)
const D3DXVECTOR3 Digit1_1[] = {V(-3, 5), V(0, 8), V(0, -8)};
const D3DXVECTOR3 Digit1_2[] = {V(4, -8), V(-4, -8)};
const struct Polyline Digit1Strips[] = {Strip(Digit1_1), Strip(Digit1_2)};
const Shape GlyphDigit1 = Of(Digit1Strips);

// 2 (50)
const D3DXVECTOR3 Digit2_1[] = {V(-4, 4), V(-4, 6.5), V(-2.5, 8), V(2.5, 8), V(4, 6.5),
                                V(4, 3),  V(-4, -5),  V(-4, -8),  V(4.5, -8)};
const struct Polyline Digit2Strips[] = {Strip(Digit2_1)};
const Shape GlyphDigit2 = Of(Digit2Strips);

// 3 (51)
const D3DXVECTOR3 Digit3_1[] = {V(-4, 4),   V(-4, 6.5), V(-2.5, 8),  V(2.5, 8),   V(4, 6.5),
                                V(4, 1.5),  V(2.5, 0),  V(-2, 0),    V(2.5, 0),   V(4, -1.5),
                                V(4, -6.5), V(2.5, -8), V(-2.5, -8), V(-4, -6.5), V(-4, -4)};
const struct Polyline Digit3Strips[] = {Strip(Digit3_1)};
const Shape GlyphDigit3 = Of(Digit3Strips);

// 4 (52)
const D3DXVECTOR3 Digit4_1[] = {V(4.5, -2), V(-4, -2), V(-4, 2.5), V(1.5, 8), V(1.5, -8.5)};
const struct Polyline Digit4Strips[] = {Strip(Digit4_1)};
const Shape GlyphDigit4 = Of(Digit4Strips);

// 5 (53)
const D3DXVECTOR3 Digit5_1[] = {V(4.5, 8),  V(-4, 8),   V(-4, 1.5),  V(2.5, 1.5), V(4, 0),
                                V(4, -6.5), V(2.5, -8), V(-2.5, -8), V(-4, -6.5), V(-4, -5)};
const struct Polyline Digit5Strips[] = {Strip(Digit5_1)};
const Shape GlyphDigit5 = Of(Digit5Strips);

// 6 (54)
const D3DXVECTOR3 Digit6_1[] = {V(4, 4),     V(4, 6.5),    V(2.5, 8),  V(-2.5, 8), V(-4, 6.5),
                                V(-4, -6.5), V(-2.5, -8),  V(2.5, -8), V(4, -6.5), V(4, 0),
                                V(2.5, 1.5), V(-2.5, 1.5), V(-4, 0)};
const struct Polyline Digit6Strips[] = {Strip(Digit6_1)};
const Shape GlyphDigit6 = Of(Digit6Strips);

// 7 (55)
const D3DXVECTOR3 Digit7_1[] = {V(-4.5, 8), V(4, 8), V(0, -8)};
const struct Polyline Digit7Strips[] = {Strip(Digit7_1)};
const Shape GlyphDigit7 = Of(Digit7Strips);

// 8 (56)
const D3DXVECTOR3 Digit8_1[] = {V(4, 6.5),   V(2.5, 8),   V(-2.5, 8),  V(-4, 6.5), V(-4, 1.5),
                                V(-2.5, 0),  V(2.5, 0),   V(4, -1.5),  V(4, -6.5), V(2.5, -8),
                                V(-2.5, -8), V(-4, -6.5), V(-4, -1.5), V(-2.5, 0), V(2.5, 0),
                                V(4, 1.5),   V(4, 6.5)};
const struct Polyline Digit8Strips[] = {Strip(Digit8_1)};
const Shape GlyphDigit8 = Of(Digit8Strips);

// 9 (57)
const D3DXVECTOR3 Digit9_1[] = {V(-4, -4),     V(-4, -6.5),  V(-2.5, -8), V(2.5, -8), V(4, -6.5),
                                V(4, 6.5),     V(2.5, 8),    V(-2.5, 8),  V(-4, 6.5), V(-4, 0),
                                V(-2.5, -1.5), V(2.5, -1.5), V(4, 0)};
const struct Polyline Digit9Strips[] = {Strip(Digit9_1)};
const Shape GlyphDigit9 = Of(Digit9Strips);

// A (65)
const D3DXVECTOR3 LetterA_1[] = {V(-4, -8.5), V(-4, 4), V(0, 8), V(4, 4), V(4, -8.5)};
const D3DXVECTOR3 LetterA_2[] = {V(-4, -2), V(4, -2)};
const struct Polyline LetterAStrips[] = {Strip(LetterA_1), Strip(LetterA_2)};
const Shape GlyphLetterA = Of(LetterAStrips);

// B (66)
const D3DXVECTOR3 LetterB_1[] = {V(-4, 8),   V(2.5, 8),  V(4, 6.5), V(4, 2.5),
                                 V(2.5, 0),  V(-4, 0),   V(2.5, 0), V(4, -2.5),
                                 V(4, -6.5), V(2.5, -8), V(-4, -8), V(-4, 8)};
const struct Polyline LetterBStrips[] = {Strip(LetterB_1)};
const Shape GlyphLetterB = Of(LetterBStrips);

// C (67)
const D3DXVECTOR3 LetterC_1[] = {V(4, 4),     V(4, 6.5),   V(2.5, 8),  V(-2.5, 8), V(-4, 6.5),
                                 V(-4, -6.5), V(-2.5, -8), V(2.5, -8), V(4, -6.5), V(4, -4)};
const struct Polyline LetterCStrips[] = {Strip(LetterC_1)};
const Shape GlyphLetterC = Of(LetterCStrips);

// D (68)
const D3DXVECTOR3 LetterD_1[] = {V(-4, 8),   V(2.5, 8),  V(4, 6.5), V(4, 2.5), V(4, -2.5),
                                 V(4, -6.5), V(2.5, -8), V(-4, -8), V(-4, 8)};
const struct Polyline LetterDStrips[] = {Strip(LetterD_1)};
const Shape GlyphLetterD = Of(LetterDStrips);

// E (69)
const D3DXVECTOR3 LetterE_1[] = {V(4.5, 8), V(-4, 8),  V(-4, 0),  V(2.5, 0),
                                 V(-4, 0),  V(-4, -8), V(4.5, -8)};
const struct Polyline LetterEStrips[] = {Strip(LetterE_1)};
const Shape GlyphLetterE = Of(LetterEStrips);

// F (70)
const D3DXVECTOR3 LetterF_1[] = {V(4.5, 8), V(-4, 8), V(-4, 0), V(2.5, 0), V(-4, 0), V(-4, -8.5)};
const struct Polyline LetterFStrips[] = {Strip(LetterF_1)};
const Shape GlyphLetterF = Of(LetterFStrips);

// G (71)
const D3DXVECTOR3 LetterG_1[] = {V(4, 4),     V(4, 6.5),   V(2.5, 8),  V(-2.5, 8), V(-4, 6.5),
                                 V(-4, -6.5), V(-2.5, -8), V(2.5, -8), V(4, -6.5), V(4, -2),
                                 V(1.5, -2),  V(4, -2),    V(4, -8.5)};
const struct Polyline LetterGStrips[] = {Strip(LetterG_1)};
const Shape GlyphLetterG = Of(LetterGStrips);

// H (72)
const D3DXVECTOR3 LetterH_1[] = {V(-4, 8.5), V(-4, -8.5)};
const D3DXVECTOR3 LetterH_2[] = {V(4, 8.5), V(4, -8.5)};
const D3DXVECTOR3 LetterH_3[] = {V(-4, 0), V(4, 0)};
const struct Polyline LetterHStrips[] = {Strip(LetterH_1), Strip(LetterH_2), Strip(LetterH_3)};
const Shape GlyphLetterH = Of(LetterHStrips);

// I (73)
const D3DXVECTOR3 LetterI_1[] = {V(-4, 8), V(4, 8)};
const D3DXVECTOR3 LetterI_2[] = {V(-4, -8), V(4, -8)};
const D3DXVECTOR3 LetterI_3[] = {V(0, 8), V(0, -8)};
const struct Polyline LetterIStrips[] = {Strip(LetterI_1), Strip(LetterI_2), Strip(LetterI_3)};
const Shape GlyphLetterI = Of(LetterIStrips);

// J (74)
const D3DXVECTOR3 LetterJ_1[] = {V(4, 8.5),   V(4, -6.5),  V(2.5, -8),
                                 V(-2.5, -8), V(-4, -6.5), V(-4, -4)};
const struct Polyline LetterJStrips[] = {Strip(LetterJ_1)};
const Shape GlyphLetterJ = Of(LetterJStrips);

// K (75)
const D3DXVECTOR3 LetterK_1[] = {V(-4, 8.5), V(-4, -8.5)};
const D3DXVECTOR3 LetterK_2[] = {V(4.5, 8.5), V(-4, 0), V(4.5, -8.5)};
const struct Polyline LetterKStrips[] = {Strip(LetterK_1), Strip(LetterK_2)};
const Shape GlyphLetterK = Of(LetterKStrips);

// L (76)
const D3DXVECTOR3 LetterL_1[] = {V(-4, 8.5), V(-4, -8), V(4.5, -8)};
const struct Polyline LetterLStrips[] = {Strip(LetterL_1)};
const Shape GlyphLetterL = Of(LetterLStrips);

// M (77)
const D3DXVECTOR3 LetterM_1[] = {V(-4, -8.5), V(-4, 8), V(0, 0), V(4, 8), V(4, -8.5)};
const struct Polyline LetterMStrips[] = {Strip(LetterM_1)};
const Shape GlyphLetterM = Of(LetterMStrips);

// N (78)
const D3DXVECTOR3 LetterN_1[] = {V(-4, -8.5), V(-4, 8), V(4, -8), V(4, 8.5)};
const struct Polyline LetterNStrips[] = {Strip(LetterN_1)};
const Shape GlyphLetterN = Of(LetterNStrips);

// O (79): the polyline of 0
const Shape GlyphLetterO = Of(Digit0Strips);

// P (80)
const D3DXVECTOR3 LetterP_1[] = {V(-4, -8.5), V(-4, 8),  V(2.5, 8), V(4, 6.5),
                                 V(4, 2.5),   V(2.5, 0), V(-4, 0)};
const struct Polyline LetterPStrips[] = {Strip(LetterP_1)};
const Shape GlyphLetterP = Of(LetterPStrips);

// Q (81)
const D3DXVECTOR3 LetterQ_2[] = {V(2, -6), V(4.5, -8.5)};
const struct Polyline LetterQStrips[] = {Strip(Digit0_1), Strip(LetterQ_2)};
const Shape GlyphLetterQ = Of(LetterQStrips);

// R (82)
const D3DXVECTOR3 LetterR_1[] = {V(-4, -8), V(-4, 8), V(2.5, 8), V(4, 6.5),  V(4, 2.5),
                                 V(2.5, 0), V(-4, 0), V(2.5, 0), V(4, -2.5), V(4, -8.5)};
const struct Polyline LetterRStrips[] = {Strip(LetterR_1)};
const Shape GlyphLetterR = Of(LetterRStrips);

// S (83)
const D3DXVECTOR3 LetterS_1[] = {V(4, 4),    V(4, 6.5),   V(2.5, 8),   V(-2.5, 8), V(-4, 6.5),
                                 V(-4, 1.5), V(-2.5, 0),  V(2.5, 0),   V(4, -1.5), V(4, -6.5),
                                 V(2.5, -8), V(-2.5, -8), V(-4, -6.5), V(-4, -4)};
const struct Polyline LetterSStrips[] = {Strip(LetterS_1)};
const Shape GlyphLetterS = Of(LetterSStrips);

// T (84)
const D3DXVECTOR3 LetterT_1[] = {V(-4.5, 8), V(4.5, 8)};
const D3DXVECTOR3 LetterT_2[] = {V(0, 8), V(0, -8)};
const struct Polyline LetterTStrips[] = {Strip(LetterT_1), Strip(LetterT_2)};
const Shape GlyphLetterT = Of(LetterTStrips);

// U (85)
const D3DXVECTOR3 LetterU_1[] = {V(-4, 8.5), V(-4, -6.5), V(-2.5, -8),
                                 V(2.5, -8), V(4, -6.5),  V(4, 8.5)};
const struct Polyline LetterUStrips[] = {Strip(LetterU_1)};
const Shape GlyphLetterU = Of(LetterUStrips);

// V (86)
const D3DXVECTOR3 LetterV_1[] = {V(-4, 8.5), V(-4, -4), V(0, -8), V(4, -4), V(4, 8.5)};
const struct Polyline LetterVStrips[] = {Strip(LetterV_1)};
const Shape GlyphLetterV = Of(LetterVStrips);

// W (87)
const D3DXVECTOR3 LetterW_1[] = {V(-4, 8.5), V(-4, -8), V(0, 0), V(4, -8), V(4, 8.5)};
const struct Polyline LetterWStrips[] = {Strip(LetterW_1)};
const Shape GlyphLetterW = Of(LetterWStrips);

// X (88)
const D3DXVECTOR3 LetterX_1[] = {V(-4, -8), V(4, 8)};
const D3DXVECTOR3 LetterX_2[] = {V(4, -8), V(-4, 8)};
const struct Polyline LetterXStrips[] = {Strip(LetterX_1), Strip(LetterX_2)};
const Shape GlyphLetterX = Of(LetterXStrips);

// Y (89)
const D3DXVECTOR3 LetterY_1[] = {V(-4.5, 8.5), V(0, 0), V(0, -8.5), V(0, 0), V(4.5, 8.5)};
const struct Polyline LetterYStrips[] = {Strip(LetterY_1)};
const Shape GlyphLetterY = Of(LetterYStrips);

// Z (90)
const D3DXVECTOR3 LetterZ_1[] = {V(-4.5, 8), V(4, 8), V(-4, -8), V(4.5, -8)};
const struct Polyline LetterZStrips[] = {Strip(LetterZ_1)};
const Shape GlyphLetterZ = Of(LetterZStrips);

} // namespace

const Shape FlightPathMarker = Of(FlightPathMarkerStrips);
const Shape BoresightCross = Of(BoresightCrossStrips);
const Shape TargetBox = Of(TargetBoxStrips);
const Shape LadderRungPositive = Of(LadderRungPositiveStrips);
const Shape LadderRungNegative = Of(LadderRungNegativeStrips);
const Shape HorizonLine = Of(HorizonLineStrips);
const Shape SpeedBox = Of(SpeedBoxStrips);
const Shape AltitudeBox = Of(AltitudeBoxStrips);
const Shape RadarAltitudeBox = Of(RadarAltitudeBoxStrips);
const Shape HeadingBox = Of(HeadingBoxStrips);
const Shape TickHorizontal = Of(TickHorizontalStrips);
const Shape TickVertical = Of(TickVerticalStrips);

// Indexed by character code - 32: blank to underscore.
// clang-format off
const Shape* const GlyphTable[GlyphTableSize] = {
    // 32 to 39
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 40 to 47
    nullptr, nullptr, nullptr, nullptr, &GlyphComma, &GlyphHyphen, &GlyphFullStop, nullptr,
    // 48 to 55
    &GlyphDigit0, &GlyphDigit1, &GlyphDigit2, &GlyphDigit3,
    &GlyphDigit4, &GlyphDigit5, &GlyphDigit6, &GlyphDigit7,
    // 56 to 63
    &GlyphDigit8, &GlyphDigit9, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    // 64 to 71
    nullptr, &GlyphLetterA, &GlyphLetterB, &GlyphLetterC,
    &GlyphLetterD, &GlyphLetterE, &GlyphLetterF, &GlyphLetterG,
    // 72 to 79
    &GlyphLetterH, &GlyphLetterI, &GlyphLetterJ, &GlyphLetterK,
    &GlyphLetterL, &GlyphLetterM, &GlyphLetterN, &GlyphLetterO,
    // 80 to 87
    &GlyphLetterP, &GlyphLetterQ, &GlyphLetterR, &GlyphLetterS,
    &GlyphLetterT, &GlyphLetterU, &GlyphLetterV, &GlyphLetterW,
    // 88 to 95
    &GlyphLetterX, &GlyphLetterY, &GlyphLetterZ, nullptr, nullptr, nullptr, nullptr, nullptr,
};
// clang-format on

HRESULT DrawShape(const D3DXMATRIX* transform, const Shape* shape) {
    D3DXMATRIX identity;
    if (!transform) {
        D3DXMatrixIdentity(&identity);
        transform = &identity;
    }
    HRESULT result = S_OK;
    for (int i = 0; i < shape->PolylineCount; ++i) {
        const struct Polyline& strip = shape->Polylines[i];
        result = LineDrawer->DrawTransform(strip.Vertices, static_cast<DWORD>(strip.VertexCount),
                                           transform, StrokeColour);
        if (FAILED(result)) return result;
    }
    return result;
}

void DrawString(const char* text, const D3DXMATRIX* transform, signed char align,
                signed char line) {
    const int n = static_cast<int>(std::strlen(text));
    // Blanks and characters without a glyph still take their cell, so alignment counts them.
    const int x0 = 6 + 6 * n * (align - 1);
    const int y0 = 12 * line;
    for (int i = 0; i < n; ++i) {
        const signed char c = static_cast<signed char>(text[i]);
        if (c < GlyphTableFirst || c >= GlyphTableFirst + GlyphTableSize) continue;
        const Shape* glyph = GlyphTable[c - GlyphTableFirst];
        if (!glyph) continue;
        D3DXMATRIX cell;
        D3DXMatrixTranslation(&cell, static_cast<float>(x0 + 12 * i), static_cast<float>(y0), 0.0f);
        D3DXMatrixMultiply(&cell, &cell, transform);
        if (FAILED(DrawShape(&cell, glyph))) return;
    }
}
