// Three looks, one technique each; the "Look" track picks the technique
// (usage "technique": ProcessImage0, 1 or 2).
int4 FilterVersion < string name = "Texloom Looks";
                     string ex_info = "a track chooses the technique"; > = {1, 0, 0, 0};

int Track0 < string name = "Look"; int def = 1; int min = 0; int max = 2;
             string usage = "technique"; > = 1;

texture TxSrc0;
sampler2D Source = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};

// 0: the frame as it is.
float4 Original(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Source, uv); }

// 1: black and white: the luma kept, no colour.
float4 Mono(float2 uv : TEXCOORD0) : COLOR0 { return float4(tex2D(Source, uv).x, 0, 0, 0); }

// 2: the negative: Y' mirrored in 0..4096 (1.0 in F32), colour inverted.
float4 Negative(float2 uv : TEXCOORD0) : COLOR0 {
  float4 c = tex2D(Source, uv);
  return float4(1 - c.x, -c.y, -c.z, 0);
}

technique ProcessImage0 { pass P { PixelShader = compile ps_2_0 Original(); } }
technique ProcessImage1 { pass P { PixelShader = compile ps_2_0 Mono(); } }
technique ProcessImage2 { pass P { PixelShader = compile ps_2_0 Negative(); } }
