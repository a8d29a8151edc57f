#include "tools/preview/FlightState.h"

#include <cmath>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

struct BadField {
    std::string Field, What;
};

[[noreturn]] void Fail(const std::string& field, const std::string& what) {
    throw BadField{field, what};
}

void OnlyKnown(const json& object, const std::string& where,
               std::initializer_list<const char*> known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool found = false;
        for (const char* k : known)
            found = found || it.key() == k;
        if (!found) Fail(where.empty() ? it.key() : where + "." + it.key(), "unknown field");
    }
}

const json& Member(const json& object, const std::string& where, const char* key) {
    std::string field = where.empty() ? key : where + "." + key;
    if (!object.contains(key)) Fail(field, "missing");
    return object.at(key);
}

const json& Object(const json& object, const std::string& where, const char* key) {
    const json& v = Member(object, where, key);
    if (!v.is_object()) Fail(where.empty() ? key : where + "." + key, "must be an object");
    return v;
}

float Number(const json& v, const std::string& field, double low = -1e30, double high = 1e30) {
    if (!v.is_number()) Fail(field, "must be a number");
    double d = v.get<double>();
    if (!std::isfinite(d)) Fail(field, "must be finite");
    if (d < low || d > high) {
        std::ostringstream range;
        range << "must lie from " << low << " to " << high;
        Fail(field, range.str());
    }
    return static_cast<float>(d);
}

int Integer(const json& v, const std::string& field, int low, int high) {
    if (!v.is_number_integer()) Fail(field, "must be an integer");
    long long i = v.get<long long>();
    if (i < low || i > high) {
        std::ostringstream range;
        range << "must lie from " << low << " to " << high;
        Fail(field, range.str());
    }
    return static_cast<int>(i);
}

template <size_t N> std::array<float, N> Vector(const json& v, const std::string& field) {
    if (!v.is_array() || v.size() != N)
        Fail(field, "must be an array of " + std::to_string(N) + " numbers");
    std::array<float, N> out{};
    for (size_t i = 0; i < N; ++i)
        out[i] = Number(v[i], field + "[" + std::to_string(i) + "]");
    return out;
}

