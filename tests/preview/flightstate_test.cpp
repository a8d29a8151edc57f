// Flight-state files: what the preview reads, and the messages it gives for bad ones.
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "tools/preview/FlightState.h"

namespace {

const char* const Good = R"({
  "resolution": [800, 600],
  "aircraft": {"model": 519, "position": [1, 2, 300],
               "attitude": {"heading_deg": 90, "pitch_deg": 0, "roll_deg": 90},
               "velocity": [2, 0, 0]},
  "time_step": 0.02, "wind": [0, 5, 0], "warn_byte": 64, "gun_offsets": [-3, 3],
  "terrain": {"ground": 12.5, "water": null},
  "camera": {"chase": {"distance": 30, "height": 5, "fov_deg": 60}},
  "vehicles": [[10, 20, 30], null]
})";

std::string WriteTemp(const std::string& name, const std::string& text) {
    std::string path = "flightstate-" + name + ".json";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return path;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(FlightState, ReadsEveryField) {
    FlightState s;
    std::string error;
    ASSERT_TRUE(LoadFlightState(WriteTemp("good", Good), &s, &error)) << error;
    EXPECT_EQ(s.Width, 800);
    EXPECT_EQ(s.Model, 519);
    EXPECT_EQ(s.PlayerState, 50);
    EXPECT_EQ(s.WarnByte, 64);
    EXPECT_TRUE(s.HasGunOffsets);
    EXPECT_TRUE(s.GroundFound);
    EXPECT_FALSE(s.WaterFound);
    EXPECT_FLOAT_EQ(s.Ground, 12.5f);
    // Heading 90 points the nose along +x; a 90-degree right roll puts the right wing down.
    EXPECT_NEAR(s.Forward[0], 1, 1e-6);
    EXPECT_NEAR(s.Right[2], -1, 1e-6);
    EXPECT_NEAR(s.Up[1], -1, 1e-6);
    ASSERT_EQ(s.Vehicles.size(), 3u);
    EXPECT_TRUE(s.Vehicles[0].Occupied);
    EXPECT_EQ(s.Vehicles[0].Position[2], 300);
    EXPECT_TRUE(s.Vehicles[1].Occupied);
    EXPECT_FALSE(s.Vehicles[2].Occupied);
    // The chase camera looks along the nose: the aircraft ahead projects to the centre.
    D3DXVECTOR4 p(1, 2, 300, 1), c;
    float* v = &c.x;
    for (int j = 0; j < 4; ++j) {
        float view[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 4; ++i) view[k] += (&p.x)[i] * s.View.m[i][k];
        float sum = 0;
        for (int k = 0; k < 4; ++k) sum += view[k] * s.Projection.m[k][j];
        v[j] = sum;
    }
    EXPECT_NEAR(c.x / c.w, 0, 1e-5);
    // The camera sits above, looking at a point ahead: the aircraft shows below the centre.
    EXPECT_LT(c.y / c.w, 0);
}

struct BadCase {
    const char* Name;
    const char* From; // replaced in the good file
    const char* To;
    const char* Message; // expected after "FILE: "
};

const BadCase BadCases[] = {
    {"missing", "\"time_step\": 0.02,", "", "time_step: missing"},
    {"unknown", "\"warn_byte\": 64", "\"warn_bite\": 64", "warn_bite: unknown field"},
    {"type", "\"fov_deg\": 60", "\"fov_deg\": \"wide\"", "camera.chase.fov_deg: must be a number"},
    {"range", "\"warn_byte\": 64", "\"warn_byte\": 256", "warn_byte: must lie from 0 to 255"},
    // JSON has no infinity: a number too large for a double is refused with the file.
    {"overflow", "\"time_step\": 0.02", "\"time_step\": 1e999", "not valid JSON"},
    {"array", "\"wind\": [0, 5, 0]", "\"wind\": [0, 5]", "wind: must be an array of 3 numbers"},
    {"both", "\"velocity\"", "\"axes\": {}, \"velocity\"",
     "aircraft: needs exactly one of axes and attitude"},
    {"vehicle", "[10, 20, 30]", "[10, \"x\", 30]", "vehicles[0][1]: must be a number"},
    {"json", "\"wind\"", "wind", "not valid JSON"},
};

TEST(FlightState, BadFilesNameTheFileAndTheField) {
    for (const BadCase& c : BadCases) {
        std::string path = WriteTemp(c.Name, Replace(Good, c.From, c.To));
        FlightState s;
        std::string error;
        EXPECT_FALSE(LoadFlightState(path, &s, &error)) << c.Name;
        EXPECT_EQ(error, path + ": " + c.Message) << c.Name;
    }
    FlightState s;
    std::string error;
    EXPECT_FALSE(LoadFlightState("no-such-state.json", &s, &error));
    EXPECT_EQ(error, "no-such-state.json: cannot read the file");
}

} // namespace
