// The matrix and vector functions, with D3DX's conventions: row vectors multiplied from the left,
// translation in row 4. Every one tolerates its output aliasing an input.
#include <d3dx9.h>

#include <cmath>

namespace {
D3DXMATRIX* Identity(D3DXMATRIX* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out->m[r][c] = r == c ? 1.0f : 0.0f;
    return out;
}
} // namespace

extern "C" {

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] +
                        a->m[i][2] * b->m[2][j] + a->m[i][3] * b->m[3][j];
    *out = r;
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) {
    Identity(out);
    out->_41 = x;
    out->_42 = y;
    out->_43 = z;
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) {
    Identity(out);
    out->_11 = sx;
    out->_22 = sy;
    out->_33 = sz;
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* out, FLOAT angle) {
    const float c = cosf(angle), s = sinf(angle);
    Identity(out);
    out->_22 = c;
    out->_23 = s;
    out->_32 = -s;
    out->_33 = c;
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* out, FLOAT angle) {
    const float c = cosf(angle), s = sinf(angle);
    Identity(out);
    out->_11 = c;
    out->_12 = s;
    out->_21 = -s;
    out->_22 = c;
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}

D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    const float length = sqrtf(v->x * v->x + v->y * v->y + v->z * v->z);
    if (length == 0.0f) {
        out->x = out->y = out->z = 0.0f;
    } else {
        const D3DXVECTOR3 r(v->x / length, v->y / length, v->z / length);
        *out = r;
    }
    return out;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                           const D3DXMATRIX* m) {
    const float x = v->x, y = v->y, z = v->z;
    const float w = m->_14 * x + m->_24 * y + m->_34 * z + m->_44;
    const D3DXVECTOR3 r((m->_11 * x + m->_21 * y + m->_31 * z + m->_41) / w,
                        (m->_12 * x + m->_22 * y + m->_32 * z + m->_42) / w,
                        (m->_13 * x + m->_23 * y + m->_33 * z + m->_43) / w);
    *out = r;
    return out;
}

} // extern "C"