std::array<float, 3> Cross(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

std::array<float, 3> Normalized(std::array<float, 3> a) {
    float n = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    if (n > 0)
        for (float& c : a)
            c /= n;
    return a;
}

float Dot(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The game's world is z up with x right of y; its view matrices put world x on camera x,
// world up on camera y and the line of sight on camera z.
D3DXMATRIX LookAlong(const std::array<float, 3>& eye, const std::array<float, 3>& forward) {
    std::array<float, 3> z = Normalized(forward);
    std::array<float, 3> x = Normalized(Cross(z, {0, 0, 1}));
    if (Dot(x, x) == 0) x = {1, 0, 0};
    std::array<float, 3> y = Cross(x, z);
    D3DXMATRIX v;
    float rows[16] = {x[0], y[0], z[0], 0, x[1],         y[1],         z[1],         0,
                      x[2], y[2], z[2], 0, -Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1};
    for (int i = 0; i < 16; ++i)
        v.m[i / 4][i % 4] = rows[i];
    return v;
}

D3DXMATRIX Perspective(float fovDegrees, float aspect, float nearZ, float farZ) {
    float yScale = 1.0f / std::tan(fovDegrees * 3.14159265f / 360.0f);
    D3DXMATRIX p;
    for (int i = 0; i < 16; ++i)
        p.m[i / 4][i % 4] = 0;
    p._11 = yScale / aspect;
    p._22 = yScale;
    p._33 = farZ / (farZ - nearZ);
    p._34 = 1;
    p._43 = -nearZ * farZ / (farZ - nearZ);
    return p;
}

D3DXMATRIX Matrix16(const json& v, const std::string& field) {
    std::array<float, 16> a = Vector<16>(v, field);
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = a[i];
    return m;
}

void Parse(const json& root, FlightState* s) {
    if (!root.is_object()) Fail("(top level)", "must be an object");
    OnlyKnown(root, "",
              {"resolution", "aircraft", "time_step", "wind", "warn_byte", "gun_offsets", "terrain",
               "camera", "vehicles"});
    const json& res = Member(root, "", "resolution");
    if (!res.is_array() || res.size() != 2) Fail("resolution", "must be [width, height]");
    s->Width = Integer(res[0], "resolution[0]", 64, 4096);
    s->Height = Integer(res[1], "resolution[1]", 64, 4096);

    const json& a = Object(root, "", "aircraft");
    OnlyKnown(
        a, "aircraft",
        {"model", "player_state", "position", "axes", "attitude", "velocity", "previous_velocity"});
    if (a.contains("model")) s->Model = Integer(a["model"], "aircraft.model", 0, 65535);
    if (a.contains("player_state"))
        s->PlayerState =
            Integer(a["player_state"], "aircraft.player_state", -2147483647 - 1, 2147483647);
    s->Position = Vector<3>(Member(a, "aircraft", "position"), "aircraft.position");
    s->Velocity = Vector<3>(Member(a, "aircraft", "velocity"), "aircraft.velocity");
    if (a.contains("previous_velocity")) {
        s->HasPreviousVelocity = true;
        s->PreviousVelocity = Vector<3>(a["previous_velocity"], "aircraft.previous_velocity");
    }
    if (a.contains("axes") == a.contains("attitude"))
        Fail("aircraft", "needs exactly one of axes and attitude");
    if (a.contains("axes")) {
        const json& axes = Object(a, "aircraft", "axes");
        OnlyKnown(axes, "aircraft.axes", {"right", "forward", "up"});
        s->Right = Vector<3>(Member(axes, "aircraft.axes", "right"), "aircraft.axes.right");
        s->Forward = Vector<3>(Member(axes, "aircraft.axes", "forward"), "aircraft.axes.forward");
        s->Up = Vector<3>(Member(axes, "aircraft.axes", "up"), "aircraft.axes.up");
    } else {
        const json& att = Object(a, "aircraft", "attitude");
        OnlyKnown(att, "aircraft.attitude", {"heading_deg", "pitch_deg", "roll_deg"});
        float h = Number(Member(att, "aircraft.attitude", "heading_deg"),
                         "aircraft.attitude.heading_deg", -720, 720);
        float p = Number(Member(att, "aircraft.attitude", "pitch_deg"),
                         "aircraft.attitude.pitch_deg", -90, 90);
        float r = Number(Member(att, "aircraft.attitude", "roll_deg"), "aircraft.attitude.roll_deg",
                         -360, 360);
        SetAttitude(s, h, p, r);
    }

    s->TimeStep = Number(Member(root, "", "time_step"), "time_step");
    s->Wind = Vector<3>(Member(root, "", "wind"), "wind");
    s->WarnByte = Integer(Member(root, "", "warn_byte"), "warn_byte", 0, 255);
    if (root.contains("gun_offsets")) {
        s->HasGunOffsets = true;
        s->GunOffsets = Vector<2>(root["gun_offsets"], "gun_offsets");
    }

    const json& t = Object(root, "", "terrain");
    OnlyKnown(t, "terrain", {"ground", "water"});
    const json& g = Member(t, "terrain", "ground");
    if (!g.is_null()) {
        s->GroundFound = true;
        s->Ground = Number(g, "terrain.ground");
    }
    const json& w = Member(t, "terrain", "water");
    if (!w.is_null()) {
        s->WaterFound = true;
        s->Water = Number(w, "terrain.water");
    }

    const json& c = Object(root, "", "camera");
    float aspect = float(s->Width) / float(s->Height);
    if (c.contains("chase")) {
        OnlyKnown(c, "camera", {"chase"});
        const json& chase = Object(c, "camera", "chase");
        OnlyKnown(chase, "camera.chase", {"distance", "height", "fov_deg"});
        float d =
            Number(Member(chase, "camera.chase", "distance"), "camera.chase.distance", 0, 1e5);
        float ht =
            Number(Member(chase, "camera.chase", "height"), "camera.chase.height", -1e5, 1e5);
        float fov =
            Number(Member(chase, "camera.chase", "fov_deg"), "camera.chase.fov_deg", 1, 170);
        std::array<float, 3> eye;
        for (int i = 0; i < 3; ++i)
            eye[i] = s->Position[i] - d * s->Forward[i];
        eye[2] += ht;
        std::array<float, 3> at;
        for (int i = 0; i < 3; ++i)
            at[i] = s->Position[i] + 60 * s->Forward[i] - eye[i];
        s->View = LookAlong(eye, at);
        s->Projection = Perspective(fov, aspect, 1.0f, 3000.0f);
    } else {
        OnlyKnown(c, "camera", {"view", "projection"});
        s->View = Matrix16(Member(c, "camera", "view"), "camera.view");
        s->Projection = Matrix16(Member(c, "camera", "projection"), "camera.projection");
    }

    const json& v = Member(root, "", "vehicles");
    if (!v.is_array()) Fail("vehicles", "must be an array");
    s->Vehicles.push_back({true, s->Position});
    for (size_t i = 0; i < v.size(); ++i) {
        std::string field = "vehicles[" + std::to_string(i) + "]";
        if (v[i].is_null())
            s->Vehicles.push_back({false, {}});
        else
            s->Vehicles.push_back({true, Vector<3>(v[i], field)});
    }
}

} // namespace

void SetAttitude(FlightState* s, float headingDeg, float pitchDeg, float rollDeg) {
    const float rad = 3.14159265f / 180.0f;
    float h = headingDeg * rad, p = pitchDeg * rad, r = rollDeg * rad;
    std::array<float, 3> right{std::cos(h), -std::sin(h), 0};
    std::array<float, 3> up{-std::sin(p) * std::sin(h), -std::sin(p) * std::cos(h), std::cos(p)};
    s->Forward = {std::sin(h) * std::cos(p), std::cos(h) * std::cos(p), std::sin(p)};
    // Positive roll puts the right wing down.
    for (int i = 0; i < 3; ++i) {
        s->Right[i] = std::cos(r) * right[i] - std::sin(r) * up[i];
        s->Up[i] = std::sin(r) * right[i] + std::cos(r) * up[i];
    }
}

bool LoadFlightState(const std::string& path, FlightState* state, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot read the file";
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    json root = json::parse(text.str(), nullptr, false);
    if (root.is_discarded()) {
        *error = path + ": not valid JSON";
        return false;
    }
    try {
        *state = FlightState{};
        Parse(root, state);
    } catch (const BadField& bad) {
        *error = path + ": " + bad.Field + ": " + bad.What;
        return false;
    } catch (const json::exception& e) {
        *error = path + ": " + e.what();
        return false;
    }
    return true;
}
