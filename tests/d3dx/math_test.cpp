// Our matrix and vector functions against Wine's builtin d3dx9_42.dll, which nobody here wrote
// (only d3dx9_43 is overridden by ours), on thousands of random inputs.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <cmath>
#include <random>
#include <string>

namespace {

using Multiply = D3DXMATRIX*(WINAPI*)(D3DXMATRIX*, const D3DXMATRIX*, const D3DXMATRIX*);
using Scalar3 = D3DXMATRIX*(WINAPI*)(D3DXMATRIX*, FLOAT, FLOAT, FLOAT);
using Angle = D3DXMATRIX*(WINAPI*)(D3DXMATRIX*, FLOAT);
using Transpose = D3DXMATRIX*(WINAPI*)(D3DXMATRIX*, const D3DXMATRIX*);
using Normalize = D3DXVECTOR3*(WINAPI*)(D3DXVECTOR3*, const D3DXVECTOR3*);
using TransformCoord = D3DXVECTOR3*(WINAPI*)(D3DXVECTOR3*, const D3DXVECTOR3*, const D3DXMATRIX*);

constexpr int Trials = 4000;
constexpr float Ulp = 1.1920929e-7f; // FLT_EPSILON

class MathCrossCheck : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Wine = LoadLibraryA("d3dx9_42.dll"); }
    void SetUp() override {
        ASSERT_NE(Wine, nullptr) << "Wine's builtin d3dx9_42.dll did not load";
        // The functions we link must be ours, else the check compares Wine with itself.
        HMODULE ours = GetModuleHandleA("d3dx9_43.dll");
        ASSERT_NE(ours, nullptr);
        char path[MAX_PATH] = {};
        GetModuleFileNameA(ours, path, MAX_PATH);
        ASSERT_EQ(std::string(path).find("system32"), std::string::npos) << path;
    }
    template <class F> F Theirs(const char* name) {
        auto f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Wine, name)));
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    float Random(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    D3DXMATRIX RandomMatrix() {
        D3DXMATRIX m;
        for (float& e : m.m[0])
            e = Random(-10, 10);
        for (float& e : m.m[1])
            e = Random(-10, 10);
        for (float& e : m.m[2])
            e = Random(-10, 10);
        for (float& e : m.m[3])
            e = Random(-10, 10);
        return m;
    }

    static HMODULE Wine;
    std::mt19937 rng{20261211};
};
HMODULE MathCrossCheck::Wine = nullptr;

// Equal within `ulps` units of the magnitude of the terms that were summed.
::testing::AssertionResult Near(float ours, float theirs, float scale, float ulps) {
    const float tolerance = ulps * Ulp * scale + 1e-30f;
    if (std::fabs(ours - theirs) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ours " << ours << " Wine's " << theirs << " differ by "
                                         << std::fabs(ours - theirs) << " > " << tolerance;
}

::testing::AssertionResult SameMatrix(const D3DXMATRIX& ours, const D3DXMATRIX& theirs,
                                      const D3DXMATRIX& scale, float ulps) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            auto result = Near(ours.m[r][c], theirs.m[r][c], scale.m[r][c], ulps);
            if (!result) return result << " at _" << r + 1 << c + 1;
        }
    return ::testing::AssertionSuccess();
}

D3DXMATRIX Ones() {
    D3DXMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = 1.0f;
    return m;
}

TEST_F(MathCrossCheck, MultiplyMatchesAndAllowsAliasing) {
    auto theirs = Theirs<Multiply>("D3DXMatrixMultiply");
    ASSERT_NE(theirs, nullptr);
    for (int i = 0; i < Trials; ++i) {
        const D3DXMATRIX a = RandomMatrix(), b = RandomMatrix();
        D3DXMATRIX mine, wine, scale;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                scale.m[r][c] = 0;
                for (int k = 0; k < 4; ++k)
                    scale.m[r][c] += std::fabs(a.m[r][k] * b.m[k][c]);
            }
        ASSERT_EQ(D3DXMatrixMultiply(&mine, &a, &b), &mine);
        theirs(&wine, &a, &b);
        ASSERT_TRUE(SameMatrix(mine, wine, scale, 4)) << "trial " << i;
        D3DXMATRIX inPlace = a; // out is also the left operand
        ASSERT_EQ(D3DXMatrixMultiply(&inPlace, &inPlace, &b), &inPlace);
        ASSERT_TRUE(SameMatrix(inPlace, wine, scale, 4)) << "aliased, trial " << i;
    }
}

TEST_F(MathCrossCheck, TranslationAndScalingMatch) {
    const struct {
        const char* Name;
        Scalar3 Ours;
    } table[] = {{"D3DXMatrixTranslation", D3DXMatrixTranslation},
                 {"D3DXMatrixScaling", D3DXMatrixScaling}};
    for (const auto& f : table) {
        auto theirs = Theirs<Scalar3>(f.Name);
        ASSERT_NE(theirs, nullptr);
        for (int i = 0; i < Trials; ++i) {
            const float x = Random(-1000, 1000), y = Random(-1000, 1000), z = Random(-1000, 1000);
            D3DXMATRIX mine, wine;
            ASSERT_EQ(f.Ours(&mine, x, y, z), &mine);
            theirs(&wine, x, y, z);
            ASSERT_TRUE(SameMatrix(mine, wine, Ones(), 0)) << f.Name << " trial " << i;
        }
    }
}

