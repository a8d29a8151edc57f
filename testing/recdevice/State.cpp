// Device state: Direct3D 9's defaults, and moving state between the device and state blocks.
#include "Internal.h"

namespace recdevice {

namespace {

DWORD F(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

} // namespace

void StateMask::SetAll() {
    RenderStates.set();
    SamplerStates.set();
    StageStates.set();
    Transforms.set();
    Textures.set();
    Streams.set();
    StreamFreq.set();
    ClipPlanes.set();
    VsFloat.set();
    PsFloat.set();
    VsInt.set();
    PsInt.set();
    VsBool.set();
    PsBool.set();
    Indices = FVF = Declaration = VertexShader = PixelShader = Viewport = Scissor = Material =
        Lights = NPatchMode = true;
}

void HoldAll(const DeviceState& s) {
    for (auto* t : s.Textures)
        if (t) t->AddRef();
    for (auto& st : s.Streams)
        if (st.Buffer) st.Buffer->AddRef();
    if (s.Indices) s.Indices->AddRef();
    if (s.Declaration) s.Declaration->AddRef();
    if (s.VertexShader) s.VertexShader->AddRef();
    if (s.PixelShader) s.PixelShader->AddRef();
}

void ReleaseAll(DeviceState& s) {
    for (auto*& t : s.Textures)
        Assign(t, static_cast<IDirect3DBaseTexture9*>(nullptr));
    for (auto& st : s.Streams)
        Assign(st.Buffer, static_cast<IDirect3DVertexBuffer9*>(nullptr));
    Assign(s.Indices, static_cast<IDirect3DIndexBuffer9*>(nullptr));
    Assign(s.Declaration, static_cast<IDirect3DVertexDeclaration9*>(nullptr));
    Assign(s.VertexShader, static_cast<IDirect3DVertexShader9*>(nullptr));
    Assign(s.PixelShader, static_cast<IDirect3DPixelShader9*>(nullptr));
}

void Transfer(const DeviceState& from, DeviceState& to, const StateMask& m) {
    for (int i = 0; i < kRenderStates; ++i)
        if (m.RenderStates[i]) to.RenderStates[i] = from.RenderStates[i];
    for (int s = 0; s < kSamplers; ++s) {
        for (int t = 0; t < kSamplerTypes; ++t)
            if (m.SamplerStates[s * kSamplerTypes + t])
                to.SamplerStates[s][t] = from.SamplerStates[s][t];
        if (m.Textures[s]) Assign(to.Textures[s], from.Textures[s]);
    }
    for (int s = 0; s < kStages; ++s)
        for (int t = 0; t < kStageTypes; ++t)
            if (m.StageStates[s * kStageTypes + t]) to.StageStates[s][t] = from.StageStates[s][t];
    for (int i = 0; i < kTransforms; ++i)
        if (m.Transforms[i]) to.Transforms[i] = from.Transforms[i];
    for (int i = 0; i < kStreams; ++i) {
        if (m.Streams[i]) {
            Assign(to.Streams[i].Buffer, from.Streams[i].Buffer);
            to.Streams[i].Offset = from.Streams[i].Offset;
            to.Streams[i].Stride = from.Streams[i].Stride;
        }
        if (m.StreamFreq[i]) to.StreamFreq[i] = from.StreamFreq[i];
    }
    for (int i = 0; i < kClipPlanes; ++i)
        if (m.ClipPlanes[i]) std::memcpy(to.ClipPlanes[i], from.ClipPlanes[i], 16);
    for (int i = 0; i < kVsFloat; ++i)
        if (m.VsFloat[i]) std::memcpy(to.VsFloat[i], from.VsFloat[i], 16);
    for (int i = 0; i < kPsFloat; ++i)
        if (m.PsFloat[i]) std::memcpy(to.PsFloat[i], from.PsFloat[i], 16);
    for (int i = 0; i < kIntRegs; ++i) {
        if (m.VsInt[i]) std::memcpy(to.VsInt[i], from.VsInt[i], 16);
        if (m.PsInt[i]) std::memcpy(to.PsInt[i], from.PsInt[i], 16);
    }
    for (int i = 0; i < kBoolRegs; ++i) {
        if (m.VsBool[i]) to.VsBool[i][0] = from.VsBool[i][0];
        if (m.PsBool[i]) to.PsBool[i][0] = from.PsBool[i][0];
    }
    if (m.Indices) Assign(to.Indices, from.Indices);
    if (m.FVF) to.FVF = from.FVF;
    if (m.Declaration) Assign(to.Declaration, from.Declaration);
    if (m.VertexShader) Assign(to.VertexShader, from.VertexShader);
    if (m.PixelShader) Assign(to.PixelShader, from.PixelShader);
    if (m.Viewport) to.Viewport = from.Viewport;
    if (m.Scissor) to.Scissor = from.Scissor;
    if (m.Material) to.Material = from.Material;
    if (m.Lights) to.Lights = from.Lights;
    if (m.NPatchMode) to.NPatchMode = from.NPatchMode;
}

// Direct3D 9's documented defaults for a freshly created or reset device.
void RecordingDevice::Impl::Defaults(UINT width, UINT height, bool autoDepth) {
    ReleaseAll(State);
    DeviceState& s = State;
    s = DeviceState{};
    DWORD* rs = s.RenderStates;
    rs[D3DRS_ZENABLE] = autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_DITHERENABLE] = FALSE;
    rs[D3DRS_ALPHABLENDENABLE] = FALSE;
    rs[D3DRS_FOGENABLE] = FALSE;
    rs[D3DRS_SPECULARENABLE] = FALSE;
    rs[D3DRS_FOGCOLOR] = 0;
    rs[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    rs[D3DRS_FOGSTART] = F(0.0f);
    rs[D3DRS_FOGEND] = F(1.0f);
    rs[D3DRS_FOGDENSITY] = F(1.0f);
    rs[D3DRS_RANGEFOGENABLE] = FALSE;
    rs[D3DRS_STENCILENABLE] = FALSE;
    rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILREF] = 0;
    rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_AMBIENT] = 0;
    rs[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_NORMALIZENORMALS] = FALSE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_VERTEXBLEND] = D3DVBF_DISABLE;
    rs[D3DRS_CLIPPLANEENABLE] = 0;
    rs[D3DRS_POINTSIZE] = F(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = F(1.0f);
    rs[D3DRS_POINTSPRITEENABLE] = FALSE;
    rs[D3DRS_POINTSCALEENABLE] = FALSE;
    rs[D3DRS_POINTSCALE_A] = F(1.0f);
    rs[D3DRS_POINTSCALE_B] = F(0.0f);
    rs[D3DRS_POINTSCALE_C] = F(0.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_PATCHEDGESTYLE] = D3DPATCHEDGE_DISCRETE;
    rs[D3DRS_DEBUGMONITORTOKEN] = D3DDMT_ENABLE;
    rs[D3DRS_POINTSIZE_MAX] = F(64.0f);
    rs[D3DRS_INDEXEDVERTEXBLENDENABLE] = FALSE;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_TWEENFACTOR] = F(0.0f);
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_POSITIONDEGREE] = D3DDEGREE_CUBIC;
    rs[D3DRS_NORMALDEGREE] = D3DDEGREE_LINEAR;
    rs[D3DRS_SCISSORTESTENABLE] = FALSE;
    rs[D3DRS_SLOPESCALEDEPTHBIAS] = 0;
    rs[D3DRS_ANTIALIASEDLINEENABLE] = FALSE;
    rs[D3DRS_MINTESSELLATIONLEVEL] = F(1.0f);
    rs[D3DRS_MAXTESSELLATIONLEVEL] = F(1.0f);
    rs[D3DRS_ADAPTIVETESS_X] = F(0.0f);
    rs[D3DRS_ADAPTIVETESS_Y] = F(0.0f);
    rs[D3DRS_ADAPTIVETESS_Z] = F(1.0f);
    rs[D3DRS_ADAPTIVETESS_W] = F(0.0f);
    rs[D3DRS_ENABLEADAPTIVETESSELLATION] = FALSE;
    rs[D3DRS_TWOSIDEDSTENCILMODE] = FALSE;
    rs[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_COLORWRITEENABLE1] = 0xF;
    rs[D3DRS_COLORWRITEENABLE2] = 0xF;
    rs[D3DRS_COLORWRITEENABLE3] = 0xF;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRGBWRITEENABLE] = 0;
    rs[D3DRS_DEPTHBIAS] = 0;
    rs[D3DRS_SEPARATEALPHABLENDENABLE] = FALSE;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    for (auto& ss : s.SamplerStates) {
        ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_BORDERCOLOR] = 0;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MIPMAPLODBIAS] = 0;
        ss[D3DSAMP_MAXMIPLEVEL] = 0;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
        ss[D3DSAMP_SRGBTEXTURE] = 0;
        ss[D3DSAMP_ELEMENTINDEX] = 0;
        ss[D3DSAMP_DMAPOFFSET] = 0;
    }
    for (int i = 0; i < kStages; ++i) {
        DWORD* ts = s.StageStates[i];
        ts[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = DWORD(i);
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& m : s.Transforms)
        m = Identity();
    for (auto& f : s.StreamFreq)
        f = 1;
    s.Viewport = D3DVIEWPORT9{0, 0, width, height, 0.0f, 1.0f};
    s.Scissor = RECT{0, 0, LONG(width), LONG(height)};
}

} // namespace recdevice
