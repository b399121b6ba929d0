// Unsharp mask on the luma: the current pixel minus the mean of its four
// neighbours is added back, scaled by the amount. The neighbours' offsets are
// given in pixels in PixelKernel0; the plug-in writes them into TexelKernel0
// in texture coordinates for every frame size. Chroma is left alone, because
// sharpening it only adds colour fringes.
int4 FilterVersion < string name = "Texloom Sharpen";
                     string ex_info = "unsharp mask through PixelKernel0"; > = {1, 0, 0, 0};

int Track0 < string name = "Amount %"; int def = 150; int min = 0; int max = 500; > = 150;

// Right, left, below, above, in pixels; TexelKernel0 is the same in texels.
float4 PixelKernel0[4] = { {1, 0, 0, 0}, {-1, 0, 0, 0}, {0, 1, 0, 0}, {0, -1, 0, 0} };
float4 TexelKernel0[4];

texture TxSrc0;
sampler2D Source = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

float4 Sharpen(float2 uv : TEXCOORD0) : COLOR0 {
  float4 centre = tex2D(Source, uv);
  float4 neighbours = 0;
  for (int i = 0; i < 4; i++) neighbours += tex2D(Source, uv + TexelKernel0[i].xy);
  float detail = centre.x - neighbours.x / 4;
  return float4(centre.x + detail * Track0 * 0.01, centre.yz, 0);
}

technique ProcessImage0 {
  pass Sharpen { PixelShader = compile ps_2_0 Sharpen(); }
}
