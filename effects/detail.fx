// Detail boost with two render targets written by one pass: the first pass
// splits the frame into a base (the mean of each 3×3 block around a pixel,
// into TxRT1) and the detail (the pixel minus that mean, into TxRT2) at
// once; the second pass adds them back with the detail scaled by the track,
// into TxRT0, the output. At 100 % the frame comes back unchanged.
int4 FilterVersion < string name = "Texloom Detail";
                     string ex_info = "base and detail in two render targets"; > = {1, 0, 0, 0};

int Track0 < string name = "Detail %"; int def = 200; int min = 0; int max = 400; > = 200;

float4 SrcSize;
texture TxSrc0;
texture TxRT0;  // the output
texture TxRT1;  // the base
texture TxRT2;  // the detail

sampler2D Source = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D Base = sampler_state {
  Texture = <TxRT1>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D Detail = sampler_state {
  Texture = <TxRT2>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

struct Split {
  float4 base : COLOR0;    // RenderTarget0 of the pass: TxRT1
  float4 detail : COLOR1;  // RenderTarget1 of the pass: TxRT2
};

Split SplitFrame(float2 uv : TEXCOORD0) {
  float2 step = 1 / SrcSize.xy;
  float4 sum = 0;
  for (int y = -1; y <= 1; y++)
    for (int x = -1; x <= 1; x++) sum += tex2D(Source, uv + float2(x, y) * step);
  Split result;
  result.base = sum / 9;
  result.detail = tex2D(Source, uv) - result.base;
  return result;
}

float4 Combine(float2 uv : TEXCOORD0) : COLOR0 {
  float4 combined = tex2D(Base, uv) + tex2D(Detail, uv) * (Track0 / 100.0);
  return float4(combined.xyz, 0);
}

technique ProcessImage0 {
  pass Split < int RenderTarget0 = 1; int RenderTarget1 = 2; > {
    PixelShader = compile ps_2_0 SplitFrame();
  }
  pass Combine < int RenderTarget0 = 0; > { PixelShader = compile ps_2_0 Combine(); }
}
