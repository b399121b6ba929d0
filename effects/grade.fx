// A colour grade done in RGB, where saturation and warmth make sense, with
// the conversions of texloom.fxh. The host's pixels are Y'CbCr; treating Cb
// and Cr like colours gives a colour cast, so the grade converts first.
#include "texloom.fxh"

int4 FilterVersion < string name = "Texloom Grade";
                     string ex_info = "saturation, brightness and warmth in RGB"; > = {1, 0, 0, 0};

// "normalize": the shader gets the value divided by 100, -1..1.
float Track0 < string name = "Saturation"; int def = 30; int min = -100; int max = 100;
               string usage = "normalize"; > = 0.3;
// Plain: host units added to R, G and B (4096 is white).
int Track1 < string name = "Brightness"; int def = 0; int min = -500; int max = 500; > = 0;
// "odd": -1 when off, 1 when on.
int Check0 < string name = "Warm"; string usage = "odd"; > = -1;

texture TxSrc0;
sampler2D Source = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

float4 Grade(float2 uv : TEXCOORD0) : COLOR0 {
  float3 rgb = HostToRgb(TexelToHost(tex2D(Source, uv)).xyz);
  float grey = dot(rgb, float3(0.299, 0.587, 0.114));
  rgb = grey + (rgb - grey) * (1 + Track0);  // -100 %: grey, +100 %: twice the colour
  rgb += Track1 / 4096.0;
  float warmth = (Check0 + 1) * 0.025;      // 0 or 0.05
  rgb *= float3(1 + warmth, 1, 1 - warmth);
  return HostToTexel(float4(RgbToHost(rgb), 0));
}

technique ProcessImage0 {
  pass Grade { PixelShader = compile ps_2_0 Grade(); }
}