TEST_F(MathCrossCheck, RotationsMatch) {
    const struct {
        const char* Name;
        Angle Ours;
    } table[] = {{"D3DXMatrixRotationX", D3DXMatrixRotationX},
                 {"D3DXMatrixRotationZ", D3DXMatrixRotationZ}};
    for (const auto& f : table) {
        auto theirs = Theirs<Angle>(f.Name);
        ASSERT_NE(theirs, nullptr);
        for (int i = 0; i < Trials; ++i) {
            const float angle = Random(-20, 20);
            D3DXMATRIX mine, wine;
            ASSERT_EQ(f.Ours(&mine, angle), &mine);
            theirs(&wine, angle);
            ASSERT_TRUE(SameMatrix(mine, wine, Ones(), 2)) << f.Name << " angle " << angle;
        }
    }
}

TEST_F(MathCrossCheck, TransposeMatchesAndAllowsAliasing) {
    auto theirs = Theirs<Transpose>("D3DXMatrixTranspose");
    ASSERT_NE(theirs, nullptr);
    for (int i = 0; i < Trials; ++i) {
        const D3DXMATRIX a = RandomMatrix();
        D3DXMATRIX mine, wine, inPlace = a;
        ASSERT_EQ(D3DXMatrixTranspose(&mine, &a), &mine);
        theirs(&wine, &a);
        ASSERT_TRUE(SameMatrix(mine, wine, Ones(), 0)) << "trial " << i;
        D3DXMatrixTranspose(&inPlace, &inPlace);
        ASSERT_TRUE(SameMatrix(inPlace, wine, Ones(), 0)) << "aliased, trial " << i;
    }
}

TEST_F(MathCrossCheck, NormalizeMatchesIncludingZero) {
    auto theirs = Theirs<Normalize>("D3DXVec3Normalize");
    ASSERT_NE(theirs, nullptr);
    for (int i = 0; i <= Trials; ++i) {
        // The last trial is the zero vector, which both turn into zero.
        const D3DXVECTOR3 v =
            i < Trials ? D3DXVECTOR3(Random(-100, 100), Random(-100, 100), Random(-100, 100))
                       : D3DXVECTOR3(0, 0, 0);
        D3DXVECTOR3 mine, wine(7, 7, 7), inPlace = v;
        ASSERT_EQ(D3DXVec3Normalize(&mine, &v), &mine);
        theirs(&wine, &v);
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(Near((&mine.x)[k], (&wine.x)[k], 1, 4)) << "trial " << i << " axis " << k;
        D3DXVec3Normalize(&inPlace, &inPlace);
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(Near((&inPlace.x)[k], (&wine.x)[k], 1, 4)) << "aliased, trial " << i;
    }
}

TEST_F(MathCrossCheck, TransformCoordMatchesAndDividesByW) {
    auto theirs = Theirs<TransformCoord>("D3DXVec3TransformCoord");
    ASSERT_NE(theirs, nullptr);
    for (int i = 0; i < Trials; ++i) {
        D3DXMATRIX m = RandomMatrix();
        const D3DXVECTOR3 v(Random(-10, 10), Random(-10, 10), Random(-10, 10));
        float w = m._14 * v.x + m._24 * v.y + m._34 * v.z + m._44;
        if (std::fabs(w) < 1.0f) { // keep clear of the pole at w = 0
            m._44 += w < 0 ? -5.0f : 5.0f;
            w = m._14 * v.x + m._24 * v.y + m._34 * v.z + m._44;
        }
        D3DXVECTOR3 mine, wine, inPlace = v;
        ASSERT_EQ(D3DXVec3TransformCoord(&mine, &v, &m), &mine);
        theirs(&wine, &v, &m);
        const float wScale = std::fabs(m._14 * v.x) + std::fabs(m._24 * v.y) +
                             std::fabs(m._34 * v.z) + std::fabs(m._44);
        for (int k = 0; k < 3; ++k) {
            const float terms = std::fabs(m.m[0][k] * v.x) + std::fabs(m.m[1][k] * v.y) +
                                std::fabs(m.m[2][k] * v.z) + std::fabs(m.m[3][k]);
            const float scale = (terms + std::fabs((&wine.x)[k]) * wScale) / std::fabs(w);
            ASSERT_TRUE(Near((&mine.x)[k], (&wine.x)[k], scale, 6)) << "trial " << i;
        }
        D3DXVec3TransformCoord(&inPlace, &inPlace, &m);
        EXPECT_EQ(inPlace.x, mine.x);
        EXPECT_EQ(inPlace.y, mine.y);
        EXPECT_EQ(inPlace.z, mine.z);
    }
}

// The sign convention that the display's bases are built on, by hand.
TEST(MathConventions, RotationsTurnRowVectorsAsDocumented) {
    const float a = 0.5f;
    const struct {
        Angle Rotation;
        D3DXVECTOR3 In, Out;
    } table[] = {
        {D3DXMatrixRotationX, {0, 1, 0}, {0, cosf(a), sinf(a)}},
        {D3DXMatrixRotationX, {0, 0, 1}, {0, -sinf(a), cosf(a)}},
        {D3DXMatrixRotationZ, {1, 0, 0}, {cosf(a), sinf(a), 0}},
        {D3DXMatrixRotationZ, {0, 1, 0}, {-sinf(a), cosf(a), 0}},
    };
    for (const auto& row : table) {
        D3DXMATRIX m;
        row.Rotation(&m, a);
        D3DXVECTOR3 out;
        D3DXVec3TransformCoord(&out, &row.In, &m);
        EXPECT_FLOAT_EQ(out.x, row.Out.x);
        EXPECT_FLOAT_EQ(out.y, row.Out.y);
        EXPECT_FLOAT_EQ(out.z, row.Out.z);
    }
}

} // namespace
