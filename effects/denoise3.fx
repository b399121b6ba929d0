// Temporal denoise over three frames: the previous, the current and the next
// frame are blended, each neighbour weighted by how close it is to the
// current pixel. Noise (small differences) is averaged away; motion (large
// differences) keeps the current frame, so nothing ghosts.
int4 FilterVersion < string name = "Texloom Denoise3";
                     string ex_info = "3-frame temporal denoise"; > = {1, 0, 0, 0};

// Differences below the threshold (in the editor's units, Y 0..4096) count as
// noise; a neighbour that differs by the threshold or more is not used.
int Track0 < string name = "Threshold"; int def = 300; int min = 0; int max = 2048; > = 300;

// The frame before, the frame itself and the frame after.
texture TxSrc0 < int frame_offset = -1; >;
texture TxSrc1 < int frame_offset = 0; >;
texture TxSrc2 < int frame_offset = 1; >;

sampler2D Previous = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D Current = sampler_state {
  Texture = <TxSrc1>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};
sampler2D Next = sampler_state {
  Texture = <TxSrc2>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

// 1 for an identical neighbour, falling to 0 at the threshold.
float4 Closeness(float4 neighbour, float4 centre, float threshold) {
  return saturate(1 - abs(neighbour - centre) / threshold);
}

float4 Denoise(float2 uv : TEXCOORD0) : COLOR0 {
  float4 p = tex2D(Previous, uv), c = tex2D(Current, uv), n = tex2D(Next, uv);
  // The images hold host value / 4096 (F32); a zero threshold uses none.
  float threshold = max(Track0 / 4096.0, 0.000001);
  float4 wp = Closeness(p, c, threshold), wn = Closeness(n, c, threshold);
  float4 blended = (c + wp * p + wn * n) / (1 + wp + wn);
  return float4(blended.xyz, 0);
}

technique ProcessImage0 {
  pass Denoise { PixelShader = compile ps_2_0 Denoise(); }
}
