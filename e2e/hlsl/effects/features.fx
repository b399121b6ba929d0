// Every feature of the HLSL path in one effect, for the test under Wine:
// an #include, a macro switched by TEXLOOM_VER, every parameter type the
// plug-in writes, a kernel array, a ps_3_0 pass with a loop, a ps_2_0 pass
// with helper functions, and a sampler both passes read.
#include "features.fxh"

int4 FilterVersion < string name = "HLSL機能"; string ex_info = "texloom-fxo"; > = {1, 0, 0, 0};
int Track0 < string name = "Offset"; int def = 100; int min = -1000; int max = 1000; > = 100;
bool Check0 < string name = "Negate"; bool def = false; > = false;
int Frame;
int FrameNum;
float4 SrcSize;
// Matrices in both storage orders, read element by element: a matrix the
// container lays out against the shader's constant table reads transposed.
float2x2 Mix = {1, 2, 3, 4};
row_major float2x2 MixRows = {1, 2, 3, 4};
float4 PixelKernel0[2] = { {1, 0, 0, 0}, {-1, 0, 0, 0} };
float4 TexelKernel0[2];
texture TxSrc0;
texture TxTmp;

sampler2D Source = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D Previous = sampler_state {
  Texture = <TxTmp>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

// 8 host units more when compiled as the plug-in compiles (this version).
#if TEXLOOM_VER == 0x00010000
#define VERSION_MARK 8.0
#else
#define VERSION_MARK 0.0
#endif

// The mean of the left and right neighbours, through the kernel.
float4 Neighbours(float2 uv : TEXCOORD0) : COLOR0 {
  float4 sum = 0;
  for (int i = 0; i < 2; i++) sum += tex2D(Source, uv + TexelKernel0[i].xy);
  return sum / 2;
}

// Y: the mean plus the offset, the frame number and the version mark
// (negated by the check box); Cb: the centre pixel plus 10 × Mix[0][1] (2)
// and MixRows[1][0] (3), 23; Cr: the mean plus the number of frames. TexelKernel0[0].x × SrcSize.x is one pixel, 1.
float4 Finish(float2 uv : TEXCOORD0) : COLOR0 {
  float4 mean = tex2D(Previous, uv);
  float4 centre = tex2D(Source, uv);
  float y = ToHost(mean.x) + (Track0 + Frame + VERSION_MARK) * TexelKernel0[0].x * SrcSize.x;
  if (Check0) y = -y;
  float cb = ToHost(centre.y) + Mix._m01 * 10 + MixRows._m10;
  return float4(FromHost(y), FromHost(cb), FromHost(ToHost(mean.z) + FrameNum), 0);
}

technique ProcessImage0 {
  pass Mean { PixelShader = compile ps_3_0 Neighbours(); }
  pass Finish { PixelShader = compile ps_2_0 Finish(); }
}
