// texloom.fxh on the GPU: each frame's pixel, read Track0 pixels to the
// right through the pixel/texel helpers, decoded to host units, turned into
// RGB (written ×1000 as Y, Cb, Cr) or, with Check0, to RGB and back.
// IMG_FORMAT picks the image format (include_check_b16.fx sets it).
#include "texloom.fxh"

#ifndef IMG_FORMAT
#define IMG_FORMAT "F32"
#endif

int4 FilterVersion < string name = "texloom.fxh"; string img_format = IMG_FORMAT; > = {1, 0, 0, 0};
int Track0 < string name = "Shift"; int def = 0; int min = 0; int max = 8; > = 0;
bool Check0 < string name = "Round trip"; > = false;
texture TxSrc0;
sampler2D Source = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

float4 Check(float2 uv : TEXCOORD0) : COLOR0 {
  float2 pixel = TexelToPixel(uv) + float2(Track0, 0);
  float3 host = TexelToHost(tex2D(Source, PixelToTexel(pixel))).xyz;
  float3 rgb = HostToRgb(host);
  float3 result = Check0 ? RgbToHost(rgb) : rgb * 1000;
  return HostToTexel(float4(result, 0));
}

technique ProcessImage0 {
  pass P { PixelShader = compile ps_2_0 Check(); }
}
