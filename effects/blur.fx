// Box blur in two passes through TxTmp: the first pass blurs the current
// frame horizontally into a render target, the second reads that target
// through TxTmp and blurs it vertically. The radius (0 to 6 pixels) is a
// track; radius 0 gives the frame back unchanged.
int4 FilterVersion < string name = "Texloom Blur";
                     string ex_info = "two-pass box blur"; > = {1, 0, 0, 0};

int Track0 < string name = "Radius"; int def = 3; int min = 0; int max = 6; > = 3;

float4 SrcSize;  // the frame's width and height in pixels
// The image the pass reads: the frame for the first pass, then the
// previous pass's result.
texture TxTmp;
sampler2D Image = sampler_state {
  Texture = <TxTmp>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

// The mean of the pixel and the `Track0` pixels on each side along `step`
// (one pixel in texture coordinates).
float4 BoxAlong(float2 uv, float2 step) {
  float4 sum = tex2D(Image, uv);
  float count = 1;
  for (int k = 1; k <= 6; k++) {
    float used = k <= Track0 ? 1 : 0;
    sum += used * (tex2D(Image, uv + k * step) + tex2D(Image, uv - k * step));
    count += 2 * used;
  }
  return float4(sum.xyz / count, 0);
}

float4 Horizontal(float2 uv : TEXCOORD0) : COLOR0 { return BoxAlong(uv, float2(1 / SrcSize.x, 0)); }
float4 Vertical(float2 uv : TEXCOORD0) : COLOR0 { return BoxAlong(uv, float2(0, 1 / SrcSize.y)); }

technique ProcessImage0 {
  pass Horizontal { PixelShader = compile ps_2_0 Horizontal(); }
  pass Vertical { PixelShader = compile ps_2_0 Vertical(); }
}
